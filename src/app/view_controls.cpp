#include "app/view_controls.h"

#include <GL/freeglut.h>

#include <cstdint>

#include "app/camera.h"
#include "app/input.h"
#include "app/viewer.h"

namespace vellumry {

namespace {

// Without a wheel callback freeglut reports the wheel as these two buttons.
constexpr int kWheelUp = 3;
constexpr int kWheelDown = 4;

enum class ViewDrag : std::uint8_t { kNone, kOrbit, kPan };
ViewDrag drag = ViewDrag::kNone;
int lastX = 0;
int lastY = 0;
View homeView;

Vec3 number(double v) { return {v, 0.0, 0.0}; }

void sendIf(bool differs, const char* key, const Vec3& value) {
  if (differs) {
    submit(setEvent(findParam(key), value));
  }
}

// One recorded change of each view key that differs from the view in force.
void sendView(const View& next) {
  const View& now = scene.view;
  sendIf(next.azimuth != now.azimuth, "view.azimuth", number(next.azimuth));
  sendIf(next.elevation != now.elevation, "view.elevation", number(next.elevation));
  sendIf(next.distance != now.distance, "view.distance", number(next.distance));
  const Vec3& a = next.target;
  const Vec3& b = now.target;
  sendIf(a.x != b.x || a.y != b.y || a.z != b.z, "view.target", a);
  sendIf(next.fov != now.fov, "view.fov", number(next.fov));
}

}  // namespace

void rememberHomeView() { homeView = scene.view; }

bool viewMouse(int button, int state, int x, int y) {
  if (button == kWheelUp || button == kWheelDown) {
    if (state == GLUT_DOWN) {
      sendView(zoomed(scene.view, button == kWheelUp ? 1 : -1));
    }
    return true;
  }
  if (button != GLUT_MIDDLE_BUTTON) {
    return false;
  }
  const bool shift = (glutGetModifiers() & GLUT_ACTIVE_SHIFT) != 0;
  drag = state != GLUT_DOWN ? ViewDrag::kNone : shift ? ViewDrag::kPan : ViewDrag::kOrbit;
  lastX = x;
  lastY = y;
  return true;
}

void viewMotion(int x, int y) {
  if (drag == ViewDrag::kNone) {
    return;
  }
  const double dx = static_cast<double>(x) - lastX;
  const double dy = static_cast<double>(y) - lastY;
  lastX = x;
  lastY = y;
  sendView(drag == ViewDrag::kOrbit ? orbited(scene.view, dx, dy)
                                    : panned(scene.view, dx, dy, projectionHeight()));
}

bool viewSpecial(int key) {
  const bool shift = (glutGetModifiers() & GLUT_ACTIVE_SHIFT) != 0;
  const int height = projectionHeight();
  const double pan = kPanPerKey * height;
  const double turn = kOrbitPerKey / kOrbitPerPixel;
  const View& v = scene.view;
  // The arrows move the camera: round the target, or with Shift across the view, target and all.
  switch (key) {
    case GLUT_KEY_LEFT:
      sendView(shift ? panned(v, pan, 0.0, height) : orbited(v, turn, 0.0));
      return true;
    case GLUT_KEY_RIGHT:
      sendView(shift ? panned(v, -pan, 0.0, height) : orbited(v, -turn, 0.0));
      return true;
    case GLUT_KEY_UP:
      sendView(shift ? panned(v, 0.0, pan, height) : orbited(v, 0.0, turn));
      return true;
    case GLUT_KEY_DOWN:
      sendView(shift ? panned(v, 0.0, -pan, height) : orbited(v, 0.0, -turn));
      return true;
    case GLUT_KEY_PAGE_UP:
    case GLUT_KEY_PAGE_DOWN:
      sendView(zoomed(v, key == GLUT_KEY_PAGE_UP ? 1 : -1));
      return true;
    case GLUT_KEY_HOME:
      sendView(homeView);
      return true;
    default:
      return false;
  }
}

bool viewKey(unsigned char key) {
  if (key != '+' && key != '=' && key != '-') {
    return false;
  }
  sendView(zoomed(scene.view, key == '-' ? -1 : 1));
  return true;
}

}  // namespace vellumry
