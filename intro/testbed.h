// cTestBed — this library's intro: water, jumping bars, a cube cross, a morphing tube and a cloud
// of wireframe cubes, all built in code by init and drawn by frame, one effect per call.
#pragma once

#include "intro/intro.h"
#include "scenegraph/cubefield.h"
#include "scenegraph/node.h"

namespace Kandu {

// Track, node and event names: one constant each, used by address to register and to look up.
namespace Names {
extern const char water1[], tower[], cube1[], morph[];
extern const char waterColors[], introText[], camLook2[], camLook1[], zeroOneZero[], zeroOne[], zeroHundred[],
    fieldCam[];
extern const char eventJumpingBars[], eventRotate[];
extern const char fontBig[], fontBigItalic[];
}  // namespace Names

// The two pulses the effects "light" and "rotate" kick; they decay with the progress.
struct Pulses {
  float light = 0.0f;
  float rotate = 0.0f;
};
Pulses &pulses();

class cTestBed final : public baseIntro {
 public:
  void init() override;
  void frame(int32_t, int32_t, const char *effectName, float progress) override;
  bool initialised() const { return waterScene != nullptr; }

  VorbelScenegraph::cRootNode *waterScene = nullptr;
  VorbelScenegraph::cRootNode *towerScene = nullptr;
  VorbelScenegraph::cRootNode *cubeScene = nullptr;
  VorbelScenegraph::cRootNode *towerScene2 = nullptr;
  VorbelScenegraph::cRootNode *morphScene = nullptr;
  VorbelScenegraph::cCubeFieldNode *cubeField = nullptr;

 private:
  cKeyframeTrack *track(const char *name) { return static_cast<cKeyframeTrack *>(tracks.findByName(name)); }
};

}  // namespace Kandu
