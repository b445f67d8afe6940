#include "app/controls.h"

#include <GL/gl.h>
#include <GL/glut.h>

#include <cstdio>

#include "app/viewer.h"

namespace vellumry {

namespace {

constexpr double kSpinPerWidth = 30.0;    // degrees per tick for a drag across the window
constexpr double kSpreadPerHeight = 0.2;  // mount z per tick for a drag down the window
constexpr double kFlapPerSize = 0.1;      // mount x and z per tick for a drag across it

constexpr char kHelp[] =
    "Vellumry\n"
    "A cloth of point masses and springs, hanging from two mount points.\n"
    "\n"
    "Right click on screen to select mouse controls -\n"
    "\tRotate - click left button, drag left/right to rotate viewpoint\n"
    "\tEndpointDist- click left button, drag up/down to adjust distance between mount points\n"
    "\tFlap - click left button, drag up/down/right to adjust position of mount points\n"
    "\tRedrop - drop cloth again\n"
    "\tDrawMode - toggle Gouraud shade / wireframe\n\n"
    "\tFullscreen - duh\n\n"
    "Twitching too hard will screw up the program :-)\n\n";

void toggleFullscreen() {
  if (!fullscreen) {
    glutFullScreen();
  } else {
    glutReshapeWindow(windowWidth, windowHeight);
  }
  fullscreen = !fullscreen;
}

void toggleDrawMode() {
  if (drawMode == GL_SMOOTH) {
    glDisable(GL_LIGHTING);
    glDisable(GL_NORMALIZE);
    glPolygonMode(GL_FRONT_AND_BACK, GL_LINE);
    drawMode = GL_FLAT;
  } else {
    glEnable(GL_LIGHT0);
    glEnable(GL_LIGHT1);
    glEnable(GL_LIGHTING);
    drawMode = GL_SMOOTH;
  }
}

}  // namespace

void installControls() {
  glutMouseFunc(onMouse);
  glutMotionFunc(onMotion);
  glutCreateMenu(onMenu);
  glutAddMenuEntry("Rotate", kMenuRotate);
  glutAddMenuEntry("EndpointDist", kMenuEndpointDist);
  glutAddMenuEntry("Flap", kMenuFlap);
  glutAddMenuEntry("Redrop", kMenuRedrop);
  glutAddMenuEntry("DrawMode", kMenuDrawMode);
  glutAddMenuEntry("Fullscreen", kMenuFullscreen);
  glutAttachMenu(GLUT_RIGHT_BUTTON);
}

void onMenu(int value) {
  switch (value) {
    case kMenuFullscreen:
      toggleFullscreen();
      break;
    case kMenuDrawMode:
      toggleDrawMode();
      break;
    case kMenuRedrop:
      // Rates stay as they are: a drag in progress keeps acting on the new cloth.
      cloth.build(kClothWidth, kClothGridSize);
      break;
    default:
      mouseMode = value;
      break;
  }
}

// Only the left button counts. A release stops everything, even one with no press before it (a
// menu pick or dismissal delivers exactly that).
void onMouse(int button, int state, int x, int y) {
  if (button != GLUT_LEFT_BUTTON) {
    return;
  }
  if (state == GLUT_DOWN) {
    dragStartX = x;
    dragStartY = y;
  } else if (state == GLUT_UP) {
    spinRate = 0.0;
    mountVelocity0 = Vec3();
    mountVelocity1 = Vec3();
  }
}

// Rates follow the distance from the press point, not the last motion: holding the pointer still
// keeps things moving. Window y grows downwards.
void onMotion(int x, int y) {
  // Differences in double: no integer overflow, whatever the coordinates.
  const double dx = static_cast<double>(x) - dragStartX;
  const double dy = static_cast<double>(y) - dragStartY;
  switch (mouseMode) {
    case kMenuRotate:
      spinRate = dx / windowWidth * kSpinPerWidth;
      break;
    case kMenuEndpointDist:
      mountVelocity0.z = dy / windowHeight * kSpreadPerHeight;
      mountVelocity1.z = -(dy / windowHeight * kSpreadPerHeight);
      break;
    case kMenuFlap:
      mountVelocity0.z = dx / windowWidth * kFlapPerSize;
      mountVelocity1.z = dx / windowWidth * kFlapPerSize;
      mountVelocity0.x = dy / windowHeight * kFlapPerSize;
      mountVelocity1.x = dy / windowHeight * kFlapPerSize;
      break;
    default:
      break;
  }
}

void printHelp() {
  std::fputs(kHelp, stdout);
  // The program never returns from its loop; make the text visible to a pipe at once.
  std::fflush(stdout);
}

}  // namespace vellumry
