// baseIntro — the frame every intro shares: three virtual operations the exports call, the
// registries (tracks, fonts, lights, events, texture stacks) and the render target.
#pragma once

#include <cstdint>

#include "intro/keyframes.h"
#include "intro/pointerlist.h"
#include "renderer/camera.h"
#include "renderer/renderer.h"
#include "renderer/texture.h"

class baseIntro {
 public:
  baseIntro() = default;
  baseIntro(const baseIntro &) = delete;
  baseIntro &operator=(const baseIntro &) = delete;

  // The base initialisation: the render target, then the intro's length from its events.
  virtual void init();
  virtual void deinit(int32_t) {}
  virtual void frame(int32_t, int32_t, const char *, float) {}

  cPointerList tracks;
  cPointerList fonts;
  cPointerList lights;
  cEventList events;
  cPointerList textureStacks;
  cRenderTarget *renderTarget = nullptr;
  float length = 0.0f;
  cFont font;  // the intro's own font: never created, so its teardown deletes nothing
};

// Registry helpers: each creates a record with new, names it and appends it.
cKeyframeTrack *addTrack(cPointerList &tracks, const char *name);
cFont *addFont(cPointerList &fonts, const char *name, int32_t height, uint8_t bold, uint8_t italic);
cLight *addSceneLight(cPointerList &lights);
cLight *findSceneLight(const cPointerList &lights);
cEventList &getEvents(baseIntro &intro);
cPointerList &getTextureStacks(baseIntro &intro);

extern const char kSceneLightName[];
