#pragma once

#include <GL/gl.h>

#include <array>
#include <cstdint>
#include <vector>

#include "math/vec3.h"

namespace vellumry {

/// The solid's material: a wood brown, told apart from the cloth, the ball and the floor.
inline constexpr GLfloat kSolidAmbient[] = {0.3f, 0.2f, 0.12f, 1.0f};
inline constexpr GLfloat kSolidDiffuse[] = {0.65f, 0.45f, 0.28f, 1.0f};

/// The solid's triangles over its points, in cloth coordinates (inside the model transform): lit
/// with one flat normal a triangle in drawMode GL_SMOOTH, its edges as plain lines in GL_FLAT. The
/// cloth's material is in force again after; with no triangles, no GL call at all.
void drawSolid(const std::vector<Vec3>& points,
               const std::vector<std::array<std::int32_t, 3>>& triangles, GLenum drawMode);

}  // namespace vellumry
