#pragma once

#include <cmath>

#include "world/mesh_file.h"

namespace vellumry {

/// A closed ball of 6 x 2 x side x side triangles: a cube's faces cut into squares, each in two,
/// pushed out onto the sphere. Every edge folds a little; none is sharp from side 6 up.
inline SolidMesh facetedBall(const Vec3& centre, double radius, int side) {
  SolidMesh s;
  const auto point = [&](int face, int i, int j) {
    const double u = 2.0 * i / side - 1.0;
    const double v = 2.0 * j / side - 1.0;
    const double w = face < 3 ? 1.0 : -1.0;
    Vec3 p = face % 3 == 0 ? Vec3(w, u, v) : (face % 3 == 1 ? Vec3(v, w, u) : Vec3(u, v, w));
    p /= std::sqrt(p.lengthSquared());
    s.points.emplace_back(centre.x + radius * p.x, centre.y + radius * p.y,
                          centre.z + radius * p.z);
    return static_cast<std::int32_t>(s.points.size() - 1);
  };
  for (int k = 0; k < 6 * side * side; ++k) {
    const int face = k / (side * side);
    const int i = k / side % side;
    const int j = k % side;
    s.triangles.push_back({point(face, i, j), point(face, i + 1, j), point(face, i + 1, j + 1)});
    s.triangles.push_back({point(face, i, j), point(face, i + 1, j + 1), point(face, i, j + 1)});
  }
  canonicalise(s);
  return s;
}

}  // namespace vellumry
