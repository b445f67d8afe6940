#include "physics/force.h"

#include <gtest/gtest.h>

#include <cmath>

namespace vellumry {
namespace {

void expectVec(const Vec3& v, double x, double y, double z, const char* what) {
  EXPECT_EQ(v.x, x) << what;
  EXPECT_EQ(v.y, y) << what;
  EXPECT_EQ(v.z, z) << what;
}

Particle at(const Vec3& position) {
  Particle p;
  p.position = position;
  return p;
}

Spring spring(Particle& a, Particle& b, double stiffness, double restLength) {
  Spring s;
  s.stiffness = stiffness;
  s.restLength = restLength;
  s.particleA = &a;
  s.particleB = &b;
  return s;
}

TEST(ForceTest, GravityAndDragAccumulate) {
  const Particle d;
  EXPECT_TRUE(d.pinned) << "a default particle is pinned and massless";
  EXPECT_EQ(d.mass, 0.0);
  expectVec(d.position, 0, 0, 0, "default position");

  Particle p;  // pinned: forces act on it all the same
  p.mass = 2.0;
  p.force = Vec3(1, 1, 1);
  p.velocity = Vec3(2, 0, -4);
  Gravity g;
  g.acceleration = Vec3(0.5, -1, 0.25);
  g.setParticle(&p);
  Drag drag;
  drag.coefficient = 0.5;
  drag.setParticle(&p);
  Force* forces[] = {&g, &drag};  // called through the interface, as the system does
  for (Force* f : forces) {
    f->apply();
  }
  expectVec(p.force, 1 + 1 - 1, 1 - 2, 1 + 0.5 + 2, "m a, then -k v, added to the old force");
  g.apply();
  expectVec(p.force, 2, -3, 4, "a second apply adds again");
  expectVec(p.velocity, 2, 0, -4, "a force never changes the velocity");

  Particle rest;
  drag.setParticle(&rest);
  drag.apply();
  expectVec(rest.force, 0, 0, 0, "no drag at rest");
}

TEST(ForceTest, SpringPullsWhenStretchedAndPushesWhenCompressed) {
  Particle a = at(Vec3(0, 0, 0));
  Particle b = at(Vec3(2, 0, 0));
  Spring s = spring(a, b, 100.0, 1.0);
  s.apply();
  expectVec(a.force, 100, 0, 0, "stretched: A pulled towards B");
  expectVec(b.force, -100, 0, 0, "stretched: B pulled towards A");
  s.apply();
  expectVec(a.force, 200, 0, 0, "a second apply adds again");

  a.force = b.force = Vec3();
  b.position = Vec3(0.5, 0, 0);
  s.stiffness = 10.0;
  s.apply();
  expectVec(a.force, -5, 0, 0, "compressed: A pushed away from B");
  expectVec(b.force, 5, 0, 0, "compressed: B pushed away from A");

  a.force = b.force = Vec3();
  b.position = Vec3(0, 0, 3);
  s.restLength = 3.0;
  s.apply();
  expectVec(a.force, 0, 0, 0, "at rest length");
  expectVec(b.force, 0, 0, 0, "at rest length");
}

TEST(ForceTest, SpringArithmeticOrderIsExact) {
  // For these ends the length summed z, y, x differs in its last bit from the one summed x, y, z,
  // and dividing by the length differs from multiplying by its reciprocal: a spring that reuses
  // its length for the direction, or takes either shortcut, gives other bits.
  const double x = 0.1;
  const double y = 0.3;
  const double z = 1.7;
  Particle a = at(Vec3(0, 0, 0));
  Particle b = at(Vec3(x, y, z));
  spring(a, b, 100.0, 1.0).apply();

  const double length = std::sqrt((z * z + y * y) + x * x);
  const double direction = std::sqrt(x * x + y * y + z * z);
  ASSERT_NE(x / direction, x / length) << "the inputs must tell a reused length apart";
  ASSERT_NE(x / direction, x * (1.0 / direction)) << "the inputs must tell / from * 1/ apart";
  const double m = (length - 1.0) * 100.0;
  expectVec(a.force, m * (x / direction), m * (y / direction), m * (z / direction), "A");
  expectVec(b.force, -(m * (x / direction)), -(m * (y / direction)), -(m * (z / direction)), "B");
}

TEST(ForceTest, SpringWithCoincidentEndsAddsNothing) {
  // Unguarded, the direction is 0 / 0 and NaN reaches both accumulators.
  Particle a = at(Vec3(0.5, -1, 2));
  Particle b = at(Vec3(0.5, -1, 2));
  a.force = Vec3(1, 2, 3);
  b.force = Vec3(-4, 5, -6);
  spring(a, b, 100.0, 0.25).apply();  // non-zero magnitude, no direction
  expectVec(a.force, 1, 2, 3, "coincident ends: A unchanged");
  expectVec(b.force, -4, 5, -6, "coincident ends: B unchanged");
  spring(a, a, 100.0, 0.25).apply();
  expectVec(a.force, 1, 2, 3, "a spring from a particle to itself: unchanged");
}

}  // namespace
}  // namespace vellumry
