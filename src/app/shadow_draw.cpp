#include "app/shadow_draw.h"

#include <cmath>
#include <numbers>

#include "app/camera.h"
#include "app/viewer.h"
#include "app/world_draw.h"

namespace vellumry {

namespace {

constexpr int kDiscSegments = 32;

void clothShadow(const Cloth& cloth) {
  const ClothMesh& mesh = cloth.mesh;
  const bool torn = cloth.brokenCount > 0;
  const int count = torn ? mesh.triangleCount : mesh.stripCount;
  if (count == 0) {
    return;
  }
  glEnableClientState(GL_VERTEX_ARRAY);
  glVertexPointer(3, GL_DOUBLE, sizeof(Particle), &cloth.particles[0].position);
  glDrawElements(torn ? GL_TRIANGLES : GL_TRIANGLE_STRIP, count, GL_UNSIGNED_INT,
                 torn ? mesh.triangles.data() : mesh.strip.data());
  glDisableClientState(GL_VERTEX_ARRAY);
}

// Straight down, a sphere's shadow is the disc of its radius under its centre: a fan about the
// centre of the unit circle's points, made once.
void ballShadow(const Ball& ball) {
  static const auto disc = [] {
    std::array<GLdouble, 3 * (kDiscSegments + 2)> points{};
    for (int i = 0; i <= kDiscSegments; ++i) {
      const double a = 2.0 * std::numbers::pi * (i % kDiscSegments) / kDiscSegments;
      points[static_cast<std::size_t>(3 * (i + 1))] = std::cos(a);
      points[static_cast<std::size_t>(3 * (i + 1) + 2)] = std::sin(a);
    }
    return points;
  }();
  glPushMatrix();
  glTranslated(ball.centre.x, 0.0, ball.centre.z);
  glScaled(ball.radius, 1.0, ball.radius);
  glEnableClientState(GL_VERTEX_ARRAY);
  glVertexPointer(3, GL_DOUBLE, 0, disc.data());
  glDrawArrays(GL_TRIANGLE_FAN, 0, kDiscSegments + 2);
  glDisableClientState(GL_VERTEX_ARRAY);
  glPopMatrix();
}

void solidShadow(const std::vector<Vec3>& points,
                 const std::vector<std::array<std::int32_t, 3>>& triangles) {
  if (triangles.empty()) {
    return;
  }
  static_assert(sizeof(Vec3) == 3 * sizeof(double) && sizeof(triangles[0]) == 3 * sizeof(GLuint));
  glEnableClientState(GL_VERTEX_ARRAY);
  glVertexPointer(3, GL_DOUBLE, 0, points.data());
  glDrawElements(GL_TRIANGLES, static_cast<GLsizei>(3 * triangles.size()), GL_UNSIGNED_INT,
                 triangles.data());
  glDisableClientState(GL_VERTEX_ARRAY);
}

// The floor's square, x and z from centre - kFloorHalfSize to centre + kFloorHalfSize.
void clipToFloor(double centre) {
  const double low = centre - kFloorHalfSize;
  const double high = centre + kFloorHalfSize;
  const GLdouble planes[4][4] = {
      {1.0, 0.0, 0.0, -low}, {-1.0, 0.0, 0.0, high}, {0.0, 0.0, 1.0, -low}, {0.0, 0.0, -1.0, high}};
  for (int i = 0; i < 4; ++i) {
    glClipPlane(static_cast<GLenum>(GL_CLIP_PLANE0 + i), planes[i]);
    glEnable(static_cast<GLenum>(GL_CLIP_PLANE0 + i));
  }
}

}  // namespace

void drawShadows(const Scene& scene, const Cloth& cloth, const std::vector<Vec3>& solidPoints,
                 const std::vector<std::array<std::int32_t, 3>>& solidTriangles, GLenum drawMode) {
  const Floor& floor = scene.world.floor;
  if (drawMode != GL_SMOOTH || !floor.enabled || eyeOf(scene.view).y <= floor.height + kViewLift) {
    return;
  }
  glDisable(GL_LIGHTING);
  glColor3fv(kShadowColour);
  glEnable(GL_POLYGON_OFFSET_FILL);
  glPolygonOffset(kShadowOffset, kShadowOffset);
  clipToFloor(0.5 * cloth.width);
  glPushMatrix();
  // Every point dropped onto the floor: y becomes the floor's height.
  glTranslated(0.0, floor.height, 0.0);
  glScaled(1.0, 0.0, 1.0);
  clothShadow(cloth);
  const Ball& ball = scene.world.ball;
  if (ball.enabled && ball.centre.y + ball.radius > floor.height) {
    ballShadow(ball);
  }
  solidShadow(solidPoints, solidTriangles);
  glPopMatrix();
  for (int i = 0; i < 4; ++i) {
    glDisable(static_cast<GLenum>(GL_CLIP_PLANE0 + i));
  }
  glDisable(GL_POLYGON_OFFSET_FILL);
  glColor3f(1.0f, 1.0f, 1.0f);
  glEnable(GL_LIGHTING);
}

}  // namespace vellumry
