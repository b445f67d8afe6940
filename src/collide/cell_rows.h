#pragma once

#include "math/vec3.h"

namespace vellumry {

/// Cells that rowBoxes bounds at most in one call.
inline constexpr int kRowBoxes = 64;

/// The unit normals of the two triangles of each of `count` cells of a grid, from vertex v on
/// (rows `stride` vertices apart), into to[2 x] and to[2 x + 1]: (v, v + stride, v + 1), then
/// (v + 1, v + stride, v + stride + 1), of the points. Zero where a triangle has no area.
void rowNormals(const Vec3* points, int v, int stride, int count, Vec3* to);

/// The boxes over a motion of `count` (at most kRowBoxes) cells from vertex v on, into six
/// arrays of kRowBoxes: low x, y, z, then high x, y, z. Each is the box that Box::add makes of
/// the cell's corners v, v + 1, v + stride, v + stride + 1 in turn, each at the start then at
/// the end, to the bit.
void rowBoxes(const Vec3* start, const Vec3* end, int v, int stride, int count, double* boxes);

}  // namespace vellumry
