#include "world/mesh_file.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <set>
#include <string>
#include <utility>

namespace vellumry {
namespace {

const std::string kMeshes = VELLUMRY_MESHES_DIR;

SolidMesh read(const std::string& name) {
  SolidMesh solid;
  std::string error;
  EXPECT_TRUE(readMeshFile(kMeshes + "/" + name, solid, error)) << error;
  return solid;
}

bool sameBits(const SolidMesh& a, const SolidMesh& b) {
  if (a.points.size() != b.points.size() || a.triangles != b.triangles) {
    return false;
  }
  for (std::size_t i = 0; i < a.points.size(); ++i) {
    for (const auto& [u, v] : {std::pair{a.points[i].x, b.points[i].x},
                               {a.points[i].y, b.points[i].y},
                               {a.points[i].z, b.points[i].z}}) {
      if (std::bit_cast<std::uint64_t>(u) != std::bit_cast<std::uint64_t>(v)) {
        return false;
      }
    }
  }
  return true;
}

// The four files list the points and corners in other orders; the canonical solid is one.
TEST(MeshFileTest, OneSolidFromEveryFormatHasTheSameBitsAndDigest) {
  const SolidMesh obj = read("gem.obj");
  ASSERT_EQ(obj.points.size(), 6U);
  ASSERT_EQ(obj.triangles.size(), 8U);
  for (std::size_t i = 1; i < obj.points.size(); ++i) {
    const Vec3& a = obj.points[i - 1];
    const Vec3& b = obj.points[i];
    EXPECT_TRUE(a.x < b.x || (a.x == b.x && (a.y < b.y || (a.y == b.y && a.z < b.z))))
        << "points " << i - 1 << " and " << i << " out of order";
  }
  for (const auto& t : obj.triangles) {
    EXPECT_TRUE(t[0] < t[1] && t[0] < t[2]) << "least index not first";
  }
  EXPECT_TRUE(std::is_sorted(obj.triangles.begin(), obj.triangles.end()));
  // Point (0.5, 0, 0), (0, 1.25, 0), (0, 0, 0.375) is a face, counter-clockwise from outside.
  const auto index = [&](const Vec3& p) {
    for (std::size_t i = 0; i < obj.points.size(); ++i) {
      if (obj.points[i].x == p.x && obj.points[i].y == p.y && obj.points[i].z == p.z) {
        return static_cast<std::int32_t>(i);
      }
    }
    return -1;
  };
  std::array<std::int32_t, 3> face = {index({0.5, 0, 0}), index({0, 1.25, 0}),
                                      index({0, 0, 0.375})};
  std::rotate(face.begin(), std::min_element(face.begin(), face.end()), face.end());
  EXPECT_TRUE(std::binary_search(obj.triangles.begin(), obj.triangles.end(), face))
      << "the winding was not kept";
  for (const char* name : {"gem-ascii.stl", "gem-binary.stl", "gem.ply"}) {
    const SolidMesh other = read(name);
    EXPECT_TRUE(sameBits(obj, other)) << name << " gives another solid than gem.obj";
    EXPECT_EQ(meshDigest(other), meshDigest(obj)) << name;
  }
}

// Welding, -0 as 0, unused points dropped, triangles with a repeated point dropped; the digest
// sees every bit of the arrays.
TEST(MeshFileTest, CanonicalFormAndDigest) {
  SolidMesh soup;
  soup.points = {{1, 0, 0}, {0, -0.0, 0}, {0, 1, 0}, {9, 9, 9}, {0, 1, 0}, {0, 0, 0}, {1, 0, 0}};
  soup.triangles = {{2, 0, 1}, {5, 4, 6}, {0, 6, 2}};
  canonicalise(soup);
  const SolidMesh expected{{{0, 0, 0}, {0, 1, 0}, {1, 0, 0}}, {{0, 1, 2}, {0, 1, 2}}};
  EXPECT_TRUE(sameBits(soup, expected));
  EXPECT_EQ(meshDigest(soup), meshDigest(expected));
  SolidMesh flipped = expected;
  flipped.triangles[1] = {0, 2, 1};
  EXPECT_NE(meshDigest(flipped), meshDigest(expected));
  SolidMesh moved = expected;
  moved.points[2].x = std::nextafter(1.0, 2.0);
  EXPECT_NE(meshDigest(moved), meshDigest(expected));
}

// The table's five boxes are closed: each edge is met by two triangles, once each way round.
TEST(MeshFileTest, TheTableIsClosed) {
  const SolidMesh table = read("table.obj");
  EXPECT_EQ(table.triangles.size(), 60U);
  std::multiset<std::pair<int, int>> edges;
  for (const auto& t : table.triangles) {
    for (std::size_t k = 0; k < 3; ++k) {
      edges.insert({t[k], t[(k + 1) % 3]});
    }
  }
  for (const auto& [a, b] : edges) {
    EXPECT_EQ(edges.count({a, b}), 1U) << "edge " << a << "-" << b;
    EXPECT_EQ(edges.count({b, a}), 1U) << "edge " << a << "-" << b << " has no twin";
  }
}

}  // namespace
}  // namespace vellumry
