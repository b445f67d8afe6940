#pragma once

#include "math/vec3.h"
#include "physics/force.h"
#include "physics/particle.h"
#include "physics/particle_system.h"

namespace vellumry {

inline constexpr int kMaxParticles = 400;
inline constexpr int kMaxSprings = 1600;
/// Largest grid whose n * n particles fit the pools.
inline constexpr int kMaxGridSize = 20;

/// A square n by n grid of particles joined by structural and shear springs, hanging from two
/// pinned corners. Owns every particle, force and normal in fixed pools; grid vertex
/// (column, row) is pool entry column + n * row, columns along world x, rows along world z.
class Cloth {
 public:
  Cloth();
  ~Cloth();
  Cloth(const Cloth&) = delete;  // the system points into this object's own pools
  Cloth& operator=(const Cloth&) = delete;

  /// Back to the empty state: nothing listed, every pool entry at its defaults, counters 0.
  void reset();
  /// A fresh, flat, horizontal cloth at rest in the plane y = 0, pinned at (0, 0) and (0, n-1).
  /// A size outside 2..kMaxGridSize has no spacing or overflows the pools: the cloth stays empty.
  void build(double clothWidth, int n);
  void step(double dt);

  /// The particle at (column, row), each coordinate clamped into the grid.
  [[nodiscard]] Particle& particleAt(int column, int row);
  /// Copy of the stored normal at (column, row); the coordinates must lie inside the grid.
  [[nodiscard]] Vec3 normalAt(int column, int row) const;

  /// Unit normal at every vertex, oriented like (increasing row) x (increasing column).
  void computeNormals();
  void drawShaded();
  void drawWireframe() const;

  Particle particles[kMaxParticles];
  Gravity gravities[kMaxParticles];
  Drag drags[kMaxParticles];
  Spring springs[kMaxSprings];
  Vec3 normals[kMaxParticles];
  double width = 0.0;
  int gridSize = 0;
  int particleCount = 0;
  int springCount = 0;
  ParticleSystem system;

 private:
  void addSpring(Particle& a, Particle& b, double stiffness, double restLength);
};

}  // namespace vellumry
