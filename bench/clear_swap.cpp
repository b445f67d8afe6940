// The frame-rate benchmark's yardstick: a GLUT window like vellumry's (500 by 500, RGB, double
// buffered, depth buffered) whose 20 ms timer only clears and swaps before re-arming itself. Its
// frame rate is the ceiling that the timer, the swap and the X server leave for the real program.

#include <GL/gl.h>
#include <GL/glut.h>

namespace {

constexpr unsigned kTickMillis = 20;

void display() {
  glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
  glutSwapBuffers();
}

void tick(int /*value*/) {
  display();
  glutTimerFunc(kTickMillis, tick, 0);
}

}  // namespace

int main(int argc, char** argv) {
  glutInitWindowSize(500, 500);
  glutInit(&argc, argv);
  glutInitDisplayMode(GLUT_RGB | GLUT_DOUBLE | GLUT_DEPTH);
  glutCreateWindow("clear and swap");
  glutDisplayFunc(display);
  glutTimerFunc(kTickMillis, tick, 0);
  glClearColor(0.0f, 0.0f, 0.0f, 0.0f);
  glutMainLoop();
  return 0;
}
