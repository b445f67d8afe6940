#include <benchmark/benchmark.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <memory>

#include "cloth/cloth.h"

namespace vellumry {
namespace {

constexpr double kTimeStep = 0.05;
constexpr double kWidth = 3.0;
// At n = 19 and 20 the cloth's constants are unstable: the 20 by 20 cloth passes |y| = 100
// after about 80 steps. Every benchmark that steps rebuilds this often, outside the timing.
constexpr int kRebuildEvery = 64;

/// One step of the cloth with every force inlined and no virtual call: the same arithmetic, in
/// the same order, as the system's step over the cloth's force list.
void flatStep(Cloth& c, double dt) {
  const int count = c.particleCount;
  Particle* const particles = c.particles.data();
  for (int j = 0; j < count; ++j) {
    particles[j].force = Vec3();
  }
  for (int j = 0; j < count; ++j) {
    Particle& p = particles[j];
    p.force += p.mass * c.gravities[j].acceleration;
    const double k = -c.drags[j].coefficient;
    p.force += k * p.velocity;
  }
  for (int i = 0; i < c.springCount; ++i) {
    const Spring& s = c.springs[i];
    Particle& a = *s.particleA;
    Particle& b = *s.particleB;
    const Vec3 d = a.position - b.position;
    const double length = std::sqrt((d.z * d.z + d.y * d.y) + d.x * d.x);
    const double magnitude = (length - s.restLength) * s.stiffness;
    Vec3 u = b.position - a.position;
    const double uu = u.lengthSquared();
    if (uu == 0.0) {
      continue;
    }
    u /= std::sqrt(uu);
    const Vec3 f = magnitude * u;
    a.force += f;
    b.force += -f;
  }
  const double h = 0.5 * dt;
  for (int j = 0; j < count; ++j) {
    Particle& p = particles[j];
    if (p.pinned) {
      continue;
    }
    p.velocity += (dt * p.force) / p.mass;
    p.position += h * p.velocity;
  }
}

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

}  // namespace
}  // namespace vellumry

BENCHMARK_MAIN();
