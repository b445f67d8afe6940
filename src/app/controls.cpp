#include "app/controls.h"

#include <GL/freeglut.h>

#include <cctype>
#include <cstdint>
#include <cstdio>

#include "app/input.h"
#include "app/panel_hook.h"
#include "app/picking.h"
#include "app/snapshot.h"
#include "app/step_ahead.h"
#include "app/view_controls.h"
#include "app/viewer.h"

namespace vellumry {

namespace {

constexpr unsigned char kEscape = 27;

// Keys that do what a menu entry does, through the same event.
struct MenuKey {
  int key;
  int value;
};
constexpr MenuKey kMenuKeys[] = {{'r', kMenuRotate},
                                 {'e', kMenuEndpointDist},
                                 {'f', kMenuFlap},
                                 {'d', kMenuRedrop},
                                 {'w', kMenuDrawMode}};

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

// Window depth of the plane a held particle moves on; set when it is picked.
GLdouble grabDepth = 0.0;

// What a modified left drag does until the release; a grab is the viewer's own.
enum class Gesture : std::uint8_t { kNone, kCut, kMoveBall, kGrab };
Gesture gesture = Gesture::kNone;
int lastX = 0;  ///< the pointer at the cut's last motion
int lastY = 0;
GLdouble ballDepth = 0.0;  ///< window depth of the plane facing the camera the ball moves on
Vec3 ballOffset;           ///< the ball's centre less the point under the pointer on that plane

// The ball, if the pointer's ray meets it before any particle near the pointer; the particle is
// held otherwise.
bool tryMoveBall(const ViewTransform& view, const Pick& pick, int x, int y) {
  const Ball& ball = scene.world.ball;
  GLdouble depth = 0.0;
  if (!ball.enabled || !pointerOnBall(view, x, y, ball.centre, ball.radius, depth) ||
      (pick.particle >= 0 && pick.depth < depth) || !windowDepth(view, ball.centre, ballDepth)) {
    return false;
  }
  Vec3 under;
  if (!pointerToCloth(view, x, y, ballDepth, under)) {
    return false;
  }
  ballOffset = ball.centre - under;
  gesture = Gesture::kMoveBall;
  return true;
}

// Shift + left press: moves the ball, or holds the particle drawn nearest the pointer, if one is
// near enough.
bool tryGrab(int x, int y) {
  const ViewTransform view = currentView();
  const Pick pick = pickParticle(cloth, view, x, y);
  if (tryMoveBall(view, pick, x, y)) {
    return true;
  }
  if (pick.particle < 0) {
    return false;
  }
  grabDepth = pick.depth;
  submit(targetEvent(EventKind::kGrab, pick.particle, cloth.particles[pick.particle].position));
  // A grab held behind steps taken ahead is the drag's all the same: the motions are pulls.
  gesture = grab.active ? Gesture::kNone : Gesture::kGrab;
  return true;
}

void moveBallTo(int x, int y) {
  Vec3 centre;
  if (pointerToCloth(currentView(), x, y, ballDepth, centre)) {
    centre += ballOffset;
    if (isValidTarget(centre)) {
      submit(setEvent(findParam("ball.centre"), centre));
    }
  }
}

// Ctrl + left click: pins the particle the grab would pick, or frees it.
void togglePinAt(int x, int y) {
  const Pick pick = pickParticle(cloth, currentView(), x, y);
  if (pick.particle >= 0) {
    submit(indexEvent(EventKind::kPin, pick.particle));
  }
}

void cutSpring(int spring) { submit(indexEvent(EventKind::kCut, spring)); }

void cutTo(int x, int y) {
  settleAhead();
  crossedSprings(cloth, currentView(), lastX, lastY, x, y, cutSpring);
  lastX = x;
  lastY = y;
}

// A modified left press; false if it is a plain press after all.
bool modifiedPress(int x, int y) {
  settleAhead();  // each picks from the cloth, which steps taken ahead may be moving
  const int modifiers = glutGetModifiers();
  if ((modifiers & GLUT_ACTIVE_CTRL) != 0) {
    togglePinAt(x, y);
    return true;
  }
  if ((modifiers & GLUT_ACTIVE_ALT) != 0) {
    gesture = Gesture::kCut;
    lastX = x;
    lastY = y;
    return true;
  }
  return (modifiers & GLUT_ACTIVE_SHIFT) != 0 && tryGrab(x, y);
}

void pullTo(int x, int y) {
  Vec3 target;
  if (pointerToCloth(currentView(), x, y, grabDepth, target) && isValidTarget(target)) {
    submit(targetEvent(EventKind::kPull, 0, target));
  }
}

}  // namespace

void installControls() {
  reserveCutting();
  rememberHomeView();
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

void installKeys() {
  glutKeyboardFunc(onKey);
  glutSpecialFunc(onSpecial);
}

void onMenu(int value) { submit(menuEvent(value)); }

// Only the left button acts on the cloth; the middle button and the wheel move the camera. A left
// release stops everything, even one with no press before it (a menu pick or dismissal delivers
// exactly that).
void onMouse(int button, int state, int x, int y) {
  if (panelHook.mouse != nullptr && panelHook.mouse(button, state, x, y)) {
    return;
  }
  if (viewMouse(button, state, x, y) || button != GLUT_LEFT_BUTTON) {
    return;
  }
  if (state == GLUT_DOWN) {
    gesture = Gesture::kNone;
    if (modifiedPress(x, y)) {
      return;
    }
    submit(pointerEvent(EventKind::kPress, x, y));
  } else if (state == GLUT_UP) {
    gesture = Gesture::kNone;
    submit(pointerEvent(EventKind::kRelease, x, y));
  }
}

void onMotion(int x, int y) {
  if (panelHook.motion != nullptr && panelHook.motion(x, y)) {
    return;
  }
  if (grab.active || gesture == Gesture::kGrab) {
    pullTo(x, y);
  } else if (gesture == Gesture::kCut) {
    cutTo(x, y);
  } else if (gesture == Gesture::kMoveBall) {
    moveBallTo(x, y);
  } else {
    submit(pointerEvent(EventKind::kMotion, x, y));
  }
  viewMotion(x, y);
}

void onKey(unsigned char key, int x, int y) {
  if (panelHook.key != nullptr && panelHook.key(key, x, y)) {
    return;  // Tab, or a key typed into the panel
  }
  const int lower = std::tolower(key);
  for (const MenuKey& k : kMenuKeys) {
    if (lower == k.key) {
      submit(menuEvent(k.value));
      return;
    }
  }
  if (lower == ' ') {
    submit(pointerEvent(EventKind::kPause));
  } else if (lower == 's') {
    submit(pointerEvent(EventKind::kStep));
  } else if (key == kEscape && fullscreen) {
    submit(menuEvent(kMenuFullscreen));
  } else if (lower == 'q') {
    glutLeaveMainLoop();  // as closing the window does
  } else {
    viewKey(key);
  }
}

void onSpecial(int key, int x, int y) {
  if (panelHook.special != nullptr && panelHook.special(key, x, y)) {
    return;
  }
  if (key == GLUT_KEY_F11) {
    submit(menuEvent(kMenuFullscreen));
  } else if (key == GLUT_KEY_F12) {
    requestSnapshot();  // not an event: it changes nothing the session holds
  } else {
    viewSpecial(key);
  }
}

void printHelp() {
  std::fputs(kHelp, stdout);
  // The program never returns from its loop; make the text visible to a pipe at once.
  std::fflush(stdout);
}

}  // namespace vellumry
