#include "physics/particle_system.h"

namespace vellumry {

void ParticleSystem::addParticle(Particle* p) {
  if (p != nullptr) {
    particles.push_back(p);
  }
}

void ParticleSystem::addForce(Force* f) {
  if (f != nullptr) {
    forces.push_back(f);
  }
}

void ParticleSystem::clear() {
  particles.clear();
  forces.clear();
}

void ParticleSystem::step(double dt) {
  for (Particle* p : particles) {
    p->force = Vec3();
  }
  for (Force* f : forces) {
    f->apply();
  }
  const double h = 0.5 * dt;
  for (Particle* p : particles) {
    if (p->pinned) {
      continue;
    }
    p->velocity += (dt * p->force) / p->mass;  // a = (dt F) / m
    p->position += h * p->velocity;            // half the step, with the new velocity
  }
}

}  // namespace vellumry
