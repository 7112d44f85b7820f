// Scene graph core: named nodes in trees under root nodes.
//
// A node has a position, a rotation (degrees about an axis), a colour, a name, an enabled flag,
// materials and shadow-map state. Children are an intrusive list (firstChild / next) drawn in the
// order they were added; findChild compares name pointers. Effect nodes override render and draw
// their own geometry in immediate mode.
#pragma once

#include <cstdint>

#include "intro/pointerlist.h"
#include "intro/types.h"
#include "renderer/shadow.h"

namespace VorbelScenegraph {

class baseNode {
 public:
  baseNode() = default;
  baseNode(const baseNode &) = delete;
  baseNode &operator=(const baseNode &) = delete;

  // Draws the children; a shadowed node draws them through the three shadow-mapping passes.
  virtual void render(float progress);

  void renderChildren(float progress);
  void addChild(const char *childName, baseNode *child);
  baseNode *findChild(const char *childName) const;

  void setPosition(float x, float y, float z) { position = makeVector(x, y, z); }
  cVector3 &getPosition() { return position; }
  void setRotation(float angle, float x, float y, float z) {
    rotationAngle = angle;
    rotationAxis = makeVector(x, y, z);
  }
  float getRotationAngle() const { return rotationAngle; }
  cVector3 getRotationAxis() const { return rotationAxis; }
  void setName(const char *n) { name = n; }
  const char *getName() const { return name; }
  baseNode *getNext() const { return next; }
  uint8_t isEnabled() const { return enabled; }
  cPointerList &getMaterials() { return materials; }

  cVector3 position;
  cVector3 rotationAxis;
  cColor4 color{1.0f, 1.0f, 1.0f, 1.0f};
  float rotationAngle = 0.0f;
  baseNode *next = nullptr;
  baseNode *firstChild = nullptr;
  const char *name = "";
  uint8_t enabled = 1;
  uint8_t shadowed = 0;
  cPointerList materials;
  cShadowMapState shadow;

 protected:
  // The effect nodes' common opening and closing: push, materials on, translate, rotate ... off, pop.
  void beginNodeTransform();
  void endNodeTransform();
  void applyRotation();
};

// A group: draws its children and ignores its own transform and materials.
class cRootNode final : public baseNode {
 public:
  void render(float progress) override { baseNode::render(progress); }
};

}  // namespace VorbelScenegraph
