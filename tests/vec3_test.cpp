#include "math/vec3.h"

#include <gtest/gtest.h>

namespace vellumry {
namespace {

void expectVec(const Vec3& v, double x, double y, double z) {
  EXPECT_EQ(v.x, x);
  EXPECT_EQ(v.y, y);
  EXPECT_EQ(v.z, z);
}

TEST(Vec3Test, ConstructionAndInPlaceOperators) {
  expectVec(Vec3(), 0, 0, 0);
  expectVec(Vec3(1, 2, 3), 1, 2, 3);
  EXPECT_EQ(Vec3(1, 2, 2).lengthSquared(), 9.0);

  Vec3 a(2, 4, 6);
  Vec3& r = (a /= 2);
  EXPECT_EQ(&r, &a) << "/= returns the vector itself";
  expectVec(a, 1, 2, 3);

  Vec3& s = (a += Vec3(1, 1, 1));
  EXPECT_EQ(&s, &a) << "+= returns the vector itself";
  expectVec(a, 2, 3, 4);
}

TEST(Vec3Test, DivisionIsPerComponentNotByReciprocal) {
  // x / 13 and x * (1 / 13) round differently for these x; only the former is right.
  Vec3 v(0.3, 0.7, 1.9);
  v /= 13.0;
  expectVec(v, 0.3 / 13.0, 0.7 / 13.0, 1.9 / 13.0);
  EXPECT_NE(0.7 / 13.0, 0.7 * (1.0 / 13.0)) << "the inputs must tell the two methods apart";
  expectVec(Vec3(0.3, 0.7, 1.9) / 13.0, 0.3 / 13.0, 0.7 / 13.0, 1.9 / 13.0);
}

TEST(Vec3Test, FreeOperators) {
  expectVec(cross(Vec3(1, 0, 0), Vec3(0, 1, 0)), 0, 0, 1);
  expectVec(cross(Vec3(0, 1, 0), Vec3(1, 0, 0)), 0, 0, -1);
  expectVec(cross(Vec3(1.5, -2, 7), Vec3(1.5, -2, 7)), 0, 0, 0);
  expectVec(cross(Vec3(1, 2, 3), Vec3(4, 5, 6)), -3, 6, -3);
  expectVec(-Vec3(1, -2, 3), -1, 2, -3);
  expectVec(0.5 * Vec3(1, -2, 3), 0.5, -1, 1.5);
  expectVec(Vec3(1, -2, 3) * 0.5, 0.5, -1, 1.5);
  expectVec(Vec3(1, -2, 3) - Vec3(1, 1, 1), 0, -3, 2);
}

}  // namespace
}  // namespace vellumry
