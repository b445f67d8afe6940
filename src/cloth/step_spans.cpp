#include <algorithm>
#include <array>
#include <cassert>
#include <cmath>
#include <cstddef>
#include <cstring>

#include "cloth/step_layout.h"

namespace vellumry::step {

// The force of each spring of a row on its first end; what Spring::apply adds to A.
VELLUMRY_EVERY_WIDTH void springSpan(int count, int offset, const double* __restrict x,
                                     const double* __restrict y, const double* __restrict z,
                                     const double* __restrict rest,
                                     const double* __restrict stiffness, double* __restrict fx,
                                     double* __restrict fy, double* __restrict fz) {
#pragma omp simd
  for (int k = 0; k < count; ++k) {
    const int b = k + offset;
    const double dx = x[k] - x[b];
    const double dy = y[k] - y[b];
    const double dz = z[k] - z[b];
    const double length = std::sqrt((dz * dz + dy * dy) + dx * dx);
    const double magnitude = (length - rest[k]) * stiffness[k];
    const double ux = x[b] - x[k];
    const double uy = y[b] - y[k];
    const double uz = z[b] - z[k];
    const double uu = (ux * ux + uy * uy) + uz * uz;
    // Coincident ends add nothing. Here they add a zero (0 times a component that is finite,
    // since its square vanished), which leaves an accumulator that started at +0 unchanged.
    const bool none = uu == 0.0;
    const double m = none ? 0.0 : magnitude;
    const double norm = none ? 1.0 : std::sqrt(uu);
    fx[k] = m * (ux / norm);
    fy[k] = m * (uy / norm);
    fz[k] = m * (uz / norm);
  }
}

// `here`, `above` and `twoAbove` hold the links of this row and of the two rows
// before it, link L of column k at [L * stride + k]; links a vertex lacks hold zeros, and adding
// a zero leaves an accumulator that started at +0 unchanged. So does a broken link's zero
// stiffness, which makes its force a zero, and the external force of a cloth without one: a row of
// zeros.
VELLUMRY_EVERY_WIDTH void componentSpan(
    int count, int stride, bool bend, double dt, const double* __restrict gravity,
    const double* __restrict drag, const double* __restrict external,
    const double* __restrict divisor, const double* __restrict pinned,
    const double* __restrict here, const double* __restrict above,
    const double* __restrict twoAbove, const double* __restrict position, double* __restrict moved,
    double* __restrict velocity, double* __restrict force) {
  const double h = 0.5 * dt;
  const auto sum = [&](int k) {
    double f = 0.0 + gravity[k];
    f = f + drag[k] * velocity[k];
    f = f + external[k];
    f = f - above[kDiagonal * stride + k - 1];
    f = f - above[kDown * stride + k];
    f = f - above[kAntiDiagonal * stride + k + 1];
    f = f - here[kRight * stride + k - 1];
    f = f + here[kDown * stride + k];
    f = f + here[kRight * stride + k];
    f = f + here[kDiagonal * stride + k];
    return f + here[kAntiDiagonal * stride + k];
  };
  // Pinned: position and velocity stay (its divisor is 1, not its mass, which may be 0).
  const auto integrate = [&](int k, double f) {
    force[k] = f;
    const bool stays = pinned[k] != 0.0;
    const double v = velocity[k] + (dt * f) / divisor[k];
    const double p = position[k] + h * v;
    velocity[k] = stays ? velocity[k] : v;
    moved[k] = stays ? position[k] : p;
  };
  if (!bend) {
#pragma omp simd
    for (int k = 0; k < count; ++k) {
      integrate(k, sum(k));
    }
    return;
  }
#pragma omp simd
  for (int k = 0; k < count; ++k) {
    double f = sum(k) - twoAbove[kBendRow * stride + k];
    f = f - here[kBendColumn * stride + k - 2];
    f = f + here[kBendRow * stride + k];
    integrate(k, f + here[kBendColumn * stride + k]);
  }
}

// The same expression as Cloth::tear's, vertex A less vertex B; a broken spring's rest length
// here is infinite, and nothing is longer than that.
VELLUMRY_EVERY_WIDTH int stretchedSpan(int count, int offset, double ratio,
                                       const double* __restrict x, const double* __restrict y,
                                       const double* __restrict z, const double* __restrict rest) {
  int stretched = 0;
#pragma omp simd reduction(+ : stretched)
  for (int k = 0; k < count; ++k) {
    const int b = k + offset;
    const double dx = x[k] - x[b];
    const double dy = y[k] - y[b];
    const double dz = z[k] - z[b];
    const double most = ratio * rest[k];
    stretched += (dx * dx + dy * dy) + dz * dz > most * most ? 1 : 0;
  }
  return stretched;
}

// keepOut on every free particle of a span, without a branch: each lane computes both contacts
// and keeps what keepOut would have made of it, so the bits are keepOut's. Its selects are
// keepOut's branches, one a line.
// NOLINTNEXTLINE(readability-function-cognitive-complexity)
VELLUMRY_EVERY_WIDTH void contactSpan(int count, const Solids& o, const double* __restrict pinned,
                                      double* __restrict x, double* __restrict y,
                                      double* __restrict z, double* __restrict vx,
                                      double* __restrict vy, double* __restrict vz) {
  // Copies: the stores below could otherwise alias the solids and keep the loop scalar.
  const double cx = o.cx;
  const double cy = o.cy;
  const double cz = o.cz;
  const double rr = o.rr;
  const double radius = o.radius;
  const double ballKeep = o.ballKeep;
  const double floor = o.floor;
  const double floorKeep = o.floorKeep;
#pragma omp simd
  for (int k = 0; k < count; ++k) {
    const bool free = pinned[k] == 0.0;
    const double dx = x[k] - cx;
    const double dy = y[k] - cy;
    const double dz = z[k] - cz;
    const double dd = dx * dx + dy * dy + dz * dz;
    const bool inBall = (static_cast<int>(free) & static_cast<int>(dd < rr)) != 0;
    const bool centred = dd == 0.0;
    const double root = std::sqrt(centred ? 1.0 : dd);
    const double inv = 1.0 / root;
    const double toUnit = centred ? 0.0 : inv;
    const double nx = centred ? 0.0 : toUnit * dx;
    const double ny = centred ? 1.0 : toUnit * dy;
    const double nz = centred ? 0.0 : toUnit * dz;
    const double vn = (vx[k] * nx + vy[k] * ny) + vz[k] * nz;
    const double away = vn < 0.0 ? 0.0 : vn;
    const double bx = ballKeep * (vx[k] - vn * nx) + away * nx;
    const double by = ballKeep * (vy[k] - vn * ny) + away * ny;
    const double bz = ballKeep * (vz[k] - vn * nz) + away * nz;
    const double px = inBall ? cx + radius * nx : x[k];
    const double py = inBall ? cy + radius * ny : y[k];
    const double pz = inBall ? cz + radius * nz : z[k];
    const double ux = inBall ? bx : vx[k];
    const double uy = inBall ? by : vy[k];
    const double uz = inBall ? bz : vz[k];
    const bool below = (static_cast<int>(free) & static_cast<int>(py < floor)) != 0;
    const double uyUp = uy < 0.0 ? 0.0 : uy;
    x[k] = px;
    y[k] = below ? floor : py;
    z[k] = pz;
    vx[k] = below ? floorKeep * ux : ux;
    vy[k] = below ? uyUp : uy;
    vz[k] = below ? floorKeep * uz : uz;
  }
}

// keepOut's own test: the first and the last free particle of a span inside the ball or below
// the floor, or first > last where there is none. The test fills a byte a particle and the ends
// are found in the bytes: a min and max reduction over the lanes costs more than the test does.
VELLUMRY_EVERY_WIDTH Reach touchingSpan(int count, const Solids& o, const double* __restrict pinned,
                                        const double* __restrict x, const double* __restrict y,
                                        const double* __restrict z) {
  std::array<unsigned char, kMaxSpan> touches;
  unsigned char* __restrict t = touches.data();
  assert(count <= kMaxSpan);
#pragma omp simd
  for (int k = 0; k < count; ++k) {
    const double dx = x[k] - o.cx;
    const double dy = y[k] - o.cy;
    const double dz = z[k] - o.cz;
    const int inside =
        static_cast<int>((dx * dx + dy * dy) + dz * dz < o.rr) | static_cast<int>(y[k] < o.floor);
    t[k] = static_cast<unsigned char>(inside & static_cast<int>(pinned[k] == 0.0));
  }
  const auto size = static_cast<std::size_t>(count);
  const void* first = std::memchr(t, 1, size);
  if (first == nullptr) {
    return {count, -1};
  }
  const void* last = memrchr(t, 1, size);
  return {static_cast<int>(static_cast<const unsigned char*>(first) - t),
          static_cast<int>(static_cast<const unsigned char*>(last) - t)};
}

}  // namespace vellumry::step
