#include "world/wind_rows.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>

#include "cloth/every_width.h"

namespace vellumry {

namespace {

// wave() of wind.cpp with its fraction by std::trunc, which vectorises and for any |x| < 2^52
// is exactly the integer the conversion there makes.
inline double waveOf(double x) {
  const bool whole = !(std::abs(x) < 0x1.0p52);
  const double cut = whole ? 0.0 : x - std::trunc(whole ? 0.0 : x);
  const double f = cut < 0.0 ? cut + 1.0 : cut;
  const double g = f * (1.0 - f);
  return 32.0 * (g * g) - 1.0;
}

// windAt less the velocity, term by term as gustAt and windAt add them.
VELLUMRY_EVERY_WIDTH void airSpan(int count, const Wind& wind, const GustField& field, double t,
                                  const double* const* p, const double* const* u,
                                  double* __restrict ax, double* __restrict ay,
                                  double* __restrict az) {
  const double* __restrict px = p[0];
  const double* __restrict py = p[1];
  const double* __restrict pz = p[2];
  const double* __restrict ux = u[0];
  const double* __restrict uy = u[1];
  const double* __restrict uz = u[2];
  double shift[3];
  for (int i = 0; i < 3; ++i) {
    shift[i] = field.frequency[i] * t + field.phase[i];
  }
  const Vec3 k0 = field.waveVector[0];
  const Vec3 k1 = field.waveVector[1];
  const Vec3 k2 = field.waveVector[2];
  const bool steady = wind.gust == 0.0;
#pragma omp simd
  for (int v = 0; v < count; ++v) {
    double sum = 0.0;
    sum = sum + waveOf(((k0.x * px[v] + k0.y * py[v]) + k0.z * pz[v]) + shift[0]);
    sum = sum + waveOf(((k1.x * px[v] + k1.y * py[v]) + k1.z * pz[v]) + shift[1]);
    sum = sum + waveOf(((k2.x * px[v] + k2.y * py[v]) + k2.z * pz[v]) + shift[2]);
    const double scale = steady ? 1.0 : 1.0 + wind.gust * (sum / 3.0);
    ax[v] = scale * wind.velocity.x - ux[v];
    ay[v] = scale * wind.velocity.y - uy[v];
    az[v] = scale * wind.velocity.z - uz[v];
  }
}

}  // namespace

void airOfRows(const Wind& wind, const GustField& field, double t, const BandRows& rows) {
  const int begin = rows.firstRow * rows.n;
  const double* p[3] = {rows.position[0] + begin, rows.position[1] + begin,
                        rows.position[2] + begin};
  const double* u[3] = {rows.velocity[0] + begin, rows.velocity[1] + begin,
                        rows.velocity[2] + begin};
  airSpan((rows.endRow - rows.firstRow) * rows.n, wind, field, t, p, u, rows.air[0] + begin,
          rows.air[1] + begin, rows.air[2] + begin);
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

// Each triangle's 1 if it is whole, 0 if torn away, into fx. Read as bytes in the triangles' own
// loop, the flags made it take as many lanes as a vector holds bytes, 32, and leave up to 31
// triangles of a row to scalar code, where a square root and a division cost a whole vector's.
VELLUMRY_EVERY_WIDTH void wholeSpan(int count, const std::uint8_t* __restrict alive,
                                    double* __restrict fx) {
#pragma omp simd
  for (int k = 0; k < count; ++k) {
    fx[k] = alive[2 * static_cast<std::ptrdiff_t>(k)] == 0 ? 0.0 : 1.0;
  }
}

// One triangle's force on each corner, as pushFace reckons it: share x (N . u) / |N| x N, with N
// the corners' cross product and u the sum of their air; a triangle without area, or torn away
// (fx 0 on the way in, from wholeSpan), pushes with zeros, which leave the sums they join
// unchanged.
VELLUMRY_EVERY_WIDTH void triangleSpan(int count, const Corners& p, int a, int b, int c,
                                       double share, double* __restrict fx, double* __restrict fy,
                                       double* __restrict fz) {
  const double* __restrict x = p.x;
  const double* __restrict y = p.y;
  const double* __restrict z = p.z;
  const double* __restrict ax = p.ax;
  const double* __restrict ay = p.ay;
  const double* __restrict az = p.az;
#pragma omp simd
  for (int k = 0; k < count; ++k) {
    const double e1x = x[k + b] - x[k + a];
    const double e1y = y[k + b] - y[k + a];
    const double e1z = z[k + b] - z[k + a];
    const double e2x = x[k + c] - x[k + a];
    const double e2y = y[k + c] - y[k + a];
    const double e2z = z[k + c] - z[k + a];
    const double nx = e1y * e2z - e1z * e2y;
    const double ny = e1z * e2x - e1x * e2z;
    const double nz = e1x * e2y - e1y * e2x;
    const double nn = nx * nx + ny * ny + nz * nz;
    const double ux = (ax[k + a] + ax[k + b]) + ax[k + c];
    const double uy = (ay[k + a] + ay[k + b]) + ay[k + c];
    const double uz = (az[k + a] + az[k + b]) + az[k + c];
    const double across = (nx * ux + ny * uy) + nz * uz;
    const bool none = (static_cast<int>(nn == 0.0) | static_cast<int>(fx[k] == 0.0)) != 0;
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
  wholeSpan(n - 1, cells, f + 1);
  wholeSpan(n - 1, cells + 1, f + 3 * stride + 1);
  triangleSpan(n - 1, p, 0, n, 1, share, f + 1, f + stride + 1, f + 2 * stride + 1);
  triangleSpan(n - 1, p, 1, n, n + 1, share, f + 3 * stride + 1, f + 4 * stride + 1,
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
