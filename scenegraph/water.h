// cWaterMirrorNode — a 65 × 65 height field with a damped wave simulation, one step per render,
// drawn as textured quad strips with per-vertex normals. A random kick after every frame keeps the
// surface moving. The mirror look comes from the caller's sphere-map texture generation.
#pragma once

#include <cstdint>

#include "scenegraph/node.h"

namespace VorbelScenegraph {

class cWaterMirrorNode final : public baseNode {
 public:
  cWaterMirrorNode();
  void render(float progress) override;
  void initGrid(float step);
  void disturb();

  // One wave step: velocities from the neighbours, then heights, then damping.
  void simulate();
  int32_t index(int32_t i, int32_t j) const { return j * rowStride + i; }

  float *heights = nullptr;
  float *velocities = nullptr;
  cVector3 *vertices = nullptr;
  cVector3 *normals = nullptr;
  int32_t gridSize = 65;
  int32_t rowStride = 65;
  float stepSize = 0.4f;
  float damping = 0.994f;
};

// The random source of the kicks (the C library's rand unless a test drives it).
void setWaterRandom(int (*source)());

}  // namespace VorbelScenegraph
