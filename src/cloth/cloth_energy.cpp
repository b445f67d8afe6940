#include "cloth/cloth_energy.h"

#include <cmath>

namespace vellumry {

ClothEnergy clothEnergy(const Cloth& cloth) {
  ClothEnergy e;
  for (int j = 0; j < cloth.particleCount; ++j) {
    const Particle& p = cloth.particles[j];
    const Vec3& g = cloth.gravities[j].acceleration;
    e.kinetic += 0.5 * p.mass * p.velocity.lengthSquared();
    e.gravity -= p.mass * (g.x * p.position.x + g.y * p.position.y + g.z * p.position.z);
  }
  for (int i = 0; i < cloth.springCount; ++i) {
    const Spring& s = cloth.springs[i];
    const double length =
        std::sqrt((s.particleB->position - s.particleA->position).lengthSquared());
    const double stretch = length - s.restLength;
    e.springs += 0.5 * s.stiffness * stretch * stretch;
    const double relative = stretch / s.restLength;
    if (i == 0 || relative > e.maxStretch) {
      e.maxStretch = relative;
    }
  }
  return e;
}

}  // namespace vellumry
