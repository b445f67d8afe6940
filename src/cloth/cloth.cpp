#include "cloth/cloth.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <functional>

namespace vellumry {

int springsFor(int n, bool bend) {
  if (n < 2) {
    return 0;
  }
  const int structural = 2 * n * (n - 1);
  const int shear = 2 * (n - 1) * (n - 1);
  return structural + shear + (bend ? 2 * n * (n - 2) : 0);
}

Cloth::Cloth()
    : particles(kMaxParticles),
      gravities(kMaxParticles),
      drags(kMaxParticles),
      springs(kMaxSprings),
      springKinds(kMaxSprings),
      broken(kMaxSprings),
      normals(kMaxParticles),
      external(kMaxParticles),
      scratch(kMaxParticles) {
  reset();
}

Cloth::~Cloth() { reset(); }

void Cloth::reset() {
  stepper.clear();
  system.clear();
  for (std::size_t j = 0; j < particles.size(); ++j) {
    particles[j] = Particle();
    gravities[j] = Gravity();
    drags[j] = Drag();
    external[j] = Vec3();
  }
  push = ExternalForce();
  pushing = false;
  stepCount = 0;
  for (Spring& s : springs) {
    s = Spring();
  }
  std::fill(broken.begin(), broken.end(), std::uint8_t{0});
  brokenCount = 0;
  width = 0.0;
  particleCount = 0;
  springCount = 0;
  gridSize = 0;
  mesh.update(*this);
}

// Only a grid larger than any before allocates. Every spring the grid could have (bend springs
// included) fits, so that switching bend springs on later allocates nothing either.
void Cloth::growPools(int n) {
  const auto count = static_cast<std::size_t>(n) * n;
  if (count > particles.size()) {
    particles.resize(count);
    gravities.resize(count);
    drags.resize(count);
    normals.resize(count);
    external.resize(count);
    scratch.resize(count);
  }
  const auto most = static_cast<std::size_t>(springsFor(n, true));
  if (most > springs.size()) {
    springs.resize(most);
    springKinds.resize(most);
    broken.resize(most);
  }
  system.particles.reserve(count);
  system.forces.reserve(2 * count + 1 + most);
}

void Cloth::build(double clothWidth, int n) { build(clothWidth, n, ClothMaterial()); }

void Cloth::build(double clothWidth, int n, const ClothMaterial& made) {
  if (n < 2 || n > kMaxGridSize) {
    reset();
    return;
  }
  growPools(n);
  reset();
  material = made;
  width = clothWidth;
  gridSize = n;
  particleCount = n * n;
  const double s = clothWidth / (n - 1);
  const double mass = made.mass / (n * n);
  const double drag = made.drag / (n * n);

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

    gravities[j].acceleration = made.gravity;
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
        addSpring(p, particleAt(k, i + 1), SpringKind::kStructural, s);
      }
      if (k + 1 < n) {
        addSpring(p, particleAt(k + 1, i), SpringKind::kStructural, s);
      }
      if (k < n - 1 && i < n - 1) {
        addSpring(p, particleAt(k + 1, i + 1), SpringKind::kShear, diagonal);
      }
      if (k > 0 && i < n - 1) {
        addSpring(p, particleAt(k - 1, i + 1), SpringKind::kShear, diagonal);
      }
    }
  }
  if (made.bend != 0.0) {
    addBendSprings();
  }

  particleAt(0, 0).pinned = true;
  particleAt(0, n - 1).pinned = true;
  push.particles = particles.data();
  push.forces = external.data();
  push.count = particleCount;
  mesh.update(*this);
  stepper.prepare(*this);
}

// After every structural and shear spring, in the same vertex order: the next row but one, then
// the next column but one. They resist folding along a grid line.
void Cloth::addBendSprings() {
  const int n = gridSize;
  const double rest = 2.0 * (width / (n - 1));
  for (int i = 0; i < n; ++i) {
    for (int k = 0; k < n; ++k) {
      Particle& p = particleAt(k, i);
      if (i + 2 < n) {
        addSpring(p, particleAt(k, i + 2), SpringKind::kBend, rest);
      }
      if (k + 2 < n) {
        addSpring(p, particleAt(k + 2, i), SpringKind::kBend, rest);
      }
    }
  }
}

void Cloth::removeBendSprings() {
  const int first = springsFor(gridSize, false);
  int listed = 0;
  for (int i = first; i < springCount; ++i) {
    springs[i] = Spring();
    listed += broken[i] == 0 ? 1 : 0;
    brokenCount -= broken[i];
    broken[i] = 0;
  }
  system.forces.resize(system.forces.size() - static_cast<std::size_t>(listed));
  springCount = first;
}

void Cloth::setMaterial(const ClothMaterial& made) {
  if (gridSize == 0) {
    return;
  }
  const bool hadBend = material.bend != 0.0;
  material = made;
  const double mass = made.mass / particleCount;
  const double drag = made.drag / particleCount;
  for (int j = 0; j < particleCount; ++j) {
    particles[j].mass = mass;
    gravities[j].acceleration = made.gravity;
    drags[j].coefficient = drag;
  }
  for (int i = 0; i < springCount; ++i) {
    springs[i].stiffness = stiffnessOf(springKinds[i]);
  }
  if (hadBend && made.bend == 0.0) {
    removeBendSprings();
  } else if (!hadBend && made.bend != 0.0) {
    addBendSprings();
  }
  mesh.update(*this);
  stepper.prepare(*this);
}

