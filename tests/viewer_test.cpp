#include "app/viewer.h"

#include <GL/gl.h>
#include <GL/glut.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <tuple>
#include <vector>

#include "app/controls.h"
#include "app/solid_draw.h"
#include "app/world_draw.h"
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

// Every particle of the two cloths, field by field and bit for bit.
testing::AssertionResult sameParticles(const Cloth& a, const Cloth& b) {
  for (int j = 0; j < kMaxParticles; ++j) {
    const Particle& p = a.particles[j];
    const Particle& q = b.particles[j];
    if (!sameBits(p.force, q.force) || !sameBits(p.position, q.position) ||
        !sameBits(p.velocity, q.velocity) || fake_gl::bits(p.mass) != fake_gl::bits(q.mass) ||
        p.pinned != q.pinned) {
      return testing::AssertionFailure() << "particle " << j << " differs";
    }
  }
  return testing::AssertionSuccess();
}

// The calls that drawing this cloth in the given style sends on its own.
std::vector<Call> drawingOf(Cloth& c, GLenum mode) {
  const std::vector<Call> before = fake_gl::take();
  if (mode == GL_SMOOTH) {
    c.drawShaded();
  } else {
    c.drawWireframe();
  }
  std::vector<Call> drawn = fake_gl::take();
  EXPECT_TRUE(before.empty()) << "drawingOf wants an empty record";
  return drawn;
}

// One frame as display must send it: the model transform around the drawing.
std::vector<Call> frame(double angle, const std::vector<Call>& drawing) {
  std::vector<Call> calls = {
      expected("glClear", {e(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT)}),
      expected("glPushMatrix", {}),
      expected("glTranslated", {0.0, 2.5, 0.0}),
      expected("glRotated", {angle, 0.0, 1.0, 0.0}),
      expected("glTranslated", {0.0, 0.0, -1.5}),
  };
  calls.insert(calls.end(), drawing.begin(), drawing.end());
  calls.push_back(expected("glPopMatrix", {}));
  calls.push_back(expected("glutSwapBuffers", {}));
  return calls;
}

Call rearm() {
  Call call = expected("glutTimerFunc", {20.0, 0.0});
  call.intCallback = tick;
  return call;
}

class ViewerTest : public testing::Test {
 protected:
  void SetUp() override { fake_gl::resetProgram(); }
  void TearDown() override { fake_gl::resetProgram(); }
};

TEST_F(ViewerTest, InitSceneSetsTheFixedStateBuildsTheClothAndInstallsTheControls) {
  initScene();

  std::vector<Call> wanted = {
      expected("glLightfv", {e(GL_LIGHT0), e(GL_DIFFUSE), 1.0, 1.0, 1.0, 1.0}),
      expected("glLightfv", {e(GL_LIGHT0), e(GL_POSITION), 0.0, 3.0, -10.0, 1.0}),
      expected("glLightfv", {e(GL_LIGHT1), e(GL_DIFFUSE), 1.0, 1.0, 1.0, 1.0}),
      expected("glLightfv", {e(GL_LIGHT1), e(GL_POSITION), 0.0, -3.0, 10.0, 1.0}),
      expected("glEnable", {e(GL_LIGHT0)}),
      expected("glEnable", {e(GL_LIGHT1)}),
      expected("glEnable", {e(GL_LIGHTING)}),
      expected("glEnable", {e(GL_DEPTH_TEST)}),
      expected("glMatrixMode", {e(GL_PROJECTION)}),
      expected("glLoadIdentity", {}),
      expected("gluPerspective", {30.0, 1.0, 1.0, 100.0}),
      expected("glViewport", {0.0, 0.0, 500.0, 500.0}),
      expected("gluLookAt", {0.0, 0.0, -13.0, 0.0, 0.0, 0.0, 0.0, 1.0, 0.0}),
      expected("glClearColor", {0.0, 0.0, 0.0, 0.0}),
      expected("glMatrixMode", {e(GL_MODELVIEW)}),
      expected("glMaterialfv", {e(GL_FRONT_AND_BACK), e(GL_AMBIENT), 0.5, 0.5, 0.5, 1.0}),
      // The material is single precision: 0.8 arrives as the float nearest to it.
      expected("glMaterialfv",
               {e(GL_FRONT_AND_BACK), e(GL_DIFFUSE), 0.0, 1.0, static_cast<double>(0.8f), 1.0}),
  };
  wanted.push_back(expected("glutMouseFunc", {}));
  wanted.back().mouseCallback = onMouse;
  wanted.push_back(expected("glutMotionFunc", {}));
  wanted.back().motionCallback = onMotion;
  wanted.push_back(expected("glutCreateMenu", {}));
  wanted.back().intCallback = onMenu;
  wanted.push_back(fake_gl::expectedLabel("glutAddMenuEntry", "Rotate", 0));
  wanted.push_back(fake_gl::expectedLabel("glutAddMenuEntry", "EndpointDist", 1));
  wanted.push_back(fake_gl::expectedLabel("glutAddMenuEntry", "Flap", 2));
  wanted.push_back(fake_gl::expectedLabel("glutAddMenuEntry", "Redrop", 99));
  wanted.push_back(fake_gl::expectedLabel("glutAddMenuEntry", "DrawMode", 4));
  wanted.push_back(fake_gl::expectedLabel("glutAddMenuEntry", "Fullscreen", 3));
  wanted.push_back(expected("glutAttachMenu", {static_cast<double>(GLUT_RIGHT_BUTTON)}));
  EXPECT_TRUE(fake_gl::sameCalls(fake_gl::calls(), wanted));

  // The cloth is built as 3.0 wide with 15 per side, and no frame is drawn yet.
  auto fresh = std::make_unique<Cloth>();
  fresh->build(3.0, 15);
  EXPECT_TRUE(sameParticles(cloth, *fresh));
  EXPECT_EQ(cloth.width, 3.0);
  EXPECT_EQ(cloth.gridSize, 15);
  EXPECT_EQ(cloth.particleCount, 225);
  EXPECT_EQ(cloth.springCount, 812);
  EXPECT_EQ(cloth.system.particles.size(), 225u);
  EXPECT_EQ(cloth.system.forces.size(), 1262u);
  EXPECT_TRUE(sameBits(cloth.particleAt(14, 14).position, Vec3(3.0, 0.0, 3.0)));

  // The interaction values are untouched.
  EXPECT_EQ(viewAngle, -80.0);
  EXPECT_EQ(drawMode, static_cast<GLenum>(GL_SMOOTH));
  EXPECT_EQ(mouseMode, -1);
  EXPECT_EQ(spinRate, 0.0);
  EXPECT_FALSE(fullscreen);
}

