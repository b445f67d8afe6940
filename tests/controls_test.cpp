#include "app/controls.h"

#include <GL/gl.h>
#include <GL/glut.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <memory>
#include <string>
#include <tuple>
#include <vector>

#include "app/viewer.h"
#include "fake_gl.h"

namespace vellumry {
namespace {

using fake_gl::Call;
using fake_gl::expected;

constexpr double e(GLenum value) { return static_cast<double>(value); }

bool sameBits(const Vec3& a, const Vec3& b) {
  return fake_gl::bits(a.x) == fake_gl::bits(b.x) && fake_gl::bits(a.y) == fake_gl::bits(b.y) &&
         fake_gl::bits(a.z) == fake_gl::bits(b.z);
}

testing::AssertionResult samePositions(const Cloth& a, const Cloth& b) {
  for (int j = 0; j < kMaxParticles; ++j) {
    if (!sameBits(a.particles[j].position, b.particles[j].position) ||
        !sameBits(a.particles[j].velocity, b.particles[j].velocity)) {
      return testing::AssertionFailure() << "particle " << j << " differs";
    }
  }
  return testing::AssertionSuccess();
}

// Everything the controls may change, to check that an event changed only what it should.
struct Snapshot {
  int mouseMode;
  double viewAngle;
  GLenum drawMode;
  int dragStartX;
  int dragStartY;
  Vec3 mountVelocity0;
  Vec3 mountVelocity1;
  bool fullscreen;
  double spinRate;

  static Snapshot take() {
    return {vellumry::mouseMode,      vellumry::viewAngle,  vellumry::drawMode,
            vellumry::dragStartX,     vellumry::dragStartY, vellumry::mountVelocity0,
            vellumry::mountVelocity1, vellumry::fullscreen, vellumry::spinRate};
  }
};

void expectSame(const Snapshot& a, const Snapshot& b) {
  EXPECT_EQ(a.mouseMode, b.mouseMode);
  EXPECT_EQ(fake_gl::bits(a.viewAngle), fake_gl::bits(b.viewAngle));
  EXPECT_EQ(a.drawMode, b.drawMode);
  EXPECT_EQ(a.dragStartX, b.dragStartX);
  EXPECT_EQ(a.dragStartY, b.dragStartY);
  EXPECT_TRUE(sameBits(a.mountVelocity0, b.mountVelocity0));
  EXPECT_TRUE(sameBits(a.mountVelocity1, b.mountVelocity1));
  EXPECT_EQ(a.fullscreen, b.fullscreen);
  EXPECT_EQ(fake_gl::bits(a.spinRate), fake_gl::bits(b.spinRate));
}

class ControlsTest : public testing::Test {
 protected:
  void SetUp() override {
    fake_gl::resetProgram();
    initScene();
    fake_gl::clear();
  }
  void TearDown() override { fake_gl::resetProgram(); }

