#include "app/picking.h"

#include <GL/glu.h>

#include "app/viewer.h"

namespace vellumry {

namespace {

// GLUT counts rows from the top and names a pixel by its corner; GL counts from the bottom.
// Returns the pixel's centre in GL window coordinates.
void windowPoint(const ViewTransform& view, int x, int y, GLdouble& wx, GLdouble& wy) {
  wx = static_cast<GLdouble>(x) + 0.5;
  wy = static_cast<GLdouble>(view.viewport[1]) + view.viewport[3] - static_cast<GLdouble>(y) - 0.5;
}

}  // namespace

ViewTransform currentView() {
  ViewTransform view;
  glGetIntegerv(GL_VIEWPORT, view.viewport);
  glGetDoublev(GL_PROJECTION_MATRIX, view.projection);
  glPushMatrix();
  glLoadIdentity();
  applyModelTransform();
  glGetDoublev(GL_MODELVIEW_MATRIX, view.model);
  glPopMatrix();
  return view;
}

Pick pickParticle(const Cloth& cloth, const ViewTransform& view, int x, int y) {
  GLdouble px = 0.0;
  GLdouble py = 0.0;
  windowPoint(view, x, y, px, py);
  Pick best;
  double bestDistance = 0.0;
  for (int j = 0; j < cloth.particleCount; ++j) {
    const Vec3& p = cloth.particles[j].position;
    GLdouble wx = 0.0;
    GLdouble wy = 0.0;
    GLdouble wz = 0.0;
    if (gluProject(p.x, p.y, p.z, view.model, view.projection, view.viewport, &wx, &wy, &wz) !=
            GL_TRUE ||
        !(wz >= 0.0 && wz <= 1.0)) {
      continue;  // behind the camera or clipped away: not drawn
    }
    const double distance = (wx - px) * (wx - px) + (wy - py) * (wy - py);
    if (distance > kPickRadius * kPickRadius) {
      continue;
    }
    // Nearest on screen; of two drawn at the same place, the one in front.
    if (best.particle < 0 || distance < bestDistance ||
        (distance == bestDistance && wz < best.depth)) {
      bestDistance = distance;
      best = {j, wz};
    }
  }
  return best;
}

bool pointerToCloth(const ViewTransform& view, int x, int y, GLdouble depth, Vec3& point) {
  GLdouble wx = 0.0;
  GLdouble wy = 0.0;
  windowPoint(view, x, y, wx, wy);
  return gluUnProject(wx, wy, depth, view.model, view.projection, view.viewport, &point.x, &point.y,
                      &point.z) == GL_TRUE;
}

}  // namespace vellumry
