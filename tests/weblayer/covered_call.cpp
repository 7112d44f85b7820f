// Compiled by check_web_gl_guard.cmake under the web layer's redirections: calls the layer covers.
#include <GL/gl.h>
#include <GL/glu.h>

void coveredCalls() {
  glBegin(GL_QUADS);
  glVertex3f(0, 0, 0);
  glEnd();
  gluPerspective(45, 1, 1, 10);
}
