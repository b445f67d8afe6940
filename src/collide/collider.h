#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "collide/solid_mesh.h"
#include "math/vec3.h"

namespace vellumry {

/// What keeps the cloth from passing through itself and through the solids it meets.
class Collider final {
 public:
  /// The solid the cloth meets from now on, placed in the cloth's coordinates; null for none.
  /// Copies what it needs at once (allocating): on a load or a move of the solid, never in a step.
  void setSolid(const SolidMesh* solid, const MeshPlacement& placement);
  [[nodiscard]] bool hasSolid() const { return !solidTriangles_.empty(); }
  /// The solid's points in cloth coordinates, as the collisions see them, and its triangles.
  [[nodiscard]] const std::vector<Vec3>& solidPoints() const { return solidPoints_; }
  [[nodiscard]] const std::vector<std::array<std::int32_t, 3>>& solidTriangles() const {
    return solidTriangles_;
  }
  [[nodiscard]] double solidFriction() const { return solidFriction_; }

 private:
  std::vector<Vec3> solidPoints_;
  std::vector<std::array<std::int32_t, 3>> solidTriangles_;
  double solidFriction_ = 0.0;
};

}  // namespace vellumry
