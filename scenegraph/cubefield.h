// cCubeFieldNode — 100 glowing wireframe cubes scattered through a 50-unit box, each spinning with
// the progress and linked to the next by a faint line, blended additively. A distortion kicked by
// the frame makes the cloud shudder and decays in real milliseconds.
#pragma once

#include <cstdint>

#include "intro/keyframes.h"
#include "scenegraph/node.h"

namespace VorbelScenegraph {

class cCubeFieldNode final : public baseNode {
 public:
  cCubeFieldNode() = default;
  void setUp();
  void render(float progress) override;

  cVector3 cubePositions[199];
  float distortion = 0.0f;
  cKeyframeTrack innerColorTrack;
  cKeyframeTrack outerColorTrack;
};

cCubeFieldNode *newCubeFieldNode();
void drawFieldCube(cCubeFieldNode *node, cVector3 p, float t, int32_t k);

}  // namespace VorbelScenegraph
