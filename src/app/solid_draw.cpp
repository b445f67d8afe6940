#include "app/solid_draw.h"

#include <cmath>

#include "app/viewer.h"

namespace vellumry {

namespace {

const Vec3& corner(const std::vector<Vec3>& points, std::int32_t index) {
  return points[static_cast<std::size_t>(index)];
}

void vertex(const Vec3& p) { glVertex3d(p.x, p.y, p.z); }

// Counter-clockwise corners face the normal (b - a) x (c - a).
void litTriangles(const std::vector<Vec3>& points,
                  const std::vector<std::array<std::int32_t, 3>>& triangles) {
  glBegin(GL_TRIANGLES);
  for (const auto& t : triangles) {
    const Vec3& a = corner(points, t[0]);
    const Vec3& b = corner(points, t[1]);
    const Vec3& c = corner(points, t[2]);
    const Vec3 n = cross(b - a, c - a);
    const double length = std::sqrt(n.lengthSquared());
    const Vec3 unit = length > 0.0 ? n / length : n;
    glNormal3d(unit.x, unit.y, unit.z);
    vertex(a);
    vertex(b);
    vertex(c);
  }
  glEnd();
}

// Each triangle's three edges; an edge two triangles share is drawn twice, over itself.
void edges(const std::vector<Vec3>& points,
           const std::vector<std::array<std::int32_t, 3>>& triangles) {
  glBegin(GL_LINES);
  for (const auto& t : triangles) {
    for (std::size_t k = 0; k < 3; ++k) {
      vertex(corner(points, t[k]));
      vertex(corner(points, t[(k + 1) % 3]));
    }
  }
  glEnd();
}

}  // namespace

void drawSolid(const std::vector<Vec3>& points,
               const std::vector<std::array<std::int32_t, 3>>& triangles, GLenum drawMode) {
  if (triangles.empty()) {
    return;
  }
  if (drawMode != GL_SMOOTH) {
    edges(points, triangles);
    return;
  }
  glMaterialfv(GL_FRONT_AND_BACK, GL_AMBIENT, kSolidAmbient);
  glMaterialfv(GL_FRONT_AND_BACK, GL_DIFFUSE, kSolidDiffuse);
  litTriangles(points, triangles);
  glMaterialfv(GL_FRONT_AND_BACK, GL_AMBIENT, kClothAmbient);
  glMaterialfv(GL_FRONT_AND_BACK, GL_DIFFUSE, kClothDiffuse);
}

}  // namespace vellumry
