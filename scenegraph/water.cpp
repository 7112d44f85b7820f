#include "scenegraph/water.h"

#include <GL/gl.h>

#include <cmath>
#include <cstdlib>
#include <initializer_list>

#include "renderer/renderer.h"

namespace VorbelScenegraph {

namespace {
int (*gRandom)() = std::rand;
const float kKick = 1060.0f;
}  // namespace

void setWaterRandom(int (*source)()) { gRandom = source ? source : std::rand; }

cWaterMirrorNode::cWaterMirrorNode() { initGrid(0.4f); }

void cWaterMirrorNode::initGrid(float step) {
  stepSize = step;
  gridSize = 65;
  rowStride = gridSize * gridSize;
  delete[] heights;
  delete[] velocities;
  delete[] vertices;
  delete[] normals;
  heights = new float[static_cast<size_t>(rowStride)];
  velocities = new float[static_cast<size_t>(rowStride)];
  vertices = new cVector3[static_cast<size_t>(rowStride)];
  normals = new cVector3[static_cast<size_t>(rowStride)];
  damping = 0.994f;
  rowStride = gridSize;
  for (int32_t k = 0; k < gridSize * gridSize; ++k) heights[k] = velocities[k] = 0.0f;
  disturb();
}

// Column and row each fall in -1 .. 63; a column of -1 lands on the previous row's last point.
// The two kicks that would land before the first point (row -1, or row 0 with column -1) are
// skipped rather than written outside the grid.
void cWaterMirrorNode::disturb() {
  int32_t a = gRandom() % gridSize - 1;
  int32_t b = gRandom() % gridSize - 1;
  int32_t k = b * rowStride + a;
  if (k < 0 || k >= gridSize * gridSize) return;
  velocities[k] = kKick;
}

void cWaterMirrorNode::simulate() {
  const int32_t n = gridSize;
  for (int32_t j = 2; j <= n - 3; ++j)
    for (int32_t i = 2; i <= n - 3; ++i) {
      const float *h = heights;
      double side = static_cast<double>(h[index(i - 1, j)]) + h[index(i + 1, j)] + h[index(i, j - 1)] + h[index(i, j + 1)];
      double diag = static_cast<double>(h[index(i - 1, j - 1)]) + h[index(i + 1, j - 1)] + h[index(i - 1, j + 1)] +
                    h[index(i + 1, j + 1)];
      float &v = velocities[index(i, j)];
      v = static_cast<float>(v + (h[index(i, j)] - (4.0 * side + diag) / 25.0) / 7.0);
    }
  for (int32_t j = 2; j <= n - 3; ++j)
    for (int32_t i = 2; i <= n - 3; ++i) {
      int32_t k = index(i, j);
      heights[k] = static_cast<float>(heights[k] - static_cast<double>(velocities[k]) * stepSize);
      velocities[k] = static_cast<float>(static_cast<double>(velocities[k]) * damping);
    }
}

void cWaterMirrorNode::render(float progress) {
  const int32_t n = gridSize;
  simulate();
  for (int32_t j = 0; j < n; ++j)
    for (int32_t i = 0; i < n; ++i) {
      int32_t k = index(i, j);
      vertices[k] = makeVector(static_cast<float>(5.0 * (i - n / 2.0) / n),
                               static_cast<float>(3.0 * heights[k] / (1024.0 * n)),
                               static_cast<float>(5.0 * (j - n / 2.0) / n));
      if (i >= 1 && i <= n - 2 && j >= 1 && j <= n - 2) {
        double nx = static_cast<double>(heights[index(i + 1, j)]) - heights[index(i - 1, j)];
        double ny = -2048.0;
        double nz = static_cast<double>(heights[index(i, j + 1)]) - heights[index(i, j - 1)];
        double len = std::sqrt(nx * nx + ny * ny + nz * nz);
        normals[k] = makeVector(static_cast<float>(nx / len), static_cast<float>(ny / len), static_cast<float>(nz / len));
      } else {
        normals[k] = makeVector(0.0f, 1.0f, 0.0f);
      }
    }

  cRenderer *r = getRenderer();
  glPushMatrix();
  r->setColor(color.r, color.g, color.b, color.a);
  r->scale(3, 3, 3);
  materials.applyAll();
  r->translate(position.x, position.y, position.z);
  applyRotation();
  r->primitiveType = PRIM_QUAD_STRIP;
  for (int32_t m = 0; m < n - 1; ++m) {
    r->begin();
    for (int32_t k = 0; k < n; ++k) {
      for (int32_t row : {m + 1, m}) {
        const cVector3 &nv = normals[index(k, row)];
        const cVector3 &v = vertices[index(k, row)];
        r->normal(nv.x, nv.y, nv.z);
        r->texCoord(static_cast<float>(static_cast<double>(k) / n), static_cast<float>(static_cast<double>(row) / n));
        r->vertex(v.x, v.y, v.z);
      }
    }
    r->end();
  }
  r->primitiveType = PRIM_QUADS;
  disturb();
  baseNode::render(progress);
  materials.removeAll();
  glPopMatrix();
}

}  // namespace VorbelScenegraph