  static void leftPress(int x, int y) { onMouse(GLUT_LEFT_BUTTON, GLUT_DOWN, x, y); }
  static void leftRelease(int x, int y) { onMouse(GLUT_LEFT_BUTTON, GLUT_UP, x, y); }
  static void expectNothingRecorded() {
    EXPECT_TRUE(fake_gl::sameCalls(fake_gl::calls(), {})) << "mouse events call no GL or GLUT";
  }
};

TEST_F(ControlsTest, RotateDragSpinsTheViewUntilTheLeftRelease) {
  onMenu(kMenuRotate);
  EXPECT_EQ(mouseMode, 0);
  leftPress(100, 200);
  onMotion(350, 260);  // dx 250 of 500: half of 30 degrees per tick, whatever dy
  EXPECT_EQ(spinRate, 15.0);
  EXPECT_TRUE(sameBits(mountVelocity0, Vec3()));
  EXPECT_TRUE(sameBits(mountVelocity1, Vec3()));
  expectNothingRecorded();

  // Holding still keeps it spinning: the rate follows the distance from the press point.
  tick(0);
  tick(0);
  EXPECT_EQ(viewAngle, -50.0);
  onMotion(50, 0);
  EXPECT_EQ(spinRate, -3.0);
  onMotion(350, 0);
  EXPECT_EQ(spinRate, 15.0);

  fake_gl::clear();
  leftRelease(350, 260);
  EXPECT_EQ(spinRate, 0.0);
  expectNothingRecorded();
  tick(0);
  EXPECT_EQ(viewAngle, -50.0) << "the spin stops at once on release";
}

TEST_F(ControlsTest, EndpointDistMovesTheMountsApartOrTogetherAlongZ) {
  onMenu(kMenuEndpointDist);
  leftPress(10, 20);
  // x and y of the velocities are left as they are, and the spin too.
  mountVelocity0 = Vec3(0.25, 0.5, 9.0);
  mountVelocity1 = Vec3(-0.25, -0.5, 9.0);
  spinRate = 1.5;
  onMotion(400, 70);
  EXPECT_TRUE(sameBits(mountVelocity0, Vec3(0.25, 0.5, 50.0 / 500 * 0.2)));
  EXPECT_TRUE(sameBits(mountVelocity1, Vec3(-0.25, -0.5, -(50.0 / 500 * 0.2))));
  EXPECT_NEAR(mountVelocity0.z, 0.02, 1e-17);
  EXPECT_EQ(spinRate, 1.5);

  onMotion(0, -480);  // up by 500: apart at 0.2 per tick
  EXPECT_EQ(mountVelocity0.z, -0.2);
  EXPECT_EQ(mountVelocity1.z, 0.2);
  expectNothingRecorded();
}

TEST_F(ControlsTest, FlapMovesBothMountsTogether) {
  onMenu(kMenuFlap);
  leftPress(200, 300);
  mountVelocity0.y = 0.75;
  mountVelocity1.y = -0.75;
  onMotion(250, 200);  // dx 50, dy -100
  EXPECT_TRUE(sameBits(mountVelocity0, Vec3(-100.0 / 500 * 0.1, 0.75, 50.0 / 500 * 0.1)));
  EXPECT_TRUE(sameBits(mountVelocity1, Vec3(-100.0 / 500 * 0.1, -0.75, 50.0 / 500 * 0.1)));
  EXPECT_NEAR(mountVelocity0.x, -0.02, 1e-17);
  EXPECT_NEAR(mountVelocity0.z, 0.01, 1e-17);
  EXPECT_EQ(spinRate, 0.0);
  expectNothingRecorded();

  // The next tick moves both mounts by the rates, after drawing.
  const Vec3 before0 = cloth.particleAt(0, 0).position;
  const Vec3 before1 = cloth.particleAt(0, 14).position;
  tick(0);
  Vec3 after0 = before0;
  after0 += mountVelocity0;
  Vec3 after1 = before1;
  after1 += mountVelocity1;
  EXPECT_TRUE(sameBits(cloth.particleAt(0, 0).position, after0));
  EXPECT_TRUE(sameBits(cloth.particleAt(0, 14).position, after1));

  leftRelease(250, 200);
  EXPECT_TRUE(sameBits(mountVelocity0, Vec3()));
  EXPECT_TRUE(sameBits(mountVelocity1, Vec3()));
  tick(0);
  EXPECT_TRUE(sameBits(cloth.particleAt(0, 0).position, after0)) << "the mounts stay on release";
}

TEST_F(ControlsTest, ExtremeCoordinatesGiveUnwrappedRates) {
  // The distance from INT_MIN to INT_MAX does not fit an int; it must not wrap around.
  const double span = 4294967295.0;
  onMenu(kMenuRotate);
  leftPress(INT_MIN, INT_MAX);
  onMotion(INT_MAX, INT_MIN);
  EXPECT_EQ(spinRate, span / 500 * 30.0);
  EXPECT_GT(spinRate, 2.5e8);

  onMenu(kMenuEndpointDist);
  onMotion(INT_MAX, INT_MIN);
  EXPECT_EQ(mountVelocity0.z, -span / 500 * 0.2);
  EXPECT_LT(mountVelocity0.z, -1.7e6);

  onMenu(kMenuFlap);
  leftPress(INT_MAX, INT_MIN);
  onMotion(INT_MIN, INT_MAX);
  EXPECT_EQ(mountVelocity1.z, -span / 500 * 0.1);
  EXPECT_EQ(mountVelocity1.x, span / 500 * 0.1);
}

TEST_F(ControlsTest, DragBeforeAnyDragChoiceChangesNothing) {
  // The commands do not choose a drag control either.
  onMenu(kMenuRedrop);
  onMenu(kMenuDrawMode);
  onMenu(kMenuDrawMode);
  onMenu(kMenuFullscreen);
  onMenu(kMenuFullscreen);
  EXPECT_EQ(mouseMode, -1);
  fake_gl::clear();

  leftPress(250, 250);
  const Snapshot pressed = Snapshot::take();
  for (const int x : {0, 499, 100000, INT_MIN, INT_MAX}) {
    onMotion(x, x);
  }
  onMouse(GLUT_MIDDLE_BUTTON, GLUT_DOWN, 3, 4);
  onMotion(-7000, 7000);
  expectSame(Snapshot::take(), pressed);
  expectNothingRecorded();
}

TEST_F(ControlsTest, RedropRebuildsTheClothAndKeepsTheRates) {
  onMenu(kMenuRotate);
  leftPress(0, 0);
  onMotion(100, 0);
  mountVelocity0 = Vec3(0.01, 0.02, 0.03);
  mountVelocity1 = Vec3(-0.01, -0.02, -0.03);
  for (int t = 0; t < 10; ++t) {
    tick(0);
  }
  fake_gl::clear();
  const Snapshot dragging = Snapshot::take();

  onMenu(kMenuRedrop);
  auto fresh = std::make_unique<Cloth>();
  fresh->build(3.0, 15);
  EXPECT_TRUE(samePositions(cloth, *fresh)) << "back to the flat starting pose at once";
  EXPECT_TRUE(cloth.particleAt(0, 0).pinned);
  EXPECT_TRUE(cloth.particleAt(0, 14).pinned);
  expectSame(Snapshot::take(), dragging);
  expectNothingRecorded();

  // The drag keeps acting on the new cloth.
  tick(0);
  EXPECT_EQ(viewAngle, dragging.viewAngle + 6.0);
  EXPECT_TRUE(sameBits(cloth.particleAt(0, 0).position, Vec3(0.01, 0.02, 0.03)));
}

TEST_F(ControlsTest, DrawModeTogglesBetweenWireframeAndTheLitSurface) {
  onMenu(kMenuDrawMode);
  EXPECT_TRUE(fake_gl::sameCalls(
      fake_gl::take(),
      {expected("glDisable", {e(GL_LIGHTING)}), expected("glDisable", {e(GL_NORMALIZE)}),
       expected("glPolygonMode", {e(GL_FRONT_AND_BACK), e(GL_LINE)})}));
  EXPECT_EQ(drawMode, static_cast<GLenum>(GL_FLAT));
  tick(0);
  EXPECT_EQ(fake_gl::count("glBegin"), 812) << "one line per spring";
  EXPECT_EQ(fake_gl::count("glNormal3d"), 0);
  fake_gl::clear();

  onMenu(kMenuDrawMode);
  EXPECT_TRUE(fake_gl::sameCalls(
      fake_gl::take(), {expected("glEnable", {e(GL_LIGHT0)}), expected("glEnable", {e(GL_LIGHT1)}),
                        expected("glEnable", {e(GL_LIGHTING)})}));
  EXPECT_EQ(drawMode, static_cast<GLenum>(GL_SMOOTH));
  tick(0);
  EXPECT_EQ(fake_gl::count("glBegin"), 28) << "two strips per row of cells";
  EXPECT_EQ(mouseMode, -1);
}

TEST_F(ControlsTest, FullscreenTogglesWithTheRequestedSize) {
  const Call reshape = expected("glutReshapeWindow", {500.0, 500.0});
  const Call full = expected("glutFullScreen", {});
  onMenu(kMenuFullscreen);
  EXPECT_TRUE(fake_gl::sameCalls(fake_gl::take(), {full}));
  EXPECT_TRUE(fullscreen);
  onMenu(kMenuFullscreen);
  EXPECT_TRUE(fake_gl::sameCalls(fake_gl::take(), {reshape}));
  EXPECT_FALSE(fullscreen);
  onMenu(kMenuFullscreen);
  EXPECT_TRUE(fake_gl::sameCalls(fake_gl::take(), {full}));
  EXPECT_EQ(mouseMode, -1);
  EXPECT_EQ(drawMode, static_cast<GLenum>(GL_SMOOTH));
}

TEST_F(ControlsTest, MiddleDragKeepsSpinningUntilTheNextLeftRelease) {
  onMenu(kMenuRotate);
  // Before any left press the distance is measured from (0, 0).
  onMouse(GLUT_MIDDLE_BUTTON, GLUT_DOWN, 300, 40);
  onMotion(250, 40);
  EXPECT_EQ(spinRate, 15.0);

  leftPress(100, 0);
  leftRelease(100, 0);
  EXPECT_EQ(spinRate, 0.0);
  onMouse(GLUT_MIDDLE_BUTTON, GLUT_DOWN, 400, 0);
  EXPECT_EQ(dragStartX, 100) << "the middle press is not a press point";
  onMotion(200, 0);
  EXPECT_EQ(spinRate, 6.0);
  onMouse(GLUT_MIDDLE_BUTTON, GLUT_UP, 200, 0);
  EXPECT_EQ(spinRate, 6.0) << "the middle release stops nothing";
  tick(0);
  tick(0);
  EXPECT_EQ(viewAngle, -68.0);
  leftPress(5, 5);
  EXPECT_EQ(spinRate, 6.0);
  leftRelease(5, 5);
  EXPECT_EQ(spinRate, 0.0);
}

TEST_F(ControlsTest, LeftReleaseWithoutPressOnlyStopsTheRates) {
  // What a menu pick or dismissal delivers: a release that no press preceded.
  onMenu(kMenuFlap);
  onMenu(kMenuDrawMode);
  onMenu(kMenuFullscreen);
  leftPress(11, 12);
  onMotion(-300, 900);
  spinRate = 4.0;
  viewAngle = 123.25;
  for (int t = 0; t < 5; ++t) {
    tick(0);
  }
  fake_gl::clear();
  const std::vector<Particle> before(cloth.particles.begin(),
                                     cloth.particles.begin() + kMaxParticles);
  Snapshot wanted = Snapshot::take();
  wanted.spinRate = 0.0;
  wanted.mountVelocity0 = Vec3();
  wanted.mountVelocity1 = Vec3();

  for (int i = 0; i < 3; ++i) {
    leftRelease(i == 0 ? 480 : INT_MIN, i == 0 ? 20 : INT_MAX);
    expectSame(Snapshot::take(), wanted);
  }
  for (int j = 0; j < kMaxParticles; ++j) {
    EXPECT_TRUE(sameBits(cloth.particles[j].position, before[j].position)) << "particle " << j;
    EXPECT_TRUE(sameBits(cloth.particles[j].velocity, before[j].velocity)) << "particle " << j;
  }
  expectNothingRecorded();
  EXPECT_EQ(cloth.springCount, 812);
}

TEST_F(ControlsTest, ButtonsOtherThanLeftAreIgnored) {
  onMenu(kMenuRotate);
  leftPress(100, 100);
  onMotion(200, 100);
  const Snapshot dragging = Snapshot::take();
  ASSERT_EQ(spinRate, 6.0);
  for (const int button : {GLUT_MIDDLE_BUTTON, GLUT_RIGHT_BUTTON, 3, 4, -1, INT_MIN, INT_MAX}) {
    for (const int state : {GLUT_DOWN, GLUT_UP}) {
      onMouse(button, state, 7, 9);
      expectSame(Snapshot::take(), dragging);
    }
  }
  expectNothingRecorded();
}

TEST_F(ControlsTest, HelpTextIsPrintedExactly) {
  testing::internal::CaptureStdout();
  printHelp();
  const std::string out = testing::internal::GetCapturedStdout();
  EXPECT_EQ(out,
            "Vellumry\n"
            "A cloth of point masses and springs, hanging from two mount points.\n"
            "\n"
            "Right click on screen to select mouse controls -\n"
            "\tRotate - click left button, drag left/right to rotate viewpoint\n"
            "\tEndpointDist- click left button, drag up/down to adjust distance between mount "
            "points\n"
            "\tFlap - click left button, drag up/down/right to adjust position of mount points\n"
            "\tRedrop - drop cloth again\n"
            "\tDrawMode - toggle Gouraud shade / wireframe\n\n"
            "\tFullscreen - duh\n\n"
            "Twitching too hard will screw up the program :-)\n\n");
  expectNothingRecorded();
}

// Cloth point (x, y, z) is drawn at GLUT pixel (250 + 50 x, 249.5 - 50 z), window depth 0.5 - 0.1
// y.
using GestureTest = ControlsTest;
void modifiedPress(int modifiers, int x, int y) {
  fake_gl::answers() = {modifiers,
                        {0, 0, 500, 500},
                        {0.2, 0, 0, 0, 0, 0.2, 0, 0, 0, 0, 0.2, 0, 0, 0, 0, 1},
                        {1, 0, 0, 0, 0, 0, -1, 0, 0, 1, 0, 0, 0, 0, 0, 1}};
  onMouse(GLUT_LEFT_BUTTON, GLUT_DOWN, x, y);
  fake_gl::answers().modifiers = 0;
}

TEST_F(GestureTest, CtrlClickTogglesThePinOfTheParticleUnderThePointerAndNothingElse) {
  const int particle = 3 + 15 * 4;  // (3, 4) of the flat 15 by 15 cloth, at (282.1, 206.6)
  for (const bool pinned : {true, false}) {
    modifiedPress(GLUT_ACTIVE_CTRL, 284, 204);
    leftRelease(284, 204);
    EXPECT_EQ(cloth.particles[particle].pinned, pinned);
  }
  modifiedPress(GLUT_ACTIVE_CTRL | GLUT_ACTIVE_SHIFT, 100, 100);  // off the cloth
  EXPECT_FALSE(grab.active || cloth.particles[particle].pinned);
  EXPECT_EQ(dragStartX, 0) << "a modified press is not a drag's press";
}

// On a 3 by 3 cloth a path down between columns 0 and 1 crosses exactly the springs joining them.
TEST_F(GestureTest, AltDragCutsExactlyTheSpringsItsPathCrosses) {
  for (const int modifiers : {0, GLUT_ACTIVE_SHIFT, GLUT_ACTIVE_ALT}) {
    const bool cuts = modifiers == GLUT_ACTIVE_ALT;
    cloth.build(3.0, 3);
    modifiedPress(modifiers, 290, 40);
    onMotion(290, 180);
    onMotion(290, 300);
    leftRelease(290, 300);
    for (int s = 0; s < cloth.springCount; ++s) {
      const auto a = cloth.springs[s].particleA - cloth.particles.data();
      const auto b = cloth.springs[s].particleB - cloth.particles.data();
      const bool crossed = std::min(a % 3, b % 3) == 0 && std::max(a % 3, b % 3) == 1;
      EXPECT_EQ(cloth.broken[s] != 0, cuts && crossed) << "spring " << s << ", " << modifiers;
    }
    EXPECT_EQ(cloth.brokenCount, cuts ? 7 : 0) << "3 structural and 4 shear springs";
  }
}

// Shift + drag moves the ball when its ray meets the ball before any particle near the pointer.
TEST_F(GestureTest, ShiftDragOnTheBallMovesItAcrossThePlaneFacingTheView) {
  scene.world.ball.enabled = true;
  // Beside the cloth, in front of it (the ball moves), behind it (the particle is held).
  for (const auto& [centre, x, y, moves] : {std::tuple{Vec3(-2.0, -1.0, 1.5), 150, 174, true},
                                            std::tuple{Vec3(1.5, 1.5, 1.5), 325, 174, true},
                                            std::tuple{Vec3(1.5, -1.5, 1.5), 325, 174, false}}) {
    scene.world.ball.centre = centre;
    modifiedPress(GLUT_ACTIVE_SHIFT, x, y);
    EXPECT_EQ(grab.active, !moves);
    onMotion(x + 20, y - 10);
    const Vec3 wanted = moves ? Vec3(centre.x + 0.4, centre.y, centre.z + 0.2) : centre;
    EXPECT_LT((scene.world.ball.centre - wanted).lengthSquared(), 1e-18) << "at x " << centre.x;
    leftRelease(x + 20, y - 10);
  }
}

// A fold: two particles drawn at the same pixel, one above the other in depth. The grab and the
// pin take the one in front (window depth 0.5 - 0.1 y: the higher), whichever comes first.
TEST_F(GestureTest, OfTwoParticlesAtOnePixelTheGrabAndThePinTakeTheOneInFront) {
  for (const auto& [front, behind] : {std::pair{20, 40}, std::pair{40, 20}}) {
    SCOPED_TRACE(testing::Message() << "particle " << front << " in front of " << behind);
    cloth.build(kClothWidth, kClothGridSize);
    cloth.particles[front].position = Vec3(-2.0, 1.0, 1.5);  // at (150, 174.5), 100 pixels left
    cloth.particles[behind].position = Vec3(-2.0, -1.0, 1.5);
    modifiedPress(GLUT_ACTIVE_SHIFT, 150, 174);
    EXPECT_TRUE(grab.active && grab.particle == front) << "grabbed " << grab.particle;
    leftRelease(150, 174);
    modifiedPress(GLUT_ACTIVE_CTRL, 150, 174);
    leftRelease(150, 174);
    EXPECT_TRUE(cloth.particles[front].pinned);
    EXPECT_FALSE(cloth.particles[behind].pinned);
  }
}

}  // namespace
}  // namespace vellumry
