#include "app/camera.h"

#include <GL/gl.h>
#include <GL/glu.h>

#include <algorithm>
#include <cmath>
#include <numbers>

namespace vellumry {

namespace {

constexpr double kNear = 1.0;
constexpr double kFar = 100.0;
constexpr double kMostTarget = 100.0;  // the range of view.target

double radians(double degrees) { return degrees * (std::numbers::pi / 180.0); }

// From the target towards the camera: azimuth 0 and elevation 0 look along +z.
Vec3 towardsEye(const View& view) {
  const double a = radians(view.azimuth);
  const double e = radians(std::clamp(view.elevation, -kMaxElevation, kMaxElevation));
  return {std::sin(a) * std::cos(e), std::sin(e), -(std::cos(a) * std::cos(e))};
}

double wrapped(double degrees) { return std::remainder(degrees, 360.0); }

}  // namespace

Vec3 eyeOf(const View& view) {
  Vec3 eye = view.target;
  eye += view.distance * towardsEye(view);
  return eye;
}

void applyCamera(const View& view, int width, int height) {
  glMatrixMode(GL_PROJECTION);
  glLoadIdentity();
  gluPerspective(view.fov, static_cast<double>(width) / height, kNear, kFar);
  glViewport(0, 0, width, height);
  const Vec3 eye = eyeOf(view);
  const Vec3& t = view.target;
  gluLookAt(eye.x, eye.y, eye.z, t.x, t.y, t.z, 0.0, 1.0, 0.0);
}

// The default camera's right is -x, its up y and its forward z.
Vec3 lightFor(const View& view, const Vec3& placed) {
  const double a = radians(view.azimuth);
  const Vec3 forward = -towardsEye(view);
  const Vec3 right(-std::cos(a), 0.0, -std::sin(a));
  Vec3 p = view.target;
  p += -placed.x * right;
  p += placed.y * cross(right, forward);
  p += placed.z * forward;
  return p;
}

View orbited(View view, double dx, double dy) {
  view.azimuth = wrapped(view.azimuth + dx * kOrbitPerPixel);
  view.elevation = std::clamp(view.elevation + dy * kOrbitPerPixel, -kMaxElevation, kMaxElevation);
  return view;
}

View panned(View view, double dx, double dy, int height) {
  const double a = radians(view.azimuth);
  const Vec3 right(-std::cos(a), 0.0, -std::sin(a));
  const Vec3 up = cross(right, -towardsEye(view));
  const double perPixel =
      2.0 * view.distance * std::tan(radians(view.fov) / 2.0) / std::max(height, 1);
  Vec3& t = view.target;
  t += (-dx * perPixel) * right;
  t += (dy * perPixel) * up;
  t = {std::clamp(t.x, -kMostTarget, kMostTarget), std::clamp(t.y, -kMostTarget, kMostTarget),
       std::clamp(t.z, -kMostTarget, kMostTarget)};
  return view;
}

View zoomed(View view, int notches) {
  for (int i = 0; i < notches; ++i) {
    view.distance *= kZoomPerNotch;
  }
  for (int i = 0; i > notches; --i) {
    view.distance /= kZoomPerNotch;
  }
  view.distance = std::clamp(view.distance, kMinViewDistance, kMaxViewDistance);
  return view;
}

}  // namespace vellumry
