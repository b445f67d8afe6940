#pragma once

#include "cloth/cloth.h"
#include "cloth/every_width.h"

namespace vellumry::step {

// The springs of vertex (column, row), each named after where its other end lies, in the order
// the cloth creates them: down a row, along the row, the two diagonals down, then the bend
// springs two rows down and two columns along.
enum Link : int { kDown, kRight, kDiagonal, kAntiDiagonal, kBendRow, kBendColumn, kLinks };

/// Which vertices have a link: rows 0 .. n - 1 - shortRows, columns first .. n - 1 - shortColumns.
struct LinkShape {
  SpringKind kind;
  int rowStep;
  int columnStep;
  int shortRows;
  int first;
  int shortColumns;
};

inline constexpr LinkShape kShapes[kLinks] = {
    {SpringKind::kStructural, 1, 0, 1, 0, 0}, {SpringKind::kStructural, 0, 1, 0, 0, 1},
    {SpringKind::kShear, 1, 1, 1, 0, 1},      {SpringKind::kShear, 1, -1, 1, 1, 0},
    {SpringKind::kBend, 2, 0, 2, 0, 0},       {SpringKind::kBend, 0, 2, 0, 0, 2},
};

// Per-vertex arrays: positions (two buffers, x y z each), velocity, force, gravity's force, then
// drag (minus the coefficient), the integrator's divisor, pinned (1 or 0), each link's rest length
// and stiffness (0 once broken), the external force, each link's rest length as the tear check
// sees it (infinite once broken), and the air's velocity relative to the vertex.
enum Array : int {
  kPosition = 0,
  kVelocity = 6,
  kForce = 9,
  kGravity = 12,
  kDrag = 15,
  kDivisor,
  kPinned,
  kRest,
  kStiffness = kRest + kLinks,
  kExternal = kStiffness + kLinks,
  kTearRest = kExternal + 3,
  kAir = kTearRest + kLinks,
  kArrays = kAir + 3,
};

/// A ring row holds, for each component and link, n forces with two zeros before and one after.
inline constexpr int kMargin = 2;
inline constexpr int kRingRows = 3;

// The force of each spring of a row on its first end; what Spring::apply adds to A.
void springSpan(int count, int offset, const double* __restrict x, const double* __restrict y,
                const double* __restrict z, const double* __restrict rest,
                const double* __restrict stiffness, double* __restrict fx, double* __restrict fy,
                double* __restrict fz);

// One component of a row of particles: its accumulator summed in the force list's order, then
// the integrator.
void componentSpan(int count, int stride, bool bend, double dt, const double* __restrict gravity,
                   const double* __restrict drag, const double* __restrict external,
                   const double* __restrict divisor, const double* __restrict pinned,
                   const double* __restrict here, const double* __restrict above,
                   const double* __restrict twoAbove, const double* __restrict position,
                   double* __restrict moved, double* __restrict velocity, double* __restrict force);

/// How many of a row's springs, `offset` apart, are longer than ratio times their rest length,
/// judged as Cloth::tear judges them.
int stretchedSpan(int count, int offset, double ratio, const double* __restrict x,
                  const double* __restrict y, const double* __restrict z,
                  const double* __restrict rest);

/// The solids as the contact loops see them: no ball is a ball nothing is inside (rr < 0), no
/// floor one at minus infinity.
struct Solids {
  double cx, cy, cz;
  double rr;  ///< radius squared
  double radius;
  double ballKeep;  ///< 1 less the ball's friction
  double floor;
  double floorKeep;  ///< 1 less the floor's friction
};

/// The longest span a row has: the widest grid's row.
inline constexpr int kMaxSpan = kMaxGridSize;

struct Reach {
  int first;
  int last;
};

Reach touchingSpan(int count, const Solids& o, const double* __restrict pinned,
                   const double* __restrict x, const double* __restrict y,
                   const double* __restrict z);
void contactSpan(int count, const Solids& o, const double* __restrict pinned, double* __restrict x,
                 double* __restrict y, double* __restrict z, double* __restrict vx,
                 double* __restrict vy, double* __restrict vz);

}  // namespace vellumry::step