double Cloth::stiffnessOf(SpringKind kind) const {
  switch (kind) {
    case SpringKind::kShear:
      return material.shear;
    case SpringKind::kBend:
      return material.bend;
    case SpringKind::kStructural:
      break;
  }
  return material.stiffness;
}

void Cloth::addSpring(Particle& a, Particle& b, SpringKind kind, double restLength) {
  springKinds[springCount] = kind;
  Spring& spring = springs[springCount++];
  spring.particleA = &a;
  spring.particleB = &b;
  spring.stiffness = stiffnessOf(kind);
  spring.restLength = restLength;
  system.addForce(&spring);
}

void Cloth::step(double dt) { advance(dt, 1); }

void Cloth::advance(double dt, int steps) { advance(dt, steps, StepHook()); }

void Cloth::advance(double dt, int steps, const StepHook& hook) {
  const bool flat = !referenceStep && gridSize <= flatGridSize && stepper.accepts(*this);
  if (!flat && !referenceStep && stepper.advance(*this, dt, steps, hook)) {
    return;
  }
  if (hook.begin != nullptr) {
    hook.begin(*this, hook.data);
  }
  for (int i = 0; i < steps; ++i) {
    if (flat) {
      flatStep(*this, dt);
    } else {
      system.step(dt);
    }
    for (int j = 0; j < particleCount && obstacles.any(); ++j) {
      Particle& p = particles[j];
      if (!p.pinned) {
        keepOut(obstacles, p.position, p.velocity);
      }
    }
    if (hook.call != nullptr && (i + 1) % hook.every == 0 && i + 1 < steps) {
      hook.call(*this, hook.data);
    }
  }
  if (hook.end != nullptr) {
    hook.end(*this, hook.data);
  }
}

void Cloth::setThreads(int count, int particlesPerThread) {
  stepper.setThreads(count, particlesPerThread);
  threads = stepper.threads();
}

void Cloth::togglePin(int particle) {
  if (particle >= 0 && particle < particleCount) {
    particles[particle].pinned = !particles[particle].pinned;
  }
}

void Cloth::breakSpring(int spring) {
  if (spring < 0 || spring >= springCount || broken[spring] != 0) {
    return;
  }
  broken[spring] = 2;
  ++brokenCount;
  dropBroken(spring, 1);
}

int Cloth::tear(double ratio) {
  if (ratio <= 0.0) {
    return 0;
  }
  int first = -1;
  int count = 0;
  for (int i = 0; i < springCount; ++i) {
    const Spring& s = springs[i];
    const double most = ratio * s.restLength;
    if (broken[i] == 0 &&
        (s.particleA->position - s.particleB->position).lengthSquared() > most * most) {
      broken[i] = 2;
      first = first < 0 ? i : first;
      ++count;
    }
  }
  if (count > 0) {
    brokenCount += count;
    dropBroken(first, count);
  }
  return count;
}

// The springs just broken are marked 2 until the lists have dropped them. The springs in the force
// list keep their pool order, so the first one to drop is found by
// bisection and only the list's tail moves: no allocation, and no new look at the grid.
void Cloth::dropBroken(int firstSpring, int count) {
  auto& forces = system.forces;
  const auto begin = forces.begin() + springListStart();
  const Force* const from = &springs[firstSpring];
  const auto at = std::lower_bound(begin, forces.end(), from, std::less<>());
  if (count == 1) {
    forces.erase(at);
  } else {
    const Spring* const pool = springs.data();
    const auto end = std::remove_if(at, forces.end(), [this, pool](const Force* f) {
      return broken[static_cast<const Spring*>(f) - pool] != 0;
    });
    forces.erase(end, forces.end());
  }
  mesh.dropBroken(*this, firstSpring, count);
  const int last = count == 1 ? firstSpring + 1 : springCount;
  std::replace(broken.begin() + firstSpring, broken.begin() + last, std::uint8_t{2},
               std::uint8_t{1});
}

void Cloth::setPushing(bool on) {
  if (on == pushing || gridSize == 0) {
    return;
  }
  const auto at = system.forces.begin() + 2 * static_cast<std::ptrdiff_t>(particleCount);
  if (on) {
    system.forces.insert(at, &push);
  } else {
    system.forces.erase(at);
  }
  pushing = on;
}

Particle& Cloth::particleAt(int column, int row) {
  // Upper bound first, so that an empty cloth (n = 0) still lands on pool entry 0.
  const int last = gridSize - 1;
  column = std::max(0, std::min(column, last));
  row = std::max(0, std::min(row, last));
  return particles[column + gridSize * row];
}

Vec3 Cloth::normalAt(int column, int row) const { return normals[column + gridSize * row]; }

}  // namespace vellumry
