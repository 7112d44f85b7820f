// cNodeCubeThing — a cross of seven cubes: one at the node's origin, one against each face.
#pragma once

#include "scenegraph/node.h"

namespace VorbelScenegraph {

class cNodeCubeThing final : public baseNode {
 public:
  void render(float progress) override;
};

}  // namespace VorbelScenegraph
