// The culls in front of the contact checks: they may leave out only what the checks would
// find nothing in.
#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <limits>
#include <cstdint>
#include <cstring>
#include <vector>

#include "collide/cell_rows.h"
#include "collide/cloth_tree.h"
#include "collide/contact_geometry.h"
#include "collide/contact_pairs.h"
#include "collide/solid_faces.h"
#include "collide/solid_tree.h"

namespace vellumry {
namespace {

// A fixed stream of numbers in [-1, 1).
struct Stream {
  std::uint64_t state = 0x9e3779b97f4a7c15ULL;
  double next() {
    state = state * 6364136223846793005ULL + 1442695040888963407ULL;
    return static_cast<double>(state >> 11) / 4503599627370496.0 - 1.0;
  }
  Vec3 around(const Vec3& centre, double spread) {
    const double x = next();
    const double y = next();
    return {centre.x + spread * x, centre.y + spread * y, centre.z + spread * next()};
  }
};

TEST(FaceCulls, NeverRuleOutACrossingOrANearEndTheChecksFind) {
  const double gap = 0.01;
  struct Case {
    const char* name;
    std::array<Vec3, 3> corners;
    bool culls;  ///< whether its planes are trusted to cull beyond the face's plane
  };
  const Case cases[] = {
      {"flat", {Vec3(0, 0, 0), Vec3(0.05, 0, 0), Vec3(0, 0, 0.05)}, true},
      {"tilted", {Vec3(1, 2, 3), Vec3(1.04, 2.02, 3.01), Vec3(1.01, 2.05, 2.98)}, true},
      {"large", {Vec3(-3, 0.5, 0), Vec3(3, 0.6, 0.1), Vec3(0, 0.4, 4)}, true},
      {"sliver", {Vec3(0, 0, 0), Vec3(0.05, 0, 0), Vec3(0.1, 1e-7, 0)}, false},
      {"far off", {Vec3(1e8, 0, 0), Vec3(1e8 + 0.05, 0, 0), Vec3(1e8, 0, 0.05)}, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const SolidFace face = faceOf(c.corners[0], c.corners[1], c.corners[2]);
    const Vec3 centre = (1.0 / 3.0) * plus(plus(c.corners[0], c.corners[1]), c.corners[2]);
    Stream stream;
    int ruledOut = 0;
    int found = 0;
    for (int i = 0; i < 20000; ++i) {
      const double spread = i % 2 == 0 ? 3.0 * gap : 0.05;
      const Vec3 from = stream.around(centre, spread);
      const Vec3 to = i % 3 == 0 ? from : stream.around(centre, spread);
      const Corner corners[4] = {{from, to, 1.0},
                                 {c.corners[0], c.corners[0], 0.0},
                                 {c.corners[1], c.corners[1], 0.0},
                                 {c.corners[2], c.corners[2], 0.0}};
      Contact k;
      const bool crosses = pointTriangleCrosses(corners, gap, k);
      const bool ends = pointTriangleNear(corners, gap, k);
      found += crosses || ends ? 1 : 0;
      for (const bool nearPass : {true, false}) {
        const FaceReach r = faceReach(face, from, to, gap, nearPass);
        EXPECT_TRUE(r.cross || !crosses) << "a crossing ruled out at " << i;
        if (nearPass) {
          EXPECT_TRUE(r.nearEnd || !ends) << "a near end ruled out at " << i;
        }
        ruledOut += r.cross ? 0 : 1;
      }
    }
    EXPECT_GT(found, 100) << "the motions come near the face";
    if (c.culls) {
      EXPECT_GT(ruledOut, 1000) << "its planes rule out checks";
    }
  }
}

// A wavy 9 by 9 sheet, folded so that its cells meet each other, over a few solid triangles.
struct Sheet {
  static constexpr int kN = 9;
  std::vector<Vec3> start;
  std::vector<Vec3> end;
  SolidTree solid;
  Sheet() {
    Stream stream;
    for (int y = 0; y < kN; ++y) {
      for (int x = 0; x < kN; ++x) {
        const double fold = y < kN / 2 ? 0.02 * y : 0.02 * (kN - 1 - y);
        start.push_back(stream.around(Vec3(0.05 * x, fold, 0.02 * y), 0.01));
      }
    }
    end = start;
    std::vector<Vec3> points;
    std::vector<std::array<std::int32_t, 3>> triangles;
    for (int i = 0; i < 24; ++i) {
      points.push_back(stream.around(Vec3(0.2, 0.0, 0.08), 0.25));
    }
    for (std::int32_t i = 0; i + 2 < 24; i += 3) {
      triangles.push_back({i, i + 1, i + 2});
    }
    solid.build(points, triangles);
  }
};

using Pairs = std::vector<std::array<int, 3>>;

Pairs walk(const ClothTree& tree, const SolidTree& solid, double margin) {
  Pairs out;
  tree.selfPairs(
      margin, [&out](int cell) { out.push_back({0, cell, cell}); },
      [&out](int a, int b) { out.push_back({1, a, b}); });
  tree.solidPairs(solid, margin, [&out](int cell, int s) { out.push_back({2, cell, s}); });
  return out;
}

bool cellMoved(int cell, const std::vector<std::uint8_t>& moved) {
  const int n = Sheet::kN;
  const int v = cell % (n - 1) + n * (cell / (n - 1));
  return (moved[v] | moved[v + 1] | moved[v + n] | moved[v + n + 1]) != 0;
}

TEST(ClothTreeRefit, AMovedRefitBoundsAndWalksAsAFullOneForTheMovedCells) {
  // Particles that move after the first refit: none, a corner, the middle, a row, the far
  // corner, a few here and there.
  const std::vector<std::vector<int>> cases = {
      {}, {0}, {40}, {36, 37, 38, 39, 40, 41, 42, 43, 44}, {80}, {3, 22, 58, 61, 79}};
  for (const std::vector<int>& movedParticles : cases) {
    SCOPED_TRACE(testing::Message() << movedParticles.size() << " moved");
    Sheet sheet;
    ClothTree moved;
    ClothTree full;
    for (ClothTree* t : {&moved, &full}) {
      t->build(Sheet::kN);
      t->refit(sheet.start.data(), sheet.end.data(), true, ClothTree::Directions::kCones);
    }
    std::vector<std::uint8_t> flags(sheet.end.size(), 0);
    for (const int p : movedParticles) {
      sheet.end[static_cast<std::size_t>(p)] += Vec3(0.003, -0.04, 0.002);
      flags[static_cast<std::size_t>(p)] = 1;
    }
    moved.refitMoved(sheet.start.data(), sheet.end.data(), flags.data(), false);
    full.refit(sheet.start.data(), sheet.end.data(), false, ClothTree::Directions::kNone);
    const int cells = (Sheet::kN - 1) * (Sheet::kN - 1);
    for (int cell = 0; cell < cells; ++cell) {
      EXPECT_EQ(std::memcmp(&moved.cellBox(cell), &full.cellBox(cell), sizeof(Box)), 0) << cell;
    }
    const auto expected = [&] {
      Pairs kept;
      for (const auto& p : walk(full, sheet.solid, 0.01)) {
        if (cellMoved(p[1], flags) || (p[0] == 1 && cellMoved(p[2], flags))) {
          kept.push_back(p);
        }
      }
      return kept;
    };
    EXPECT_EQ(walk(moved, sheet.solid, 0.01), expected());
    // A particle touched after the refit brings its cells back into the walks.
    for (const int p : {0, 40, 44}) {
      moved.touch(p);
      flags[static_cast<std::size_t>(p)] = 1;
    }
    EXPECT_EQ(walk(moved, sheet.solid, 0.01), expected());
    EXPECT_FALSE(expected().empty());
  }
}


// The row-at-a-time normals and boxes against the one-cell code they stand for, to the bit, on
// rows whose corners include signed zeros, infinities, NaN and triangles without area.
TEST(CellRows, AreTheOneCellNormalsAndBoxesToTheBit) {
  constexpr int kN = 70;  // 69 cells a row: more than one call's boxes
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const double inf = std::numeric_limits<double>::infinity();
  Stream stream;
  std::vector<Vec3> start(2 * kN);
  std::vector<Vec3> end(2 * kN);
  for (int i = 0; i < 2 * kN; ++i) {
    start[i] = stream.around(Vec3(0.05 * (i % kN), 0.0, 0.05 * (i / kN)), 0.02);
    end[i] = i % 4 == 0 ? start[i] : stream.around(start[i], 0.01);
  }
  start[3] = Vec3(-0.0, 0.0, -0.0);
  end[3] = Vec3(0.0, -0.0, 0.0);
  start[kN + 8] = start[8] = start[9];  // cells 7 and 8: triangles without area
  end[20] = Vec3(nan, 0.5, -nan);
  start[kN + 31] = Vec3(inf, -inf, 1e300);
  end[kN + 50] = Vec3(1e200, -1e200, 1e200);  // a cross product past the largest double
  const auto same = [](const auto& a, const auto& b) { return std::memcmp(&a, &b, sizeof a) == 0; };

  std::vector<Vec3> normals(2 * (kN - 1));
  rowNormals(end.data(), 0, kN, kN - 1, normals.data());
  for (int x = 0; x < kN - 1; ++x) {
    const int corners[2][3] = {{x, x + kN, x + 1}, {x + 1, x + kN, x + kN + 1}};
    for (int t = 0; t < 2; ++t) {
      const Vec3& a = end[corners[t][0]];
      Vec3 n = cross(end[corners[t][1]] - a, end[corners[t][2]] - a);
      const double ll = n.lengthSquared();
      n = ll > 0.0 ? (1.0 / std::sqrt(ll)) * n : Vec3();
      EXPECT_TRUE(same(normals[2 * x + t], n)) << "cell " << x << ", triangle " << t;
    }
  }
  for (const int first : {0, 64, 5}) {
    const int count = std::min(kRowBoxes, kN - 1 - first);
    double boxes[6 * kRowBoxes];
    rowBoxes(start.data(), end.data(), first, kN, count, boxes);
    for (int x = 0; x < count; ++x) {
      Box box;
      const int v = first + x;
      for (const int c : {v, v + 1, v + kN, v + kN + 1}) {
        box.add(start[c]);
        box.add(end[c]);
      }
      const Vec3 lo(boxes[x], boxes[kRowBoxes + x], boxes[2 * kRowBoxes + x]);
      const Vec3 hi(boxes[3 * kRowBoxes + x], boxes[4 * kRowBoxes + x], boxes[5 * kRowBoxes + x]);
      EXPECT_TRUE(same(lo, box.lo) && same(hi, box.hi)) << "cell " << v;
    }
  }
}

}  // namespace
}  // namespace vellumry
