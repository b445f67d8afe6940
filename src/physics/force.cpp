#include "physics/force.h"

#include <cmath>

namespace vellumry {

void Gravity::apply() { particle->force += particle->mass * acceleration; }

void Drag::apply() {
  const double k = -coefficient;
  particle->force += k * particle->velocity;
}

void Spring::apply() {
  Particle& a = *particleA;
  Particle& b = *particleB;
  const Vec3 d = a.position - b.position;
  const double length = std::sqrt((d.z * d.z + d.y * d.y) + d.x * d.x);
  const double magnitude = (length - restLength) * stiffness;  // > 0 stretched, < 0 compressed

  Vec3 u = b.position - a.position;
  const double uu = u.lengthSquared();
  // Coincident ends have no direction: 0 / 0 would poison both accumulators with NaN.
  if (uu == 0.0) {
    return;
  }
  u /= std::sqrt(uu);  // unit vector from A towards B

  const Vec3 f = magnitude * u;
  a.force += f;
  b.force += -f;
}

}  // namespace vellumry
