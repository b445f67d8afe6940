#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "collide/solid_tree.h"
#include "math/vec3.h"

namespace vellumry {

/// A solid as the inside tests see it: its placed points, its triangles and their hierarchy.
struct SolidView {
  const std::vector<Vec3>& points;
  const std::vector<std::array<std::int32_t, 3>>& triangles;
  const SolidTree& tree;
};

/// Whether every edge of the triangles is shared by exactly two of them: only then has the
/// solid an inside. Allocates (on a load or a move of the solid).
[[nodiscard]] bool isClosed(const std::vector<std::array<std::int32_t, 3>>& triangles);

/// Whether p is inside a closed solid: a ray from p in one fixed direction crosses its surface
/// an odd number of times.
[[nodiscard]] bool insideSolid(const SolidView& solid, const Vec3& p);

/// The point of the solid's surface nearest p.
[[nodiscard]] Vec3 nearestOnSolid(const SolidView& solid, const Vec3& p);

}  // namespace vellumry
