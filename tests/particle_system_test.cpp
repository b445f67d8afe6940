#include "physics/particle_system.h"

#include <gtest/gtest.h>

namespace vellumry {
namespace {

constexpr double kDt = 0.05;

void expectVec(const Vec3& v, double x, double y, double z, const char* what) {
  EXPECT_EQ(v.x, x) << what;
  EXPECT_EQ(v.y, y) << what;
  EXPECT_EQ(v.z, z) << what;
}

Particle freeParticle(double mass) {
  Particle p;
  p.mass = mass;
  p.pinned = false;
  return p;
}

/// Adds a fixed vector to one particle.
class ConstantForce final : public Force {
 public:
  ConstantForce(Particle* p, const Vec3& f) : particle(p), value(f) {}
  void apply() override { particle->force += value; }

  Particle* particle;
  Vec3 value;
};

TEST(ParticleSystemTest, IntegratorExamples) {
  ParticleSystem system;
  system.step(kDt);  // empty: nothing to do
  Particle coasting = freeParticle(2.0);
  coasting.velocity = Vec3(1, 0, 0);
  Particle falling = freeParticle(1.0);
  Gravity g;
  g.acceleration = Vec3(0, -1, 0);
  g.setParticle(&falling);
  system.addParticle(nullptr);
  system.addForce(nullptr);
  EXPECT_TRUE(system.particles.empty() && system.forces.empty()) << "null adds are ignored";
  system.addParticle(&coasting);
  system.addParticle(&falling);
  system.addForce(&g);

  system.step(kDt);
  expectVec(coasting.velocity, 1, 0, 0, "no force: velocity unchanged");
  expectVec(coasting.position, 0.025, 0, 0, "moves 0.5 * dt * v: 0.025, not 0.05");
  expectVec(falling.velocity, 0, -0.05, 0, "gravity, one step");
  expectVec(falling.position, 0, 0.025 * -0.05, 0, "half a step with the new velocity");
  EXPECT_NEAR(falling.position.y, -0.00125, 1e-18);
  expectVec(falling.force, 0, -1, 0, "the accumulator keeps the step's total afterwards");

  system.step(kDt);
  expectVec(falling.velocity, 0, -0.1, 0, "gravity, two steps");
  expectVec(falling.position, 0, 0.025 * -0.05 + 0.025 * -0.1, 0, "gravity, two steps");
  EXPECT_NEAR(falling.position.y, -0.00375, 1e-18);
}

TEST(ParticleSystemTest, AccelerationIsTimeStepTimesForceOverMass) {
  // a = (dt * F) / m; for these values dt * (F / m) and F * (dt / m) round differently.
  const double mass = 70.0 / 225.0;
  const double f = 0.7;
  ASSERT_NE((kDt * f) / mass, kDt * (f / mass));
  ASSERT_NE((kDt * f) / mass, f * (kDt / mass));
  ParticleSystem system;
  Particle p = freeParticle(mass);
  ConstantForce force(&p, Vec3(f, -f, 0));
  system.addParticle(&p);
  system.addForce(&force);
  system.step(kDt);
  expectVec(p.velocity, (kDt * f) / mass, (kDt * -f) / mass, 0, "velocity += (dt * F) / m");
}

TEST(ParticleSystemTest, ForcesAreSummedFromZeroInListOrder) {
  // (1e16 + 1) - 1e16 is 0 but (1e16 - 1e16) + 1 is 1: the sum shows the order of application.
  Particle p = freeParticle(1.0);
  p.force = Vec3(7, 7, 7);  // stale: zeroed at the start of the step
  ConstantForce big(&p, Vec3(1e16, 0, 0));
  ConstantForce one(&p, Vec3(1, 0, 0));
  ConstantForce minusBig(&p, Vec3(-1e16, 0, 0));
  ParticleSystem system;
  system.addParticle(&p);
  for (ConstantForce* f : {&big, &one, &minusBig}) {
    system.addForce(f);
  }
  system.step(kDt);
  expectVec(p.force, 0, 0, 0, "big, one, -big");

  system.clear();
  system.addParticle(&p);
  for (ConstantForce* f : {&big, &minusBig, &one, &one}) {
    system.addForce(f);
  }
  system.step(kDt);
  expectVec(p.force, 2, 0, 0, "big, -big, one, one: a force listed twice is applied twice");
}

TEST(ParticleSystemTest, PinnedParticlesAccumulateButStay) {
  ParticleSystem system;
  Particle pinned;
  pinned.mass = 3.0;
  pinned.position = Vec3(1, 2, 3);
  pinned.velocity = Vec3(0.5, 0, 0);
  pinned.force = Vec3(9, 9, 9);
  Gravity g;
  g.acceleration = Vec3(0, -1, 0);
  g.setParticle(&pinned);
  ConstantForce push(&pinned, Vec3(1, 0, -1));
  Particle massless;  // a default particle is pinned: its zero mass is never divided by
  system.addParticle(&pinned);
  system.addParticle(&massless);
  system.addForce(&g);
  system.addForce(&push);
  system.step(kDt);
  expectVec(pinned.position, 1, 2, 3, "pinned: position unchanged");
  expectVec(pinned.velocity, 0.5, 0, 0, "pinned: velocity unchanged");
  expectVec(pinned.force, 1, -3, -1, "pinned: force zeroed, then summed");
  expectVec(massless.position, 0, 0, 0, "a default particle stays put");

  const std::size_t capacity = system.forces.capacity();
  system.clear();
  EXPECT_TRUE(system.particles.empty() && system.forces.empty());
  EXPECT_EQ(system.forces.capacity(), capacity) << "clear keeps the storage";
  system.step(kDt);
  expectVec(pinned.force, 1, -3, -1, "after clear nothing is zeroed or applied");
}

}  // namespace
}  // namespace vellumry
