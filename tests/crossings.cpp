#include "crossings.h"

#include <algorithm>
#include <numeric>

namespace vellumry {

namespace {

// Six times the signed volume of the tetrahedron abcd.
double volume(const Vec3& a, const Vec3& b, const Vec3& c, const Vec3& d) {
  const Vec3 n = cross(b - a, c - a);
  const Vec3 e = d - a;
  return n.x * e.x + n.y * e.y + n.z * e.z;
}

int sign(double v) { return v > 0.0 ? 1 : (v < 0.0 ? -1 : 0); }

struct Span {
  double lo;
  double hi;
  int index;
};

std::array<Vec3, 3> corners(const Cloth& cloth, int t) {
  const std::uint32_t* k = &cloth.mesh.triangles[3 * static_cast<std::size_t>(t)];
  return {cloth.particles[k[0]].position, cloth.particles[k[1]].position,
          cloth.particles[k[2]].position};
}

Span spanX(const std::array<Vec3, 3>& t, int index) {
  return {std::min({t[0].x, t[1].x, t[2].x}), std::max({t[0].x, t[1].x, t[2].x}), index};
}

}  // namespace

bool segmentPierces(const Vec3& p, const Vec3& q, const Vec3& a, const Vec3& b, const Vec3& c) {
  const int sp = sign(volume(a, b, c, p));
  const int sq = sign(volume(a, b, c, q));
  if (sp == 0 || sq == 0 || sp == sq) {
    return false;
  }
  const int s1 = sign(volume(p, q, a, b));
  const int s2 = sign(volume(p, q, b, c));
  const int s3 = sign(volume(p, q, c, a));
  return s1 != 0 && s1 == s2 && s2 == s3;
}

bool trianglesCross(const Vec3 t[3], const Vec3 u[3]) {
  for (int k = 0; k < 3; ++k) {
    if (segmentPierces(t[k], t[(k + 1) % 3], u[0], u[1], u[2]) ||
        segmentPierces(u[k], u[(k + 1) % 3], t[0], t[1], t[2])) {
      return true;
    }
  }
  return false;
}

// Sweep and prune along x: only triangles whose x extents overlap are compared.
int clothCrossings(const Cloth& cloth) {
  const int count = cloth.mesh.triangleCount / 3;
  std::vector<Span> spans;
  for (int t = 0; t < count; ++t) {
    spans.push_back(spanX(corners(cloth, t), t));
  }
  std::sort(spans.begin(), spans.end(), [](const Span& a, const Span& b) { return a.lo < b.lo; });
  int crossings = 0;
  for (std::size_t i = 0; i < spans.size(); ++i) {
    const std::uint32_t* ki = &cloth.mesh.triangles[3 * static_cast<std::size_t>(spans[i].index)];
    const auto ti = corners(cloth, spans[i].index);
    for (std::size_t j = i + 1; j < spans.size() && spans[j].lo <= spans[i].hi; ++j) {
      const std::uint32_t* kj =
          &cloth.mesh.triangles[3 * static_cast<std::size_t>(spans[j].index)];
      if (std::find_first_of(ki, ki + 3, kj, kj + 3) != ki + 3) {
        continue;  // neighbours sharing a corner
      }
      const auto tj = corners(cloth, spans[j].index);
      crossings += trianglesCross(ti.data(), tj.data()) ? 1 : 0;
    }
  }
  return crossings;
}

int solidCrossings(const Cloth& cloth, const std::vector<Vec3>& points,
                   const std::vector<std::array<std::int32_t, 3>>& triangles) {
  int crossings = 0;
  for (int t = 0; t < cloth.mesh.triangleCount / 3; ++t) {
    const auto ct = corners(cloth, t);
    for (const auto& s : triangles) {
      const Vec3 st[3] = {points[static_cast<std::size_t>(s[0])],
                          points[static_cast<std::size_t>(s[1])],
                          points[static_cast<std::size_t>(s[2])]};
      crossings += trianglesCross(ct.data(), st) ? 1 : 0;
    }
  }
  return crossings;
}

}  // namespace vellumry
