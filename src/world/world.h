#pragma once

#include "collide/solid_mesh.h"
#include "math/vec3.h"

namespace vellumry {

/// Air moving past the cloth. Gusts vary it smoothly over time and space, from the seed alone.
struct Wind {
  Vec3 velocity;      ///< world units per second; zero: still air
  double gust = 0.0;  ///< 0: steady; 1: gusts as strong as the wind itself
  int seed = 0;
};

/// A solid ball the cloth cannot enter.
struct Ball {
  bool enabled = false;
  Vec3 centre{1.5, -1.5, 1.5};  ///< cloth coordinates
  double radius = 0.8;
  double friction = 0.3;  ///< share of the sliding velocity a touching particle loses
};

/// A horizontal floor nothing passes below.
struct Floor {
  bool enabled = false;
  double height = -3.5;  ///< cloth coordinates
  double friction = 0.5;
};

/// How close the cloth may come to itself and to the solids.
struct Collision {
  double thickness = 0.0;  ///< world units kept between layers of cloth and from every solid
  bool self = false;       ///< whether the cloth collides with itself
  /// The contacts a session of version 4 was recorded with, which its replay keeps: a solid's
  /// slight folds not met, and a patch's flatness not found again after it moved in a tick.
  bool recordedV4 = false;
};

/// Everything outside the cloth that acts on it. The solid's triangles are loaded from a file
/// and held beside the scene; here is only where it stands.
struct World {
  Wind wind;
  Ball ball;
  Floor floor;
  Collision collision;
  MeshPlacement mesh;
};

/// Whether anything of the world acts on the cloth.
[[nodiscard]] inline bool worldActs(const World& w) {
  const bool windBlows =
      w.wind.velocity.x != 0.0 || w.wind.velocity.y != 0.0 || w.wind.velocity.z != 0.0;
  return windBlows || w.ball.enabled || w.floor.enabled;
}

}  // namespace vellumry
