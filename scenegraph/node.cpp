#include "scenegraph/node.h"

#include <GL/gl.h>

#include "renderer/camera.h"
#include "renderer/renderer.h"

namespace VorbelScenegraph {

void baseNode::renderChildren(float progress) {
  for (baseNode *child = firstChild; child; child = child->next)
    if (child->enabled) child->render(progress);
}

void baseNode::render(float progress) {
  if (!shadowed) {
    renderChildren(progress);
    return;
  }
  shadow.cameraPosition = getCamera()->eye;
  shadow.lightPosition = getLight()->getPosition();
  prepareShadowMap(&shadow);
  beginShadowDepthPass(&shadow);
  renderChildren(progress);
  endShadowDepthPass(&shadow);
  renderChildren(progress);
  beginShadowProjection(&shadow);
  getLight()->switchOn();
  renderChildren(progress);
  getLight()->switchOff();
  glDisable(GL_TEXTURE_GEN_S);
  glDisable(GL_TEXTURE_GEN_T);
  glDisable(GL_TEXTURE_GEN_R);
  glDisable(GL_TEXTURE_GEN_Q);
  glDisable(GL_ALPHA_TEST);
}

void baseNode::addChild(const char *childName, baseNode *child) {
  if (!child) return;
  child->name = childName;
  if (!firstChild) {
    firstChild = child;
    return;
  }
  baseNode *last = firstChild;
  while (last->next) last = last->next;
  last->next = child;
}

baseNode *baseNode::findChild(const char *childName) const {
  for (baseNode *child = firstChild; child; child = child->next)
    if (child->name == childName) return child;
  return nullptr;
}

// GL leaves the matrix undefined-looking for a zero axis (Mesa skips the rotation); a node at the
// defaults must draw unrotated, so a zero axis issues no rotation at all.
void baseNode::applyRotation() {
  if (rotationAxis.x == 0.0f && rotationAxis.y == 0.0f && rotationAxis.z == 0.0f) return;
  getRenderer()->rotate(rotationAngle, rotationAxis.x, rotationAxis.y, rotationAxis.z);
}

void baseNode::beginNodeTransform() {
  glPushMatrix();
  materials.applyAll();
  getRenderer()->translate(position.x, position.y, position.z);
  applyRotation();
}

void baseNode::endNodeTransform() {
  materials.removeAll();
  glPopMatrix();
}

}  // namespace VorbelScenegraph
