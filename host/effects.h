// The effect names the intro understands, each stored once: the intro recognises an effect by
// the address of its name, never by comparing text.
#pragma once

namespace Kandu {

extern const char kEffectNone[];
extern const char kEffectCubeThing[];
extern const char kEffectWaterThing[];
extern const char kEffectJumpingBars[];
extern const char kEffectJumpingBars2[];
extern const char kEffectJumpingBars3[];
extern const char kEffectMorph[];
extern const char kEffectCubeField[];
extern const char kEffectDistort[];
extern const char kEffectLight[];
extern const char kEffectRotate[];
extern const char kEffectFade[];

// The effect name for a word from the host's timeline; unknown words give kEffectNone.
const char *effectForWord(const char *word);

}  // namespace Kandu
