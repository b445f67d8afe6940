#include <benchmark/benchmark.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <memory>
#include <thread>

#include "cloth/cloth.h"
#include "cloth/flat_step.h"
#include "scene/scene.h"
#include "world/world_step.h"

namespace vellumry {
namespace {

constexpr double kTimeStep = 0.05;
constexpr double kWidth = 3.0;
// At n = 19 and 20 the cloth's constants are unstable: the 20 by 20 cloth passes |y| = 100
// after about 80 steps. Every benchmark that steps rebuilds this often, outside the timing.
constexpr int kRebuildEvery = 64;

bool sameBits(const Vec3& a, const Vec3& b) {
  return std::bit_cast<std::uint64_t>(a.x) == std::bit_cast<std::uint64_t>(b.x) &&
         std::bit_cast<std::uint64_t>(a.y) == std::bit_cast<std::uint64_t>(b.y) &&
         std::bit_cast<std::uint64_t>(a.z) == std::bit_cast<std::uint64_t>(b.z);
}

/// Whether the flat step reproduces the cloth's own step bit for bit, mounts moving.
bool flatStepMatches() {
  const auto reference = std::make_unique<Cloth>();
  const auto flat = std::make_unique<Cloth>();
  reference->build(kWidth, 15);
  flat->build(kWidth, 15);
  for (int t = 0; t < 100; ++t) {
    reference->step(kTimeStep);
    flatStep(*flat, kTimeStep);
    for (Cloth* c : {reference.get(), flat.get()}) {
      c->particleAt(0, 0).position += Vec3(-0.02, 0, 0.01);
      c->particleAt(0, 14).position += Vec3(0.01, 0.005, 0.01);
    }
  }
  for (int j = 0; j < reference->particleCount; ++j) {
    const Particle& p = reference->particles[j];
    const Particle& q = flat->particles[j];
    if (!sameBits(p.position, q.position) || !sameBits(p.velocity, q.velocity) ||
        !sameBits(p.force, q.force)) {
      return false;
    }
  }
  return true;
}

template <typename Step>
void stepLoop(benchmark::State& state, Cloth& cloth, int n, Step step) {
  cloth.build(kWidth, n);
  int steps = 0;
  for (auto _ : state) {
    if (++steps == kRebuildEvery) {
      state.PauseTiming();
      cloth.build(kWidth, n);
      steps = 0;
      state.ResumeTiming();
    }
    step(cloth);
    benchmark::ClobberMemory();
  }
}

void BM_ClothStep(benchmark::State& state) {
  const auto cloth = std::make_unique<Cloth>();
  stepLoop(state, *cloth, static_cast<int>(state.range(0)), [](Cloth& c) { c.step(kTimeStep); });
}
BENCHMARK(BM_ClothStep)->Arg(15)->Arg(20);

void BM_FlatStep15(benchmark::State& state) {
  if (!flatStepMatches()) {
    state.SkipWithError("the flat step does not give the same bits as Cloth::step");
    return;
  }
  const auto cloth = std::make_unique<Cloth>();
  stepLoop(state, *cloth, 15, [](Cloth& c) { flatStep(c, kTimeStep); });
}
BENCHMARK(BM_FlatStep15);

void BM_ClothBuild(benchmark::State& state) {
  const auto cloth = std::make_unique<Cloth>();
  for (auto _ : state) {
    cloth->build(kWidth, 15);
    benchmark::ClobberMemory();
  }
}
BENCHMARK(BM_ClothBuild);

void BM_ComputeNormals(benchmark::State& state) {
  const auto cloth = std::make_unique<Cloth>();
  cloth->build(kWidth, 15);
  for (int t = 0; t < 100; ++t) {  // a hanging, curved cloth rather than the flat one
    cloth->step(kTimeStep);
  }
  for (auto _ : state) {
    cloth->computeNormals();
    benchmark::ClobberMemory();
  }
}
BENCHMARK(BM_ComputeNormals);

// A whole tick of the scene with an n by n cloth: stepsPerTick x substeps steps, as the viewer
// takes them. The mounts move apart a little every tick, and the cloth is dropped afresh every
// 256 ticks outside the timing, so that it keeps swinging and never settles into subnormals.
struct TickScene {
  explicit TickScene(int n) {
    scene.grid = n;
    substeps = substepsFor(scene);
    steps = scene.stepsPerTick * substeps;
    dt = scene.step / substeps;
  }
  void drop(Cloth& cloth) const { cloth.build(scene.width, scene.grid, scene.material); }
  void moveMounts(Cloth& cloth) const {
    cloth.particleAt(0, 0).position += Vec3(0.0, 0.0, -0.001);
    cloth.particleAt(0, scene.grid - 1).position += Vec3(0.0, 0.0, 0.001);
  }
  Scene scene;
  int substeps = 1;
  int steps = 1;
  double dt = 0.0;
};

constexpr int kTicksPerDrop = 256;

template <typename Tick>
void tickLoop(benchmark::State& state, Cloth& cloth, const TickScene& ts, Tick tick) {
  ts.drop(cloth);
  int ticks = 0;
  for (auto _ : state) {
    if (++ticks == kTicksPerDrop) {
      state.PauseTiming();
      ts.drop(cloth);
      ticks = 0;
      state.ResumeTiming();
    }
    tick(cloth);
    ts.moveMounts(cloth);
    benchmark::ClobberMemory();
  }
  state.counters["steps"] = ts.steps;
  state.counters["springs"] = cloth.springCount;
  state.SetItemsProcessed(state.iterations());  // ticks
}

// The cloth's own step, on up to range(1) threads (a small cloth stays on one).
void BM_Tick(benchmark::State& state) {
  const auto cloth = std::make_unique<Cloth>();
  cloth->setThreads(static_cast<int>(state.range(1)));
  const TickScene ts(static_cast<int>(state.range(0)));
  tickLoop(state, *cloth, ts, [&](Cloth& c) { c.advance(ts.dt, ts.steps); });
  state.counters["threads"] = cloth->threads;
}
BENCHMARK(BM_Tick)
    ->ArgsProduct({{15, 32, 64, 128, 256}, {1, 2}})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

// The tick of BM_Tick in a world: gusty wind across the cloth, the ball under it, the floor, and
// tearing on (few springs reach the ratio, but each is checked every step). Against BM_Tick at
// the same size and threads, what the world costs.
void BM_WorldTick(benchmark::State& state) {
  const auto cloth = std::make_unique<Cloth>();
  cloth->setThreads(static_cast<int>(state.range(1)));
  TickScene ts(static_cast<int>(state.range(0)));
  World& world = ts.scene.world;
  world.wind.velocity = Vec3(4.0, 0.0, 6.0);
  world.wind.gust = 0.5;
  world.wind.seed = 7;
  world.ball.enabled = true;
  world.floor.enabled = true;
  const double tearRatio = 2.0;
  tickLoop(state, *cloth, ts, [&](Cloth& c) {
    advanceInWorld(c, world, tearRatio, ts.scene.step, ts.substeps, ts.scene.stepsPerTick);
  });
  state.counters["threads"] = cloth->threads;
  state.counters["broken"] = cloth->brokenCount;
}
BENCHMARK(BM_WorldTick)
    ->ArgsProduct({{64, 128}, {1, 2}})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

// Cutting a line of springs across an n by n cloth one by one, as a burst of cut events does: a
// row's structural springs along x, about n of them. Rebuilt outside the timing each time.
void BM_CutLine(benchmark::State& state) {
  const auto cloth = std::make_unique<Cloth>();
  const int n = static_cast<int>(state.range(0));
  for (auto _ : state) {
    state.PauseTiming();
    cloth->build(kWidth, n);
    state.ResumeTiming();
    for (int s = 0; s < cloth->springCount; s += cloth->springCount / n) {
      cloth->breakSpring(s);
    }
    benchmark::ClobberMemory();
  }
  state.counters["broken"] = cloth->brokenCount;
}
BENCHMARK(BM_CutLine)->Arg(128)->Arg(256)->Unit(benchmark::kMillisecond);

// The same tick through the particle system's step: the reference.
void BM_ReferenceTick(benchmark::State& state) {
  const auto cloth = std::make_unique<Cloth>();
  const TickScene ts(static_cast<int>(state.range(0)));
  tickLoop(state, *cloth, ts, [&](Cloth& c) {
    for (int s = 0; s < ts.steps; ++s) {
      c.system.step(ts.dt);
    }
  });
}
BENCHMARK(BM_ReferenceTick)
    ->Arg(15)
    ->Arg(32)
    ->Arg(64)
    ->Arg(128)
    ->Arg(256)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

// One frame's normals of a hanging n by n cloth.
void BM_Normals(benchmark::State& state) {
  const auto cloth = std::make_unique<Cloth>();
  const TickScene ts(static_cast<int>(state.range(0)));
  ts.drop(*cloth);
  for (int t = 0; t < 50; ++t) {
    cloth->advance(ts.dt, ts.steps);
  }
  for (auto _ : state) {
    cloth->computeNormals();
    benchmark::ClobberMemory();
  }
}
BENCHMARK(BM_Normals)->Arg(15)->Arg(32)->Arg(64)->Arg(128)->Arg(256)->Unit(benchmark::kMillisecond);

// A replay without drawing at n = 128 on the machine's threads: ticks of the simulation and the
// mount moves, one after another; items_per_second is ticks per second.
void BM_HeadlessReplay128(benchmark::State& state) {
  const auto cloth = std::make_unique<Cloth>();
  cloth->setThreads(static_cast<int>(std::thread::hardware_concurrency()));
  const TickScene ts(128);
  tickLoop(state, *cloth, ts, [&](Cloth& c) { c.advance(ts.dt, ts.steps); });
  state.counters["threads"] = cloth->threads;
}
BENCHMARK(BM_HeadlessReplay128)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
}  // namespace vellumry

BENCHMARK_MAIN();
