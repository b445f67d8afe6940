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
/// The window depth the point (cloth coordinates) is drawn at; false if behind the camera or
/// clipped away.
bool windowDepth(const ViewTransform& view, const Vec3& p, GLdouble& depth);
/// The window depth at which the ray under the pointer first meets the ball; false if it misses.
bool pointerOnBall(const ViewTransform& view, int x, int y, const Vec3& centre, double radius,
                   GLdouble& depth);

/// Makes room for the window positions of the largest cloth, so that a cut allocates nothing.
void reserveCutting();
/// Calls cut with the pool index of every spring not broken whose drawn segment the pointer's
/// path from (x0, y0) to (x1, y1) crosses (GLUT window pixels), in pool order.
void crossedSprings(const Cloth& cloth, const ViewTransform& view, int x0, int y0, int x1, int y1,
                    void (*cut)(int spring));

}  // namespace vellumry
