#include "app/viewer.h"

#include <GL/freeglut.h>
#include <GL/glu.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cmath>

#include "app/camera.h"
#include "app/cloth_look.h"
#include "app/controls.h"
#include "app/panel_hook.h"
#include "app/session_run.h"
#include "app/shadow_draw.h"
#include "app/solid_draw.h"
#include "app/solids.h"
#include "app/step_ahead.h"
#include "app/world_draw.h"
#include "world/collide_step.h"

namespace vellumry {

Cloth cloth;
Collider collider;
int mouseMode = -1;
double viewAngle = -80.0;
GLenum drawMode = GL_SMOOTH;
int dragStartX = 0;
int dragStartY = 0;
Vec3 mountVelocity0;
Vec3 mountVelocity1;
bool fullscreen = false;
double spinRate = 0.0;
bool paused = false;
Grab grab;
std::uint64_t tickCount = 0;
Presenter presenter = {glutSwapBuffers, glutFullScreen, glutReshapeWindow};
Scene scene;
int substeps = 1;
double tickWorkMs = 0.0;
double (*tickClock)() = steadyMillis;

namespace {

// The viewport of the last projection set; 0 before the first.
int projectedWidth = 0;
int projectedHeight = 0;
View projectedView;  // the view the projection was last set for

constexpr GLfloat kLight0Diffuse[] = {1.0f, 1.0f, 1.0f, 1.0f};
constexpr GLfloat kLight0Position[] = {0.0f, 3.0f, -10.0f, 1.0f};
constexpr GLfloat kLight1Diffuse[] = {1.0f, 1.0f, 1.0f, 1.0f};
constexpr GLfloat kLight1Position[] = {0.0f, -3.0f, 10.0f, 1.0f};

double squaredDistance(const Vec3& a, const Vec3& b) { return (a - b).lengthSquared(); }

// Whether moving the held particle from `from` to `to` keeps it within kGrabReach rest spacings
// of each grid neighbour, or at least brings it no farther from one it is already beyond.
bool withinReach(const Vec3& from, const Vec3& to) {
  const int n = cloth.gridSize;
  const int column = grab.particle % n;
  const int row = grab.particle / n;
  const double reach = kGrabReach * cloth.width / (n - 1);
  const int neighbours[4][2] = {
      {column - 1, row}, {column + 1, row}, {column, row - 1}, {column, row + 1}};
  for (const auto& at : neighbours) {
    const Vec3& other = cloth.particleAt(at[0], at[1]).position;
    const double after = squaredDistance(to, other);
    if (after > reach * reach && after > squaredDistance(from, other)) {
      return false;
    }
  }
  return true;
}

// The held particle moves straight towards its target, by at most kGrabStep a tick and never
// more than kGrabReach spacings ahead of its neighbours: the cloth is pulled along, never torn
// into a tangle, so it comes back to rest once let go.
void pullHeldParticle() {
  if (!grab.active) {
    return;
  }
  Vec3& p = cloth.particles[grab.particle].position;
  const Vec3 d = grab.target - p;
  const double distance = std::sqrt(d.lengthSquared());
  Vec3 next = grab.target;
  if (distance > kGrabStep) {
    next = p;
    next += (kGrabStep / distance) * d;
  }
  if (withinReach(p, next)) {
    p = next;
  }
}

void moveMounts() {
  cloth.particleAt(0, 0).position += mountVelocity0;
  cloth.particleAt(0, cloth.gridSize - 1).position += mountVelocity1;
  pullHeldParticle();
}

// The tick's simulated time is always step x stepsPerTick; a stiff or fine cloth takes it in
// more, shorter steps. The default scene takes the program's two steps of 0.05, unsplit.
void stepCloth() {
  advanceColliding(cloth, scene.world, collider, scene.tearRatio, scene.step, substeps,
                   scene.stepsPerTick);
}

// The scene's pins instead of the build's two mount points; pins outside the grid (left by a
// smaller grid than the list was made for) are passed over.
void pinScenePins() {
  if (scene.pins.mounts) {
    return;
  }
  const int n = cloth.gridSize;
  cloth.particleAt(0, 0).pinned = false;
  cloth.particleAt(0, n - 1).pinned = false;
  for (int i = 0; i < scene.pins.count; ++i) {
    const GridPin& pin = scene.pins.at[static_cast<std::size_t>(i)];
    if (pin.column < n && pin.row < n) {
      cloth.particleAt(pin.column, pin.row).pinned = true;
    }
  }
}

// The lights beside the camera, under the identity modelview, wherever it stands.
void placeLights() {
  const auto at = [](const GLfloat* placed) {
    const Vec3 p = lightFor(scene.view, Vec3(placed[0], placed[1], placed[2]));
    return std::array<GLfloat, 4>{static_cast<GLfloat>(p.x), static_cast<GLfloat>(p.y),
                                  static_cast<GLfloat>(p.z), 1.0f};
  };
  glLightfv(GL_LIGHT0, GL_POSITION, at(kLight0Position).data());
  glLightfv(GL_LIGHT1, GL_POSITION, at(kLight1Position).data());
}

// An input only changes the scene's view: the next frame sets the projection, so that an event
// calls no GL and what is picked is what is on the screen.
void projectChangedView() {
  if (projectedWidth > 0 && !sameView(projectedView, scene.view)) {
    setProjection(projectedWidth, projectedHeight);
    glMatrixMode(GL_MODELVIEW);
    placeLights();
  }
}

}  // namespace

void initGlState() {
  // The modelview is still the identity: the lights stay put while the cloth turns, beside the
  // camera wherever it stands.
  glLightfv(GL_LIGHT0, GL_DIFFUSE, kLight0Diffuse);
  glLightfv(GL_LIGHT0, GL_POSITION, kLight0Position);
  glLightfv(GL_LIGHT1, GL_DIFFUSE, kLight1Diffuse);
  glLightfv(GL_LIGHT1, GL_POSITION, kLight1Position);
  glEnable(GL_LIGHT0);
  glEnable(GL_LIGHT1);
  glEnable(GL_LIGHTING);
  glEnable(GL_DEPTH_TEST);

  setProjection(windowWidth, windowHeight);
  glClearColor(0.0f, 0.0f, 0.0f, 0.0f);
  glMatrixMode(GL_MODELVIEW);
  if (!sameView(scene.view, View())) {
    placeLights();
  }

  glMaterialfv(GL_FRONT_AND_BACK, GL_AMBIENT, kClothAmbient);
  glMaterialfv(GL_FRONT_AND_BACK, GL_DIFFUSE, kClothDiffuse);
  prepareClothLook();
}

void dropCloth() {
  cloth.build(scene.width, scene.grid, scene.material);
  collider.prepare(cloth);
  pinScenePins();
}

void applyScene(const Scene& next, bool rebuild) {
  const MeshPlacement was = scene.world.mesh;
  scene = next;
  const MeshPlacement& now = scene.world.mesh;
  if (now.position.x != was.position.x || now.position.y != was.position.y ||
      now.position.z != was.position.z || now.scale != was.scale || now.friction != was.friction) {
    placeSolid();
  }
  substeps = substepsFor(scene);
  if (rebuild) {
    grab.active = false;  // a held particle belonged to the old cloth
    dropCloth();
  } else {
    cloth.setMaterial(scene.material);
  }
}

void initScene() {
  initGlState();
  substeps = substepsFor(scene);
  dropCloth();
  installControls();
}

// The camera lives in the projection matrix; the modelview holds only the cloth's transform.
void setProjection(int width, int height) {
  projectedWidth = width;
  projectedHeight = height;
  projectedView = scene.view;
  applyCamera(scene.view, width, height);
}

int projectionHeight() { return projectedHeight > 0 ? projectedHeight : windowHeight; }

void reshape(int width, int height) {
  setProjection(std::max(width, 1), std::max(height, 1));
  glMatrixMode(GL_MODELVIEW);
  if (panelHook.reshape != nullptr) {
    panelHook.reshape(width, height);
  }
}

void applyModelTransform() {
  // Lift the cloth, turn it, and centre its rows (z from 0 to its width) on the turning axis.
  glTranslated(0.0, kViewLift, 0.0);
  glRotated(viewAngle, 0.0, 1.0, 0.0);
  glTranslated(0.0, 0.0, -0.5 * cloth.width);
}

double steadyMillis() {
  return std::chrono::duration<double, std::milli>(
             std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

unsigned timerMillis(double elapsedMs) {
  if (isDefaultSimulation(scene)) {
    return kTickMillis;
  }
  // At least a millisecond: with a timer always due, GLUT's loop never waits for the window
  // system, and a menu opened over a slow cloth's window could stay undrawn for seconds.
  return elapsedMs + 1.0 < kTickMillis ? static_cast<unsigned>(kTickMillis - elapsedMs) : 1;
}

void display() {
  settleAhead();  // GLUT may ask for a frame while steps are under way
  glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
  projectChangedView();
  glPushMatrix();
  applyModelTransform();
  // The program's own cloth keeps its immediate-mode calls, from any view and in any colour; any
  // other, a torn one or one with a picture draws through arrays.
  const bool arrays =
      !isDefaultSimulation(scene) || cloth.brokenCount > 0 || scene.look.texture.path[0] != '\0';
  beginClothLook(drawMode);
  if (drawMode == GL_FLAT) {
    arrays ? cloth.drawWireframeArrays() : cloth.drawWireframe();
  } else if (drawMode == GL_SMOOTH) {
    arrays ? cloth.drawShadedArrays() : cloth.drawShaded();
  }
  endClothLook(drawMode);
  drawShadows(scene, cloth, collider.solidPoints(), collider.solidTriangles(), drawMode);
  drawWorld(scene.world, cloth.width, drawMode);
  drawSolid(collider.solidPoints(), collider.solidTriangles(), drawMode);
  glPopMatrix();
  if (panelHook.draw != nullptr) {
    panelHook.draw();
  }
  presenter.present();
}

void runTick(bool draw) {
  stepTick();
  if (draw) {
    display();
  }
  finishTick();
}

void stepTick() {
  if (!paused) {
    stepCloth();
  }
}

void finishTick() {
  viewAngle += spinRate;
  if (!paused) {
    moveMounts();
  }
  ++tickCount;
}

void stepOnce() {
  stepCloth();
  moveMounts();
}

void tick(int /*value*/) {
  const double start = tickClock();
  if (!beforeTick()) {
    glutLeaveMainLoop();  // a replayed session has ended
    return;
  }
  // Steps taken ahead for this tick leave it the frame; the next tick's are taken while the
  // timer waits.
  if (steppedAhead()) {
    display();
    finishSteppedTick();
  } else {
    runTick();
  }
  if (panelHook.afterTick != nullptr) {
    panelHook.afterTick();
  }
  tickWorkMs = tickClock() - start;
  afterTick();
  if (mayStepAhead()) {
    stepAhead();
  }
  // Re-armed after the work, so a slow frame stretches the period rather than queueing ticks.
  glutTimerFunc(timerMillis(tickClock() - start), tick, 0);
}

}  // namespace vellumry
