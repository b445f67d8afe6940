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

Vec3 positionAt(const Cloth& c, int column, int row) {
  return c.particles[column + c.gridSize * row].position;
}

/// The edge from vertex (column, row) to the neighbour (column + dc, row + dr), which must exist.
Vec3 edge(const Cloth& c, int column, int row, int dc, int dr) {
  return positionAt(c, column + dc, row + dr) - positionAt(c, column, row);
}

Vec3 unit(const Vec3& s) { return s / std::sqrt(s.lengthSquared()); }

Vec3 add(const Vec3& a, const Vec3& b) {
  Vec3 r = a;
  r += b;
  return r;
}

TEST(ClothNormalsTest, FlatClothPointsUpEverywhere) {
  const auto cloth = std::make_unique<Cloth>();
  cloth->build(3.0, 15);
  cloth->computeNormals();
  for (int row = 0; row < 15; ++row) {
    for (int column = 0; column < 15; ++column) {
      const Vec3 n = cloth->normalAt(column, row);
      ASSERT_TRUE(n.x == 0.0 && n.y == 1.0 && n.z == 0.0)
          << "vertex (" << column << ", " << row << ") has (" << n.x << ", " << n.y << ", " << n.z
          << "), not (0, 1, 0)";
    }
  }
}

TEST(ClothNormalsTest, ClothHangingInPlaneXZeroPointsAlongX) {
  constexpr int n = 15;
  const auto cloth = std::make_unique<Cloth>();
  cloth->build(3.0, n);
  const double s = 3.0 / (n - 1);
  for (int row = 0; row < n; ++row) {
    for (int column = 0; column < n; ++column) {
      cloth->particleAt(column, row).position = Vec3(0, -column * s, row * s);
    }
  }
  cloth->computeNormals();
  for (int row = 0; row < n; ++row) {
    for (int column = 0; column < n; ++column) {
      const Vec3 v = cloth->normalAt(column, row);
      ASSERT_TRUE(v.x == 1.0 && v.y == 0.0 && v.z == 0.0)
          << "vertex (" << column << ", " << row << ") has (" << v.x << ", " << v.y << ", " << v.z
          << "), not (1, 0, 0)";
    }
  }
}

TEST(ClothNormalsTest, InteriorVertexWeighsTermsByEdgeLengths) {
  const auto cloth = std::make_unique<Cloth>();
  cloth->build(2.0, 3);
  Cloth& c = *cloth;
  c.particleAt(1, 1).position = Vec3(0, 0, 0);
  c.particleAt(1, 0).position = Vec3(0, 0, -1);  // previous row
  c.particleAt(0, 1).position = Vec3(-1, 0, 0);  // previous column
  c.particleAt(1, 2).position = Vec3(0, 2, 2);   // next row
  c.particleAt(2, 1).position = Vec3(1, 0, 0);   // next column
  c.computeNormals();
  // S = (0, 6, -4), divided component by component by its length sqrt(52).
  const double length = std::sqrt(52.0);
  expectVec(c.normalAt(1, 1), 0.0, 6.0 / length, -4.0 / length, "interior vertex (1, 1)");
  EXPECT_NEAR(c.normalAt(1, 1).y, 0.83205, 1e-5);
  EXPECT_NEAR(c.normalAt(1, 1).z, -0.55470, 1e-5);
  EXPECT_EQ(c.normalAt(1, 1).y, 3.0 / std::sqrt(13.0));
}

