#pragma once

#include <GL/gl.h>

#include <array>
#include <cstdint>
#include <vector>

#include "cloth/cloth.h"
#include "math/vec3.h"
#include "scene/scene.h"

namespace vellumry {

/// Depth offset of the shadows on the floor, in the floor's units (see world_draw.h): behind a
/// cloth lying on the floor, in front of the floor itself.
inline constexpr GLfloat kShadowOffset = 1.0f;
/// The shadows' flat colour.
inline constexpr GLfloat kShadowColour[] = {0.08f, 0.08f, 0.08f};

/// The shadows the cloth, the ball and the solid cast straight down on the floor, as from a light
/// overhead: flat and dark, clipped to the floor's square, in cloth coordinates (inside the model
/// transform), after the cloth and before the floor. Only in the lit drawing, with the floor on and
/// the camera above it; otherwise no GL call at all. Lighting is on again after, and the current
/// colour white.
void drawShadows(const Scene& scene, const Cloth& cloth, const std::vector<Vec3>& solidPoints,
                 const std::vector<std::array<std::int32_t, 3>>& solidTriangles, GLenum drawMode);

}  // namespace vellumry
