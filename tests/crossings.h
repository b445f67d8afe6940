#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "cloth/cloth.h"
#include "math/vec3.h"

namespace vellumry {

/// Whether the segment pq passes through the inside of triangle abc (touching and coplanar
/// cases do not count).
bool segmentPierces(const Vec3& p, const Vec3& q, const Vec3& a, const Vec3& b, const Vec3& c);
/// Whether two triangles pass through each other: an edge of one pierces the other.
bool trianglesCross(const Vec3 t[3], const Vec3 u[3]);
/// Pairs of the cloth's living triangles sharing no corner that cross.
int clothCrossings(const Cloth& cloth);
/// Pairs of a cloth triangle and a solid triangle that cross.
int solidCrossings(const Cloth& cloth, const std::vector<Vec3>& points,
                   const std::vector<std::array<std::int32_t, 3>>& triangles);

}  // namespace vellumry
