#include "renderer/shadow.h"

#include <GL/gl.h>
#include <GL/glext.h>
#include <GL/glu.h>

#include "intro/types.h"

void cMatrix4::makeIdentity() {
  for (float &v : m) v = 0.0f;
  m[0] = m[5] = m[10] = m[15] = 1.0f;
}

void cMatrix4::set(const float values[16]) {
  for (int i = 0; i < 16; ++i) m[i] = values[i];
}

namespace {
bool isAffine(const cMatrix4 &a) { return a[3] == 0.0f && a[7] == 0.0f && a[11] == 0.0f && a[15] == 1.0f; }

// Element (row i, column j) of a × b, summing only over the k given.
inline float dot(const cMatrix4 &a, const cMatrix4 &b, int i, int j, int kCount) {
  double sum = 0.0;
  for (int k = 0; k < kCount; ++k) sum += static_cast<double>(a[4 * k + i]) * b[4 * j + k];
  return static_cast<float>(sum);
}
}  // namespace

// Most products here are of affine matrices (bottom row 0, 0, 0, 1); the variants skip the terms
// that are then known to vanish. Every variant equals the full sum for finite inputs.
cMatrix4 multiply(const cMatrix4 &a, const cMatrix4 &b) {
  cMatrix4 r;
  bool affineA = isAffine(a), affineB = isAffine(b);
  if (affineA && affineB) {
    for (int j = 0; j < 4; ++j) {
      for (int i = 0; i < 3; ++i) {
        double sum = static_cast<double>(a[i]) * b[4 * j] + static_cast<double>(a[4 + i]) * b[4 * j + 1] +
                     static_cast<double>(a[8 + i]) * b[4 * j + 2];
        if (j == 3) sum += a[12 + i];
        r[4 * j + i] = static_cast<float>(sum);
      }
      r[4 * j + 3] = j == 3 ? 1.0f : 0.0f;
    }
  } else if (affineA) {
    // a's bottom row is (0, 0, 0, 1): the result's bottom row is b's.
    for (int j = 0; j < 4; ++j) {
      for (int i = 0; i < 3; ++i) r[4 * j + i] = dot(a, b, i, j, 4);
      r[4 * j + 3] = b[4 * j + 3];
    }
  } else if (affineB) {
    // b's columns 0..2 end in 0 and column 3 ends in 1.
    for (int j = 0; j < 4; ++j)
      for (int i = 0; i < 4; ++i) {
        double sum = static_cast<double>(a[i]) * b[4 * j] + static_cast<double>(a[4 + i]) * b[4 * j + 1] +
                     static_cast<double>(a[8 + i]) * b[4 * j + 2];
        if (j == 3) sum += a[12 + i];
        r[4 * j + i] = static_cast<float>(sum);
      }
  } else {
    for (int j = 0; j < 4; ++j)
      for (int i = 0; i < 4; ++i) r[4 * j + i] = dot(a, b, i, j, 4);
  }
  return r;
}

const cMatrix4 &shadowBiasMatrix() {
  static const cMatrix4 bias = [] {
    cMatrix4 m;
    for (float &v : m.m) v = 0.0f;
    m[0] = m[5] = m[10] = 0.5f;
    m[12] = m[13] = m[14] = 0.5f;
    m[15] = 1.0f;
    return m;
  }();
  return bias;
}

namespace {
GLsizei mapPixels(const cShadowMapState *s) { return Kandu::truncToInt(s->mapSize); }

void readModelview(cMatrix4 &into) { glGetFloatv(GL_MODELVIEW_MATRIX, into.m); }
}  // namespace

