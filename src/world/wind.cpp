#include "world/wind.h"

#include <cmath>
#include <cstddef>

namespace vellumry {

namespace {

std::uint64_t splitmix64(std::uint64_t& state) {
  std::uint64_t z = (state += 0x9e3779b97f4a7c15ULL);
  z = (z ^ (z >> 30U)) * 0xbf58476d1ce4e5b9ULL;
  z = (z ^ (z >> 27U)) * 0x94d049bb133111ebULL;
  return z ^ (z >> 31U);
}

// From 0 up to (not including) 1, from the top 53 bits.
double unit(std::uint64_t& state) {
  return static_cast<double>(splitmix64(state) >> 11U) * 0x1.0p-53;
}

// A periodic wave of period 1 between -1 and 1, smooth through its second derivative, made of
// products and sums only, so it is exact everywhere and cheaper than a sine.
// Its fraction by truncation, not floor, which is a library call without SSE4.1.
double wave(double x) {
  const bool whole = !(std::abs(x) < 0x1.0p52);  // an integer already, or not finite
  const double cut = whole ? 0.0 : x - static_cast<double>(static_cast<std::int64_t>(x));
  const double f = cut < 0.0 ? cut + 1.0 : cut;
  const double g = f * (1.0 - f);
  return 32.0 * (g * g) - 1.0;
}

}  // namespace

// Waves from 2 to 7 units long (the cloth is 3 wide), passing in 1 to 5 seconds.
GustField gustField(int seed) {
  auto state = static_cast<std::uint64_t>(static_cast<std::uint32_t>(seed));
  GustField field;
  for (int i = 0; i < 3; ++i) {
    // One draw a statement: the order of a call's arguments is the compiler's choice.
    const double dz = 2.0 * unit(state) - 1.0;
    const double dy = 2.0 * unit(state) - 1.0;
    const double dx = 2.0 * unit(state) - 1.0;
    const Vec3 d(dx, dy, dz);
    const double length = std::sqrt(d.lengthSquared());
    const double perUnit =
        (1.0 / 7.0 + unit(state) * (0.5 - 1.0 / 7.0)) / (length > 0.0 ? length : 1.0);
    field.waveVector[i] = perUnit * d;
    field.frequency[i] = 0.2 + 0.8 * unit(state);
    field.phase[i] = unit(state);
  }
  return field;
}

double gustAt(const GustField& field, double t, const Vec3& p) {
  double sum = 0.0;
  for (int i = 0; i < 3; ++i) {
    const Vec3& k = field.waveVector[i];
    const double x =
        ((k.x * p.x + k.y * p.y) + k.z * p.z) + (field.frequency[i] * t + field.phase[i]);
    sum = sum + wave(x);
  }
  return sum / 3.0;
}

Vec3 windAt(const Wind& wind, const GustField& field, double t, const Vec3& p) {
  const double scale = wind.gust == 0.0 ? 1.0 : 1.0 + wind.gust * gustAt(field, t, p);
  return scale * wind.velocity;
}

namespace {

Vec3 sum3(const Vec3& a, const Vec3& b, const Vec3& c) {
  return {(a.x + b.x) + c.x, (a.y + b.y) + c.y, (a.z + b.z) + c.z};
}

// One triangle's force, a third on each corner, from the air relative to each corner.
void pushFace(Cloth& cloth, const Vec3* air, double share, int a, int b, int c) {
  const Vec3& pa = cloth.particles[a].position;
  const Vec3 normal = cross(cloth.particles[b].position - pa, cloth.particles[c].position - pa);
  const double nn = normal.lengthSquared();
  if (nn == 0.0) {
    return;  // no area, no normal
  }
  const Vec3 u = sum3(air[a], air[b], air[c]);
  // coefficient x (|N| / 2) x ((N . u/3) / |N|) x N / |N|, a third of it: share x (N . u) / |N| x N
  const double across = (normal.x * u.x + normal.y * u.y) + normal.z * u.z;
  const Vec3 f = ((share * across) / std::sqrt(nn)) * normal;
  for (const int corner : {a, b, c}) {
    cloth.external[corner] += f;
  }
}

}  // namespace

void blow(Cloth& cloth, const Wind& wind, const GustField& field, double t, double coefficient) {
  const int n = cloth.gridSize;
  Vec3* air = cloth.scratch.data();
  for (int j = 0; j < cloth.particleCount; ++j) {
    const Particle& p = cloth.particles[j];
    air[j] = windAt(wind, field, t, p.position) - p.velocity;
    cloth.external[j] = Vec3();
  }
  const double share = coefficient / 18.0;  // half the area, a third of the mean, a third a corner
  const bool torn = cloth.brokenCount > 0;
  const std::uint8_t* alive = cloth.mesh.alive.data();
  for (int row = 0; row + 1 < n; ++row) {
    for (int column = 0; column + 1 < n; ++column) {
      const int v = column + n * row;
      const std::size_t cell = 2 * static_cast<std::size_t>(column + (n - 1) * row);
      if (!torn || alive[cell] != 0) {
        pushFace(cloth, air, share, v, v + n, v + 1);
      }
      if (!torn || alive[cell + 1] != 0) {
        pushFace(cloth, air, share, v + 1, v + n, v + n + 1);
      }
    }
  }
}

}  // namespace vellumry
