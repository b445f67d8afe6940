#pragma once

#include <algorithm>
#include <cmath>
#include <vector>

#include "math/vec3.h"
#include "physics/force.h"
#include "physics/particle.h"

namespace vellumry {

/// Solids the cloth cannot enter, in cloth coordinates: a ball and a floor below it.
struct ClothObstacles {
  bool ball = false;
  Vec3 centre;
  double radius = 0.0;
  double ballFriction = 0.0;  ///< share of the tangential velocity lost on touching the ball
  bool floor = false;
  double height = 0.0;
  double floorFriction = 0.0;

  [[nodiscard]] bool any() const { return ball || floor; }
};

/// One particle's contact with the obstacles, after a substep: a particle inside the ball moves
/// out to its surface along the line from the centre (straight up from the centre itself), one
/// below the floor up onto it, and its velocity loses its inward normal part and a friction share
/// of the rest. The ball comes first: where it sinks into the floor, the floor wins. Both steps
/// call this, so their bits agree.
inline void keepOut(const ClothObstacles& o, Vec3& position, Vec3& velocity) {
  if (o.ball) {
    const Vec3 d = position - o.centre;
    const double dd = d.lengthSquared();
    if (dd < o.radius * o.radius) {
      const double toUnit = dd == 0.0 ? 0.0 : 1.0 / std::sqrt(dd);
      const Vec3 normal = dd == 0.0 ? Vec3(0.0, 1.0, 0.0) : toUnit * d;
      const Vec3 out = o.radius * normal;
      position = Vec3(o.centre.x + out.x, o.centre.y + out.y, o.centre.z + out.z);
      const Vec3& v = velocity;
      const double vn = (v.x * normal.x + v.y * normal.y) + v.z * normal.z;
      const Vec3 tangential = (1.0 - o.ballFriction) * (v - vn * normal);
      const Vec3 away = std::max(vn, 0.0) * normal;
      velocity = Vec3(tangential.x + away.x, tangential.y + away.y, tangential.z + away.z);
    }
  }
  if (o.floor && position.y < o.height) {
    position.y = o.height;
    const double keep = 1.0 - o.floorFriction;
    velocity = Vec3(keep * velocity.x, std::max(velocity.y, 0.0), keep * velocity.z);
  }
}

/// Forces computed outside the step (the wind), entry j added to particle j's accumulator. The
/// cloth lists it after every gravity and drag and before the springs.
class ExternalForce final : public Force {
 public:
  void apply() override {
    for (int j = 0; j < count; ++j) {
      particles[j].force += forces[j];
    }
  }

  Particle* particles = nullptr;  ///< not owned
  const Vec3* forces = nullptr;   ///< not owned
  int count = 0;
};

}  // namespace vellumry
