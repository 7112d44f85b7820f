#include "intro/intro.h"

#include <cstddef>
#include <type_traits>

const char kSceneLightName[] = "scene1_light";

namespace {
// cPointerList::findByName reads a record's name through the record's own address, so every type
// kept in a named registry must start with its name and have no virtual table in front of it.
template <typename T> constexpr bool isNamedRecord() {
  return std::is_standard_layout_v<T> && std::is_same_v<decltype(T::name), const char *> && offsetof(T, name) == 0;
}
static_assert(isNamedRecord<cKeyframeTrack>(), "tracks are found by name");
static_assert(isNamedRecord<cFont>(), "fonts are found by name");
static_assert(isNamedRecord<cLight>(), "lights are found by name");
}  // namespace

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
