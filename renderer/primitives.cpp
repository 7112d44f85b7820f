#include <GL/gl.h>

#include "renderer/renderer.h"

namespace {
const GLenum kModes[] = {GL_TRIANGLES, GL_POINTS, GL_QUADS, GL_QUAD_STRIP, GL_LINES, GL_LINE_STRIP};

struct CubeFace {
  float normal[3];
  float corners[4][3];
};

// Edge length 2 about the origin; every face counter-clockwise seen from outside. Corner k carries
// the texture coordinate kCornerTex[k].
const CubeFace kCube[6] = {
    {{0, 0, 1}, {{-1, -1, 1}, {1, -1, 1}, {1, 1, 1}, {-1, 1, 1}}},
    {{0, 0, -1}, {{1, -1, -1}, {-1, -1, -1}, {-1, 1, -1}, {1, 1, -1}}},
    {{0, 1, 0}, {{-1, 1, 1}, {1, 1, 1}, {1, 1, -1}, {-1, 1, -1}}},
    {{0, -1, 0}, {{-1, -1, -1}, {1, -1, -1}, {1, -1, 1}, {-1, -1, 1}}},
    {{-1, 0, 0}, {{-1, -1, -1}, {-1, -1, 1}, {-1, 1, 1}, {-1, 1, -1}}},
    {{1, 0, 0}, {{1, -1, 1}, {1, -1, -1}, {1, 1, -1}, {1, 1, 1}}},
};
const float kCornerTex[4][2] = {{0, 0}, {1, 0}, {1, 1}, {0, 1}};
}  // namespace

void cRenderer::begin() {
  if (primitiveType >= 0 && primitiveType < 6) glBegin(kModes[primitiveType]);
}

void cRenderer::end() {
  glEnd();
  glPointSize(1.0f);
}

void cRenderer::vertex(float x, float y, float z) { glVertex3f(x, y, z); }
void cRenderer::normal(float x, float y, float z) { glNormal3f(x, y, z); }
void cRenderer::texCoord(float s, float t) { glTexCoord2f(s, t); }
void cRenderer::scale(float x, float y, float z) { glScalef(x, y, z); }

// Depth testing is on afterwards, whatever it was before.
void cRenderer::setLineWidth(float width) {
  glDisable(GL_DEPTH_TEST);
  glLineWidth(width);
  glEnable(GL_DEPTH_TEST);
}

void cRenderer::drawCube() {
  glBegin(GL_QUADS);
  for (const CubeFace &face : kCube) {
    glNormal3f(face.normal[0], face.normal[1], face.normal[2]);
    for (int k = 0; k < 4; ++k) {
      glTexCoord2f(kCornerTex[k][0], kCornerTex[k][1]);
      glVertex3f(face.corners[k][0], face.corners[k][1], face.corners[k][2]);
    }
  }
  glEnd();
}
