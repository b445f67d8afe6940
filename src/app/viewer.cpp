#include "app/viewer.h"

#include <GL/glu.h>
#include <GL/glut.h>

#include "app/controls.h"

namespace vellumry {

Cloth cloth;
int mouseMode = -1;
double viewAngle = -80.0;
GLenum drawMode = GL_SMOOTH;
int dragStartX = 0;
int dragStartY = 0;
Vec3 mountVelocity0;
Vec3 mountVelocity1;
bool fullscreen = false;
double spinRate = 0.0;

namespace {

constexpr GLfloat kLight0Diffuse[] = {1.0f, 1.0f, 1.0f, 1.0f};
constexpr GLfloat kLight0Position[] = {0.0f, 3.0f, -10.0f, 1.0f};
constexpr GLfloat kLight1Diffuse[] = {1.0f, 1.0f, 1.0f, 1.0f};
constexpr GLfloat kLight1Position[] = {0.0f, -3.0f, 10.0f, 1.0f};
constexpr GLfloat kMaterialAmbient[] = {0.5f, 0.5f, 0.5f, 1.0f};
constexpr GLfloat kMaterialDiffuse[] = {0.0f, 1.0f, 0.8f, 1.0f};

constexpr int kLastRow = kClothGridSize - 1;  // row of the second mount

}  // namespace

void initScene() {
  // The modelview is still the identity: the lights stay put while the cloth turns.
  glLightfv(GL_LIGHT0, GL_DIFFUSE, kLight0Diffuse);
  glLightfv(GL_LIGHT0, GL_POSITION, kLight0Position);
  glLightfv(GL_LIGHT1, GL_DIFFUSE, kLight1Diffuse);
  glLightfv(GL_LIGHT1, GL_POSITION, kLight1Position);
  glEnable(GL_LIGHT0);
  glEnable(GL_LIGHT1);
  glEnable(GL_LIGHTING);
  glEnable(GL_DEPTH_TEST);

  // The camera lives in the projection matrix; the modelview holds only the cloth's transform.
  glMatrixMode(GL_PROJECTION);
  glLoadIdentity();
  gluPerspective(30.0, static_cast<double>(windowWidth) / windowHeight, 1.0, 100.0);
  glViewport(0, 0, windowWidth, windowHeight);
  gluLookAt(0.0, 0.0, -13.0, 0.0, 0.0, 0.0, 0.0, 1.0, 0.0);
  glClearColor(0.0f, 0.0f, 0.0f, 0.0f);
  glMatrixMode(GL_MODELVIEW);

  glMaterialfv(GL_FRONT_AND_BACK, GL_AMBIENT, kMaterialAmbient);
  glMaterialfv(GL_FRONT_AND_BACK, GL_DIFFUSE, kMaterialDiffuse);

  cloth.build(kClothWidth, kClothGridSize);
  installControls();
}

void display() {
  glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
  glPushMatrix();
  // Lift the cloth, turn it, and centre its rows (z from 0 to 3) on the turning axis.
  glTranslated(0.0, 2.5, 0.0);
  glRotated(viewAngle, 0.0, 1.0, 0.0);
  glTranslated(0.0, 0.0, -1.5);
  if (drawMode == GL_FLAT) {
    cloth.drawWireframe();
  } else if (drawMode == GL_SMOOTH) {
    cloth.drawShaded();
  }
  glPopMatrix();
  glutSwapBuffers();
}

void tick(int /*value*/) {
  for (int i = 0; i < kStepsPerTick; ++i) {
    cloth.step(kTimeStep);
  }
  display();
  viewAngle += spinRate;
  cloth.particleAt(0, 0).position += mountVelocity0;
  cloth.particleAt(0, kLastRow).position += mountVelocity1;
  // Re-armed after the work, so a slow frame stretches the period rather than queueing ticks.
  glutTimerFunc(kTickMillis, tick, 0);
}

}  // namespace vellumry