TEST_F(ViewerTest, DisplayDrawsTheStyleOfDrawModeInsideTheModelTransform) {
  cloth.build(3.0, 15);
  for (int i = 0; i < 30; ++i) {
    cloth.step(0.05);
  }
  viewAngle = 33.375;

  display();
  std::vector<Call> calls = fake_gl::take();
  EXPECT_TRUE(fake_gl::sameCalls(calls, frame(33.375, drawingOf(cloth, GL_SMOOTH))));

  drawMode = GL_FLAT;
  display();
  calls = fake_gl::take();
  EXPECT_TRUE(fake_gl::sameCalls(calls, frame(33.375, drawingOf(cloth, GL_FLAT))));

  // Any other value draws nothing, but the frame is still cleared and swapped.
  for (const GLenum other : {GLenum{0}, GLenum{GL_LINE}, GLenum{GL_FILL}, GLenum{GL_SMOOTH + 1}}) {
    drawMode = other;
    display();
    EXPECT_TRUE(fake_gl::sameCalls(fake_gl::take(), frame(33.375, {}))) << "drawMode " << other;
  }
  EXPECT_EQ(viewAngle, 33.375) << "display only draws";
}

TEST_F(ViewerTest, TickStepsTwiceDrawsOneFrameThenSpinsMovesTheMountsAndRearms) {
  initScene();
  fake_gl::clear();
  spinRate = 2.5;
  mountVelocity0 = Vec3(0.125, -0.25, 0.5);
  mountVelocity1 = Vec3(-0.0625, 0.375, -0.75);

  // The same cloth, stepped by hand: two separate steps of 0.05 per tick.
  auto reference = std::make_unique<Cloth>();
  reference->build(3.0, 15);
  {
    auto once = std::make_unique<Cloth>();
    once->build(3.0, 15);
    once->step(0.1);
    reference->step(0.05);
    reference->step(0.05);
    ASSERT_FALSE(sameParticles(*once, *reference)) << "one step of 0.1 must differ from two of "
                                                      "0.05 for this test to tell them apart";
  }

  double angle = -80.0;
  for (int t = 0; t < 3; ++t) {
    SCOPED_TRACE(testing::Message() << "tick " << t);
    if (t > 0) {
      reference->step(0.05);
      reference->step(0.05);
    }
    tick(0);
    std::vector<Call> calls = fake_gl::take();
    // The frame shows the stepped cloth before the mounts move, at the angle before the spin.
    std::vector<Call> wanted = frame(angle, drawingOf(*reference, GL_SMOOTH));
    wanted.push_back(rearm());
    EXPECT_TRUE(fake_gl::sameCalls(calls, wanted));

    // Then the spin and the mounts, by exactly their rates.
    angle += 2.5;
    EXPECT_EQ(viewAngle, angle);
    reference->particleAt(0, 0).position += Vec3(0.125, -0.25, 0.5);
    reference->particleAt(0, 14).position += Vec3(-0.0625, 0.375, -0.75);
    EXPECT_TRUE(sameParticles(cloth, *reference));
  }
  EXPECT_EQ(viewAngle, -72.5);
  EXPECT_TRUE(sameBits(cloth.particleAt(0, 14).position, Vec3(-0.1875, 1.125, 0.75)));
}

