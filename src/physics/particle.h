#pragma once

#include "math/vec3.h"

namespace vellumry {

/// A point mass. A default particle is pinned and massless: inert until its owner sets it up.
struct Particle {
  Vec3 force;  ///< accumulator: zeroed at the start of every step, then summed into
  Vec3 position;
  Vec3 velocity;
  double mass = 0.0;   ///< the integrator divides by it when unpinned
  bool pinned = true;  ///< when set, the integrator leaves position and velocity alone
};

}  // namespace vellumry
