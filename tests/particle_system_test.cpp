#include "physics/particle_system.h"

#include <gtest/gtest.h>

#include "physics/force.h"
#include "physics/particle.h"

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

/// Adds a fixed vector to one particle, and counts its calls.
class ConstantForce final : public Force {
 public:
  ConstantForce(Particle* p, const Vec3& f) : particle(p), value(f) {}
  void apply() override {
    particle->force += value;
    ++calls;
  }

  Particle* particle;
  Vec3 value;
  int calls = 0;
};

TEST(ParticleSystemTest, AddsIgnoreNullAndKeepOrderAndDuplicates) {
  ParticleSystem system;
  system.step(kDt);  // an empty system has nothing to do
  EXPECT_TRUE(system.particles.empty());
  EXPECT_TRUE(system.forces.empty());

  Particle a;
  Particle b;
  ConstantForce f(&a, Vec3());
  system.addParticle(nullptr);
  system.addForce(nullptr);
  EXPECT_TRUE(system.particles.empty()) << "null particles are ignored";
  EXPECT_TRUE(system.forces.empty()) << "null forces are ignored";

  system.addParticle(&b);
  system.addParticle(&a);
  system.addParticle(&b);
  system.addForce(&f);
  system.addForce(&f);
  ASSERT_EQ(system.particles.size(), 3u);
  EXPECT_EQ(system.particles[0], &b);
  EXPECT_EQ(system.particles[1], &a);
  EXPECT_EQ(system.particles[2], &b) << "duplicates are listed again";
  ASSERT_EQ(system.forces.size(), 2u);
  EXPECT_EQ(system.forces[0], &f);
  EXPECT_EQ(system.forces[1], &f);
}

TEST(ParticleSystemTest, PositionAdvancesByHalfStepWithNewVelocity) {
  ParticleSystem system;
  Particle p = freeParticle(2.0);
  p.velocity = Vec3(1, 0, 0);
  system.addParticle(&p);
  system.step(kDt);
  expectVec(p.velocity, 1, 0, 0, "no force: velocity unchanged");
  expectVec(p.position, 0.025, 0, 0, "position moves by 0.5 * dt * v (0.025, not 0.05)");
}

TEST(ParticleSystemTest, GravityOverTwoSteps) {
  ParticleSystem system;
  Particle p = freeParticle(1.0);
  Gravity g;
  g.acceleration = Vec3(0, -1, 0);
  g.setParticle(&p);
  system.addParticle(&p);
  system.addForce(&g);

  system.step(kDt);
  expectVec(p.velocity, 0, -0.05, 0, "velocity after one step");
  // 0.5 * dt times the new velocity; about -0.00125 (the literal rounds differently).
  expectVec(p.position, 0, 0.025 * -0.05, 0, "position after one step");
  EXPECT_NEAR(p.position.y, -0.00125, 1e-18);
  expectVec(p.force, 0, -1, 0, "the accumulator keeps this step's total after the step");

  system.step(kDt);
  expectVec(p.velocity, 0, -0.1, 0, "velocity after two steps");
  expectVec(p.position, 0, 0.025 * -0.05 + 0.025 * -0.1, 0, "position after two steps");
  EXPECT_NEAR(p.position.y, -0.00375, 1e-18);
}

TEST(ParticleSystemTest, AccelerationIsTimeStepTimesForceOverMass) {
  // a = (dt * F) / m; for these values dt * (F / m) and F * (dt / m) round differently.
  const double mass = 70.0 / 225.0;
  const double force = 0.7;
  ASSERT_NE((kDt * force) / mass, kDt * (force / mass));
  ASSERT_NE((kDt * force) / mass, force * (kDt / mass));

  ParticleSystem system;
  Particle p = freeParticle(mass);
  ConstantForce f(&p, Vec3(force, -force, 2 * force));
  system.addParticle(&p);
  system.addForce(&f);
  system.step(kDt);
  expectVec(p.velocity, (kDt * force) / mass, (kDt * -force) / mass, (kDt * (2 * force)) / mass,
            "velocity += (dt * F) / m, per component");
}

