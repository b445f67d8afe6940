#pragma once

#include <array>
#include <cstdint>
#include <cstdio>
#include <vector>

#include "math/vec3.h"

namespace vellumry {

/// The solids beside the cloth at one frame, in cloth coordinates.
struct WorldFrame {
  bool ball = false;
  double centre[3] = {};
  double radius = 0.0;
  bool floor = false;
  double floorHeight = 0.0;
  double floorCentre = 0.0;  ///< x and z of the floor square's centre
  double floorHalfSize = 0.0;
  const std::vector<Vec3>* solidPoints = nullptr;  ///< the solid's, placed; null: no solid
  const std::vector<std::array<std::int32_t, 3>>* solidTriangles = nullptr;
};

/// Rings of the ball's mesh between its poles, and points around each.
inline constexpr int kBallRings = 7;
inline constexpr int kBallSegments = 16;
/// Points of the ball's mesh: the rings and the two poles.
inline constexpr int kBallPoints = kBallRings * kBallSegments + 2;

/// The ball's points at this frame, x y z each, in the order its mesh lists them.
void ballPoints(const WorldFrame& world, float* out);
/// The enabled solids as OBJ objects "ball" (a sphere), "floor" (one quad) and "solid" (its
/// triangles, one normal each), after `before` vertices and normals, faces counter-clockwise
/// seen from outside; false on a write error.
bool writeWorldObjects(std::FILE* file, const WorldFrame& world, int before);

}  // namespace vellumry
