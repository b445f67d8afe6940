#pragma once

#include <cmath>

#include "math/vec3.h"
#include "world/mesh_file.h"

namespace vellumry {

/// A closed ball of 6 x 2 x side x side triangles: a cube's faces cut into side by side squares,
/// each in two, pushed out onto the sphere. Every edge folds a little; none is sharp from side 6.
inline SolidMesh facetedBall(const Vec3& centre, double radius, int side) {
  SolidMesh s;
  const auto point = [&](int face, int i, int j) {
    const double u = 2.0 * i / side - 1.0;
    const double v = 2.0 * j / side - 1.0;
    const int axis = face % 3;
    const double w = face < 3 ? 1.0 : -1.0;
    Vec3 p = axis == 0 ? Vec3(w, u, v) : (axis == 1 ? Vec3(v, w, u) : Vec3(u, v, w));
    p /= std::sqrt(p.lengthSquared());
    s.points.emplace_back(centre.x + radius * p.x, centre.y + radius * p.y,
                          centre.z + radius * p.z);
    return static_cast<std::int32_t>(s.points.size() - 1);
  };
  for (int face = 0; face < 6; ++face) {
    for (int i = 0; i < side; ++i) {
      for (int j = 0; j < side; ++j) {
        const std::int32_t a = point(face, i, j);
        const std::int32_t b = point(face, i + 1, j);
        const std::int32_t c = point(face, i + 1, j + 1);
        const std::int32_t d = point(face, i, j + 1);
        s.triangles.push_back({a, b, c});
        s.triangles.push_back({a, c, d});
      }
    }
  }
  canonicalise(s);  // welds the faces' shared borders, as a mesh file read would
  return s;
}

}  // namespace vellumry
