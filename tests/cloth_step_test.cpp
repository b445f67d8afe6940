#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <bit>
#include <cmath>
#include <cstdint>
#include <memory>

#include "cloth/cloth.h"
#include "scene/scene.h"
#include "world/world_step.h"

namespace vellumry {
namespace {

testing::AssertionResult sameBits(const Cloth& fast, const Cloth& reference) {
  const auto bits = [](const Vec3& v) {
    return std::array{std::bit_cast<std::uint64_t>(v.x), std::bit_cast<std::uint64_t>(v.y),
                      std::bit_cast<std::uint64_t>(v.z)};
  };
  for (int j = 0; j < reference.particleCount; ++j) {
    const Particle& p = fast.particles[j];
    const Particle& q = reference.particles[j];
    if (!std::isfinite(q.position.x + q.position.y + q.position.z)) {
      return testing::AssertionFailure() << "particle " << j << " left the finite range";
    }
    if (bits(p.position) != bits(q.position) || bits(p.velocity) != bits(q.velocity) ||
        bits(p.force) != bits(q.force)) {
      return testing::AssertionFailure()
             << "particle " << j << ": position y " << p.position.y << " against " << q.position.y
             << ", force y " << p.force.y << " against " << q.force.y;
    }
  }
  return testing::AssertionSuccess();
}

// A scripted run: the cloth's own step on 1, 2 and 4 threads (split even when small) against
// the system's step, with the mounts moving, a particle held and moved, the material changed
// with bend springs on and off, and single springs and forces edited in place. Every tick must
// agree bit for bit, so the state, and any checksum of it, is the same on any number of threads.
TEST(ClothStepTest, SameBitsAsTheSystemStepOnAnyNumberOfThreads) {
  ClothMaterial stiff;
  stiff.mass = 50.0;
  stiff.stiffness = 150.0;
  stiff.shear = 20.0;
  stiff.bend = 5.0;
  stiff.drag = 10.0;
  stiff.gravity = Vec3(0.1, -2.0, 0.05);
  for (const int n : {2, 15, 20, 64}) {
    for (const int threads : {1, 2, 4}) {
      SCOPED_TRACE(testing::Message() << "n = " << n << ", " << threads << " threads");
      const auto fast = std::make_unique<Cloth>();
      const auto reference = std::make_unique<Cloth>();
      fast->setThreads(threads, 1);
      Scene scene;
      scene.grid = n;
      fast->build(scene.width, n, scene.material);
      reference->build(scene.width, n, scene.material);
      const int held = n / 2 + n * (n / 2);
      for (int tick = 0; tick < 60; ++tick) {
        for (Cloth* c : {fast.get(), reference.get()}) {
          if (tick == 20 || tick == 40) {
            scene.material = tick == 20 ? stiff : ClothMaterial();
            c->setMaterial(scene.material);
          }
          if (tick == 45) {
            c->springs[c->springCount - 1].restLength *= 1.5;
            c->springs[3].stiffness = 40.0;
            c->gravities[held].acceleration = Vec3(0.0, 3.0, 0.0);
            c->drags[1].coefficient = 0.5;
            c->particles[n - 1].mass *= 2.0;
            c->particles[held - 1].position = c->particles[held].position;  // coincident ends
          }
          c->particles[held].pinned = tick >= 10 && tick < 30;
        }
        const int substeps = substepsFor(scene);
        const double dt = scene.step / substeps;
        fast->advance(dt, scene.stepsPerTick * substeps);
        for (int s = 0; s < scene.stepsPerTick * substeps; ++s) {
          reference->system.step(dt);
        }
        ASSERT_TRUE(sameBits(*fast, *reference)) << "tick " << tick;
        for (Cloth* c : {fast.get(), reference.get()}) {
          c->particleAt(0, 0).position += Vec3(-0.02, 0.0, 0.01);
          c->particleAt(0, n - 1).position += Vec3(0.01, 0.005, tick < 30 ? -0.01 : 0.02);
          if (c->particles[held].pinned) {
            c->particles[held].position += Vec3(0.01, 0.03, 0.0);
          }
        }
      }
    }
  }
}

// The world's run, array step against the system's: gusty wind, ball, floor and tearing, with
// springs cut in bursts and the mounts driven into the ball; the same bits, the same springs
// broken and the same triangles left, on any number of threads.
TEST(ClothStepTest, AWorldRunHasTheSameBitsAsTheSystemStep) {
  Scene scene;
  World& world = scene.world;
  world.wind = Wind{Vec3(3.0, -1.0, 8.0), 0.7, 5};
  world.ball.enabled = true;
  world.ball.centre = Vec3(1.2, -1.0, 1.5);
  world.floor.enabled = true;
  world.floor.height = -2.0;
  scene.tearRatio = 1.2;
  // 40: rows of cells long enough for the widest vectors, torn triangles among their lanes.
  for (const int n : {15, 20, 40}) {
    for (const int threads : {1, 2, 4}) {
      SCOPED_TRACE(testing::Message() << "n = " << n << ", " << threads << " threads");
      const auto fast = std::make_unique<Cloth>();
      const auto reference = std::make_unique<Cloth>();
      fast->setThreads(threads, 1);
      reference->referenceStep = true;
      scene.grid = n;
      const int substeps = substepsFor(scene);
      int most = 0;
      for (int tick = 0; tick < 80; ++tick) {
        for (Cloth* c : {fast.get(), reference.get()}) {
          if (tick == 0 || tick == 70) {
            c->build(scene.width, n, scene.material);
          }
          for (const int cut : {0, 1, 2, 3 * n, 3 * n + 1, 5 * n - 3}) {
            if (tick == 12 || (tick == 40 && cut % 2 == 0)) {
              c->breakSpring(cut + tick);
            }
          }
          advanceInWorld(*c, world, scene.tearRatio, scene.step, substeps, scene.stepsPerTick);
          c->particleAt(0, 0).position += Vec3(0.03, -0.02, 0.01);
        }
        ASSERT_TRUE(fast->stepsOverArrays()) << "tick " << tick;
        ASSERT_TRUE(sameBits(*fast, *reference)) << "tick " << tick;
        ASSERT_EQ(fast->broken, reference->broken) << "tick " << tick;
        ASSERT_EQ(fast->mesh.triangleCount, reference->mesh.triangleCount);
        ASSERT_TRUE(std::equal(fast->mesh.lines.begin(),
                               fast->mesh.lines.begin() + fast->mesh.lineCount,
                               reference->mesh.lines.begin()));
        most = std::max(most, fast->brokenCount);
      }
      EXPECT_GT(most, 20) << "the run must tear as well as cut";
      EXPECT_LT(fast->brokenCount, most) << "the drop at tick 70 mends the cloth";
    }
  }
}

}  // namespace
}  // namespace vellumry
