#include "world/world_step.h"

#include "world/wind.h"
#include "world/wind_rows.h"

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

struct TimeSteps {
  const World* world;
  GustField field;
  double tearRatio;
  double dt;
  long long firstStep;          ///< the cloth's step count when the advance began
  const std::uint8_t* alive;    ///< the cloth's living triangles
};

void blowNow(Cloth& cloth, void* data) {
  const TimeSteps& t = *static_cast<const TimeSteps*>(data);
  const Vec3& v = t.world->wind.velocity;
  if (v.x != 0.0 || v.y != 0.0 || v.z != 0.0) {
    blow(cloth, t.world->wind, t.field, static_cast<double>(cloth.stepCount) * t.dt);
  }
}

void countStep(Cloth& cloth, void* /*data*/) { ++cloth.stepCount; }

// The end of one time step and the start of the next.
void nextStep(Cloth& cloth, void* data) {
  const TimeSteps& t = *static_cast<const TimeSteps*>(data);
  cloth.tear(t.tearRatio);
  ++cloth.stepCount;
  blowNow(cloth, data);
}

void lastStep(Cloth& cloth, void* data) {
  cloth.tear(static_cast<const TimeSteps*>(data)->tearRatio);
  ++cloth.stepCount;
}

// The same, band by band: the air at the time the cloth's step count will have reached.
void airNow(void* data, const BandRows& rows) {
  const TimeSteps& t = *static_cast<const TimeSteps*>(data);
  const double time = static_cast<double>(t.firstStep + rows.boundary) * t.dt;
  airOfRows(t.world->wind, t.field, time, rows);
}

void pushNow(void* data, const BandRows& rows) {
  pushOfRows(kWindCoefficient, static_cast<const TimeSteps*>(data)->alive, rows);
}

}  // namespace

// The wind and the tears are reckoned once a time step, on the positions at its start and at its
// end, between the substeps of one stepper run, which keeps the cloth out of the ball and off
// the floor after each substep. Without wind or tearing, nothing happens between time steps.
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
  TimeSteps t{&world,    gustField(world.wind.seed), tearRatio, dt, cloth.stepCount,
              cloth.mesh.alive.data()};
  StepHook hook;
  hook.call = &nextStep;
  hook.data = &t;
  hook.every = substeps;
  hook.begin = &blowNow;
  hook.end = &lastStep;
  hook.byBands = true;
  hook.tearRatio = tearRatio;
  hook.passed = &countStep;
  if (windBlows) {
    hook.air = &airNow;
    hook.push = &pushNow;
  }
  cloth.advance(dt / substeps, steps * substeps, hook);
}

}  // namespace vellumry
