// The array drawing against the immediate-mode picture, through the real GL: Mesa's software
// renderer on EGL's surfaceless platform, so no display is needed.

#include <GL/gl.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "app/headless.h"
#include "app/viewer.h"

namespace vellumry {
namespace {

constexpr int kSize = 500;

void noPresent() {}
void noResize(int /*width*/, int /*height*/) {}

// Shaded, then wireframe, read back after each: the wireframe is lit with the normal the shaded
// frame left current.
std::vector<std::vector<std::uint8_t>> frames() {
  std::vector<std::vector<std::uint8_t>> pictures;
  for (const GLenum mode : {GLenum{GL_SMOOTH}, GLenum{GL_FLAT}}) {
    drawMode = mode;
    display();
    glFinish();
    readFrame(kSize, kSize, pictures.emplace_back());
  }
  return pictures;
}

TEST(ClothPictureTest, ArraysDrawTheImmediateModePicture) {
  HeadlessContext context;
  std::string error;
  ASSERT_TRUE(context.open(kSize, kSize, error)) << error;
  presenter = {noPresent, noPresent, noResize};
  initGlState();
  // A 20 by 20 cloth, one mount moved towards the other: folded, shaded unevenly, both sides
  // in view.
  Scene twenty;
  twenty.grid = 20;
  scene = twenty;
  substeps = substepsFor(scene);
  cloth.build(scene.width, scene.grid, scene.material);
  mountVelocity1 = Vec3(0.04, 0.0, -0.02);
  for (int t = 0; t < 40; ++t) {
    runTick(false);
  }
  viewAngle = -60.0;

  // Arrays first: had they left no current normal, the wireframe would show the initial one.
  const auto arrays = frames();
  scene = Scene();
  const auto immediate = frames();
  for (std::size_t f = 0; f < arrays.size(); ++f) {
    SCOPED_TRACE(f == 0 ? "shaded" : "wireframe");
    int differing = 0;
    int largest = 0;
    int lit = 0;
    for (std::size_t i = 0; i < arrays[f].size(); i += 3) {
      int most = 0;
      for (std::size_t c = i; c < i + 3; ++c) {
        most = std::max(most, std::abs(arrays[f][c] - immediate[f][c]));
      }
      differing += most > 0 ? 1 : 0;
      largest = std::max(largest, most);
      lit += immediate[f][i + 1] > 0 ? 1 : 0;
    }
    EXPECT_GT(lit, 5000) << "the cloth must fill a good part of the picture";
    // Both ways hand the renderer the same values for the same triangles, in the same vertex
    // order, and Mesa draws them to the same pixels. Allowed: a rounding step in a channel of a
    // few pixels, where another renderer's vertex paths may round apart or triangles of a fold
    // tie in depth and the other order of the passes decides.
    EXPECT_LE(largest, 1) << differing << " pixels differ";
    EXPECT_LE(differing, 50) << "largest difference in a channel: " << largest;
  }
}

}  // namespace
}  // namespace vellumry
