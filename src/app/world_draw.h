#pragma once

#include <GL/gl.h>

#include "world/world.h"

namespace vellumry {

/// Half the side of the floor's square, centred under the cloth, in world units.
inline constexpr double kFloorHalfSize = 6.0;
/// Tiles along each side of the floor's checker.
inline constexpr int kFloorTiles = 8;

/// The ball and the floor that are enabled, in cloth coordinates (inside the model transform):
/// lit in drawMode GL_SMOOTH, plain lines in GL_FLAT. The cloth's material is in force again
/// after; with neither enabled, no GL call at all.
void drawWorld(const World& world, double clothWidth, GLenum drawMode);

}  // namespace vellumry
