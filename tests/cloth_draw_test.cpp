#include <GL/gl.h>
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <memory>
#include <set>
#include <string_view>
#include <vector>

#include "cloth/cloth.h"
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

// One glBegin .. glEnd primitive: its mode, the front face declared last before it, and the calls
// in between.
struct Primitive {
  double mode = -1;
  double frontFace = -1;
  std::vector<Call> inner;
};

std::vector<Primitive> primitives(const std::vector<Call>& calls) {
  std::vector<Primitive> result;
  double frontFace = -1;
  Primitive* open = nullptr;
  for (const Call& call : calls) {
    if (call.name == "glFrontFace") {
      frontFace = call.arg(0);
    } else if (call.name == "glBegin") {
      open = &result.emplace_back(Primitive{call.arg(0), frontFace, {}});
    } else if (call.name == "glEnd") {
      open = nullptr;
    } else if (open != nullptr) {
      open->inner.push_back(call);
    }
  }
  return result;
}

// What drawShaded must send for this cloth, taken from its pools: each strip's vertices in the
// order (c, r), (c, r + 1), (c + 1, r), (c + 1, r + 1) per column step, each after its normal,
// negated in the clockwise pass.
std::vector<Call> shadedCalls(const Cloth& cloth) {
  const int n = cloth.gridSize;
  std::vector<Call> calls = {expected("glPolygonMode", {e(GL_FRONT_AND_BACK), e(GL_FILL)}),
                             expected("glShadeModel", {e(GL_SMOOTH)})};
  for (int row = 0; row + 1 < n; ++row) {
    for (int pass = 0; pass < 2; ++pass) {
      calls.push_back(expected("glFrontFace", {e(pass == 0 ? GL_CW : GL_CCW)}));
      calls.push_back(expected("glBegin", {e(GL_TRIANGLE_STRIP)}));
      for (int column = 0; column + 1 < n; ++column) {
        for (const int index : {column + n * row, column + n * (row + 1), column + 1 + n * row,
                                column + 1 + n * (row + 1)}) {
          const Vec3& normal = cloth.normals[index];
          const Vec3& p = cloth.particles[index].position;
          calls.push_back(pass == 0 ? expected("glNormal3d", {-normal.x, -normal.y, -normal.z})
                                    : expected("glNormal3d", {normal.x, normal.y, normal.z}));
          calls.push_back(expected("glVertex3d", {p.x, p.y, p.z}));
        }
      }
      calls.push_back(expected("glEnd", {}));
    }
  }
  return calls;
}

std::vector<Call> wireframeCalls(const Cloth& cloth) {
  std::vector<Call> calls = {expected("glPolygonMode", {e(GL_FRONT_AND_BACK), e(GL_FILL)}),
                             expected("glShadeModel", {e(GL_FLAT)})};
  for (int i = 0; i < cloth.springCount; ++i) {
    const Vec3& a = cloth.springs[i].particleA->position;
    const Vec3& b = cloth.springs[i].particleB->position;
    calls.push_back(expected("glBegin", {e(GL_LINES)}));
    calls.push_back(expected("glVertex3d", {a.x, a.y, a.z}));
    calls.push_back(expected("glVertex3d", {b.x, b.y, b.z}));
    calls.push_back(expected("glEnd", {}));
  }
  return calls;
}

// The drawing may set its polygon mode, shade model and winding and send geometry; nothing else
// (no colour, material, enable, disable or matrix call).
void expectOnlyDrawingCalls(const std::vector<Call>& calls) {
  const std::set<std::string_view> allowed = {"glPolygonMode", "glShadeModel", "glFrontFace",
                                              "glBegin",       "glEnd",        "glNormal3d",
                                              "glVertex3d"};
  for (const Call& call : calls) {
    EXPECT_TRUE(allowed.contains(call.name)) << "unexpected call " << call.name;
  }
}

class ClothDrawTest : public testing::Test {
 protected:
  void SetUp() override { fake_gl::clear(); }
  void TearDown() override { fake_gl::clear(); }

  // Stale values that no computation produces, to see whether a draw recomputes its normals.
  void spoilNormals() {
    for (Vec3& normal : cloth->normals) {
      normal = Vec3(7.0, -7.0, 7.0);
    }
  }

  std::unique_ptr<Cloth> cloth = std::make_unique<Cloth>();
};

