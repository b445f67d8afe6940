#include "cloth/cloth.h"

#include <algorithm>
#include <cmath>

namespace vellumry {

namespace {

constexpr double kClothMass = 70.0;  // whole cloth, shared evenly by its particles
constexpr double kClothDrag = 18.0;  // whole cloth, shared evenly by its particles
constexpr double kGravity = -1.0;    // along y
constexpr double kStructuralStiffness = 100.0;
constexpr double kShearStiffness = 10.0;

}  // namespace

Cloth::Cloth() { reset(); }

Cloth::~Cloth() { reset(); }

void Cloth::reset() {
  system.clear();
  for (int j = 0; j < kMaxParticles; ++j) {
    particles[j] = Particle();
    gravities[j] = Gravity();
    drags[j] = Drag();
  }
  for (Spring& s : springs) {
    s = Spring();
  }
  width = 0.0;
  particleCount = 0;
  springCount = 0;
  gridSize = 0;
}

void Cloth::build(double clothWidth, int n) {
  reset();
  if (n < 2 || n > kMaxGridSize) {
    return;
  }
  width = clothWidth;
  gridSize = n;
  particleCount = n * n;
  const double s = clothWidth / (n - 1);
  const double mass = kClothMass / (n * n);
  const double drag = kClothDrag / (n * n);

  for (int j = 0; j < particleCount; ++j) {
    const int column = j % n;
    const int row = j / n;
    Particle& p = particles[j];
    p.force = Vec3();
    p.pinned = false;
    p.mass = mass;
    p.position = Vec3(column * s, 0.0, row * s);
    p.velocity = Vec3();
    system.addParticle(&p);

    gravities[j].acceleration = Vec3(0.0, kGravity, 0.0);
    gravities[j].setParticle(&p);
    drags[j].coefficient = drag;
    drags[j].setParticle(&p);
    system.addForce(&gravities[j]);
    system.addForce(&drags[j]);
  }

  const double diagonal = s * std::sqrt(2.0);
  for (int i = 0; i < n; ++i) {
    for (int k = 0; k < n; ++k) {
      Particle& p = particleAt(k, i);
      if (i + 1 < n) {
        addSpring(p, particleAt(k, i + 1), kStructuralStiffness, s);
      }
      if (k + 1 < n) {
        addSpring(p, particleAt(k + 1, i), kStructuralStiffness, s);
      }
      if (k < n - 1 && i < n - 1) {
        addSpring(p, particleAt(k + 1, i + 1), kShearStiffness, diagonal);
      }
      if (k > 0 && i < n - 1) {
        addSpring(p, particleAt(k - 1, i + 1), kShearStiffness, diagonal);
      }
    }
  }

  particleAt(0, 0).pinned = true;
  particleAt(0, n - 1).pinned = true;
}

void Cloth::addSpring(Particle& a, Particle& b, double stiffness, double restLength) {
  Spring& spring = springs[springCount++];
  spring.particleA = &a;
  spring.particleB = &b;
  spring.stiffness = stiffness;
  spring.restLength = restLength;
  system.addForce(&spring);
}

void Cloth::step(double dt) { system.step(dt); }

Particle& Cloth::particleAt(int column, int row) {
  // Upper bound first, so that an empty cloth (n = 0) still lands on pool entry 0.
  const int last = gridSize - 1;
  column = std::max(0, std::min(column, last));
  row = std::max(0, std::min(row, last));
  return particles[column + gridSize * row];
}

Vec3 Cloth::normalAt(int column, int row) const { return normals[column + gridSize * row]; }

}  // namespace vellumry
