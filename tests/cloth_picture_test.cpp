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
#include "cloth/cloth.h"

namespace vellumry {
namespace {

constexpr int kSize = 500;

// Shaded, then wireframe: the wireframe is lit with the normal the shaded frame left current.
std::vector<std::vector<std::uint8_t>> frames() {
  std::vector<std::vector<std::uint8_t>> pictures;
  for (const GLenum mode : {GLenum{GL_SMOOTH}, GLenum{GL_FLAT}}) {
    drawMode = mode;
    display();
    readFrame(kSize, kSize, pictures.emplace_back());
  }
  return pictures;
}

// Arrays (one pass past kOnePassGridSize) against immediate mode (two passes a row), n by n.
void comparePictures(int n) {
  HeadlessContext context;
  std::string error;
  ASSERT_TRUE(context.open(kSize, kSize, error)) << error;
  presenter.present = glFinish;
  initGlState();
  // One mount moved towards the other: folded, unevenly lit, both sides in view.
  scene.grid = n;
  substeps = substepsFor(scene);
  dropCloth();
  mountVelocity1 = Vec3(0.04, 0.0, -0.02);
  for (int t = 0; t < 40; ++t) {
    runTick(false);
  }
  viewAngle = -60.0;
  // Arrays first: had they left no current normal, their wireframe would show the initial one.
  const auto arrays = frames();
  scene = Scene();
  const auto immediate = frames();
  for (std::size_t f = 0; f < arrays.size(); ++f) {
    int differing = 0;
    int largest = 0;
    int lit = 0;
    for (std::size_t i = 0; i < arrays[f].size(); ++i) {
      const int d = std::abs(arrays[f][i] - immediate[f][i]);
      differing += d > 0 ? 1 : 0;
      largest = std::max(largest, d);
      lit += i % 3 == 1 && immediate[f][i] > 0 ? 1 : 0;
    }
    // Both ways give the renderer the same values for the same triangles in the same vertex
    // order: Mesa draws the same pixels. Allowed: one step in a few channels, where another
    // renderer's two vertex paths round apart, or two triangles of a fold tie in depth and the
    // other order of the passes decides.
    EXPECT_GT(lit, 5000) << "frame " << f << ": the cloth must fill a good part of the picture";
    EXPECT_LE(largest, 1) << "frame " << f << ": " << differing << " channels differ";
    EXPECT_LE(differing, 50) << "frame " << f << ": largest difference " << largest;
  }
}

TEST(ClothPictureTest, ArraysDrawTheImmediateModePicture) { comparePictures(20); }

TEST(ClothPictureTest, OnePassDrawsTheTwoPassPicture) { comparePictures(kOnePassGridSize + 16); }

}  // namespace
}  // namespace vellumry
