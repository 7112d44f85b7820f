// Building the intro: everything the effects draw is made here, once, with the host's GL context
// current (textures and display lists are created on the way).
#include "intro/testbed.h"
#include "scenegraph/cubething.h"
#include "scenegraph/morph.h"
#include "scenegraph/tower.h"
#include "scenegraph/water.h"
#include "texgen/stack.h"

namespace Kandu {

namespace Names {
const char water1[] = "water1";
const char tower[] = "tower";
const char cube1[] = "cube1";
const char morph[] = "morph";
const char waterColors[] = "water_colors";
const char introText[] = "intro_text";
const char camLook2[] = "cam_look2";
const char camLook1[] = "cam_look1";
const char zeroOneZero[] = "0_1_0";
const char zeroOne[] = "0_1";
const char zeroHundred[] = "0_100";
const char fieldCam[] = "field_cam";
const char eventJumpingBars[] = "jumping_bars";
const char eventRotate[] = "rotate";
const char fontBig[] = "big1";
const char fontBigItalic[] = "big_italic";
}  // namespace Names

namespace {
struct Key {
  float time, x, y, z;
};
struct TrackRecipe {
  const char *name;
  int keyCount;
  Key keys[3];
};

const TrackRecipe kTracks[] = {
    {Names::waterColors, 3, {{0, 0.5f, 0.8f, 1}, {0.5f, 0.25f, 0.4f, 1}, {1, 0.6f, 0.9f, 1}}},
    {Names::introText, 3, {{0, 0, 0, 0}, {0.5f, 400, 1, 0}, {1, 700, 0, 0}}},
    {Names::camLook2, 2, {{0, 0, 0, 60}, {1, 0, 0, 2}}},
    {Names::camLook1, 2, {{0, -30, 0, 2}, {1, 0, 0, 2}}},
    {Names::zeroOneZero, 3, {{0, 0, 0, 0}, {0.5f, 1, 0, 0}, {1, 0, 0, 0}}},
    {Names::zeroOne, 2, {{0, 0, 0, 0}, {1, 1, 0, 0}}},
    {Names::zeroHundred, 2, {{0, 0, 0, 0}, {1, 100, 0, 0}}},
    {Names::fieldCam, 2, {{0, 0, 0, -10}, {1, 0, 0, -55}}},
};

struct EventRecipe {
  int32_t start, end;
  const char *name;
};
const EventRecipe kEvents[] = {
    {0, 30000, Names::eventJumpingBars},
    {1000, 1020, Names::eventRotate},
    {3000, 3020, Names::eventRotate},
    {5000, 5020, Names::eventRotate},
};

template <typename Node> Node *addScene(VorbelScenegraph::cRootNode *&root, const char *name, Node *node) {
  root = new VorbelScenegraph::cRootNode();
  root->addChild(name, node);
  return node;
}
}  // namespace

void cTestBed::init() {
  using namespace VorbelScenegraph;
  if (initialised()) return;  // the host calls InitDLL once; a second call must not rebuild

  // 90 % Perlin noise over 10 % sine plasma: the water's mirror texture.
  createTextureStack(textureStacks);
  cTextureStack *stack = static_cast<cTextureStack *>(textureStacks.first());
  setLayerGenerator(layerAt(stack, 3), 5);
  layerAt(stack, 3)->amount = 90;
  setLayerGenerator(layerAt(stack, 2), 2);
  buildTextureStack(stack);

  addScene(waterScene, Names::water1, new cWaterMirrorNode());
  waterScene->findChild(Names::water1)->setPosition(0, 0, 0);
  addScene(towerScene, Names::tower, new cTowerFieldNode());
  towerScene->findChild(Names::tower)->setPosition(-16, 0, -4);
  addScene(cubeScene, Names::cube1, new cNodeCubeThing());
  cubeScene->findChild(Names::cube1)->setPosition(2.3f, 0, 2);
  addScene(towerScene2, Names::tower, new cTowerFieldNode());  // built but drawn by no effect
  addScene(morphScene, Names::morph, new cMorphObject());
  cubeField = newCubeFieldNode();

  setCamera(newCamera());
  addSceneLight(lights);
  setLight(findSceneLight(lights));
  getLight()->selectMaterial();

  addFont(fonts, Names::fontBig, 42, 0, 0);
  addFont(fonts, Names::fontBigItalic, 28, 1, 1);

  waterScene->findChild(Names::water1)->getMaterials().append(Vorbel::newMaterialTexture(stack->result.texture));

  for (const TrackRecipe &recipe : kTracks) {
    addTrack(tracks, recipe.name);
    for (int k = 0; k < recipe.keyCount; ++k) {
      const Key &key = recipe.keys[k];
      addKey(*track(recipe.name), makeVector(key.x, key.y, key.z), key.time);
    }
  }
  for (const EventRecipe &e : kEvents) addEvent(events, e.start, e.end, e.name);

  baseIntro::init();
  getLight()->switchOff();
}

}  // namespace Kandu
