// Compiled by check_web_gl_guard.cmake under the web layer's redirections: calls the layer does
// not cover, which must not compile.
#include <GL/gl.h>
#include <GL/glu.h>

void uncoveredCalls() {
  glAccum(GL_LOAD, 1.0f);
  gluDeleteQuadric(gluNewQuadric());
}