TEST(ClothNormalsTest, BorderVerticesUseOnlyTheirOwnTerms) {
  // A crumpled 5 by 5 cloth: every term differs, so a wrong or extra term shows.
  constexpr int n = 5;
  const auto cloth = std::make_unique<Cloth>();
  cloth->build(1.0, n);
  Cloth& c = *cloth;
  for (int row = 0; row < n; ++row) {
    for (int column = 0; column < n; ++column) {
      c.particleAt(column, row).position =
          Vec3(0.7 * column + 0.03 * row * row - 0.02 * column * row,
               0.1 * std::sin(1.3 * column + 0.7 * row), 0.6 * row + 0.04 * column * column);
    }
  }
  c.computeNormals();

  const auto cross12 = [&](int k, int i) {
    return cross(edge(c, k, i, 0, -1), edge(c, k, i, -1, 0));
  };
  const auto cross23 = [&](int k, int i) {
    return cross(edge(c, k, i, -1, 0), edge(c, k, i, 0, 1));
  };
  const auto cross34 = [&](int k, int i) {
    return cross(edge(c, k, i, 0, 1), edge(c, k, i, 1, 0));
  };
  const auto cross41 = [&](int k, int i) {
    return cross(edge(c, k, i, 1, 0), edge(c, k, i, 0, -1));
  };
  const auto expectNormal = [&](int k, int i, const Vec3& sum, const char* what) {
    const Vec3 want = unit(sum);
    expectVec(c.normalAt(k, i), want.x, want.y, want.z, what);
  };

  const int last = n - 1;
  expectNormal(0, 0, cross34(0, 0), "corner (0, 0): e3 x e4 alone");
  expectNormal(last, 0, cross23(last, 0), "corner (n-1, 0): e2 x e3 alone");
  expectNormal(0, last, cross41(0, last), "corner (0, n-1): e4 x e1 alone");
  expectNormal(last, last, cross12(last, last), "corner (n-1, n-1): e1 x e2 alone");
  expectNormal(2, 0, add(cross23(2, 0), cross34(2, 0)), "side row 0");
  expectNormal(0, 2, add(cross34(0, 2), cross41(0, 2)), "side column 0");
  expectNormal(2, last, add(cross12(2, last), cross41(2, last)), "side row n-1");
  expectNormal(last, 2, add(cross12(last, 2), cross23(last, 2)), "side column n-1");
  expectNormal(2, 3, add(add(add(cross12(2, 3), cross23(2, 3)), cross34(2, 3)), cross41(2, 3)),
               "interior: the four terms in cyclic order");

  for (int j = 0; j < n * n; ++j) {
    EXPECT_NEAR(c.normals[j].lengthSquared(), 1.0, 1e-12) << "normal " << j << " is not unit";
    EXPECT_GT(c.normals[j].y, 0.0) << "normal " << j << " points down on an upward cloth";
  }
}

TEST(ClothNormalsTest, ZeroSumIsStoredAsZero) {
  constexpr int n = 4;
  const auto cloth = std::make_unique<Cloth>();
  cloth->build(3.0, n);
  Cloth& c = *cloth;
  // Every vertex on one line: all edges parallel, every cross product exactly zero.
  for (int row = 0; row < n; ++row) {
    for (int column = 0; column < n; ++column) {
      const double t = column + 0.5 * row;
      c.particleAt(column, row).position = Vec3(t, 2.0 * t, 0.5 * t);
    }
  }
  c.computeNormals();
  for (int j = 0; j < n * n; ++j) {
    expectVec(c.normals[j], 0, 0, 0, "collinear cloth: zero, not NaN");
  }

  c.particleAt(1, 1).position = Vec3(1, 1, 1);  // off the line: only its neighbourhood changes
  c.computeNormals();
  for (int row = 0; row < n; ++row) {
    for (int column = 0; column < n; ++column) {
      // The lifted vertex's own neighbours are still collinear: its four terms cancel exactly.
      const bool nearLifted = std::abs(column - 1) + std::abs(row - 1) == 1;
      const double length = c.normalAt(column, row).lengthSquared();
      if (nearLifted) {
        EXPECT_NEAR(length, 1.0, 1e-12) << "(" << column << ", " << row << ") sees the lift";
      } else {
        EXPECT_EQ(length, 0.0) << "(" << column << ", " << row << ") is still degenerate";
      }
    }
  }

  c.build(1.0, 2);
  for (Particle& p : c.particles) {
    p.position = Vec3(0.25, 0.5, 0.75);  // all four vertices in one point
  }
  c.computeNormals();
  for (int j = 0; j < 4; ++j) {
    expectVec(c.normals[j], 0, 0, 0, "coincident vertices: zero, not NaN");
  }
}

TEST(ClothNormalsTest, WritesOnlyTheVerticesInUse) {
  const auto cloth = std::make_unique<Cloth>();
  cloth->build(3.0, 20);
  cloth->computeNormals();
  expectVec(cloth->normals[399], 0, 1, 0, "20 by 20 cloth, last vertex");

  cloth->build(3.0, 15);
  cloth->particleAt(0, 0).position = Vec3(0, 1, 0);
  cloth->normals[225] = Vec3(7, 8, 9);
  cloth->computeNormals();
  expectVec(cloth->normals[225], 7, 8, 9, "entry n*n is not written");
  expectVec(cloth->normals[399], 0, 1, 0, "entries beyond n*n keep the previous cloth's normals");

  cloth->reset();
  cloth->normals[0] = Vec3(1, 2, 3);
  cloth->computeNormals();
  expectVec(cloth->normals[0], 1, 2, 3, "an empty cloth writes no normal");
}

}  // namespace
}  // namespace vellumry
