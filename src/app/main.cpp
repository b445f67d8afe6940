#include <GL/glut.h>
#include <malloc.h>

#include "app/controls.h"
#include "app/viewer.h"

int main(int argc, char** argv) {
  using namespace vellumry;
  // The software renderer grows and frees a buffer of about a megabyte every frame. Left to its
  // defaults, the allocator hands that memory back to the kernel each time, and every frame
  // page-faults and zeroes it again: about half a tick's work. Keep freed memory in the heap.
  mallopt(M_MMAP_THRESHOLD, 32 << 20);
  mallopt(M_TRIM_THRESHOLD, 64 << 20);
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
