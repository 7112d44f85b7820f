#include "host/effects.h"

#include <cstring>

#include "host/words.h"

namespace Kandu {

const char kEffectNone[] = "";
#define KANDU_EFFECT_NAME(word, name, effect, kind) const char kEffect##name[] = effect;
KANDU_EFFECT_WORDS(KANDU_EFFECT_NAME)
#undef KANDU_EFFECT_NAME

namespace {
struct WordMapping {
  const char *word;
  const char *effect;
};

// "vibrate" kicks the cube field's distortion; "distort" itself is not a word the host may send.
#define KANDU_WORD_MAPPING(word, name, effect, kind) {word, kEffect##name},
const WordMapping kWords[] = {KANDU_EFFECT_WORDS(KANDU_WORD_MAPPING)};
#undef KANDU_WORD_MAPPING
}  // namespace

const char *effectForWord(const char *word) {
  const char *effect = kEffectNone;
  if (!word) return effect;
  for (const WordMapping &m : kWords)
    if (std::strcmp(word, m.word) == 0) effect = m.effect;
  return effect;
}

}  // namespace Kandu
