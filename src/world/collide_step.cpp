#include "world/collide_step.h"

#include <algorithm>

#include "world/world_step.h"

namespace vellumry {

double contactThickness(const World& world, const Cloth& cloth, bool solid) {
  if (world.collision.thickness > 0.0) {
    return world.collision.thickness;
  }
  if ((world.collision.self || solid) && cloth.gridSize >= 2) {
    return kDefaultThicknessShare * cloth.width / (cloth.gridSize - 1);
  }
  return 0.0;
}

double layerThickness(const Cloth& cloth, double h) {
  if (cloth.gridSize < 2) {
    return h;
  }
  return std::min(h, kMostLayerShare * (cloth.width / (cloth.gridSize - 1)));
}

void advanceColliding(Cloth& cloth, const World& world, Collider& collider, double tearRatio,
                      double dt, int substeps, int steps) {
  const double h = contactThickness(world, cloth, collider.hasSolid());
  if (!(h > 0.0)) {
    advanceInWorld(cloth, world, tearRatio, dt, substeps, steps);
    return;
  }
  World kept = world;
  kept.ball.radius += h;
  kept.floor.height += h;
  collider.beginTick(cloth);
  advanceInWorld(cloth, kept, tearRatio, dt, substeps, steps);
  ContactSettings s;
  s.thickness = h;
  s.layers = layerThickness(cloth, h);
  s.self = world.collision.self;
  s.recordedV4 = world.collision.recordedV4;
  s.ball = world.ball.enabled;
  s.centre = world.ball.centre;
  s.radius = world.ball.radius;
  s.floor = world.floor.enabled;
  s.height = world.floor.height;
  collider.collide(cloth, s);
}

}  // namespace vellumry
