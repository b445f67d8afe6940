#include "app/input.h"

#include <GL/gl.h>

#include <span>
#include <string>

#include "app/session_run.h"
#include "app/solids.h"
#include "app/step_ahead.h"
#include "app/viewer.h"

namespace vellumry {

namespace {

constexpr double kSpinPerWidth = 30.0;    // degrees per tick for a drag across the window
constexpr double kSpreadPerHeight = 0.2;  // mount z per tick for a drag down the window
constexpr double kFlapPerSize = 0.1;      // mount x and z per tick for a drag across it

void toggleFullscreen() {
  if (!fullscreen) {
    presenter.fullScreen();
  } else {
    presenter.reshapeWindow(windowWidth, windowHeight);
  }
  fullscreen = !fullscreen;
}

void toggleDrawMode() {
  if (drawMode == GL_SMOOTH) {
    glDisable(GL_LIGHTING);
    glDisable(GL_NORMALIZE);
    glPolygonMode(GL_FRONT_AND_BACK, GL_LINE);
    drawMode = GL_FLAT;
  } else {
    glEnable(GL_LIGHT0);
    glEnable(GL_LIGHT1);
    glEnable(GL_LIGHTING);
    drawMode = GL_SMOOTH;
  }
}

void letGo() {
  if (grab.active) {
    Particle& p = cloth.particles[grab.particle];
    p.pinned = grab.wasPinned;
    p.velocity = Vec3();  // it was moved by hand, not by the integrator
    grab.active = false;
  }
}

void applyMenu(int value) {
  switch (value) {
    case kMenuFullscreen:
      toggleFullscreen();
      break;
    case kMenuDrawMode:
      toggleDrawMode();
      break;
    case kMenuRedrop:
      // Rates stay as they are: a drag in progress keeps acting on the new cloth. A held particle
      // belonged to the old one.
      grab.active = false;
      dropCloth();
      break;
    default:
      mouseMode = value;
      break;
  }
}

// Rates follow the distance from the press point, not the last motion: holding the pointer still
// keeps things moving. Window y grows downwards.
void applyMotion(int x, int y) {
  // Differences in double: no integer overflow, whatever the coordinates.
  const double dx = static_cast<double>(x) - dragStartX;
  const double dy = static_cast<double>(y) - dragStartY;
  switch (mouseMode) {
    case kMenuRotate:
      spinRate = dx / windowWidth * kSpinPerWidth;
      break;
    case kMenuEndpointDist:
      mountVelocity0.z = dy / windowHeight * kSpreadPerHeight;
      mountVelocity1.z = -(dy / windowHeight * kSpreadPerHeight);
      break;
    case kMenuFlap:
      mountVelocity0.z = dx / windowWidth * kFlapPerSize;
      mountVelocity1.z = dx / windowWidth * kFlapPerSize;
      mountVelocity0.x = dy / windowHeight * kFlapPerSize;
      mountVelocity1.x = dy / windowHeight * kFlapPerSize;
      break;
    default:
      break;
  }
}

void applyGrab(int particle, const Vec3& target) {
  letGo();
  if (particle < 0 || particle >= cloth.particleCount || !isValidTarget(target)) {
    return;
  }
  Particle& p = cloth.particles[particle];
  grab = {true, particle, p.pinned, target};
  p.pinned = true;  // moved by the pull alone while held
}

// A change that would leave the scene out of range or unstable is ignored, live and replayed
// alike. Grid and width build the cloth afresh; the rest act on it at once.
void applySetting(int index, const Vec3& value) {
  const std::span<const Param> params = sceneParams();
  if (index < 0 || index >= static_cast<int>(params.size())) {
    return;
  }
  const Param& param = params[static_cast<std::size_t>(index)];
  Scene next = scene;
  param.set(next, value);
  std::string why;
  if (!inRange(param, value) || !checkScene(next, why)) {
    return;
  }
  if (changesOnlyPicture(param)) {
    // A new view is projected at the next frame. Only its own key is written: steps taken ahead
    // may be reading the rest of the scene.
    param.set(scene, value);
    return;
  }
  applyScene(next, param.rebuilds);
}

// The list acts when the cloth is next built: Redrop, or a change of grid or width.
void changePins(const Event& event) {
  PinList& pins = scene.pins;
  if (event.value == kPinsClear || event.value == kPinsMounts) {
    pins.mounts = event.value == kPinsMounts;
    pins.count = 0;
  } else if (event.value == kPinsAdd && pins.count < kMaxPins && event.x >= 0 &&
             event.x < kMaxGridSize && event.y >= 0 && event.y < kMaxGridSize) {
    if (pins.mounts) {
      pins.mounts = false;
      pins.count = 0;
    }
    pins.at[static_cast<std::size_t>(pins.count++)] = {static_cast<std::int16_t>(event.x),
                                                       static_cast<std::int16_t>(event.y)};
  }
}

}  // namespace

void applyEvent(const Event& event) {
  switch (event.kind) {
    case EventKind::kMenu:
      applyMenu(event.value);
      break;
    case EventKind::kPress:
      dragStartX = event.x;
      dragStartY = event.y;
      break;
    case EventKind::kRelease:
      // Everything stops moving; the view angle and mount positions reached so far remain.
      spinRate = 0.0;
      mountVelocity0 = Vec3();
      mountVelocity1 = Vec3();
      letGo();
      break;
    case EventKind::kMotion:
      applyMotion(event.x, event.y);
      break;
    case EventKind::kPause:
      paused = !paused;
      break;
    case EventKind::kStep:
      if (paused) {
        stepOnce();
      }
      break;
    case EventKind::kGrab:
      applyGrab(event.value, event.target);
      break;
    case EventKind::kPull:
      if (grab.active && isValidTarget(event.target)) {
        grab.target = event.target;
      }
      break;
    case EventKind::kSet:
      applySetting(event.value, event.target);
      break;
    case EventKind::kPin:
      if (!(grab.active && grab.particle == event.value)) {
        cloth.togglePin(event.value);
      }
      break;
    case EventKind::kCut:
      cloth.breakSpring(event.value);
      break;
    case EventKind::kPins:
      changePins(event);
      break;
    case EventKind::kMesh:
      useSolid(event.value);
      break;
  }
}

void submit(const Event& event) {
  if (replaying() || holdInput(event)) {
    return;
  }
  recordEvent(event);
  applyEvent(event);
}

}  // namespace vellumry