// The four matrices are built on the modelview stack and read back; both views look at the origin.
void prepareShadowMap(cShadowMapState *s) {
  glClearDepth(1.0);
  glDepthFunc(GL_LEQUAL);
  glEnable(GL_DEPTH_TEST);
  glEnable(GL_CULL_FACE);
  glEnable(GL_NORMALIZE);
  glPushMatrix();
  glLoadIdentity();
  gluPerspective(45.0, 1.3333333333333333, 1.0, 1000.0);
  readModelview(s->cameraProjection);
  glLoadIdentity();
  gluLookAt(s->cameraPosition.x, s->cameraPosition.y, s->cameraPosition.z, 0, 0, 0, 0, 1, 0);
  readModelview(s->cameraView);
  glLoadIdentity();
  gluPerspective(45.0, 1.0, 2.0, 8.0);
  readModelview(s->lightProjection);
  glLoadIdentity();
  gluLookAt(s->lightPosition.x, s->lightPosition.y, s->lightPosition.z, 0, 0, 0, 0, 1, 0);
  readModelview(s->lightView);
  glPopMatrix();
  if (!s->textureCreated) {
    GLsizei size = mapPixels(s);
    glGenTextures(1, &s->depthTexture);
    glBindTexture(GL_TEXTURE_2D, s->depthTexture);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_DEPTH_COMPONENT, size, size, 0, GL_DEPTH_COMPONENT, GL_UNSIGNED_BYTE,
                 nullptr);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP);
    s->textureCreated = 1;
  }
}

void beginShadowDepthPass(cShadowMapState *s) {
  GLsizei size = mapPixels(s);
  glBindTexture(GL_TEXTURE_2D, s->depthTexture);
  glPolygonOffset(1.0f, 2.0f);
  glEnable(GL_POLYGON_OFFSET_FILL);
  glDisable(GL_LIGHTING);
  glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
  glMatrixMode(GL_PROJECTION);
  glLoadMatrixf(s->lightProjection.m);
  glMatrixMode(GL_MODELVIEW);
  glLoadMatrixf(s->lightView.m);
  glViewport(0, 0, size, size);
  glCullFace(GL_FRONT);  // only back faces go into the depth map
  glShadeModel(GL_FLAT);
  glColorMask(GL_FALSE, GL_FALSE, GL_FALSE, GL_FALSE);
}

// Lighting stays off from the depth pass, so the camera pass draws the children dark.
void endShadowDepthPass(cShadowMapState *s) {
  GLsizei size = mapPixels(s);
  glBindTexture(GL_TEXTURE_2D, s->depthTexture);
  glCopyTexSubImage2D(GL_TEXTURE_2D, 0, 0, 0, 0, 0, size, size);
  glDisable(GL_POLYGON_OFFSET_FILL);
  glCullFace(GL_BACK);
  glShadeModel(GL_SMOOTH);
  glColorMask(GL_TRUE, GL_TRUE, GL_TRUE, GL_TRUE);
  glClear(GL_DEPTH_BUFFER_BIT);
  glMatrixMode(GL_PROJECTION);
  glLoadMatrixf(s->cameraProjection.m);
  glMatrixMode(GL_MODELVIEW);
  glLoadMatrixf(s->cameraView.m);
  glViewport(0, 0, 1024, 768);
  glColor3f(0, 0, 0);
}

// The eye planes are the rows of bias × light projection × light view; GL multiplies them by the
// inverse camera view current now, so the generated coordinates are the light's clip coordinates.
void beginShadowProjection(cShadowMapState *s) {
  glColor3f(1, 1, 1);
  cMatrix4 t = multiply(multiply(shadowBiasMatrix(), s->lightProjection), s->lightView);
  const GLenum coords[4] = {GL_S, GL_T, GL_R, GL_Q};
  const GLenum gens[4] = {GL_TEXTURE_GEN_S, GL_TEXTURE_GEN_T, GL_TEXTURE_GEN_R, GL_TEXTURE_GEN_Q};
  for (int i = 0; i < 4; ++i) {
    const GLfloat plane[4] = {t[i], t[4 + i], t[8 + i], t[12 + i]};
    glTexGeni(coords[i], GL_TEXTURE_GEN_MODE, GL_EYE_LINEAR);
    glTexGenfv(coords[i], GL_EYE_PLANE, plane);
    glEnable(gens[i]);
  }
  glBindTexture(GL_TEXTURE_2D, s->depthTexture);
  glEnable(GL_TEXTURE_2D);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_COMPARE_MODE_ARB, GL_COMPARE_R_TO_TEXTURE_ARB);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_COMPARE_FUNC_ARB, GL_LEQUAL);
  glTexParameteri(GL_TEXTURE_2D, GL_DEPTH_TEXTURE_MODE_ARB, GL_INTENSITY);
  glAlphaFunc(GL_GEQUAL, 0.99f);
  glEnable(GL_ALPHA_TEST);
}
