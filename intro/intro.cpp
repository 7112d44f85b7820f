#include "intro/intro.h"

const char kSceneLightName[] = "scene1_light";

void baseIntro::init() {
  renderTarget = newRenderTarget();
  length = static_cast<float>(latestEnd(events));
}

cKeyframeTrack *addTrack(cPointerList &tracks, const char *name) {
  cKeyframeTrack *track = new cKeyframeTrack();
  track->name = name;
  tracks.append(track);
  return track;
}

cFont *addFont(cPointerList &fonts, const char *name, int32_t height, uint8_t bold, uint8_t italic) {
  cFont *font = newFont(name, height, bold, italic);
  fonts.append(font);
  return font;
}

cLight *addSceneLight(cPointerList &lights) {
  cLight *light = new cLight();
  light->name = kSceneLightName;
  lights.append(light);
  return light;
}

cLight *findSceneLight(const cPointerList &lights) { return static_cast<cLight *>(lights.findByName(kSceneLightName)); }

cEventList &getEvents(baseIntro &intro) { return intro.events; }
cPointerList &getTextureStacks(baseIntro &intro) { return intro.textureStacks; }
