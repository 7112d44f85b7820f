#include "scenegraph/morph.h"

#include <cmath>

#include "renderer/renderer.h"

namespace VorbelScenegraph {

namespace {
const double kTwoPi = 6.283185307179586;
}

cMorphObject::cMorphObject() {
  ready = 0;
  setUp();
}

// The first render draws the rings of time 0, so they are computed here rather than left undefined.
void cMorphObject::setUp() {
  ringCount = 64;
  segmentCount = 16;
  ringTexOffset = new float[static_cast<size_t>(ringCount)];
  ringRadius = new float[static_cast<size_t>(ringCount)];
  ringOffsetX = new float[static_cast<size_t>(ringCount)];
  computeRings(0.0f);
  ready = 1;
}

void cMorphObject::computeRings(float time) {
  const double t = time;
  for (int32_t k = 0; k < ringCount; ++k) {
    const double a = k;
    ringTexOffset[k] = static_cast<float>(0.35 * std::sin(a / 18 - t * 1.23) + 0.35 * std::sin(t * 0.78 + a / 12));
    ringRadius[k] = static_cast<float>(0.3 * std::sin(a * 0.125 + t) + 0.8 + 0.15 * std::sin(a / 3 - t * 0.8));
    ringOffsetX[k] = static_cast<float>(0.3 * std::sin(t * 0.9 + a / 6) + 0.25 * std::sin(t * 1.23 + a / 5));
  }
}

void cMorphObject::render(float progress) {
  if (!ready) return;
  morphTime = static_cast<float>(static_cast<double>(progress) * 10.0);
  cRenderer *r = getRenderer();
  r->primitiveType = PRIM_QUADS;
  r->begin();
  auto corner = [&](int32_t ring, int32_t m) {
    double theta = kTwoPi * m / segmentCount;
    float y = static_cast<float>(ring * 5.5 / ringCount);
    double radius = 0.7 * ringRadius[ring];
    float x = static_cast<float>(radius * std::cos(theta) + ringOffsetX[ring]);
    float z = static_cast<float>(radius * std::sin(theta));
    // The s coordinate steps by whole units every quarter turn: 4 × m / S in integers.
    r->texCoord(static_cast<float>((4 * m) / segmentCount + static_cast<double>(ringTexOffset[ring])), y);
    r->vertex(x, y, z);
  };
  for (int32_t k = 0; k < ringCount - 1; ++k)
    for (int32_t j = 0; j < segmentCount; ++j) {
      corner(k, j);
      corner(k + 1, j);
      corner(k + 1, j + 1);
      corner(k, j + 1);
    }
  r->end();
  computeRings(morphTime);
  baseNode::render(progress);
}

}  // namespace VorbelScenegraph
