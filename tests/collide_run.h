#pragma once

#include <memory>

#include "cloth/cloth.h"
#include "collide/collider.h"
#include "scene/scene.h"
#include "world/collide_step.h"

namespace vellumry {

/// A cloth, its scene and its collider, ticked as the program ticks them.
struct ClothRun {
  Scene scene;
  std::unique_ptr<Cloth> cloth = std::make_unique<Cloth>();
  Collider collider;

  ClothRun(int n, double width) {
    scene.grid = n;
    scene.width = width;
    scene.material.bend = 1.0;
  }
  void start() {
    cloth->build(scene.width, scene.grid, scene.material);
    collider.prepare(*cloth);
  }
  void tick() {
    advanceColliding(*cloth, scene.world, collider, scene.tearRatio, scene.step,
                     substepsFor(scene), scene.stepsPerTick);
  }
  Particle& at(int column, int row) { return cloth->particleAt(column, row); }
};

}  // namespace vellumry