TEST_F(ViewerTest, WithoutInputTheViewAndTheMountsStayWhileTheClothFalls) {
  initScene();
  fake_gl::clear();
  for (int t = 0; t < 20; ++t) {
    tick(0);
    ASSERT_EQ(fake_gl::count("glutSwapBuffers"), 1) << "tick " << t;
    ASSERT_EQ(fake_gl::calls().back(), rearm()) << "tick " << t;
    fake_gl::clear();
  }
  EXPECT_EQ(viewAngle, -80.0);
  EXPECT_TRUE(sameBits(cloth.particleAt(0, 0).position, Vec3(0.0, 0.0, 0.0)));
  EXPECT_TRUE(sameBits(cloth.particleAt(0, 14).position, Vec3(0.0, 0.0, 3.0)));
  EXPECT_LT(cloth.particleAt(14, 7).position.y, -0.5) << "the free edge falls";
}

double clockMs = 0.0;
double clockStepMs = 0.0;  // added at each reading: a tick reads at its start, end of work, re-arm
double steppingClock() { return clockMs += clockStepMs; }

// Never 0 ms: a timer always due kept GLUT from drawing a menu opened over a slow cloth.
TEST_F(ViewerTest, AnyOtherSceneDrawsThroughArraysAndArmsWhatIsLeftOfTwentyMilliseconds) {
  tickClock = steppingClock;
  const std::tuple<int, double, double> cases[] = {
      {15, 3.875, 20}, {15, 15.5, 20}, {20, 3.875, 12}, {20, 9.625, 1}, {20, 15.5, 1}};
  for (const auto& [grid, step, timer] : cases) {
    scene.grid = grid;
    clockStepMs = step;
    dropCloth();
    tick(0);
    EXPECT_EQ(tickWorkMs, step);
    EXPECT_EQ(fake_gl::calls().back().arg(0), timer)
        << "grid " << grid << ", " << 2 * step << " ms";
    EXPECT_EQ(fake_gl::count("glBegin") == 0, grid != 15) << "arrays for any but the default";
    fake_gl::clear();
  }
}

// After the cloth: the floor, the sphere of the one quadric, the cloth's material (lit only) again.
TEST_F(ViewerTest, TheBallAndTheFloorAreDrawnAfterTheClothAndTheClothsMaterialIsRestored) {
  cloth.build(3.0, 15);
  scene.world.ball = {true, Vec3(1.0, -2.0, 0.5), 0.75, 0.3};
  scene.world.floor.enabled = true;
  const auto material = [](GLenum which, const GLfloat* v) {
    return expected("glMaterialfv", {e(GL_FRONT_AND_BACK), e(which), v[0], v[1], v[2], v[3]});
  };
  std::vector<double> quadrics;
  for (const GLenum mode : {GLenum{GL_SMOOTH}, GLenum{GL_FLAT}}) {
    drawMode = mode;
    display();
    EXPECT_EQ(fake_gl::count("glVertex3d"), 4 * kFloorTiles * kFloorTiles) << "the floor's alone";
    EXPECT_EQ(fake_gl::count("glMaterialfv"), mode == GL_SMOOTH ? 8 : 0);
    const std::vector<Call> calls = fake_gl::take();
    const auto sphere = std::find_if(calls.begin(), calls.end(),
                                     [](const Call& c) { return c.name == "gluSphere"; });
    ASSERT_NE(sphere, calls.end());
    quadrics.push_back(sphere->arg(0));
    std::vector<Call> wanted = {expected("glPushMatrix", {}),
                                expected("glTranslated", {1.0, -2.0, 0.5}),
                                expected("gluSphere", {quadrics[0], 0.75, 32, 16}),
                                expected("glPopMatrix", {}),
                                expected("glPopMatrix", {}),
                                expected("glutSwapBuffers", {})};
    if (mode == GL_SMOOTH) {
      wanted.insert(wanted.begin() + 4,
                    {material(GL_AMBIENT, kClothAmbient), material(GL_DIFFUSE, kClothDiffuse)});
    }
    EXPECT_TRUE(
        fake_gl::sameCalls({calls.end() - static_cast<long>(wanted.size()), calls.end()}, wanted))
        << "drawMode " << mode;
  }
}

