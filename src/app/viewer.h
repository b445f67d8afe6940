#pragma once

#include <GL/gl.h>

#include <cstdint>

#include "cloth/cloth.h"
#include "collide/collider.h"
#include "math/vec3.h"
#include "scene/scene.h"

namespace vellumry {

inline constexpr double kClothWidth = 3.0;
inline constexpr int kClothGridSize = 15;
inline constexpr double kTimeStep = 0.05;
inline constexpr int kStepsPerTick = 2;
inline constexpr unsigned kTickMillis = 20;
/// The requested window size in pixels; also the yardstick of drag sensitivity, in full screen too.
inline constexpr int windowWidth = 500;
inline constexpr int windowHeight = 500;
/// The cloth's material, which anything else drawn puts back after it.
inline constexpr GLfloat kClothAmbient[] = {0.5f, 0.5f, 0.5f, 1.0f};
inline constexpr GLfloat kClothDiffuse[] = {0.0f, 1.0f, 0.8f, 1.0f};
/// How far the model transform lifts the cloth: the mount line's middle is this high above the
/// origin of the frame the view turns in.
inline constexpr double kViewLift = 2.5;
/// Farthest a held particle moves towards the pointer in one tick, in world units.
inline constexpr double kGrabStep = 0.2;
/// Farthest a held particle may lead its grid neighbours, in rest spacings.
inline constexpr double kGrabReach = 3.0;

/// A particle held by a Shift + left drag: pinned while held, pulled towards target every tick.
struct Grab {
  bool active = false;
  int particle = 0;        ///< pool index
  bool wasPinned = false;  ///< restored on release
  Vec3 target;             ///< cloth coordinates
};

/// How a frame and the window's size changes reach the screen: the GLUT window by default, or
/// the headless renderer.
struct Presenter {
  void (*present)();
  void (*fullScreen)();
  void (*reshapeWindow)(int width, int height);
};

extern Cloth cloth;
extern Collider collider;  ///< the cloth against itself and the solid
extern int mouseMode;      ///< -1 none, 0 "Rotate", 1 "EndpointDist", 2 "Flap"
extern double viewAngle;   ///< rotation of the cloth about the vertical axis, degrees
extern GLenum drawMode;    ///< GL_SMOOTH: lit surface; GL_FLAT: wireframe
extern int dragStartX;
extern int dragStartY;
extern Vec3 mountVelocity0;  ///< added to mount (0, 0) every tick
extern Vec3 mountVelocity1;  ///< added to mount (0, 14) every tick
extern bool fullscreen;
extern double spinRate;  ///< degrees added to viewAngle every tick
extern bool paused;      ///< no steps and no mount moves; frames and the spin go on
extern Grab grab;
extern std::uint64_t tickCount;  ///< ticks run since start-up
extern Presenter presenter;
extern Scene scene;        ///< the scene in force
extern int substeps;       ///< equal substeps of each of the scene's time steps
extern double tickWorkMs;  ///< the last tick's work in the window (steps, drawing), milliseconds
/// Milliseconds on a steady clock, which tick times itself by: steadyMillis, or a test's own.
extern double (*tickClock)();

/// Builds the cloth afresh, flat, from the scene in force.
void dropCloth();
/// Puts a checked scene in force: the cloth is built afresh when rebuild is set, otherwise
/// changed in place.
void applyScene(const Scene& next, bool rebuild);
/// Lights, projection and camera, material; builds the cloth and installs the controls.
void initScene();
/// The fixed GL state of initScene, without the cloth and the controls.
void initGlState();
/// Viewport and projection for a window of this size, camera included; leaves the projection
/// matrix current.
void setProjection(int width, int height);
/// The height in pixels of the viewport the projection was last set for (the window's before).
[[nodiscard]] int projectionHeight();
/// GLUT reshape callback: the picture keeps its shape in any window.
void reshape(int width, int height);
/// The cloth's model transform: lift, turn by viewAngle, centre the rows on the axis.
void applyModelTransform();
double steadyMillis();
/// What tick arms its timer for, once its work took elapsedMs since it started: 20 ms for the
/// program's own cloth and world (from any view), which times its ticks from the end of the work;
/// for any other what is left of the tick's 20 ms (whole milliseconds, at least 1), so that it
/// keeps 50 ticks a second.
[[nodiscard]] unsigned timerMillis(double elapsedMs);
/// Draws one frame and presents it, the projection set again first if the view has changed: the
/// program's own cloth and world in immediate mode, any other through arrays.
void display();
/// One tick's work: the scene's steps, one frame (unless draw is false), then the spin and the
/// mounts move.
void runTick(bool draw = true);
/// runTick in two halves, for a caller that takes the cloth as drawn between them: the steps,
/// then the spin, the mounts' moves and the count.
void stepTick();
void finishTick();
/// One tick's simulation alone: the steps and the mounts' moves (single step while paused).
void stepOnce();
/// The frame loop: runs the session's records due, a tick, and re-arms itself.
void tick(int value);

}  // namespace vellumry
