#pragma once

#include <vector>

#include "physics/force.h"
#include "physics/particle.h"

namespace vellumry {

/// The particles to integrate and the forces to apply, as non-owning pointers, and the
/// integrator. Both lists keep their storage across clear(), so refilling allocates nothing.
class ParticleSystem {
 public:
  void addParticle(Particle* p);
  void addForce(Force* f);
  void clear();
  /// Zeroes every accumulator, applies every force in list order, moves every unpinned particle.
  void step(double dt);

  std::vector<Particle*> particles;  ///< not owned
  std::vector<Force*> forces;        ///< not owned
};

}  // namespace vellumry
