#include "physics/force.h"

#include <gtest/gtest.h>

#include <cmath>

#include "physics/particle.h"

namespace vellumry {
namespace {

void expectVec(const Vec3& v, double x, double y, double z, const char* what) {
  EXPECT_EQ(v.x, x) << what;
  EXPECT_EQ(v.y, y) << what;
  EXPECT_EQ(v.z, z) << what;
}

Particle freeParticle(const Vec3& position, double mass = 1.0) {
  Particle p;
  p.position = position;
  p.mass = mass;
  p.pinned = false;
  return p;
}

TEST(ForceTest, DefaultsArePinnedMasslessAndNull) {
  const Particle p;
  EXPECT_TRUE(p.pinned) << "a default particle must be inert";
  EXPECT_EQ(p.mass, 0.0);
  expectVec(p.force, 0, 0, 0, "default force");
  expectVec(p.position, 0, 0, 0, "default position");
  expectVec(p.velocity, 0, 0, 0, "default velocity");

  const Gravity g;
  expectVec(g.acceleration, 0, 0, 0, "default gravity acceleration");
  EXPECT_EQ(g.particle, nullptr);
  const Drag d;
  EXPECT_EQ(d.coefficient, 0.0);
  EXPECT_EQ(d.particle, nullptr);
  const Spring s;
  EXPECT_EQ(s.stiffness, 0.0);
  EXPECT_EQ(s.restLength, 0.0);
  EXPECT_EQ(s.particleA, nullptr);
  EXPECT_EQ(s.particleB, nullptr);
}

TEST(ForceTest, CopyAssigningDefaultsClearsEveryField) {
  Particle a;
  Particle b;
  Spring s;
  s.stiffness = 100.0;
  s.restLength = 0.5;
  s.particleA = &a;
  s.particleB = &b;
  s = Spring();
  EXPECT_EQ(s.stiffness, 0.0);
  EXPECT_EQ(s.restLength, 0.0);
  EXPECT_EQ(s.particleA, nullptr);
  EXPECT_EQ(s.particleB, nullptr);

  Gravity g;
  g.acceleration = Vec3(0, -1, 0);
  g.setParticle(&a);
  g = Gravity();
  expectVec(g.acceleration, 0, 0, 0, "reset gravity");
  EXPECT_EQ(g.particle, nullptr);

  Drag d;
  d.coefficient = 0.25;
  d.setParticle(&a);
  d = Drag();
  EXPECT_EQ(d.coefficient, 0.0);
  EXPECT_EQ(d.particle, nullptr);

  Particle p = freeParticle(Vec3(1, 2, 3), 4.0);
  p.velocity = Vec3(5, 6, 7);
  p.force = Vec3(8, 9, 10);
  p = Particle();
  EXPECT_TRUE(p.pinned);
  EXPECT_EQ(p.mass, 0.0);
  expectVec(p.position, 0, 0, 0, "reset particle position");
  expectVec(p.velocity, 0, 0, 0, "reset particle velocity");
  expectVec(p.force, 0, 0, 0, "reset particle force");
}

TEST(ForceTest, GravityAddsMassTimesAcceleration) {
  Particle p = freeParticle(Vec3(), 2.0);
  p.force = Vec3(1, 1, 1);
  Gravity g;
  g.acceleration = Vec3(0, -1, 0);
  g.setParticle(&p);
  EXPECT_EQ(g.particle, &p);
  Force& f = g;  // the system only ever calls through the interface
  f.apply();
  expectVec(p.force, 1, -1, 1, "gravity adds m * a to the existing force");
  f.apply();
  expectVec(p.force, 1, -3, 1, "a second apply adds again");

  Particle q = freeParticle(Vec3(), 0.5);
  g.acceleration = Vec3(3, -2, 0.25);
  g.setParticle(&q);
  g.apply();
  expectVec(q.force, 1.5, -1, 0.125, "every component scaled by the mass");
  expectVec(p.force, 1, -3, 1, "the previous particle is no longer acted on");
}

TEST(ForceTest, DragOpposesVelocity) {
  Particle p = freeParticle(Vec3(), 7.0);
  p.velocity = Vec3(2, 0, -4);
  Drag d;
  d.coefficient = 0.5;
  d.setParticle(&p);
  Force& f = d;
  f.apply();
  expectVec(p.force, -1, 0, 2, "drag is -k v, independent of the mass");
  f.apply();
  expectVec(p.force, -2, 0, 4, "a second apply adds again");
  expectVec(p.velocity, 2, 0, -4, "a force never changes the velocity");

  Particle rest = freeParticle(Vec3(), 1.0);
  rest.force = Vec3(3, 4, 5);
  d.setParticle(&rest);
  d.apply();
  expectVec(rest.force, 3, 4, 5, "a particle at rest gets no drag");
}

TEST(ForceTest, SpringPullsWhenStretchedAndPushesWhenCompressed) {
  Particle a = freeParticle(Vec3(0, 0, 0));
  Particle b = freeParticle(Vec3(2, 0, 0));
  Spring s;
  s.stiffness = 100.0;
  s.restLength = 1.0;
  s.particleA = &a;
  s.particleB = &b;
  Force& f = s;
  f.apply();
  expectVec(a.force, 100, 0, 0, "stretched: A pulled towards B");
  expectVec(b.force, -100, 0, 0, "stretched: B pulled towards A");
  f.apply();
  expectVec(a.force, 200, 0, 0, "a second apply adds again (A)");
  expectVec(b.force, -200, 0, 0, "a second apply adds again (B)");

  a.force = Vec3();
  b.force = Vec3();
  b.position = Vec3(0.5, 0, 0);
  s.stiffness = 10.0;
  s.apply();
  expectVec(a.force, -5, 0, 0, "compressed: A pushed away from B");
  expectVec(b.force, 5, 0, 0, "compressed: B pushed away from A");

  a.force = Vec3();
  b.force = Vec3();
  b.position = Vec3(0, 0, 3);
  s.restLength = 3.0;
  s.apply();
  expectVec(a.force, 0, 0, 0, "at rest length: nothing on A");
  expectVec(b.force, 0, 0, 0, "at rest length: nothing on B");
  expectVec(a.position, 0, 0, 0, "a force never moves a particle");
  expectVec(b.position, 0, 0, 3, "a force never moves a particle");
}

TEST(ForceTest, SpringArithmeticOrderIsExact) {
  // For these ends the length summed z, y, x differs in its last bit from the length summed
  // x, y, z, and dividing by the length differs from multiplying by its reciprocal; a spring that
  // reuses its length for the direction, or takes either shortcut, gives different bits.
  const double x = 0.1;
  const double y = 0.3;
  const double z = 1.7;
  Particle a = freeParticle(Vec3(0, 0, 0));
  Particle b = freeParticle(Vec3(x, y, z));
  Spring s;
  s.stiffness = 100.0;
  s.restLength = 1.0;
  s.particleA = &a;
  s.particleB = &b;
  s.apply();

  const double length = std::sqrt((z * z + y * y) + x * x);
  const double direction = std::sqrt(x * x + y * y + z * z);
  ASSERT_NE(length, direction) << "the inputs must tell the two summation orders apart";
  ASSERT_NE(x / direction, x / length) << "the inputs must tell a reused length apart";
  ASSERT_NE(x / direction, x * (1.0 / direction)) << "the inputs must tell / from * 1/ apart";
  const double magnitude = (length - 1.0) * 100.0;
  const Vec3 f(magnitude * (x / direction), magnitude * (y / direction),
               magnitude * (z / direction));
  expectVec(a.force, f.x, f.y, f.z, "A gains magnitude * unit(B - A)");
  expectVec(b.force, -f.x, -f.y, -f.z, "B gains exactly the opposite");
}

TEST(ForceTest, SpringWithCoincidentEndsAddsNothing) {
  // Without the guard the direction is 0 / 0 and NaN reaches both accumulators.
  Particle a = freeParticle(Vec3(0.5, -1, 2));
  Particle b = freeParticle(Vec3(0.5, -1, 2));
  a.force = Vec3(1, 2, 3);
  b.force = Vec3(-4, 5, -6);
  Spring s;
  s.stiffness = 100.0;
  s.restLength = 0.25;  // so the magnitude itself is non-zero
  s.particleA = &a;
  s.particleB = &b;
  s.apply();
  expectVec(a.force, 1, 2, 3, "coincident ends: A unchanged");
  expectVec(b.force, -4, 5, -6, "coincident ends: B unchanged");

  s.particleB = &a;  // a spring from a particle to itself is the same case
  s.apply();
  expectVec(a.force, 1, 2, 3, "self-spring: unchanged");
}

TEST(ForceTest, ForcesActOnPinnedParticlesToo) {
  Particle pinned;
  pinned.mass = 2.0;
  pinned.velocity = Vec3(1, 0, 0);
  Particle other = freeParticle(Vec3(0, 3, 0));
  Gravity g;
  g.acceleration = Vec3(0, -1, 0);
  g.setParticle(&pinned);
  Drag d;
  d.coefficient = 1.0;
  d.setParticle(&pinned);
  Spring s;
  s.stiffness = 1.0;
  s.restLength = 1.0;
  s.particleA = &pinned;
  s.particleB = &other;
  g.apply();
  d.apply();
  s.apply();
  ASSERT_TRUE(pinned.pinned);
  expectVec(pinned.force, -1, 0, 0, "gravity (0,-2,0) + drag (-1,0,0) + spring (0,2,0)");
  expectVec(other.force, 0, -2, 0, "the spring's other end");
  expectVec(pinned.velocity, 1, 0, 0, "forces never change the velocity");
}

}  // namespace
}  // namespace vellumry
