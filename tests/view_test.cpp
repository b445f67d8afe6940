#include <GL/freeglut.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <numbers>
#include <string>
#include <vector>

#include "app/camera.h"
#include "app/cloth_look.h"
#include "app/controls.h"
#include "app/viewer.h"
#include "fake_gl.h"
#include "output/downsample.h"
#include "output/png_writer.h"

namespace vellumry {
namespace {

constexpr double e(GLenum value) { return static_cast<double>(value); }

// Where the first call of this name, with this first argument if given, came in the frame; -1.
long firstOf(const std::vector<fake_gl::Call>& calls, std::string_view name, double arg = -1.0) {
  const auto at = std::find_if(calls.begin(), calls.end(), [&](const fake_gl::Call& c) {
    return c.name == name && (arg < 0.0 || c.arg(0) == arg);
  });
  return at == calls.end() ? -1 : at - calls.begin();
}

class ViewTest : public testing::Test {
 protected:
  void SetUp() override {
    fake_gl::resetProgram();
    initScene();
    fake_gl::clear();
  }
  void TearDown() override { fake_gl::resetProgram(); }
};

// Each gesture changes the view keys by events, within their ranges; a release ends the drag; the
// next frame, and only it, projects the new view; Home brings back the scene's own.
TEST_F(ViewTest, GesturesMoveTheCameraWithinItsRangesAndTheNextFrameShowsIt) {
  onMouse(GLUT_MIDDLE_BUTTON, GLUT_DOWN, 100, 100);
  onMotion(150, 90);
  EXPECT_EQ(scene.view.azimuth, 50 * kOrbitPerPixel);
  EXPECT_EQ(scene.view.elevation, -10 * kOrbitPerPixel);
  onMotion(150, -100000);
  EXPECT_EQ(scene.view.elevation, -kMaxElevation) << "clamped, never turned over";
  onMotion(100000, -100000);
  EXPECT_LE(std::fabs(scene.view.azimuth), 180.0) << "a whole number of turns taken off";
  EXPECT_TRUE(fake_gl::calls().empty()) << "an event calls no GL";
  display();
  const Vec3 eye = eyeOf(scene.view);
  const Vec3& t = scene.view.target;
  const std::vector<fake_gl::Call> frame = fake_gl::take();
  ASSERT_GE(firstOf(frame, "gluLookAt"), 0);
  EXPECT_EQ(frame[static_cast<std::size_t>(firstOf(frame, "gluLookAt"))],
            fake_gl::expected("gluLookAt", {eye.x, eye.y, eye.z, t.x, t.y, t.z, 0.0, 1.0, 0.0}));
  EXPECT_GE(firstOf(frame, "glLightfv", e(GL_LIGHT0)), 0) << "the lights move with the camera";
  display();
  EXPECT_EQ(firstOf(fake_gl::take(), "gluLookAt"), -1) << "an unchanged view is not set again";

  onMouse(GLUT_MIDDLE_BUTTON, GLUT_UP, 0, 0);
  const View still = scene.view;
  onMotion(300, 300);
  EXPECT_TRUE(sameView(scene.view, still)) << "a motion after the release moves nothing";
  onMouse(3, GLUT_DOWN, 0, 0);
  onMouse(3, GLUT_UP, 0, 0);
  EXPECT_EQ(scene.view.distance, 13.0 * kZoomPerNotch) << "one notch, on the press alone";
  for (int i = 0; i < 100; ++i) {
    onMouse(4, GLUT_DOWN, 0, 0);
  }
  EXPECT_EQ(scene.view.distance, kMaxViewDistance);

  // Shift + middle drag: the target moves across the view, square to the line of sight, by the
  // height the drag spans at the target's distance.
  fake_gl::answers().modifiers = GLUT_ACTIVE_SHIFT;
  const View before = scene.view;
  onMouse(GLUT_MIDDLE_BUTTON, GLUT_DOWN, 250, 250);
  onMotion(250, 300);
  const Vec3 moved = scene.view.target - before.target;
  const Vec3 sight = before.target - eyeOf(before);
  const double span = 50.0 * 2.0 * before.distance * std::tan(std::numbers::pi / 12.0) / 500.0;
  EXPECT_NEAR(std::sqrt(moved.lengthSquared()), span, 1e-12);
  EXPECT_NEAR(moved.x * sight.x + moved.y * sight.y + moved.z * sight.z, 0.0, 1e-12);
  EXPECT_GT(moved.y, 0.0) << "a drag down lifts the target: the scene follows the pointer down";
  onMouse(GLUT_MIDDLE_BUTTON, GLUT_UP, 250, 300);

  fake_gl::answers().modifiers = 0;
  const double azimuth = scene.view.azimuth;
  onSpecial(GLUT_KEY_LEFT, 0, 0);
  EXPECT_NEAR(scene.view.azimuth, azimuth + kOrbitPerKey, 1e-12);
  onKey('+', 0, 0);
  EXPECT_EQ(scene.view.distance, kMaxViewDistance * kZoomPerNotch);
  onSpecial(GLUT_KEY_HOME, 0, 0);
  EXPECT_TRUE(sameView(scene.view, View())) << "Home: the view the scene started with";
}

// Two colours: two-sided lighting and each side's material around the cloth, put back after. A
// picture: the default cloth through arrays, with the OBJ export's texture coordinates. Neither
// in the wireframe.
TEST_F(ViewTest, ColoursAndPictureAreSetAroundTheClothOnlyWhenAsked) {
  const std::string png = testing::TempDir() + "view_test_" + std::to_string(getpid()) + ".png";
  const std::uint8_t pixels[4 * 2 * 3] = {};
  std::string error;
  ASSERT_TRUE(writePng(png, 4, 2, pixels, error)) << error;
  ASSERT_TRUE(loadTexture(png, error)) << error;
  std::remove(png.c_str());
  prepareClothLook();
  EXPECT_GE(firstOf(fake_gl::take(), "gluBuild2DMipmaps"), 0);
  scene.look.colour = Vec3(1.0, 0.0, 0.0);
  setMeshPath(scene.look.texture, png);
  display();
  const std::vector<fake_gl::Call> frame = fake_gl::take();
  const long twoSided = firstOf(frame, "glLightModeli");
  const long drawn = firstOf(frame, "glDrawElements");
  ASSERT_GE(twoSided, 0);
  EXPECT_EQ(frame[static_cast<std::size_t>(twoSided) + 1],
            fake_gl::expected("glMaterialfv", {e(GL_FRONT), e(GL_DIFFUSE), 1.0, 0.0, 0.0, 1.0}));
  EXPECT_LT(twoSided, drawn);
  EXPECT_EQ(firstOf(frame, "glBegin"), -1) << "a picture needs the array drawing";
  const long coords = firstOf(frame, "glTexCoordPointer");
  ASSERT_GE(coords, 0);
  const auto* uv = reinterpret_cast<const float*>(
      fake_gl::pointer(frame[static_cast<std::size_t>(coords)].arg(3)));
  const int n = cloth.gridSize;
  EXPECT_EQ(uv[2 * (n - 1)], 1.0f) << "the last column at the picture's right edge";
  EXPECT_EQ(uv[2 * (n - 1) + 1], 0.0f);
  EXPECT_EQ(uv[2 * n * (n - 1)], 0.0f) << "the last row at its top";
  EXPECT_EQ(uv[2 * n * (n - 1) + 1], 1.0f);
  EXPECT_EQ(cloth.texCoords, nullptr) << "the cloth holds no picture between frames";
  const auto off = std::find(frame.begin() + drawn, frame.end(),
                             fake_gl::expected("glLightModeli", {e(GL_LIGHT_MODEL_TWO_SIDE), 0}));
  EXPECT_NE(off, frame.end());

  onKey('w', 0, 0);
  fake_gl::clear();
  display();
  const std::vector<fake_gl::Call> lines = fake_gl::take();
  EXPECT_EQ(firstOf(lines, "glLightModeli"), -1);
  EXPECT_EQ(firstOf(lines, "glEnable", e(GL_TEXTURE_2D)), -1);
}

// With the floor on: the shadows after the cloth and before the floor, flattened onto it, only in
// the lit drawing and while the camera is above the floor.
TEST_F(ViewTest, ShadowsFallOnTheFloorOnlyWhenTheCameraIsAboveIt) {
  scene.world.floor.enabled = true;
  display();
  std::vector<fake_gl::Call> frame = fake_gl::take();
  const long flat = firstOf(frame, "glScaled");
  ASSERT_GE(flat, 0);
  EXPECT_EQ(frame[static_cast<std::size_t>(flat)], fake_gl::expected("glScaled", {1, 0, 1}));
  EXPECT_LT(firstOf(frame, "glDrawElements"), flat) << "the cloth first";
  EXPECT_LT(flat, firstOf(frame, "glBegin")) << "the floor after";
  // A fine cloth's shadow: a coarser grid's, its outline through the four corners.
  cloth.build(3.0, 64);
  display();
  frame = fake_gl::take();
  const auto strip = frame.begin() + firstOf(frame, "glScaled");
  const auto drawn = std::find_if(
      strip, frame.end(), [](const fake_gl::Call& c) { return c.name == "glDrawElements"; });
  ASSERT_NE(drawn, frame.end());
  const auto* first = reinterpret_cast<const GLuint*>(fake_gl::pointer(drawn->arg(3)));
  const std::vector<GLuint> indices(first, first + static_cast<long>(drawn->arg(1)));
  EXPECT_LE(indices.size(), 2u * 34 * 34) << "at most 32 cells a side";
  for (const GLuint corner : {0u, 63u, 64u * 63, 64u * 64 - 1}) {
    EXPECT_NE(std::find(indices.begin(), indices.end(), corner), indices.end()) << corner;
  }
  EXPECT_LT(*std::max_element(indices.begin(), indices.end()), 64u * 64);
  scene.view.elevation = -30.0;  // 6.5 below the target, the floor 1 below it
  display();
  EXPECT_EQ(firstOf(fake_gl::take(), "glScaled"), -1);
  scene.view.elevation = 0.0;
  onKey('w', 0, 0);
  display();
  EXPECT_EQ(firstOf(fake_gl::take(), "glScaled"), -1);
}

TEST(DownsampleTest, EachPixelIsItsBlocksRoundedMean) {
  // Two pixels of 2 by 2 blocks, each row of the large picture 4 pixels of 3 channels.
  const std::uint8_t big[2 * 12] = {0, 1, 255, 1, 1, 255, 1, 2, 9, 3, 4, 9,
                                    1, 1, 254, 1, 2, 255, 2, 2, 9, 2, 4, 10};
  std::uint8_t out[6] = {};
  downsample(big, 2, 2, 1, out);
  const std::uint8_t wanted[6] = {1, 1, 255, 2, 3, 9};
  EXPECT_TRUE(std::equal(out, out + 6, wanted))
      << int(out[0]) << " " << int(out[1]) << " " << int(out[2]) << " " << int(out[3]) << " "
      << int(out[4]) << " " << int(out[5]);
}

}  // namespace
}  // namespace vellumry
