#include <GL/glut.h>

#include "app/controls.h"
#include "app/viewer.h"

int main(int argc, char** argv) {
  using namespace vellumry;
  glutInitWindowSize(windowWidth, windowHeight);
  glutInit(&argc, argv);
  glutInitDisplayMode(GLUT_RGB | GLUT_DOUBLE | GLUT_DEPTH);
  glutCreateWindow("Vellumry");
  glutDisplayFunc(display);
  glutTimerFunc(kTickMillis, tick, 0);  // not fired before the main loop runs
  initScene();
  printHelp();
  glutMainLoop();
  return 0;
}
