#include "app/world_draw.h"

#include <GL/glu.h>

#include "app/shadow_draw.h"
#include "app/viewer.h"

namespace vellumry {

namespace {

constexpr int kBallSlices = 32;
constexpr int kBallStacks = 16;
constexpr GLfloat kBallAmbient[] = {0.35f, 0.33f, 0.3f, 1.0f};
constexpr GLfloat kBallDiffuse[] = {0.75f, 0.68f, 0.6f, 1.0f};  // a warm grey
constexpr GLfloat kLightTile[] = {0.55f, 0.55f, 0.55f, 1.0f};
constexpr GLfloat kDarkTile[] = {0.25f, 0.25f, 0.25f, 1.0f};
// Depth offset of the floor: its slope times the factor, plus units of the depth buffer; twice
// the shadows' offset, so that they lie between it and a cloth lying on it.
constexpr GLfloat kFloorOffsetFactor = 2.0f * kShadowOffset;
constexpr GLfloat kFloorOffsetUnits = 2.0f * kShadowOffset;

// Made at the first ball drawn, kept for the program's life.
GLUquadric* sphere = nullptr;

void useMaterial(const GLfloat* ambient, const GLfloat* diffuse) {
  glMaterialfv(GL_FRONT_AND_BACK, GL_AMBIENT, ambient);
  glMaterialfv(GL_FRONT_AND_BACK, GL_DIFFUSE, diffuse);
}

void drawBall(const Ball& ball, bool lit) {
  if (sphere == nullptr) {
    sphere = gluNewQuadric();
  }
  if (lit) {
    useMaterial(kBallAmbient, kBallDiffuse);
  }
  glPushMatrix();
  glTranslated(ball.centre.x, ball.centre.y, ball.centre.z);
  gluSphere(sphere, ball.radius, kBallSlices, kBallStacks);
  glPopMatrix();
}

// The tiles of one colour of the checker (parity 0 or 1), wound counter-clockwise seen from above.
void drawTiles(double height, double centre, int parity) {
  constexpr double kTile = 2.0 * kFloorHalfSize / kFloorTiles;
  const double start = centre - kFloorHalfSize;
  glBegin(GL_QUADS);
  glNormal3d(0.0, 1.0, 0.0);
  for (int i = 0; i < kFloorTiles; ++i) {
    for (int k = 0; k < kFloorTiles; ++k) {
      if ((i + k) % 2 != parity) {
        continue;
      }
      const double x0 = start + i * kTile;
      const double z0 = start + k * kTile;
      glVertex3d(x0, height, z0);
      glVertex3d(x0, height, z0 + kTile);
      glVertex3d(x0 + kTile, height, z0 + kTile);
      glVertex3d(x0 + kTile, height, z0);
    }
  }
  glEnd();
}

// Lit: a checker of two greys; wireframe: every tile's outline. Its depths are pushed back a
// little, so that a cloth lying in its plane hides it instead of flickering with its checker.
void drawFloor(const Floor& floor, double centre, bool lit) {
  glEnable(GL_POLYGON_OFFSET_FILL);
  glPolygonOffset(kFloorOffsetFactor, kFloorOffsetUnits);
  if (lit) {
    useMaterial(kLightTile, kLightTile);
  } else {
    glPolygonMode(GL_FRONT_AND_BACK, GL_LINE);  // the cloth's wireframe leaves polygons filled
  }
  drawTiles(floor.height, centre, 0);
  if (lit) {
    useMaterial(kDarkTile, kDarkTile);
  }
  drawTiles(floor.height, centre, 1);
  if (!lit) {
    glPolygonMode(GL_FRONT_AND_BACK, GL_FILL);
  }
  glDisable(GL_POLYGON_OFFSET_FILL);
}

}  // namespace

void drawWorld(const World& world, double clothWidth, GLenum drawMode) {
  if (!world.ball.enabled && !world.floor.enabled) {
    return;
  }
  const bool lit = drawMode == GL_SMOOTH;
  if (world.floor.enabled) {
    drawFloor(world.floor, 0.5 * clothWidth, lit);
  }
  if (world.ball.enabled) {
    drawBall(world.ball, lit);
  }
  if (lit) {
    useMaterial(kClothAmbient, kClothDiffuse);
  }
}

}  // namespace vellumry
