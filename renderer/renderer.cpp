#include "renderer/renderer.h"

#include <GL/gl.h>

#include "intro/types.h"

namespace {
cRenderer *gRenderer = nullptr;

// The 2D overlay: one unit is one pixel of a 1024 by 768 screen, y growing downwards.
void enterOverlay() {
  glMatrixMode(GL_PROJECTION);
  glPushMatrix();
  glLoadIdentity();
  glOrtho(0, 1024, 768, 0, 0, 1);
  glMatrixMode(GL_MODELVIEW);
  glPushMatrix();
  glLoadIdentity();
}

void leaveOverlay() {
  glMatrixMode(GL_PROJECTION);
  glPopMatrix();
  glMatrixMode(GL_MODELVIEW);
  glPopMatrix();
}
}  // namespace

cRenderer *getRenderer() {
  if (!gRenderer) gRenderer = new cRenderer();
  gRenderer->defaultFont.create("Arial", 24, 0, 0);
  return gRenderer;
}

void cRenderer::enable(int32_t state) {
  switch (state) {
    case STATE_TEXTURE: glEnable(GL_TEXTURE_2D); break;
    case STATE_ORTHO: glDepthMask(GL_FALSE); enterOverlay(); break;
    case STATE_PERSPECTIVE: glDepthMask(GL_TRUE); leaveOverlay(); break;
    case STATE_WIREFRAME:
      glPolygonMode(GL_FRONT, GL_LINE);
      glPolygonMode(GL_BACK, GL_LINE);
      glLineWidth(6.0f);
      break;
    case STATE_CULL: glEnable(GL_CULL_FACE); break;
    default: break;
  }
}

void cRenderer::disable(int32_t state) {
  switch (state) {
    case STATE_TEXTURE: glDisable(GL_TEXTURE_2D); break;
    case STATE_ORTHO: leaveOverlay(); break;
    case STATE_PERSPECTIVE: enterOverlay(); break;
    case STATE_WIREFRAME:
      glPolygonMode(GL_FRONT, GL_FILL);
      glPolygonMode(GL_BACK, GL_FILL);
      glLineWidth(1.0f);
      break;
    case STATE_CULL: glDisable(GL_CULL_FACE); break;
    default: break;
  }
}

void cRenderer::setColor(float r, float g, float b, float a) { glColor4f(r, g, b, a); }
void cRenderer::setClearColor(float r, float g, float b, float a) { glClearColor(r, g, b, a); }

void cRenderer::setBlendMode(int32_t mode) {
  glEnable(GL_BLEND);
  if (mode == BLEND_ALPHA)
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
  else if (mode == BLEND_ADD_ALPHA)
    glBlendFunc(GL_SRC_ALPHA, GL_ONE);
  else
    glBlendFunc(GL_SRC_COLOR, GL_ONE);
}

void cRenderer::disableBlend() { glDisable(GL_BLEND); }
void cRenderer::translate(float x, float y, float z) { glTranslatef(x, y, z); }
void cRenderer::rotate(float angle, float x, float y, float z) { glRotatef(angle, x, y, z); }

// Sphere-mapped drawing switches s and t to GL_SPHERE_MAP; this puts them back to eye-linear, off.
void cRenderer::resetTexGen() {
  glTexGeni(GL_T, GL_TEXTURE_GEN_MODE, GL_EYE_LINEAR);
  glTexGeni(GL_S, GL_TEXTURE_GEN_MODE, GL_EYE_LINEAR);
  glDisable(GL_TEXTURE_GEN_S);
  glDisable(GL_TEXTURE_GEN_T);
}

// The top edge carries t = 1, so a texture whose first row is its bottom row shows upright.
void cRenderer::drawQuad2D(float x, float y, float width, float height) {
  enable(STATE_ORTHO);
  glPushMatrix();
  glBegin(GL_QUADS);
  GLint x0 = Kandu::truncToInt(x), y0 = Kandu::truncToInt(y);
  GLint x1 = Kandu::truncToInt(static_cast<double>(x) + width);
  GLint y1 = Kandu::truncToInt(static_cast<double>(y) + height);
  glTexCoord2f(0, 1);
  glVertex2i(x0, y0);
  glTexCoord2f(1, 1);
  glVertex2i(x1, y0);
  glTexCoord2f(1, 0);
  glVertex2i(x1, y1);
  glTexCoord2f(0, 0);
  glVertex2i(x0, y1);
  glEnd();
  glPopMatrix();
  enable(STATE_PERSPECTIVE);
}
