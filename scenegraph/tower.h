// cTowerFieldNode — 30 × 25 bars bobbing with the progress; draws no children.
#pragma once

#include "scenegraph/node.h"

namespace VorbelScenegraph {

class cTowerFieldNode final : public baseNode {
 public:
  void render(float progress) override;
};

// One bar of width w (x), height h (y) and depth d (z) centred at (cx, cy, cz): five faces, no bottom.
void drawTowerBar(float w, float h, float d, float cx, float cy, float cz);

// Height of bar (i, j) at progress t: 3 + sin(i) + 2 cos(100 (j + t + i)), always within 0 .. 6.
float towerHeight(int i, int j, float t);

}  // namespace VorbelScenegraph