TEST_F(ClothDrawTest, ShadedFlatClothIsTwoPassesOfStripsPerRow) {
  cloth->build(3.0, 15);
  spoilNormals();
  cloth->drawShaded();
  const std::vector<Call> calls = fake_gl::take();

  for (int j = 0; j < 225; ++j) {
    EXPECT_TRUE(sameBits(cloth->normals[j], Vec3(0.0, 1.0, 0.0))) << "normal " << j;
  }
  EXPECT_TRUE(fake_gl::sameCalls(calls, shadedCalls(*cloth)));
  expectOnlyDrawingCalls(calls);

  ASSERT_EQ(calls.size(), 2u + 28u * (1 + 1 + 56 * 2 + 1));
  const std::vector<Primitive> strips = primitives(calls);
  ASSERT_EQ(strips.size(), 28u);
  for (std::size_t i = 0; i < strips.size(); ++i) {
    EXPECT_EQ(strips[i].mode, e(GL_TRIANGLE_STRIP));
    EXPECT_EQ(strips[i].frontFace, e(i % 2 == 0 ? GL_CW : GL_CCW)) << "strip " << i;
    EXPECT_EQ(strips[i].inner.size(), 112u) << "strip " << i;
  }
  // The reversed normal of the flat cloth is exactly (-0, -1, -0), sign of zero included.
  EXPECT_EQ(strips[0].inner[0], expected("glNormal3d", {-0.0, -1.0, -0.0}));
  EXPECT_EQ(strips[1].inner[0], expected("glNormal3d", {0.0, 1.0, 0.0}));
  // Last vertex of the last strip: (14, 14), the far corner.
  EXPECT_EQ(strips[27].inner.back(), expected("glVertex3d", {3.0, 0.0, 3.0}));
}

TEST_F(ClothDrawTest, ShadedSwingingClothSendsFreshNormalsAndPositions) {
  cloth->build(3.0, 15);
  for (int i = 0; i < 40; ++i) {
    cloth->step(0.05);
  }
  spoilNormals();
  cloth->drawShaded();
  const std::vector<Call> calls = fake_gl::take();

  // The pool now holds the normals of the current pose (a second computation changes no bit),
  // and those are what was sent.
  std::vector<Vec3> sent(cloth->normals.begin(), cloth->normals.begin() + 225);
  cloth->computeNormals();
  int bent = 0;
  for (int j = 0; j < 225; ++j) {
    EXPECT_TRUE(sameBits(sent[j], cloth->normals[j])) << "normal " << j;
    bent += std::abs(sent[j].y) < 0.99 ? 1 : 0;
  }
  ASSERT_GT(bent, 50) << "the cloth must have left the flat pose for this test to mean anything";
  EXPECT_TRUE(fake_gl::sameCalls(calls, shadedCalls(*cloth)));
  expectOnlyDrawingCalls(calls);
}

TEST_F(ClothDrawTest, ShadedStripOrderOnASmallGrid) {
  // Spacing 1: vertex (c, r) sits at (c, 0, r), so each position names its grid vertex.
  cloth->build(3.0, 4);
  cloth->drawShaded();
  const std::vector<Call> calls = fake_gl::take();
  EXPECT_TRUE(fake_gl::sameCalls(calls, shadedCalls(*cloth)));

  const int order[12][2] = {{0, 0}, {0, 1}, {1, 0}, {1, 1}, {1, 0}, {1, 1},
                            {2, 0}, {2, 1}, {2, 0}, {2, 1}, {3, 0}, {3, 1}};
  const std::vector<Primitive> strips = primitives(calls);
  ASSERT_EQ(strips.size(), 6u);
  for (int s = 0; s < 6; ++s) {
    const int row = s / 2;
    const double sign = s % 2 == 0 ? -1.0 : 1.0;
    ASSERT_EQ(strips[s].inner.size(), 24u) << "strip " << s;
    for (int v = 0; v < 12; ++v) {
      EXPECT_EQ(strips[s].inner[2 * v], expected("glNormal3d", {sign * 0.0, sign, sign * 0.0}))
          << "strip " << s << " vertex " << v;
      EXPECT_EQ(strips[s].inner[2 * v + 1],
                expected("glVertex3d", {static_cast<double>(order[v][0]), 0.0,
                                        static_cast<double>(row + order[v][1])}))
          << "strip " << s << " vertex " << v;
    }
  }
}

TEST_F(ClothDrawTest, EmptyClothSetsOnlyTheModes) {
  for (const bool built : {false, true}) {
    SCOPED_TRACE(built ? "built, then reset" : "as constructed");
    if (built) {
      cloth->build(3.0, 15);
      cloth->reset();
    }
    cloth->drawShaded();
    EXPECT_TRUE(fake_gl::sameCalls(fake_gl::take(),
                                   {expected("glPolygonMode", {e(GL_FRONT_AND_BACK), e(GL_FILL)}),
                                    expected("glShadeModel", {e(GL_SMOOTH)})}));
    cloth->drawWireframe();
    EXPECT_TRUE(fake_gl::sameCalls(fake_gl::take(),
                                   {expected("glPolygonMode", {e(GL_FRONT_AND_BACK), e(GL_FILL)}),
                                    expected("glShadeModel", {e(GL_FLAT)})}));
  }
}

