// What the contacts cost a tick: a cloth hung by one corner over the floor, which falls and
// folds onto it, with self-collision off and on (the same thickness, so that only meeting itself
// differs), and a cloth draped over a solid of 10,000 triangles against none.
#include <benchmark/benchmark.h>

#include <cmath>
#include <memory>
#include <numbers>

#include "cloth/cloth.h"
#include "collide/collider.h"
#include "scene/scene.h"
#include "world/collide_step.h"

namespace vellumry {
namespace {

// Each run falls from the start for this many ticks, then is dropped afresh outside the timing.
constexpr int kTicksPerDrop = 200;

struct Fall {
  Fall(int n, int threads) {
    scene.grid = n;
    scene.material.bend = 1.0;
    scene.world.collision.thickness = 0.01;
    scene.world.floor = {true, -2.0, 0.6};
    substeps = substepsFor(scene);
    cloth->setThreads(threads);
  }
  void drop() {
    cloth->build(scene.width, scene.grid, scene.material);
    cloth->particleAt(0, scene.grid - 1).pinned = false;
    cloth->particleAt(0, 0).pinned = hung;
    collider.prepare(*cloth);
  }
  void tick() {
    advanceColliding(*cloth, scene.world, collider, scene.tearRatio, scene.step, substeps,
                     scene.stepsPerTick);
  }
  Scene scene;
  bool hung = true;  ///< by its corner (0, 0); else let fall whole
  int substeps = 1;
  std::unique_ptr<Cloth> cloth = std::make_unique<Cloth>();
  Collider collider;
};

void run(benchmark::State& state, Fall& fall) {
  fall.drop();
  int ticks = 0;
  long long sweeps = 0;
  for (auto _ : state) {
    if (++ticks == kTicksPerDrop) {
      state.PauseTiming();
      fall.drop();
      ticks = 0;
      state.ResumeTiming();
    }
    fall.tick();
    sweeps += fall.collider.report().sweeps;
    benchmark::ClobberMemory();
  }
  state.counters["sweeps"] =
      static_cast<double>(sweeps) / static_cast<double>(std::max<long long>(1, state.iterations()));
  state.counters["threads"] = fall.cloth->threads;
}

// range(0): n; range(1): self-collision off or on; range(2): threads.
void BM_SelfCollision(benchmark::State& state) {
  Fall fall(static_cast<int>(state.range(0)), static_cast<int>(state.range(2)));
  fall.scene.world.collision.self = state.range(1) != 0;
  run(state, fall);
}
BENCHMARK(BM_SelfCollision)
    ->ArgsProduct({{64, 128}, {0, 1}, {1, 2}})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

// A closed ball of 2 x 50 x 100 = 10,000 triangles (its poles' rings of zero-area triangles
// included, as a mesh file may have them).
SolidMesh sphere(const Vec3& centre, double radius) {
  constexpr int kRings = 50;
  constexpr int kSegments = 100;
  SolidMesh s;
  for (int r = 0; r <= kRings; ++r) {
    const double polar = std::numbers::pi * r / kRings;
    for (int k = 0; k < kSegments; ++k) {
      const double around = 2.0 * std::numbers::pi * k / kSegments;
      s.points.emplace_back(centre.x + radius * std::sin(polar) * std::cos(around),
                            centre.y + radius * std::cos(polar),
                            centre.z + radius * std::sin(polar) * std::sin(around));
    }
  }
  for (int r = 0; r < kRings; ++r) {
    for (int k = 0; k < kSegments; ++k) {
      const int a = r * kSegments + k;
      const int b = r * kSegments + (k + 1) % kSegments;
      s.triangles.push_back({a, b, a + kSegments});
      s.triangles.push_back({b, b + kSegments, a + kSegments});
    }
  }
  return s;
}

// range(0): the solid under the cloth or none, on one thread at n = 64.
void BM_SolidContacts(benchmark::State& state) {
  Fall fall(64, 1);
  fall.scene.world.floor.enabled = false;
  fall.scene.world.collision.self = false;
  const SolidMesh ball = sphere(Vec3(1.5, -1.6, 1.5), 1.0);
  if (state.range(0) != 0) {
    fall.collider.setSolid(&ball, MeshPlacement{Vec3(), 1.0, 0.5});
  }
  fall.hung = false;
  run(state, fall);
  state.counters["triangles"] = static_cast<double>(fall.collider.solidTriangles().size());
}
BENCHMARK(BM_SolidContacts)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
}  // namespace vellumry

BENCHMARK_MAIN();
