#include "scenegraph/cubething.h"

#include <GL/gl.h>

#include "renderer/renderer.h"

namespace VorbelScenegraph {

namespace {
// Cubes of edge 2 placed 2 apart touch face to face: the cross spans -3 .. 3 on every axis.
const float kArms[6][3] = {{0, 2, 0}, {0, -2, 0}, {2, 0, 0}, {-2, 0, 0}, {0, 0, 2}, {0, 0, -2}};
}  // namespace

void cNodeCubeThing::render(float progress) {
  beginNodeTransform();
  cRenderer *r = getRenderer();
  r->drawCube();
  for (const float *arm : kArms) {
    glPushMatrix();
    r->translate(arm[0], arm[1], arm[2]);
    r->drawCube();
    glPopMatrix();
  }
  baseNode::render(progress);
  endNodeTransform();
}

}  // namespace VorbelScenegraph
