// The cells' normals and boxes a row at a time, so that their square roots, divisions and
// comparisons go a vector at a time; each lane does what the one-cell code does, in its order.
#include "collide/cell_rows.h"

#include <algorithm>
#include <cmath>
#include <cstddef>

#include "cloth/every_width.h"
#include "collide/bounds.h"

namespace vellumry {

namespace {

static_assert(sizeof(Vec3) == 3 * sizeof(double));

using Index = std::ptrdiff_t;

// The unit normal of triangle (a, b, c) of p into out, or zero where it has no area: what
// normalising the cross product of its edges from a gives, without a branch.
inline void normalAt(const double* __restrict p, Index a, Index b, Index c,
                     double* __restrict out) {
  const double e1x = p[3 * b] - p[3 * a];
  const double e1y = p[3 * b + 1] - p[3 * a + 1];
  const double e1z = p[3 * b + 2] - p[3 * a + 2];
  const double e2x = p[3 * c] - p[3 * a];
  const double e2y = p[3 * c + 1] - p[3 * a + 1];
  const double e2z = p[3 * c + 2] - p[3 * a + 2];
  const double nx = e1y * e2z - e1z * e2y;
  const double ny = e1z * e2x - e1x * e2z;
  const double nz = e1x * e2y - e1y * e2x;
  const double ll = (nx * nx + ny * ny) + nz * nz;
  const bool some = ll > 0.0;
  const double scale = 1.0 / std::sqrt(some ? ll : 1.0);
  out[0] = some ? scale * nx : 0.0;
  out[1] = some ? scale * ny : 0.0;
  out[2] = some ? scale * nz : 0.0;
}

// One coordinate of corners a, a + 1, b, b + 1, each at the start then the end, into a bound.
inline double lowest(double from, const double* __restrict s, const double* __restrict e, Index a,
                     Index b) {
  double m = std::min(std::min(from, s[3 * a]), e[3 * a]);
  m = std::min(std::min(m, s[3 * a + 3]), e[3 * a + 3]);
  m = std::min(std::min(m, s[3 * b]), e[3 * b]);
  return std::min(std::min(m, s[3 * b + 3]), e[3 * b + 3]);
}
inline double highest(double from, const double* __restrict s, const double* __restrict e,
                      Index a, Index b) {
  double m = std::max(std::max(from, s[3 * a]), e[3 * a]);
  m = std::max(std::max(m, s[3 * a + 3]), e[3 * a + 3]);
  m = std::max(std::max(m, s[3 * b]), e[3 * b]);
  return std::max(std::max(m, s[3 * b + 3]), e[3 * b + 3]);
}

}  // namespace

VELLUMRY_EVERY_WIDTH void rowNormals(const Vec3* points, int v, int stride, int count, Vec3* to) {
  const double* __restrict p = &points[0].x;
  double* __restrict out = &to[0].x;
#pragma omp simd
  for (int x = 0; x < count; ++x) {
    const Index a = static_cast<Index>(v) + x;
    const Index below = a + stride;
    normalAt(p, a, below, a + 1, out + 6 * static_cast<Index>(x));
    normalAt(p, a + 1, below, below + 1, out + 6 * static_cast<Index>(x) + 3);
  }
}

VELLUMRY_EVERY_WIDTH void rowBoxes(const Vec3* start, const Vec3* end, int v, int stride,
                                   int count, double* __restrict boxes) {
  const double* __restrict s = &start[0].x;
  const double* __restrict e = &end[0].x;
  const Box none;
  const double lo = none.lo.x;
  const double hi = none.hi.x;
#pragma omp simd
  for (int x = 0; x < count; ++x) {
    const Index a = static_cast<Index>(v) + x;
    const Index b = a + stride;
    boxes[x] = lowest(lo, s, e, a, b);
    boxes[kRowBoxes + x] = lowest(lo, s + 1, e + 1, a, b);
    boxes[2 * kRowBoxes + x] = lowest(lo, s + 2, e + 2, a, b);
    boxes[3 * kRowBoxes + x] = highest(hi, s, e, a, b);
    boxes[4 * kRowBoxes + x] = highest(hi, s + 1, e + 1, a, b);
    boxes[5 * kRowBoxes + x] = highest(hi, s + 2, e + 2, a, b);
  }
}

}  // namespace vellumry
