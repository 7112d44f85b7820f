#include "scenegraph/tower.h"

#include <GL/gl.h>

#include <cmath>

#include "renderer/renderer.h"

namespace VorbelScenegraph {

namespace {
const int kColumns = 30;
const int kRows = 25;
}  // namespace

float towerHeight(int i, int j, float t) {
  float phase = static_cast<float>(100.0 * (static_cast<double>(static_cast<float>(j)) + t + static_cast<float>(i)));
  float s = static_cast<float>(std::sin(static_cast<double>(static_cast<float>(i))));
  float c = static_cast<float>(std::cos(static_cast<double>(phase)));
  return static_cast<float>(static_cast<double>(s) + 2.0 * c + 3.0);
}

void cTowerFieldNode::render(float progress) {
  glPushMatrix();
  materials.applyAll();
  getRenderer()->translate(position.x, position.y, position.z);
  applyRotation();
  for (int i = 0; i < kColumns; ++i)
    for (int j = 0; j < kRows; ++j)
      drawTowerBar(0.5f, towerHeight(i, j, progress), 0.5f, static_cast<float>(i), 0.0f, static_cast<float>(j));
  materials.removeAll();
  glPopMatrix();
}

void drawTowerBar(float w, float h, float d, float cx, float cy, float cz) {
  const float hw = w * 0.5f, hh = h * 0.5f, hd = d * 0.5f;
  const float xp = cx + hw, xn = cx - hw, yp = cy + hh, yn = cy - hh, zp = cz + hd, zn = cz - hd;
  struct Corner {
    float s, t, x, y, z;
  };
  struct Face {
    float nx, ny, nz;
    Corner c[4];
  };
  const Face faces[5] = {
      {0, 1, 0, {{1, 0, xp, yp, zn}, {0, 0, xn, yp, zn}, {0, 1, xn, yp, zp}, {1, 1, xp, yp, zp}}},    // top
      {0, 0, 1, {{0, 1, xn, yn, zp}, {1, 1, xp, yn, zp}, {1, 0, xp, yp, zp}, {0, 0, xn, yp, zp}}},    // front
      {0, 0, -1, {{0, 1, xp, yn, zn}, {1, 1, xn, yn, zn}, {1, 0, xn, yp, zn}, {0, 0, xp, yp, zn}}},   // back
      {1, 0, 0, {{1, 1, xp, yn, zn}, {1, 0, xp, yp, zn}, {0, 0, xp, yp, zp}, {0, 1, xp, yn, zp}}},    // right
      {-1, 0, 0, {{0, 1, xn, yn, zn}, {1, 1, xn, yn, zp}, {1, 0, xn, yp, zp}, {0, 0, xn, yp, zn}}},   // left
  };
  cRenderer *r = getRenderer();
  glPushMatrix();
  r->primitiveType = PRIM_QUADS;
  r->begin();
  for (const Face &f : faces) {
    r->normal(f.nx, f.ny, f.nz);
    for (const Corner &c : f.c) {
      r->texCoord(c.s, c.t);
      r->vertex(c.x, c.y, c.z);
    }
  }
  r->end();
  glPopMatrix();
}

}  // namespace VorbelScenegraph
