#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <memory>

#include "cloth/cloth.h"

namespace vellumry {
namespace {

void expectVec(const Vec3& v, double x, double y, double z, const char* what) {
  EXPECT_EQ(v.x, x) << what;
  EXPECT_EQ(v.y, y) << what;
  EXPECT_EQ(v.z, z) << what;
}

TEST(ClothNormalsTest, FlatAndHangingClothsAreExact) {
  constexpr int n = 15;
  const auto cloth = std::make_unique<Cloth>();
  cloth->build(3.0, n);
  cloth->computeNormals();
  for (int j = 0; j < n * n; ++j) {
    const Vec3 v = cloth->normals[j];
    ASSERT_TRUE(v.x == 0.0 && v.y == 1.0 && v.z == 0.0) << "flat cloth, vertex " << j;
  }
  const double s = 3.0 / (n - 1);
  for (int j = 0; j < n * n; ++j) {  // hanging straight down in the plane x = 0
    cloth->particles[j].position = Vec3(0, -(j % n) * s, (j / n) * s);
  }
  cloth->computeNormals();
  for (int j = 0; j < n * n; ++j) {
    const Vec3 v = cloth->normals[j];
    ASSERT_TRUE(v.x == 1.0 && v.y == 0.0 && v.z == 0.0) << "hanging cloth, vertex " << j;
  }
}

TEST(ClothNormalsTest, InteriorVertexWeighsTermsByEdgeLengths) {
  const auto cloth = std::make_unique<Cloth>();
  Cloth& c = *cloth;
  c.build(2.0, 3);
  c.particleAt(1, 1).position = Vec3(0, 0, 0);
  c.particleAt(1, 0).position = Vec3(0, 0, -1);  // previous row
  c.particleAt(0, 1).position = Vec3(-1, 0, 0);  // previous column
  c.particleAt(1, 2).position = Vec3(0, 2, 2);   // next row
  c.particleAt(2, 1).position = Vec3(1, 0, 0);   // next column
  c.computeNormals();
  // S = (0, 6, -4), divided component by component by its length sqrt(52).
  const double length = std::sqrt(52.0);
  expectVec(c.normalAt(1, 1), 0.0, 6.0 / length, -4.0 / length, "(0, 3, -2) / sqrt(13)");
  EXPECT_NEAR(c.normalAt(1, 1).y, 0.83205, 1e-5);
}

TEST(ClothNormalsTest, BorderVerticesUseOnlyTheirOwnTerms) {
  // A crumpled 5 by 5 cloth: every term differs, so a wrong or extra term shows.
  constexpr int n = 5;
  constexpr int last = n - 1;
  const auto cloth = std::make_unique<Cloth>();
  Cloth& c = *cloth;
  c.build(1.0, n);
  for (int j = 0; j < n * n; ++j) {
    const int k = j % n;
    const int i = j / n;
    c.particles[j].position = Vec3(0.7 * k + 0.03 * i * i - 0.02 * k * i,
                                   0.1 * std::sin(1.3 * k + 0.7 * i), 0.6 * i + 0.04 * k * k);
  }
  c.computeNormals();

  // Edge from (k, i) to the neighbour (k + dk, i + di), which exists; e1..e4 cycle around.
  const auto e = [&](int k, int i, int dk, int di) {
    return c.particleAt(k + dk, i + di).position - c.particleAt(k, i).position;
  };
  const auto c12 = [&](int k, int i) { return cross(e(k, i, 0, -1), e(k, i, -1, 0)); };
  const auto c23 = [&](int k, int i) { return cross(e(k, i, -1, 0), e(k, i, 0, 1)); };
  const auto c34 = [&](int k, int i) { return cross(e(k, i, 0, 1), e(k, i, 1, 0)); };
  const auto c41 = [&](int k, int i) { return cross(e(k, i, 1, 0), e(k, i, 0, -1)); };
  const auto expectNormal = [&](int k, int i, Vec3 sum, const Vec3& more, const char* what) {
    sum += more;
    const Vec3 want = sum / std::sqrt(sum.lengthSquared());
    expectVec(c.normalAt(k, i), want.x, want.y, want.z, what);
  };
  const Vec3 none;
  expectNormal(0, 0, c34(0, 0), none, "corner (0, 0): e3 x e4 alone");
  expectNormal(last, 0, c23(last, 0), none, "corner (n-1, 0): e2 x e3 alone");
  expectNormal(0, last, c41(0, last), none, "corner (0, n-1): e4 x e1 alone");
  expectNormal(last, last, c12(last, last), none, "corner (n-1, n-1): e1 x e2 alone");
  expectNormal(2, 0, c23(2, 0), c34(2, 0), "side row 0");
  expectNormal(0, 2, c34(0, 2), c41(0, 2), "side column 0");
  expectNormal(2, last, c12(2, last), c41(2, last), "side row n-1");
  expectNormal(last, 2, c12(last, 2), c23(last, 2), "side column n-1");
  for (int i = 1; i < last; ++i) {
    for (int k = 1; k < last; ++k) {
      Vec3 sum = c12(k, i);
      sum += c23(k, i);
      sum += c34(k, i);
      expectNormal(k, i, sum, c41(k, i), "interior: the four terms in cyclic order");
    }
  }
  for (int j = 0; j < n * n; ++j) {
    EXPECT_GT(c.normals[j].y, 0.9) << "normal " << j << " should point up";
  }
}

TEST(ClothNormalsTest, ZeroSumIsStoredAsZeroAndOnlyUsedEntriesAreWritten) {
  constexpr int n = 4;
  const auto cloth = std::make_unique<Cloth>();
  Cloth& c = *cloth;
  c.build(3.0, 20);
  c.computeNormals();
  c.build(3.0, n);
  for (int j = 0; j < n * n; ++j) {  // all on one line: every cross product is exactly zero
    const double t = j % n + 0.5 * (j / n);
    c.particles[j].position = Vec3(t, 2.0 * t, 0.5 * t);
  }
  c.particleAt(1, 1).position = Vec3(1, 1, 1);  // its own neighbours stay collinear
  c.computeNormals();
  for (int j = 0; j < n * n; ++j) {
    const bool nextToLifted = std::abs(j % n - 1) + std::abs(j / n - 1) == 1;
    EXPECT_NEAR(c.normals[j].lengthSquared(), nextToLifted ? 1.0 : 0.0, 1e-12)
        << "vertex " << j << (nextToLifted ? " sees the lifted vertex" : " is degenerate: zero");
  }
  expectVec(c.normals[n * n], 0, 1, 0, "entries past n * n keep the previous cloth's normals");
  c.reset();
  c.normals[0] = Vec3(7, 8, 9);
  c.computeNormals();
  expectVec(c.normals[0], 7, 8, 9, "an empty cloth writes nothing");
}

}  // namespace
}  // namespace vellumry