TEST_F(ClothDrawTest, ZeroNormalSumSendsZeroNotNaN) {
  cloth->build(3.0, 4);
  // Two degenerate poses: every particle on one line (all edges parallel), and all in one point
  // (all edges zero). No vertex has a normal.
  for (const bool collapsed : {false, true}) {
    SCOPED_TRACE(collapsed ? "one point" : "one line");
    for (int j = 0; j < 16; ++j) {
      cloth->particles[j].position =
          collapsed ? Vec3(1.0, 2.0, 3.0) : Vec3(j % 4 + 2.0 * (j / 4), 0.5, -1.0);
    }
    cloth->drawShaded();
    const std::vector<Call> calls = fake_gl::take();
    EXPECT_TRUE(fake_gl::sameCalls(calls, shadedCalls(*cloth)));
    int normalsSent = 0;
    for (const Call& call : calls) {
      if (call.name == "glNormal3d") {
        ++normalsSent;
        for (int i = 0; i < 3; ++i) {
          EXPECT_EQ(call.arg(i), 0.0) << "a zero normal sum sends a zero normal";
        }
      }
    }
    EXPECT_EQ(normalsSent, 6 * 12);
  }
}

TEST_F(ClothDrawTest, WireframeIsOneLinePerSpringInSpringOrder) {
  cloth->build(3.0, 15);
  const double s = 3.0 / 14;
  cloth->drawWireframe();
  std::vector<Call> calls = fake_gl::take();
  EXPECT_TRUE(fake_gl::sameCalls(calls, wireframeCalls(*cloth)));
  ASSERT_EQ(calls.size(), 2u + 812u * 4u);
  const std::vector<Primitive> lines = primitives(calls);
  ASSERT_EQ(lines.size(), 812u);
  for (const Primitive& line : lines) {
    ASSERT_EQ(line.mode, e(GL_LINES));
    ASSERT_EQ(line.inner.size(), 2u);
  }
  // (0, 0) to (0, 1), to (1, 0), to (1, 1).
  const Call origin = expected("glVertex3d", {0.0, 0.0, 0.0});
  EXPECT_EQ(lines[0].inner[0], origin);
  EXPECT_EQ(lines[0].inner[1], expected("glVertex3d", {0.0, 0.0, s}));
  EXPECT_EQ(lines[1].inner[0], origin);
  EXPECT_EQ(lines[1].inner[1], expected("glVertex3d", {s, 0.0, 0.0}));
  EXPECT_EQ(lines[2].inner[0], origin);
  EXPECT_EQ(lines[2].inner[1], expected("glVertex3d", {s, 0.0, s}));

  // On a swinging cloth the lines follow the springs' current ends; the normals are left alone.
  for (int i = 0; i < 40; ++i) {
    cloth->step(0.05);
  }
  spoilNormals();
  cloth->drawWireframe();
  calls = fake_gl::take();
  EXPECT_TRUE(fake_gl::sameCalls(calls, wireframeCalls(*cloth)));
  expectOnlyDrawingCalls(calls);
  for (const Call& call : calls) {
    EXPECT_NE(call.name, "glNormal3d") << "the wireframe sends no normals";
  }
  for (int j = 0; j < 225; ++j) {
    EXPECT_TRUE(sameBits(cloth->normals[j], Vec3(7.0, -7.0, 7.0))) << "normal " << j;
  }
}

