// What the contacts cost a tick: a cloth hung by one corner over the floor, which falls and
// folds onto it, with self-collision off and on (the same thickness, so that only meeting itself
// differs), and a cloth draped over a solid of 10,000 triangles against none.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <memory>

#include "cloth/cloth.h"
#include "collide/collider.h"
#include "faceted_ball.h"
#include "scene/scene.h"
#include "world/collide_step.h"
#include "world/mesh_file.h"

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
    ->Iterations(kTicksPerDrop)
    ->UseRealTime();

// range(0): the solid under the cloth or none, on one thread at n = 64.
void BM_SolidContacts(benchmark::State& state) {
  Fall fall(64, 1);
  fall.scene.world.floor.enabled = false;
  fall.scene.world.collision.self = false;
  // 6 x 2 x 29 x 29 = 10,092 triangles
  const SolidMesh ball = facetedBall(Vec3(1.5, -1.6, 1.5), 1.0, 29);
  if (state.range(0) != 0) {
    fall.collider.setSolid(&ball, MeshPlacement{Vec3(), 1.0, 0.5});
  }
  fall.hung = false;
  run(state, fall);
  state.counters["triangles"] = static_cast<double>(fall.collider.solidTriangles().size());
}
BENCHMARK(BM_SolidContacts)
    ->Arg(0)
    ->Arg(1)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(kTicksPerDrop)
    ->UseRealTime();

}  // namespace
}  // namespace vellumry

BENCHMARK_MAIN();
