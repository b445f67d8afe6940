#pragma once

#include <GL/gl.h>

#include "cloth/cloth.h"
#include "math/vec3.h"

namespace vellumry {

inline constexpr double kClothWidth = 3.0;
inline constexpr int kClothGridSize = 15;
inline constexpr double kTimeStep = 0.05;
inline constexpr int kStepsPerTick = 2;
inline constexpr unsigned kTickMillis = 20;
/// The requested window size in pixels; also the yardstick of drag sensitivity, in full screen too.
inline constexpr int windowWidth = 500;
inline constexpr int windowHeight = 500;

extern Cloth cloth;
extern int mouseMode;     ///< -1 none, 0 "Rotate", 1 "EndpointDist", 2 "Flap"
extern double viewAngle;  ///< rotation of the cloth about the vertical axis, degrees
extern GLenum drawMode;   ///< GL_SMOOTH: lit surface; GL_FLAT: wireframe
extern int dragStartX;
extern int dragStartY;
extern Vec3 mountVelocity0;  ///< added to mount (0, 0) every tick
extern Vec3 mountVelocity1;  ///< added to mount (0, 14) every tick
extern bool fullscreen;
extern double spinRate;  ///< degrees added to viewAngle every tick

/// Lights, projection and camera, material; builds the cloth and installs the controls.
void initScene();
/// Draws one frame and swaps buffers.
void display();
/// The frame loop: two steps, one frame, then the spin and the mounts move; re-arms itself.
void tick(int value);

}  // namespace vellumry