TEST_F(ClothDrawTest, ArraysDrawEachPassInOneStripAndEverySpringWithTheirStatesOnlyForTheDraw) {
  cloth->build(3.0, 12);
  for (int i = 0; i < 30; ++i) {
    cloth->step(0.05);
  }
  spoilNormals();
  cloth->drawShadedArrays();
  const auto address = [](const auto* p) { return fake_gl::address(p); };
  const Vec3& last = cloth->normals[143];
  const Call draw = expected(
      "glDrawElements",
      {e(GL_TRIANGLE_STRIP), 2 * 144 - 4, e(GL_UNSIGNED_INT), address(cloth->mesh.strip.data())});
  const Call positions = expected("glVertexPointer", {3, e(GL_DOUBLE), sizeof(Particle),
                                                      address(&cloth->particles[0].position)});
  EXPECT_TRUE(fake_gl::sameCalls(
      fake_gl::take(),
      {expected("glPolygonMode", {e(GL_FRONT_AND_BACK), e(GL_FILL)}),
       expected("glShadeModel", {e(GL_SMOOTH)}),
       expected("glEnableClientState", {e(GL_VERTEX_ARRAY)}), positions,
       expected("glEnableClientState", {e(GL_NORMAL_ARRAY)}), expected("glFrontFace", {e(GL_CW)}),
       expected("glNormalPointer", {e(GL_DOUBLE), 0, address(cloth->mesh.reversed.data())}), draw,
       expected("glFrontFace", {e(GL_CCW)}),
       expected("glNormalPointer", {e(GL_DOUBLE), 0, address(cloth->normals.data())}), draw,
       expected("glDisableClientState", {e(GL_NORMAL_ARRAY)}),
       expected("glDisableClientState", {e(GL_VERTEX_ARRAY)}),
       expected("glNormal3d", {last.x, last.y, last.z})}));
  // Both passes' normals are computeNormals' bits; the strip has two real triangles a cell.
  const std::vector<Vec3> sent(cloth->normals.begin(), cloth->normals.begin() + 144);
  cloth->computeNormals();
  for (int j = 0; j < 144; ++j) {
    EXPECT_TRUE(sameBits(sent[j], cloth->normals[j]) &&
                sameBits(cloth->mesh.reversed[j], -sent[j]));
  }
  int cells = 0;
  for (std::size_t i = 0; i + 2 < static_cast<std::size_t>(draw.arg(1)); ++i) {
    const std::uint32_t* t = &cloth->mesh.strip[i];
    cells += t[0] != t[1] && t[1] != t[2] && t[0] != t[2] ? 1 : 0;
  }
  EXPECT_EQ(cells, 2 * 11 * 11);

  // With bend springs appended, every spring in use is one line.
  ClothMaterial bent;
  bent.bend = 4.0;
  cloth->setMaterial(bent);
  cloth->drawWireframeArrays();
  EXPECT_TRUE(fake_gl::sameCalls(
      fake_gl::take(),
      {expected("glPolygonMode", {e(GL_FRONT_AND_BACK), e(GL_FILL)}),
       expected("glShadeModel", {e(GL_FLAT)}),
       expected("glEnableClientState", {e(GL_VERTEX_ARRAY)}), positions,
       expected("glDrawElements", {e(GL_LINES), 2.0 * cloth->springCount, e(GL_UNSIGNED_INT),
                                   address(cloth->mesh.lines.data())}),
       expected("glDisableClientState", {e(GL_VERTEX_ARRAY)})}));
  for (int i = 0; i < cloth->springCount; ++i) {
    ASSERT_EQ(&cloth->particles[cloth->mesh.lines[2 * i]], cloth->springs[i].particleA) << i;
    ASSERT_EQ(&cloth->particles[cloth->mesh.lines[2 * i + 1]], cloth->springs[i].particleB) << i;
  }
}

// Past kOnePassGridSize the shaded arrays draw the clockwise pass alone, whole or torn, with the
// reversed normals that pass lights with; up to it, both passes as before.
TEST_F(ClothDrawTest, ALargeGridDrawsTheFirstPassOnly) {
  for (const int n : {kOnePassGridSize, kOnePassGridSize + 1}) {
    for (const bool torn : {false, true}) {
      SCOPED_TRACE(testing::Message() << "n = " << n << (torn ? ", torn" : ""));
      cloth->build(3.0, n);
      if (torn) {
        cloth->breakSpring(3 * n);
      }
      cloth->step(0.05);
      fake_gl::take();
      cloth->drawShadedArrays();
      std::vector<Call> draws;
      std::vector<double> faces;
      std::vector<double> normalArrays;
      for (const Call& call : fake_gl::take()) {
        if (call.name == "glDrawElements") {
          draws.push_back(call);
        } else if (call.name == "glFrontFace") {
          faces.push_back(call.arg(0));
        } else if (call.name == "glNormalPointer") {
          normalArrays.push_back(call.arg(2));
        }
      }
      const std::size_t passes = n > kOnePassGridSize ? 1 : 2;
      ASSERT_EQ(draws.size(), passes);
      ASSERT_EQ(faces.size(), passes);
      EXPECT_EQ(faces[0], e(GL_CW));
      EXPECT_EQ(normalArrays[0], fake_gl::address(cloth->mesh.reversed.data()));
      const int count = torn ? cloth->mesh.triangleCount : cloth->mesh.stripCount;
      EXPECT_EQ(draws[0].arg(0), e(torn ? GL_TRIANGLES : GL_TRIANGLE_STRIP));
      EXPECT_EQ(draws[0].arg(1), count);
      EXPECT_LT(count, torn ? 6 * (n - 1) * (n - 1) : 2 * n * n) << "each triangle once";
    }
  }
}

}  // namespace
}  // namespace vellumry
