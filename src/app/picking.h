#pragma once

#include <GL/gl.h>

#include "cloth/cloth.h"
#include "math/vec3.h"

namespace vellumry {

/// A particle is picked only if it is drawn within this many pixels of the pointer.
inline constexpr double kPickRadius = 20.0;

/// The viewport and matrices a frame is drawn with, cloth transform included.
struct ViewTransform {
  GLdouble model[16] = {};
  GLdouble projection[16] = {};
  GLint viewport[4] = {};
};

/// A picked particle and the window depth it is drawn at; particle -1 when none.
struct Pick {
  int particle = -1;
  GLdouble depth = 0.0;
};

/// The current viewport and projection, and the model transform at the current viewAngle.
ViewTransform currentView();
/// The particle drawn nearest the pointer (GLUT window pixels, y down), within kPickRadius.
Pick pickParticle(const Cloth& cloth, const ViewTransform& view, int x, int y);
/// The point under the pointer on the plane facing the camera at window depth `depth`, in cloth
/// coordinates; false if the view cannot be inverted.
bool pointerToCloth(const ViewTransform& view, int x, int y, GLdouble depth, Vec3& point);

}  // namespace vellumry