TEST(ParticleSystemTest, ForcesAreSummedInListOrderFromZero) {
  // (1e16 + 1) - 1e16 is 0 but (1e16 - 1e16) + 1 is 1: the sum shows the order of application.
  Particle p = freeParticle(1.0);
  p.force = Vec3(7, 7, 7);  // stale: zeroed at the start of the step
  ConstantForce big(&p, Vec3(1e16, 0, 0));
  ConstantForce one(&p, Vec3(1, 0, 0));
  ConstantForce minusBig(&p, Vec3(-1e16, 0, 0));

  ParticleSystem bigFirst;
  bigFirst.addParticle(&p);
  bigFirst.addForce(&big);
  bigFirst.addForce(&one);
  bigFirst.addForce(&minusBig);
  p.pinned = true;  // keep it still; the accumulator is summed all the same
  bigFirst.step(kDt);
  expectVec(p.force, 0, 0, 0, "big, one, -big");

  ParticleSystem oneLast;
  oneLast.addParticle(&p);
  oneLast.addForce(&big);
  oneLast.addForce(&minusBig);
  oneLast.addForce(&one);
  oneLast.step(kDt);
  expectVec(p.force, 1, 0, 0, "big, -big, one");
}

TEST(ParticleSystemTest, ForceListedTwiceIsAppliedTwice) {
  ParticleSystem system;
  Particle p = freeParticle(1.0);
  ConstantForce f(&p, Vec3(0, 0, 2));
  system.addParticle(&p);
  system.addForce(&f);
  system.addForce(&f);
  system.step(kDt);
  EXPECT_EQ(f.calls, 2);
  expectVec(p.force, 0, 0, 4, "both listings contribute");
  expectVec(p.velocity, 0, 0, kDt * 4, "and the integrator sees the doubled force");
}

TEST(ParticleSystemTest, PinnedParticlesKeepStateButAccumulate) {
  ParticleSystem system;
  Particle pinned;
  pinned.mass = 3.0;
  pinned.position = Vec3(1, 2, 3);
  pinned.velocity = Vec3(0.5, 0, 0);  // never integrated while pinned
  pinned.force = Vec3(9, 9, 9);
  Gravity g;
  g.acceleration = Vec3(0, -1, 0);
  g.setParticle(&pinned);
  ConstantForce push(&pinned, Vec3(1, 0, -1));
  system.addParticle(&pinned);
  system.addForce(&g);
  system.addForce(&push);

  system.step(kDt);
  expectVec(pinned.position, 1, 2, 3, "pinned: position unchanged");
  expectVec(pinned.velocity, 0.5, 0, 0, "pinned: velocity unchanged");
  expectVec(pinned.force, 1, -3, -1, "pinned: force zeroed, then summed");

  Particle massless;  // a default particle is pinned, so its zero mass is never divided by
  system.addParticle(&massless);
  system.step(kDt);
  expectVec(massless.position, 0, 0, 0, "default particle stays put");
  expectVec(massless.velocity, 0, 0, 0, "default particle stays at rest");
}

TEST(ParticleSystemTest, ClearEmptiesListsAndTouchesNothing) {
  ParticleSystem system;
  Particle p = freeParticle(1.0);
  ConstantForce f(&p, Vec3(1, 0, 0));
  system.addParticle(&p);
  system.addForce(&f);
  system.step(kDt);
  const Vec3 position = p.position;
  const Vec3 velocity = p.velocity;
  const std::size_t particleCapacity = system.particles.capacity();
  const std::size_t forceCapacity = system.forces.capacity();

  system.clear();
  EXPECT_TRUE(system.particles.empty());
  EXPECT_TRUE(system.forces.empty());
  EXPECT_EQ(system.particles.capacity(), particleCapacity) << "clear keeps the storage";
  EXPECT_EQ(system.forces.capacity(), forceCapacity) << "clear keeps the storage";
  system.step(kDt);
  EXPECT_EQ(f.calls, 1) << "a cleared force is not applied";
  expectVec(p.position, position.x, position.y, position.z, "a cleared particle is not moved");
  expectVec(p.velocity, velocity.x, velocity.y, velocity.z, "nor accelerated");
  expectVec(p.force, 1, 0, 0, "nor is its accumulator zeroed");
}

}  // namespace
}  // namespace vellumry
