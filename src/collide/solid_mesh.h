#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "math/vec3.h"

namespace vellumry {

/// Most triangles a solid may have.
inline constexpr int kMaxSolidTriangles = 200'000;

/// A solid as triangles, whatever file it was read from. Canonical: no two points equal, points
/// sorted by x, then y, then z; each triangle's least index first, its winding kept; triangles
/// sorted. So one solid gives the same arrays, and the cloth the same bits, from any format.
struct SolidMesh {
  std::vector<Vec3> points;                            ///< the file's own coordinates, finite
  std::vector<std::array<std::int32_t, 3>> triangles;  ///< three different indices into points
};

/// Where a solid stands among the cloth: scaled about its own origin, then moved.
struct MeshPlacement {
  Vec3 position;
  double scale = 1.0;
  double friction = 0.5;  ///< share of its sliding speed cloth touching the solid loses
};

/// A point of the solid in cloth coordinates.
[[nodiscard]] inline Vec3 placePoint(const MeshPlacement& m, const Vec3& p) {
  return {m.position.x + m.scale * p.x, m.position.y + m.scale * p.y,
          m.position.z + m.scale * p.z};
}

}  // namespace vellumry
