#include "world/wind_rows.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>

#include "cloth/every_width.h"

namespace vellumry {

void airOfRows(const Wind& wind, const GustField& field, double t, const BandRows& rows) {
  const int begin = rows.firstRow * rows.n;
  const int end = rows.endRow * rows.n;
  const double* const* p = rows.position;
  const double* const* u = rows.velocity;
  for (int v = begin; v < end; ++v) {
    const Vec3 air = windAt(wind, field, t, Vec3(p[0][v], p[1][v], p[2][v])) -
                     Vec3(u[0][v], u[1][v], u[2][v]);
    rows.air[0][v] = air.x;
    rows.air[1][v] = air.y;
    rows.air[2][v] = air.z;
  }
}

namespace {

/// Six arrays of a row of cells, n + 1 long: each triangle's force, first then second, x y z,
/// cell c at [c + 1] and zeros at either end.
constexpr int kFaceArrays = 6;

struct Corners {
  const double* __restrict x;
  const double* __restrict y;
  const double* __restrict z;
  const double* __restrict ax;
  const double* __restrict ay;
  const double* __restrict az;
};

// One triangle's force on each corner, as pushFace reckons it: share x (N . u) / |N| x N, with N
// the corners' cross product and u the sum of their air; a triangle without area, or torn away,
// pushes with zeros, which leave the sums they join unchanged.
VELLUMRY_EVERY_WIDTH void triangleSpan(int count, const Corners& p, int a, int b, int c,
                                       double share, const std::uint8_t* __restrict alive,
                                       double* __restrict fx, double* __restrict fy,
                                       double* __restrict fz) {
#pragma omp simd
  for (int k = 0; k < count; ++k) {
    const double e1x = p.x[k + b] - p.x[k + a];
    const double e1y = p.y[k + b] - p.y[k + a];
    const double e1z = p.z[k + b] - p.z[k + a];
    const double e2x = p.x[k + c] - p.x[k + a];
    const double e2y = p.y[k + c] - p.y[k + a];
    const double e2z = p.z[k + c] - p.z[k + a];
    const double nx = e1y * e2z - e1z * e2y;
    const double ny = e1z * e2x - e1x * e2z;
    const double nz = e1x * e2y - e1y * e2x;
    const double nn = nx * nx + ny * ny + nz * nz;
    const double ux = (p.ax[k + a] + p.ax[k + b]) + p.ax[k + c];
    const double uy = (p.ay[k + a] + p.ay[k + b]) + p.ay[k + c];
    const double uz = (p.az[k + a] + p.az[k + b]) + p.az[k + c];
    const double across = (nx * ux + ny * uy) + nz * uz;
    const bool none = nn == 0.0 || alive[2 * k] == 0;
    const double s = (share * across) / (none ? 1.0 : std::sqrt(nn));
    fx[k] = none ? 0.0 : s * nx;
    fy[k] = none ? 0.0 : s * ny;
    fz[k] = none ? 0.0 : s * nz;
  }
}

// Cell row `row` of the grid, or zeros where there is no such row.
void cellRow(double share, const std::uint8_t* alive, const BandRows& rows, int row, double* f) {
  const int n = rows.n;
  const std::ptrdiff_t stride = n + 1;
  if (row < 0 || row >= n - 1) {
    std::fill_n(f, kFaceArrays * stride, 0.0);
    return;
  }
  for (int i = 0; i < kFaceArrays; ++i) {
    f[i * stride] = 0.0;
    f[i * stride + n] = 0.0;
  }
  const int v = row * n;
  const Corners p{rows.position[0] + v, rows.position[1] + v, rows.position[2] + v,
                  rows.air[0] + v,      rows.air[1] + v,      rows.air[2] + v};
  const std::uint8_t* cells = alive + 2 * static_cast<std::ptrdiff_t>(row) * (n - 1);
  triangleSpan(n - 1, p, 0, n, 1, share, cells, f + 1, f + stride + 1, f + 2 * stride + 1);
  triangleSpan(n - 1, p, 1, n, n + 1, share, cells + 1, f + 3 * stride + 1, f + 4 * stride + 1,
               f + 5 * stride + 1);
}

// A vertex's sum in cell order: the second triangle of the cell before it in the row of cells
// above, both of the cell above, both of the cell before it, then the first of its own cell.
VELLUMRY_EVERY_WIDTH void vertexSpan(int count, const double* __restrict above1,
                                     const double* __restrict above2,
                                     const double* __restrict here1,
                                     const double* __restrict here2, double* __restrict out) {
#pragma omp simd
  for (int k = 0; k < count; ++k) {
    double f = 0.0 + above2[k];
    f = f + above1[k + 1];
    f = f + above2[k + 1];
    f = f + here1[k];
    f = f + here2[k];
    out[k] = f + here1[k + 1];
  }
}

}  // namespace

void pushOfRows(double coefficient, const std::uint8_t* alive, const BandRows& rows) {
  const int n = rows.n;
  const std::ptrdiff_t stride = n + 1;
  const double share = coefficient / 18.0;
  double* slots[2] = {rows.scratch, rows.scratch + kFaceArrays * stride};
  cellRow(share, alive, rows, rows.firstRow - 1, slots[(rows.firstRow + 1) % 2]);
  for (int row = rows.firstRow; row < rows.endRow; ++row) {
    const double* above = slots[(row + 1) % 2];
    double* here = slots[row % 2];
    cellRow(share, alive, rows, row, here);
    for (int c = 0; c < 3; ++c) {
      vertexSpan(n, above + c * stride, above + (3 + c) * stride, here + c * stride,
                 here + (3 + c) * stride, rows.external[c] + static_cast<std::ptrdiff_t>(row) * n);
    }
  }
}

}  // namespace vellumry
