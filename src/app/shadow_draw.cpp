#include "app/shadow_draw.h"

#include <algorithm>
#include <cmath>
#include <numbers>

#include "app/camera.h"
#include "app/viewer.h"
#include "app/world_draw.h"

namespace vellumry {

namespace {

constexpr std::size_t kDiscSegments = 32;

// A finer cloth casts the shadow of a coarser grid over its own particles, every step-th row and
// column and always the last: its outline keeps within a fraction of a spacing of the cloth's,
// for a fraction of the triangles.
constexpr std::size_t kShadowCells = 32;  // most cells a side
constexpr std::size_t kMostShadowIndices = 2 * (kShadowCells + 2) * (kShadowCells + 2);
std::array<GLuint, kMostShadowIndices> shadowStrip{};
int shadowCount = 0;
int shadowGrid = 0;  // the grid shadowStrip was made for

int coarse(int k, int step, int n) { return std::min(k * step, n - 1); }

// One strip over the coarse grid's rows, joined by repeating a vertex at each end.
void makeShadowStrip(int n) {
  const int most = static_cast<int>(kShadowCells);
  const int step = (n - 1 + most - 1) / most;
  const int cells = (n - 1 + step - 1) / step;
  shadowCount = 0;
  for (int r = 0; r < cells; ++r) {
    const int row = coarse(r, step, n);
    const int next = coarse(r + 1, step, n);
    for (int c = 0; c <= cells; ++c) {
      const int column = coarse(c, step, n);
      if (c == 0 && r > 0) {
        shadowStrip[static_cast<std::size_t>(shadowCount++)] = column + n * row;
      }
      shadowStrip[static_cast<std::size_t>(shadowCount++)] = column + n * row;
      shadowStrip[static_cast<std::size_t>(shadowCount++)] = column + n * next;
    }
    shadowStrip[static_cast<std::size_t>(shadowCount)] = shadowStrip[shadowCount - 1];
    ++shadowCount;
  }
  shadowGrid = n;
}

void clothShadow(const Cloth& cloth) {
  const bool torn = cloth.brokenCount > 0;
  if (!torn && shadowGrid != cloth.gridSize) {
    makeShadowStrip(cloth.gridSize);
  }
  const int count = torn ? cloth.mesh.triangleCount : shadowCount;
  if (count == 0 || cloth.gridSize < 2) {
    return;
  }
  glEnableClientState(GL_VERTEX_ARRAY);
  glVertexPointer(3, GL_DOUBLE, sizeof(Particle), &cloth.particles[0].position);
  glDrawElements(torn ? GL_TRIANGLES : GL_TRIANGLE_STRIP, count, GL_UNSIGNED_INT,
                 torn ? cloth.mesh.triangles.data() : shadowStrip.data());
  glDisableClientState(GL_VERTEX_ARRAY);
}

// Straight down, a sphere's shadow is the disc of its radius under its centre: a fan about the
// centre of the unit circle's points, made once.
void ballShadow(const Ball& ball) {
  static const auto disc = [] {
    std::array<GLdouble, 3 * (kDiscSegments + 2)> points{};
    for (std::size_t i = 0; i <= kDiscSegments; ++i) {
      const double a = 2.0 * std::numbers::pi * static_cast<double>(i % kDiscSegments) /
                       static_cast<double>(kDiscSegments);
      points[3 * (i + 1)] = std::cos(a);
      points[3 * (i + 1) + 2] = std::sin(a);
    }
    return points;
  }();
  glPushMatrix();
  glTranslated(ball.centre.x, 0.0, ball.centre.z);
  glScaled(ball.radius, 1.0, ball.radius);
  glEnableClientState(GL_VERTEX_ARRAY);
  glVertexPointer(3, GL_DOUBLE, 0, disc.data());
  glDrawArrays(GL_TRIANGLE_FAN, 0, static_cast<GLsizei>(kDiscSegments + 2));
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

// Whether every particle lies over the floor's square: then nothing need be clipped.
bool overFloor(const Cloth& cloth, double low, double high) {
  for (int j = 0; j < cloth.particleCount; ++j) {
    const Vec3& p = cloth.particles[static_cast<std::size_t>(j)].position;
    if (!(p.x >= low && p.x <= high && p.z >= low && p.z <= high)) {
      return false;
    }
  }
  return true;
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
  // Clip planes cost every triangle a test: only when the cloth or the ball reaches past the
  // floor, or there is a solid.
  const Ball& ball = scene.world.ball;
  const double centre = 0.5 * cloth.width;
  const double low = centre - kFloorHalfSize;
  const double high = centre + kFloorHalfSize;
  const bool ballInside =
      !ball.enabled || (ball.centre.x - ball.radius >= low && ball.centre.x + ball.radius <= high &&
                        ball.centre.z - ball.radius >= low && ball.centre.z + ball.radius <= high);
  const bool clipped = !solidTriangles.empty() || !ballInside || !overFloor(cloth, low, high);
  if (clipped) {
    clipToFloor(centre);
  }
  glPushMatrix();
  // Every point dropped onto the floor: y becomes the floor's height.
  glTranslated(0.0, floor.height, 0.0);
  glScaled(1.0, 0.0, 1.0);
  clothShadow(cloth);
  if (ball.enabled && ball.centre.y + ball.radius > floor.height) {
    ballShadow(ball);
  }
  solidShadow(solidPoints, solidTriangles);
  glPopMatrix();
  for (int i = 0; clipped && i < 4; ++i) {
    glDisable(static_cast<GLenum>(GL_CLIP_PLANE0 + i));
  }
  glDisable(GL_POLYGON_OFFSET_FILL);
  glColor3f(1.0f, 1.0f, 1.0f);
  glEnable(GL_LIGHTING);
}

}  // namespace vellumry
