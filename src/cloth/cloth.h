#pragma once

#include <cstdint>
#include <vector>

#include "cloth/cloth_mesh.h"
#include "cloth/cloth_outside.h"
#include "cloth/cloth_step.h"
#include "cloth/flat_step.h"
#include "math/vec3.h"
#include "physics/force.h"
#include "physics/particle.h"
#include "physics/particle_system.h"

namespace vellumry {

/// Entries in the particle and spring pools from construction on; a larger grid grows them.
inline constexpr int kMaxParticles = 400;
inline constexpr int kMaxSprings = 1600;
/// Largest grid build accepts: 65,536 particles.
inline constexpr int kMaxGridSize = 256;
/// Grids larger than this draw through arrays in one pass (drawShadedArrays).
inline constexpr int kOnePassGridSize = 64;
/// Fewer particles than this for each thread, and another thread costs more than it saves.
inline constexpr int kParticlesPerThread = 2048;

/// What the cloth is made of. Mass and drag are the whole cloth's, shared evenly by its particles,
/// so a finer grid is the same cloth at a higher resolution.
struct ClothMaterial {
  double mass = 70.0;
  double stiffness = 100.0;  ///< springs along rows and columns
  double shear = 10.0;       ///< diagonal springs
  double bend = 0.0;   ///< springs joining particles two apart along rows and columns; 0: none
  double drag = 18.0;  ///< linear drag, force per unit velocity
  Vec3 gravity{0.0, -1.0, 0.0};
};

enum class SpringKind : std::uint8_t { kStructural, kShear, kBend };

/// Springs an n by n grid uses: structural and shear, and bend springs when asked for.
[[nodiscard]] int springsFor(int n, bool bend);

/// A square n by n grid of particles joined by structural and shear springs (and bend springs,
/// after those), hanging from two pinned corners. Owns every particle, force and normal in pools
/// that build sizes to the grid and that never shrink; grid vertex (column, row) is pool entry
/// column + n * row, columns along world x, rows along world z.
class Cloth {
 public:
  Cloth();
  ~Cloth();
  Cloth(const Cloth&) = delete;  // the system points into this object's own pools
  Cloth& operator=(const Cloth&) = delete;

  /// Back to the empty state: nothing listed, every pool entry at its defaults, counters 0.
  void reset();
  /// A fresh, flat, horizontal cloth at rest in the plane y = 0, pinned at (0, 0) and (0, n-1).
  /// A size outside 2..kMaxGridSize has no spacing or no pools: the cloth stays empty.
  void build(double clothWidth, int n);
  void build(double clothWidth, int n, const ClothMaterial& made);
  /// Changes what the built cloth is made of in place: masses, drags, gravity and stiffnesses;
  /// bend springs are appended or removed at the end of the springs. Positions stay as they are.
  void setMaterial(const ClothMaterial& made);
  /// One step: the same bits as system.step(dt), computed over arrays.
  void step(double dt);
  /// `steps` steps of dt, each followed by the obstacles' keepOut on every free particle.
  void advance(double dt, int steps);
  /// The same, with the hook's work between its steps.
  void advance(double dt, int steps, const StepHook& hook);
  /// Steps on up to this many threads from now on (1 to 64), each taking at least
  /// particlesPerThread particles; the result is the same on any number. Starts or stops the
  /// threads at once: never in a step.
  void setThreads(int count, int particlesPerThread = kParticlesPerThread);
  /// Runs job(context, part) for parts 0 to parts - 1 (at most `threads`) on the step's threads,
  /// between steps: for work beside the step that splits into parts giving the same bits.
  void share(int parts, WorkerPool::Job job, void* context) { stepper.share(parts, job, context); }
  /// Whether the next step runs over arrays or flat over the pools rather than through the system.
  [[nodiscard]] bool stepsOverArrays() const { return !referenceStep && stepper.accepts(*this); }

  /// Pins the particle with this pool index, or frees it if pinned; outside the cloth, nothing.
  void togglePin(int particle);
  /// Takes the spring with this pool index out of the step and the drawing for good (until the
  /// next build); a broken or unknown spring is left alone. Allocates nothing.
  void breakSpring(int spring);
  /// Breaks every spring longer than ratio times its rest length (none if ratio <= 0), judged on
  /// the positions as they are, so the order of the checks changes nothing. How many broke.
  int tear(double ratio);
  /// Lists the external force (entries of `external`) in the step, or takes it out; with it out
  /// the force list is the plain cloth's own.
  void setPushing(bool on);

  /// The particle at (column, row), each coordinate clamped into the grid.
  [[nodiscard]] Particle& particleAt(int column, int row);
  /// Copy of the stored normal at (column, row); the coordinates must lie inside the grid.
  [[nodiscard]] Vec3 normalAt(int column, int row) const;

  /// Unit normal at every vertex, oriented like (increasing row) x (increasing column).
  void computeNormals();
  void drawShaded();
  void drawWireframe() const;
  /// The normals of computeNormals, bit for bit and faster, and their negations in mesh.reversed.
  void computeArrayNormals();
  /// The pictures of drawShaded and drawWireframe, drawn through client arrays; past
  /// kOnePassGridSize, the shaded one in its first pass only.
  void drawShadedArrays();
  void drawWireframeArrays() const;

  std::vector<Particle> particles;
  std::vector<Gravity> gravities;       ///< entry j acts on particles[j]
  std::vector<Drag> drags;              ///< entry j acts on particles[j]
  std::vector<Spring> springs;          ///< in creation order
  std::vector<SpringKind> springKinds;  ///< the kind of each spring in use
  std::vector<std::uint8_t> broken;     ///< 1 for each spring in use that has broken
  std::vector<Vec3> normals;
  ClothMaterial material;
  double width = 0.0;
  int gridSize = 0;
  int particleCount = 0;
  int springCount = 0;
  int brokenCount = 0;         ///< springs in use that have broken
  std::vector<Vec3> external;  ///< entry j: a force on particles[j], added after its drag
  std::vector<Vec3> scratch;   ///< one a particle, for whoever computes `external`
  ExternalForce push;          ///< adds `external`; in the force list only while pushing
  bool pushing = false;
  ClothObstacles obstacles;    ///< what every substep keeps the free particles out of
  long long stepCount = 0;     ///< time steps taken since the build, counted by whoever steps it
  bool referenceStep = false;  ///< step through the system, force by force, never the arrays
  /// Grids up to this size step in one plain loop over the pools (flatStep), larger ones over
  /// arrays; the bits are the same either way. 0: every grid over arrays.
  int flatGridSize = kFlatGridSize;
  int threads = 1;        ///< threads a step may run on; a small cloth steps on the calling thread
  ParticleSystem system;  ///< the step force by force, which the cloth's own step reproduces
  ClothMesh mesh;         ///< index lists of the grid and the springs, for the array drawing
  const float* texCoords = nullptr;  ///< two a vertex, for drawShadedArrays; not owned; null: none

 private:
  void growPools(int n);
  void addSpring(Particle& a, Particle& b, SpringKind kind, double restLength);
  void addBendSprings();
  void removeBendSprings();
  [[nodiscard]] double stiffnessOf(SpringKind kind) const;
  [[nodiscard]] int springListStart() const { return 2 * particleCount + (pushing ? 1 : 0); }
  void dropBroken(int firstSpring, int count);

  ClothStepper stepper;
};

}  // namespace vellumry
