#include "scenegraph/cubefield.h"

#include <GL/gl.h>

#include <cmath>

#include "platform/platform.h"
#include "renderer/renderer.h"

namespace VorbelScenegraph {

namespace {
// One clock for all cube fields: the time at the end of the previous cube-field render.
bool gTimed = false;
float gLastCubeFieldTime = 0.0f;

float sinf32(float a) { return static_cast<float>(std::sin(static_cast<double>(a))); }
float cosf32(float a) { return static_cast<float>(std::cos(static_cast<double>(a))); }
}  // namespace

cCubeFieldNode *newCubeFieldNode() {
  cCubeFieldNode *node = new cCubeFieldNode();
  node->setUp();
  return node;
}

// Pseudo-random points of the box -25 .. 25, fixed by the formula.
void cCubeFieldNode::setUp() {
  for (int k = 0; k < 199; ++k) {
    float f = static_cast<float>(k);
    float ax = static_cast<float>(static_cast<double>(f) * 100), ay = static_cast<float>(static_cast<double>(f) * 20),
          az = static_cast<float>(static_cast<double>(f) * 130);
    cubePositions[k] = makeVector(static_cast<float>(25.0 * cosf32(ax)), static_cast<float>(25.0 * sinf32(ay)),
                                  static_cast<float>(25.0 * sinf32(az)));
  }
  addKey(innerColorTrack, makeVector(0.2f, 0.2f, 0.4f), 0.0f);
  addKey(innerColorTrack, makeVector(0.2f, 0.2f, 0.4f), 1.0f);
  addKey(outerColorTrack, makeVector(0.2f, 0.2f, 0.8f), 0.0f);
  addKey(outerColorTrack, makeVector(0.2f, 0.2f, 0.8f), 1.0f);
}

void cCubeFieldNode::render(float progress) {
  if (!gTimed) {
    gLastCubeFieldTime = static_cast<float>(KanduPlatform::timeMs());
    gTimed = true;
  }
  float delta = static_cast<float>(KanduPlatform::timeMs()) - gLastCubeFieldTime;
  if (distortion > 0.0f)
    distortion = static_cast<float>(distortion - static_cast<double>(delta) * 0.4);
  else
    distortion = 0.0f;

  cRenderer *r = getRenderer();
  r->setBlendMode(BLEND_ADD_ALPHA);
  r->enable(STATE_WIREFRAME);
  const float d = distortion;
  for (int32_t k = 0; k < 100; ++k) {
    float wx = cosf32(static_cast<float>((static_cast<double>(k) + d) * 10));
    float wz = static_cast<float>(2.0 * sinf32(static_cast<float>(static_cast<double>(d) * 10)));
    cVector3 p = cubePositions[k];
    if (d > 0.0f) {
      p.x = static_cast<float>(static_cast<double>(p.x) + wx);
      p.z = static_cast<float>(static_cast<double>(p.z) + wz);
    }
    drawFieldCube(this, p, progress, k);
    cVector3 q = makeVector(static_cast<float>(static_cast<double>(cubePositions[k + 1].x) + wx), cubePositions[k + 1].y,
                            static_cast<float>(static_cast<double>(cubePositions[k + 1].z) + wz));
    r->setLineWidth(2.0f);
    r->primitiveType = PRIM_LINE_STRIP;
    r->begin();
    glColor4f(1, 1, 1, 0.4f);
    r->vertex(p.x, p.y, p.z);
    r->vertex(q.x, q.y, q.z);
    r->end();
    r->primitiveType = PRIM_QUADS;
  }
  baseNode::render(progress);
  r->disable(STATE_WIREFRAME);
  r->disableBlend();
  gLastCubeFieldTime = static_cast<float>(KanduPlatform::timeMs());
}

// A thick translucent blue edge with a thin white edge inside, and a half-size inner cube turning
// the other way.
void drawFieldCube(cCubeFieldNode *node, cVector3 p, float t, int32_t k) {
  cRenderer *r = getRenderer();
  glPushMatrix();
  glTranslatef(p.x, p.y, p.z);
  glPushMatrix();
  cVector3 outer = evaluate(node->outerColorTrack, t);
  cVector3 inner = evaluate(node->innerColorTrack, t);
  glRotatef(static_cast<float>(static_cast<double>(static_cast<float>(-15 * k)) * t), 1, 1, 0);
  glColor4f(outer.x, outer.y, outer.z, 0.3f);
  r->setLineWidth(10.0f);
  r->drawCube();
  r->setLineWidth(1.0f);
  glColor4f(1, 1, 1, 1);
  r->drawCube();
  glPopMatrix();
  r->setLineWidth(3.0f);
  glPushMatrix();
  glScalef(0.5f, 0.5f, 0.5f);
  glRotatef(static_cast<float>(static_cast<double>(static_cast<float>(10 * k)) * t), 1, 1, 1);
  glColor4f(inner.x, inner.y, inner.z, 0.3f);
  r->drawCube();
  glPopMatrix();
  glPopMatrix();
}

}  // namespace VorbelScenegraph
