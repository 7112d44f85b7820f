// cMorphObject — an open upright tube of 64 rings whose radius, sideways offset and texture offset
// wave along the tube and move with time. Each render draws the rings of the previous render, then
// recomputes them for the new time.
#pragma once

#include <cstdint>

#include "scenegraph/node.h"

namespace VorbelScenegraph {

class cMorphObject final : public baseNode {
 public:
  cMorphObject();
  void setUp();
  void render(float progress) override;
  void computeRings(float time);

  int32_t ringCount = 0;
  int32_t segmentCount = 0;
  float *ringTexOffset = nullptr;
  float *ringRadius = nullptr;
  float *ringOffsetX = nullptr;
  float morphTime = 0.0f;
  uint8_t ready = 0;
};

}  // namespace VorbelScenegraph
