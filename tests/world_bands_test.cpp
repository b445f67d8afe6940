#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <bit>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "cloth/cloth.h"
#include "cloth/step_layout.h"
#include "scene/scene.h"
#include "world/world_step.h"

namespace vellumry {
namespace {

std::array<std::uint64_t, 3> bits(const Vec3& v) {
  return {std::bit_cast<std::uint64_t>(v.x), std::bit_cast<std::uint64_t>(v.y),
          std::bit_cast<std::uint64_t>(v.z)};
}

testing::AssertionResult sameState(const Cloth& a, const Cloth& reference) {
  if (a.stepCount != reference.stepCount || a.broken != reference.broken) {
    return testing::AssertionFailure() << "step count or broken springs differ";
  }
  for (int j = 0; j < reference.particleCount; ++j) {
    const Particle& p = a.particles[j];
    const Particle& q = reference.particles[j];
    if (bits(p.position) != bits(q.position) || bits(p.velocity) != bits(q.velocity) ||
        bits(p.force) != bits(q.force) || bits(a.external[j]) != bits(reference.external[j])) {
      return testing::AssertionFailure()
             << "particle " << j << ": y " << p.position.y << " against " << q.position.y;
    }
  }
  return testing::AssertionSuccess();
}

struct WorldCase {
  std::string name;
  Wind wind;
  bool ball;
  bool floor;
  double tearRatio;
};

// Each world reckoned band by band on the stepper's arrays, flat over the pools for a small grid,
// and through the system with the hook on the pools: the same bits, the same tears, the same
// external forces, on 1, 2 and 4 threads, with springs cut across the bands' edges.
TEST(WorldBandsTest, BandsFlatAndPoolsAgreeOnEveryWorld) {
  const WorldCase worlds[] = {
      {"gusty wind", Wind{Vec3(4.0, -1.0, 6.0), 0.6, 9}, false, false, 0.0},
      {"steady wind, floor", Wind{Vec3(-2.0, 0.0, 5.0), 0.0, 1}, false, true, 0.0},
      {"ball and floor", Wind{}, true, true, 0.0},
      {"tearing in still air", Wind{}, true, false, 1.15},
      {"everything", Wind{Vec3(3.0, -2.0, 9.0), 0.8, 4}, true, true, 1.2},
  };
  for (const WorldCase& w : worlds) {
    for (const int threads : {1, 2, 4}) {
      for (const int n : {16, 33}) {
        SCOPED_TRACE(testing::Message()
                     << w.name << ", n = " << n << ", " << threads << " threads");
        Scene scene;
        scene.grid = n;
        scene.world.wind = w.wind;
        scene.world.ball.enabled = w.ball;
        scene.world.ball.centre = Vec3(1.4, -1.1, 1.6);
        scene.world.floor.enabled = w.floor;
        scene.world.floor.height = -1.8;
        const int substeps = substepsFor(scene);
        std::array<std::unique_ptr<Cloth>, 3> cloths;
        for (auto& c : cloths) {
          c = std::make_unique<Cloth>();
          c->setThreads(threads, 1);
          c->build(scene.width, n, scene.material);
        }
        Cloth& bands = *cloths[0];
        Cloth& flat = *cloths[1];
        Cloth& pools = *cloths[2];
        bands.flatGridSize = 0;
        flat.flatGridSize = n;
        pools.referenceStep = true;
        int mostBroken = 0;
        for (int tick = 0; tick < 50; ++tick) {
          for (auto& c : cloths) {
            if (tick == 15) {
              for (int s = 0; s < c->springCount; s += 4 * n + 1) {
                c->breakSpring(s);  // one spring in every row or so, across every band's edge
              }
            }
            advanceInWorld(*c, scene.world, w.tearRatio, scene.step, substeps, scene.stepsPerTick);
            c->particleAt(0, n - 1).position += Vec3(0.04, -0.03, 0.02);
          }
          ASSERT_TRUE(bands.stepsOverArrays());
          ASSERT_TRUE(sameState(bands, pools)) << "bands, tick " << tick;
          ASSERT_TRUE(sameState(flat, pools)) << "flat, tick " << tick;
          mostBroken = std::max(mostBroken, pools.brokenCount);
        }
        if (w.tearRatio > 0.0) {
          EXPECT_GT(mostBroken, 2 * (n / 4 + 1)) << "the run must tear beyond the cuts";
        }
      }
    }
  }
}

// Without any world, only the mounts moving: the flat path and the arrays give the system's bits
// for the default cloth and the grids beside it, pinned particles, bend springs and cuts included.
TEST(WorldBandsTest, TheFlatStepHasTheArraysBits) {
  ClothMaterial bent;
  bent.bend = 4.0;
  for (const int n : {2, 3, 15, 20}) {
    for (const bool bend : {false, true}) {
      SCOPED_TRACE(testing::Message() << "n = " << n << (bend ? ", bend springs" : ""));
      const auto flat = std::make_unique<Cloth>();
      const auto arrays = std::make_unique<Cloth>();
      flat->flatGridSize = n;
      arrays->flatGridSize = 0;
      for (Cloth* c : {flat.get(), arrays.get()}) {
        c->build(3.0, n, bend ? bent : ClothMaterial());
        c->togglePin(n * n - 1);
        c->breakSpring(n);
        c->setPushing(true);
        c->external[n * n / 2] = Vec3(0.3, 0.5, -0.2);
      }
      for (int tick = 0; tick < 40; ++tick) {
        for (Cloth* c : {flat.get(), arrays.get()}) {
          c->advance(0.05 / 4, 8);
          c->particleAt(0, 0).position += Vec3(-0.02, 0.01, 0.0);
        }
        ASSERT_TRUE(sameState(*flat, *arrays)) << "tick " << tick;
      }
    }
  }
}

// The stretch of a row that meets a solid: its ends must be exact at every length the grids
// have, with the particles at either end of the row, a pinned one ignored, and none at all.
TEST(WorldBandsTest, TheTouchingStretchEndsAtTheFirstAndLastFreeParticleInside) {
  struct Case {
    int count;
    std::vector<int> below;  // particles under the floor
    int pinnedAt;
    step::Reach want;
  };
  const std::vector<Case> cases = {
      {1, {0}, -1, {0, 0}},         {1, {}, -1, {1, -1}},
      {63, {0, 62}, -1, {0, 62}},   {64, {17}, -1, {17, 17}},
      {64, {3, 40}, 3, {40, 40}},   {256, {255}, -1, {255, 255}},
      {256, {200}, 200, {256, -1}}, {255, {9, 100, 254}, 254, {9, 100}},
  };
  const step::Solids solids{0.0, 0.0, 0.0, -1.0, 0.0, 1.0, -1.0, 1.0};  // a floor at y = -1
  for (const Case& c : cases) {
    std::vector<double> x(c.count, 0.0);
    std::vector<double> y(c.count, 0.5);
    std::vector<double> pinned(c.count, 0.0);
    for (const int k : c.below) {
      y[k] = -1.5;
    }
    if (c.pinnedAt >= 0) {
      pinned[c.pinnedAt] = 1.0;
    }
    const step::Reach got =
        step::touchingSpan(c.count, solids, pinned.data(), x.data(), y.data(), x.data());
    EXPECT_EQ(got.first, c.want.first) << c.count << " particles";
    EXPECT_EQ(got.last, c.want.last) << c.count << " particles";
  }
}

}  // namespace
}  // namespace vellumry