// The floor is pushed back in depth while it is drawn, and outlined in wireframe.
TEST_F(ViewerTest, TheFloorIsOffsetInDepthAndOutlinedInWireframe) {
  cloth.build(3.0, 15);
  scene.world.floor.enabled = true;
  for (const GLenum mode : {GLenum{GL_SMOOTH}, GLenum{GL_FLAT}}) {
    drawMode = mode;
    display();
    const std::vector<Call> calls = fake_gl::take();
    std::vector<std::string_view> names;
    for (const Call& c : calls) {
      if (c.name == "glPolygonOffset" || c.name == "glBegin" ||
          (c.name == "glPolygonMode" && c.arg(1) == e(GL_LINE)) ||
          ((c.name == "glEnable" || c.name == "glDisable") &&
           c.arg(0) == e(GL_POLYGON_OFFSET_FILL))) {
        names.push_back(c.name);
      }
    }
    const std::vector<std::string_view> lit = {"glEnable", "glPolygonOffset", "glBegin", "glBegin",
                                               "glDisable"};
    const std::vector<std::string_view> lines = {"glEnable", "glPolygonOffset", "glPolygonMode",
                                                 "glBegin",  "glBegin",         "glDisable"};
    // The cloth's own primitives come first: only the floor's last two glBegin are compared.
    ASSERT_GE(names.size(), lit.size());
    names.erase(names.begin(),
                names.end() - static_cast<long>(mode == GL_SMOOTH ? lit.size() : lines.size()));
    EXPECT_EQ(names, mode == GL_SMOOTH ? lit : lines) << "drawMode " << mode;
  }
}

// The solid's triangles where the collider places them: lit in its own colour with one normal
// each, the cloth's material after; plain lines in wireframe; nothing at all without a solid.
TEST_F(ViewerTest, TheSolidIsDrawnLitInItsOwnColourAndTheClothsMaterialIsRestored) {
  cloth.build(3.0, 15);
  const SolidMesh solid{{{0, 0, 0}, {0, 0, 1}, {1, 0, 0}, {0, 1, 0}}, {{0, 1, 2}, {0, 3, 1}}};
  collider.setSolid(&solid, {Vec3(1.0, -2.0, 0.5), 2.0, 0.5});
  const auto material = [](GLenum which, const GLfloat* v) {
    return expected("glMaterialfv", {e(GL_FRONT_AND_BACK), e(which), v[0], v[1], v[2], v[3]});
  };
  const std::vector<Call> lit = {material(GL_AMBIENT, kSolidAmbient),
                                 material(GL_DIFFUSE, kSolidDiffuse),
                                 expected("glBegin", {e(GL_TRIANGLES)}),
                                 expected("glNormal3d", {0, 1, 0}),
                                 expected("glVertex3d", {1, -2, 0.5}),
                                 expected("glVertex3d", {1, -2, 2.5}),
                                 expected("glVertex3d", {3, -2, 0.5}),
                                 expected("glNormal3d", {1, 0, 0}),
                                 expected("glVertex3d", {1, -2, 0.5}),
                                 expected("glVertex3d", {1, 0, 0.5}),
                                 expected("glVertex3d", {1, -2, 2.5}),
                                 expected("glEnd", {}),
                                 material(GL_AMBIENT, kClothAmbient),
                                 material(GL_DIFFUSE, kClothDiffuse),
                                 expected("glPopMatrix", {}),
                                 expected("glutSwapBuffers", {})};
  display();
  std::vector<Call> calls = fake_gl::take();
  ASSERT_GE(calls.size(), lit.size());
  EXPECT_TRUE(fake_gl::sameCalls({calls.end() - static_cast<long>(lit.size()), calls.end()}, lit));
  drawMode = GL_FLAT;
  display();
  calls = fake_gl::take();
  const auto lines = std::find_if(calls.rbegin(), calls.rend(), [](const Call& c) {
    return c.name == "glBegin" && c.arg(0) == e(GL_LINES);
  });
  ASSERT_NE(lines, calls.rend());
  EXPECT_EQ(lines - calls.rbegin(), 2 + 1 + 12)
      << "the last lines: six edges, then the frame's end";
  EXPECT_EQ(std::count_if(calls.begin(), calls.end(),
                          [](const Call& c) { return c.name == "glMaterialfv"; }),
            0);
  collider.setSolid(nullptr, {});
  drawMode = GL_SMOOTH;
  display();
  EXPECT_EQ(fake_gl::count("glMaterialfv"), 0) << "no solid, no material";
  EXPECT_EQ(fake_gl::count("glEnd"), 28) << "the cloth's 14 rows of two strips alone";
}

}  // namespace
}  // namespace vellumry
