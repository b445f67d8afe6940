#pragma once

#include "math/vec3.h"
#include "physics/particle.h"

namespace vellumry {

/// Something that adds into the force accumulators of the particles it points at.
/// Forces live by value in their owner's pools and are never destroyed through this interface.
class Force {
 public:
  virtual void apply() = 0;

 protected:
  Force() = default;
  Force(const Force&) = default;
  Force& operator=(const Force&) = default;
  ~Force() = default;
};

/// A constant acceleration on one particle: F = m a.
class Gravity final : public Force {
 public:
  void apply() override;
  void setParticle(Particle* p) { particle = p; }

  Vec3 acceleration;
  Particle* particle = nullptr;  ///< not owned
};

/// Linear air drag on one particle: F = -k v, independent of the mass.
class Drag final : public Force {
 public:
  void apply() override;
  void setParticle(Particle* p) { particle = p; }

  double coefficient = 0.0;      ///< force per unit velocity
  Particle* particle = nullptr;  ///< not owned
};

/// An undamped Hooke spring between two particles.
class Spring final : public Force {
 public:
  void apply() override;

  double stiffness = 0.0;         ///< force per unit of stretch
  double restLength = 0.0;        ///< length at which the spring exerts no force
  Particle* particleA = nullptr;  ///< not owned
  Particle* particleB = nullptr;  ///< not owned
};

}  // namespace vellumry
