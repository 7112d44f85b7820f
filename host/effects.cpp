#include "host/effects.h"

#include <cstring>

namespace Kandu {

const char kEffectNone[] = "";
const char kEffectCubeThing[] = "cube_thing";
const char kEffectWaterThing[] = "water_thing";
const char kEffectJumpingBars[] = "jumping_bars";
const char kEffectJumpingBars2[] = "jumping_bars2";
const char kEffectJumpingBars3[] = "jumping_bars3";
const char kEffectMorph[] = "morph";
const char kEffectCubeField[] = "cube_field";
const char kEffectDistort[] = "distort";
const char kEffectLight[] = "light";
const char kEffectRotate[] = "rotate";
const char kEffectFade[] = "fade";

namespace {
struct WordMapping {
  const char *word;
  const char *effect;
};

// "vibrate" kicks the cube field's distortion; "distort" itself is not a word the host may send.
const WordMapping kWords[] = {
    {"cube_thing", kEffectCubeThing},       {"water_thing", kEffectWaterThing},
    {"jumping_bars", kEffectJumpingBars},   {"jumping_bars2", kEffectJumpingBars2},
    {"jumping_bars3", kEffectJumpingBars3}, {"morph", kEffectMorph},
    {"cube_field", kEffectCubeField},       {"vibrate", kEffectDistort},
    {"light", kEffectLight},                {"rotate", kEffectRotate},
    {"fade", kEffectFade},
};
}  // namespace

const char *effectForWord(const char *word) {
  const char *effect = kEffectNone;
  if (!word) return effect;
  for (const WordMapping &m : kWords)
    if (std::strcmp(word, m.word) == 0) effect = m.effect;
  return effect;
}

}  // namespace Kandu
