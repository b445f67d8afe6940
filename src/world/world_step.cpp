#include "world/world_step.h"

#include "world/wind.h"

namespace vellumry {

namespace {

ClothObstacles obstaclesOf(const World& world) {
  ClothObstacles o;
  o.ball = world.ball.enabled;
  o.centre = world.ball.centre;
  o.radius = world.ball.radius;
  o.ballFriction = world.ball.friction;
  o.floor = world.floor.enabled;
  o.height = world.floor.height;
  o.floorFriction = world.floor.friction;
  return o;
}

}  // namespace

// The wind and the tears are reckoned once a time step, on the positions at its start and at its
// end; the substeps between run in one stepper run, keeping out of the ball and off the floor
// after each. Without wind or tearing all the steps are one run.
void advanceInWorld(Cloth& cloth, const World& world, double tearRatio, double dt, int substeps,
                    int steps) {
  const Vec3& v = world.wind.velocity;
  const bool windBlows = v.x != 0.0 || v.y != 0.0 || v.z != 0.0;
  cloth.obstacles = obstaclesOf(world);
  cloth.setPushing(windBlows);
  if (!windBlows && tearRatio <= 0.0) {
    cloth.advance(dt / substeps, steps * substeps);
    cloth.stepCount += steps;
    return;
  }
  const GustField field = gustField(world.wind.seed);
  for (int s = 0; s < steps; ++s) {
    if (windBlows) {
      blow(cloth, world.wind, field, static_cast<double>(cloth.stepCount) * dt);
    }
    cloth.advance(dt / substeps, substeps);
    cloth.tear(tearRatio);
    ++cloth.stepCount;
  }
}

}  // namespace vellumry
