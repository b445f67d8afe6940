#include "app/picking.h"

#include <GL/glu.h>

#include <algorithm>
#include <cmath>
#include <vector>

#include "app/viewer.h"

namespace vellumry {

namespace {

// GLUT counts rows from the top and names a pixel by its corner; GL counts from the bottom.
// Returns the pixel's centre in GL window coordinates.
void windowPoint(const ViewTransform& view, int x, int y, GLdouble& wx, GLdouble& wy) {
  wx = static_cast<GLdouble>(x) + 0.5;
  wy = static_cast<GLdouble>(view.viewport[1]) + view.viewport[3] - static_cast<GLdouble>(y) - 0.5;
}

struct WindowPoint {
  double x = 0.0;
  double y = 0.0;
  bool drawn = false;
};

// Each particle's place in the window, found once for a whole cut.
std::vector<WindowPoint> drawnAt;

double dot(const Vec3& a, const Vec3& b) { return a.x * b.x + a.y * b.y + a.z * b.z; }

// Which side of the line through a and b the point c lies on; on the line counts as the right.
bool leftOf(const WindowPoint& a, const WindowPoint& b, const WindowPoint& c) {
  return (b.x - a.x) * (c.y - a.y) - (b.y - a.y) * (c.x - a.x) > 0.0;
}

// Each segment's ends lie on opposite sides of the other's line.
bool segmentsCross(const WindowPoint& a, const WindowPoint& b, const WindowPoint& c,
                   const WindowPoint& d) {
  return leftOf(a, b, c) != leftOf(a, b, d) && leftOf(c, d, a) != leftOf(c, d, b);
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

bool windowDepth(const ViewTransform& view, const Vec3& p, GLdouble& depth) {
  GLdouble wx = 0.0;
  GLdouble wy = 0.0;
  return gluProject(p.x, p.y, p.z, view.model, view.projection, view.viewport, &wx, &wy, &depth) ==
             GL_TRUE &&
         depth >= 0.0 && depth <= 1.0;
}

// The ray runs from the near plane to the far one: |near + t (far - near) - centre| = radius.
bool pointerOnBall(const ViewTransform& view, int x, int y, const Vec3& centre, double radius,
                   GLdouble& depth) {
  Vec3 nearPoint;
  Vec3 farPoint;
  if (!pointerToCloth(view, x, y, 0.0, nearPoint) || !pointerToCloth(view, x, y, 1.0, farPoint)) {
    return false;
  }
  const Vec3 d = farPoint - nearPoint;
  const Vec3 m = nearPoint - centre;
  const double a = dot(d, d);
  const double b = dot(m, d);
  const double c = dot(m, m) - radius * radius;
  const double disc = b * b - a * c;
  if (!(a > 0.0) || disc < 0.0) {
    return false;
  }
  double t = (-b - std::sqrt(disc)) / a;
  if (t < 0.0) {
    t = (-b + std::sqrt(disc)) / a;  // the near plane cuts the ball
  }
  if (!(t >= 0.0 && t <= 1.0)) {
    return false;
  }
  Vec3 hit = nearPoint;
  hit += t * d;
  return windowDepth(view, hit, depth);
}

void reserveCutting() { drawnAt.resize(static_cast<std::size_t>(kMaxGridSize) * kMaxGridSize); }

void crossedSprings(const Cloth& cloth, const ViewTransform& view, int x0, int y0, int x1, int y1,
                    void (*cut)(int spring)) {
  if (x0 == x1 && y0 == y1) {
    return;
  }
  WindowPoint from;
  WindowPoint to;
  windowPoint(view, x0, y0, from.x, from.y);
  windowPoint(view, x1, y1, to.x, to.y);
  const int count = std::min(cloth.particleCount, static_cast<int>(drawnAt.size()));
  for (int j = 0; j < count; ++j) {
    const Vec3& p = cloth.particles[static_cast<std::size_t>(j)].position;
    WindowPoint& w = drawnAt[static_cast<std::size_t>(j)];
    GLdouble wz = 0.0;
    w.drawn = gluProject(p.x, p.y, p.z, view.model, view.projection, view.viewport, &w.x, &w.y,
                         &wz) == GL_TRUE &&
              wz >= 0.0 && wz <= 1.0;
  }
  const Particle* first = cloth.particles.data();
  for (int s = 0; s < cloth.springCount; ++s) {
    const Spring& spring = cloth.springs[static_cast<std::size_t>(s)];
    const auto a = static_cast<int>(spring.particleA - first);
    const auto b = static_cast<int>(spring.particleB - first);
    if (cloth.broken[static_cast<std::size_t>(s)] != 0 || a >= count || b >= count) {
      continue;
    }
    const WindowPoint& pa = drawnAt[static_cast<std::size_t>(a)];
    const WindowPoint& pb = drawnAt[static_cast<std::size_t>(b)];
    if (pa.drawn && pb.drawn && segmentsCross(from, to, pa, pb)) {
      cut(s);
    }
  }
}

bool pointerToCloth(const ViewTransform& view, int x, int y, GLdouble depth, Vec3& point) {
  GLdouble wx = 0.0;
  GLdouble wy = 0.0;
  windowPoint(view, x, y, wx, wy);
  return gluUnProject(wx, wy, depth, view.model, view.projection, view.viewport, &point.x, &point.y,
                      &point.z) == GL_TRUE;
}

}  // namespace vellumry
