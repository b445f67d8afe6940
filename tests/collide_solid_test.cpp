// The cloth's surface against the ball and against solids read from files.
#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <string>
#include <vector>

#include "collide/contact_geometry.h"
#include "collide/solid_inside.h"
#include "collide_run.h"
#include "crossings.h"
#include "faceted_ball.h"
#include "world/mesh_file.h"

namespace vellumry {
namespace {

// The least distance from the centre to any of the cloth's triangles, points between the
// particles included.
double nearestTriangle(const Cloth& cloth, const Vec3& centre) {
  double least = 1e300;
  const std::uint32_t* t = cloth.mesh.triangles.data();
  for (int i = 0; i < cloth.mesh.triangleCount; i += 3) {
    const Vec3& a = cloth.particles[t[i]].position;
    const Vec3& b = cloth.particles[t[i + 1]].position;
    const Vec3& c = cloth.particles[t[i + 2]].position;
    const Vec3 q = pointOf(nearestOnTriangle(centre, a, b, c), a, b, c);
    least = std::min(least, std::sqrt((q - centre).lengthSquared()));
  }
  return least;
}

TEST(SolidContacts, TheBallsSurfaceKeepsTheThicknessFromEveryTriangle) {
  for (const double thickness : {0.0, 0.05}) {
    SCOPED_TRACE(testing::Message() << "thickness " << thickness);
    ClothRun run(14, 3.0);
    run.scene.world.ball.enabled = true;
    run.scene.world.collision.thickness = thickness;
    run.start();
    double least = 1e300;
    for (int t = 0; t < 150; ++t) {
      run.tick();
      least = std::min(least, nearestTriangle(*run.cloth, run.scene.world.ball.centre));
    }
    const double radius = run.scene.world.ball.radius;
    if (thickness == 0.0) {
      EXPECT_LT(least, radius) << "the particles alone let triangles into the ball";
    } else {
      EXPECT_GE(least, radius + 0.5 * thickness) << "a triangle came into the ball";
      EXPECT_LT(nearestTriangle(*run.cloth, run.scene.world.ball.centre), radius + 2 * thickness)
          << "the cloth must lie on the ball";
    }
  }
}

// A closed cube, as canonical triangles wound outwards.
SolidMesh cube(const Vec3& lo, const Vec3& hi) {
  SolidMesh s;
  for (int k = 0; k < 8; ++k) {
    s.points.emplace_back((k & 1) != 0 ? hi.x : lo.x, (k & 2) != 0 ? hi.y : lo.y,
                          (k & 4) != 0 ? hi.z : lo.z);
  }
  s.triangles = {{0, 2, 1}, {1, 2, 3}, {4, 5, 6}, {5, 7, 6}, {0, 1, 4}, {1, 5, 4},
                 {2, 6, 3}, {3, 6, 7}, {0, 4, 2}, {2, 4, 6}, {1, 3, 5}, {3, 7, 5}};
  canonicalise(s);
  return s;
}

TEST(SolidContacts, ClothOverABoxKeepsOutOfItAndNeverCrossesItsFaces) {
  const Vec3 lo(1.0, -2.0, 1.0);
  const Vec3 hi(2.0, -1.0, 2.0);
  const SolidMesh box = cube(lo, hi);
  ClothRun run(12, 3.0);
  run.scene.world.collision = {0.03, true};
  run.scene.world.floor = {true, -2.0, 0.5};
  run.start();
  run.at(0, 0).pinned = false;
  run.at(0, run.scene.grid - 1).pinned = false;
  run.collider.setSolid(&box, MeshPlacement{Vec3(), 1.0, 0.8});
  ASSERT_TRUE(run.collider.hasSolid());
  for (int t = 0; t < 160; ++t) {
    run.tick();
    for (int i = 0; i < run.cloth->particleCount; ++i) {
      const Vec3& p = run.cloth->particles[static_cast<std::size_t>(i)].position;
      const bool inside = p.x > lo.x && p.x < hi.x && p.y > lo.y && p.y < hi.y && p.z > lo.z &&
                          p.z < hi.z;
      ASSERT_FALSE(inside) << "particle " << i << " inside the box at tick " << t;
    }
    ASSERT_EQ(solidCrossings(*run.cloth, run.collider.solidPoints(),
                             run.collider.solidTriangles()),
              0)
        << "tick " << t;
    ASSERT_EQ(clothCrossings(*run.cloth), 0) << "tick " << t;
  }
  const Vec3& middle = run.at(6, 6).position;
  EXPECT_GT(middle.y, hi.y + 0.015) << "the middle of the cloth must stay on the box's top";
  EXPECT_LT(middle.y, hi.y + 0.15) << "the cloth must rest on the box's top, draped over its edges";
  EXPECT_LT(run.at(0, 0).position.y, hi.y - 0.3) << "its corners must hang over the edges";
}

// The folds of a ball smooth all over must not poke up between the particles of a coarser cloth,
// nor make a finer one that meets itself, pushed about by the faces, pass through itself.
TEST(SolidContacts, ASmoothBallNeverPokesThroughTheClothNorMakesItCrossItself) {
  struct Case {
    int grid;
    double radius;
    bool self;
    int ticks;
  };
  const Vec3 centre(1.5, -1.6, 1.5);
  for (const Case k : {Case{8, 0.6, false, 100}, Case{16, 0.3, false, 100},
                       Case{36, 0.6, true, 40}}) {
    SCOPED_TRACE(testing::Message() << "grid " << k.grid << ", radius " << k.radius);
    const SolidMesh ball = facetedBall(centre, k.radius, 8);
    ClothRun run(k.grid, 3.0);
    run.scene.world.collision = {k.self ? 0.03 : 0.02, k.self};
    run.scene.world.floor = {k.self, -2.4, 0.5};
    run.start();
    run.at(0, 0).pinned = false;
    run.at(0, k.grid - 1).pinned = false;
    run.collider.setSolid(&ball, MeshPlacement{Vec3(), 1.0, 0.8});
    double nearest = 1e300;
    for (int t = 0; t < k.ticks; ++t) {
      run.tick();
      ASSERT_EQ(solidCrossings(*run.cloth, run.collider.solidPoints(),
                               run.collider.solidTriangles()),
                0)
          << "tick " << t;
      ASSERT_EQ(k.self && t >= 30 ? clothCrossings(*run.cloth) : 0, 0) << "tick " << t;
      nearest = std::min(nearest, nearestTriangle(*run.cloth, centre));
    }
    EXPECT_LT(nearest, k.radius + 0.05) << "the cloth must have come down onto the ball";
  }
}

bool sameBits(const Cloth& a, const Cloth& b) {
  for (int i = 0; i < a.particleCount; ++i) {
    const Vec3& p = a.particles[static_cast<std::size_t>(i)].position;
    const Vec3& q = b.particles[static_cast<std::size_t>(i)].position;
    if (std::bit_cast<std::uint64_t>(p.x) != std::bit_cast<std::uint64_t>(q.x) ||
        std::bit_cast<std::uint64_t>(p.y) != std::bit_cast<std::uint64_t>(q.y) ||
        std::bit_cast<std::uint64_t>(p.z) != std::bit_cast<std::uint64_t>(q.z)) {
      return false;
    }
  }
  return true;
}

// A cloth let fall onto one solid read from each format, and at 1, 2 and 4 threads: one cloth.
TEST(SolidContacts, OneSolidInEveryFormatAndOnAnyThreadsGivesTheSameCloth) {
  ClothRun first(12, 2.0);
  bool firstRun = true;
  for (const char* name : {"gem.obj", "gem-ascii.stl", "gem-binary.stl", "gem.ply"}) {
    for (const int threads : {1, 2, 4}) {
      if (threads > 1 && std::string(name) != "gem.ply") {
        continue;  // the threads once, on the last format
      }
      SCOPED_TRACE(testing::Message() << name << ", " << threads << " threads");
      SolidMesh gem;
      std::string error;
      ASSERT_TRUE(readMeshFile(std::string(VELLUMRY_MESHES_DIR) + "/" + name, gem, error))
          << error;
      ClothRun run(12, 2.0);
      ClothRun& into = firstRun ? first : run;
      into.cloth->setThreads(threads, 1);
      into.scene.world.collision = {0.0, true};
      into.start();
      into.collider.setSolid(&gem, MeshPlacement{Vec3(1.0, -1.0, 1.0), 0.8, 0.4});
      for (int t = 0; t < 60; ++t) {
        into.tick();
      }
      EXPECT_GT(into.collider.report().sweeps, 0);
      if (!firstRun) {
        EXPECT_TRUE(sameBits(*first.cloth, *run.cloth)) << "another cloth than gem.obj's";
      }
      firstRun = false;
    }
  }
  EXPECT_EQ(solidCrossings(*first.cloth, first.collider.solidPoints(),
                           first.collider.solidTriangles()),
            0);
}

// A box moved onto the cloth as it was built, its near face just past the cloth: the particles it
// swallowed leave it at the next tick, most of them by the thickness, and none goes back in.
TEST(SolidContacts, ABoxMovedOntoTheClothPushesOutWhatItSwallowed) {
  const double h = 0.03;
  ClothRun run(12, 2.0);
  run.scene.world.collision = {h, false};
  run.start();
  const Vec3 middle = run.at(6, 6).position;
  const Vec3 corner = run.at(11, 11).position;
  // The axis across the flat cloth, and a box half a particle spacing deep into it from there.
  const Vec3 across = corner.x == middle.x   ? Vec3(1, 0, 0)
                      : corner.y == middle.y ? Vec3(0, 1, 0)
                                             : Vec3(0, 0, 1);
  const Vec3 centre = plus(middle, 0.4 * across);
  const Vec3 lo = centre - Vec3(0.45, 0.45, 0.45);
  const Vec3 hi = plus(centre, Vec3(0.45, 0.45, 0.45));
  const auto outside = [&](const Vec3& p) {
    const double dx = std::max({lo.x - p.x, 0.0, p.x - hi.x});
    const double dy = std::max({lo.y - p.y, 0.0, p.y - hi.y});
    const double dz = std::max({lo.z - p.z, 0.0, p.z - hi.z});
    return std::sqrt(dx * dx + dy * dy + dz * dz);
  };
  std::vector<int> swallowed;
  for (int i = 0; i < run.cloth->particleCount; ++i) {
    if (outside(run.cloth->particles[static_cast<std::size_t>(i)].position) == 0.0) {
      swallowed.push_back(i);
    }
  }
  ASSERT_GT(swallowed.size(), 8U);
  const SolidMesh box = cube(lo, hi);
  run.collider.setSolid(&box, MeshPlacement{Vec3(), 1.0, 0.5});
  run.tick();
  std::size_t pushedFar = 0;
  for (const int i : swallowed) {
    const double out = outside(run.cloth->particles[static_cast<std::size_t>(i)].position);
    EXPECT_GT(out, 0.0) << "particle " << i << " was left inside";
    pushedFar += out >= 0.9 * h ? 1 : 0;
  }
  EXPECT_GT(2 * pushedFar, swallowed.size()) << "most leave by the thickness";
  for (int t = 0; t < 30; ++t) {
    run.tick();
    for (int i = 0; i < run.cloth->particleCount; ++i) {
      ASSERT_GT(outside(run.cloth->particles[static_cast<std::size_t>(i)].position), 0.0)
          << "particle " << i << " inside at tick " << t;
    }
  }
}

// Only a solid whose every edge joins two faces has an inside to push particles out of.
TEST(SolidContacts, OnlyASolidWithEveryEdgeOnTwoFacesIsClosed) {
  const SolidMesh box = cube(Vec3(0, 0, 0), Vec3(1, 1, 1));
  auto open = box.triangles;
  open.pop_back();
  auto doubled = box.triangles;
  doubled.push_back(box.triangles.front());
  EXPECT_TRUE(isClosed(box.triangles));
  EXPECT_FALSE(isClosed(open)) << "a face missing";
  EXPECT_FALSE(isClosed(doubled)) << "an edge on three faces";
  EXPECT_FALSE(isClosed({}));
}

}  // namespace
}  // namespace vellumry
