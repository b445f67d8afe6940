#include "cloth/flat_step.h"

#include <cmath>

#include "cloth/cloth.h"

namespace vellumry {

// Every force of the cloth's own list inlined, in the list's order: each accumulator receives
// gravity, drag, the external force when it is listed, then the springs in pool order, as the
// system's step adds them.
void flatStep(Cloth& cloth, double dt) {
  const int count = cloth.particleCount;
  Particle* const particles = cloth.particles.data();
  const Gravity* const gravities = cloth.gravities.data();
  const Drag* const drags = cloth.drags.data();
  const Vec3* const external = cloth.pushing ? cloth.external.data() : nullptr;
  for (int j = 0; j < count; ++j) {
    Particle& p = particles[j];
    p.force = Vec3();
    p.force += p.mass * gravities[j].acceleration;
    const double k = -drags[j].coefficient;
    p.force += k * p.velocity;
  }
  for (int j = 0; external != nullptr && j < count; ++j) {
    particles[j].force += external[j];
  }
  const Spring* const springs = cloth.springs.data();
  const std::uint8_t* const broken = cloth.broken.data();
  const bool anyBroken = cloth.brokenCount > 0;
  for (int i = 0; i < cloth.springCount; ++i) {
    if (anyBroken && broken[i] != 0) {
      continue;
    }
    const Spring& s = springs[i];
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

}  // namespace vellumry
