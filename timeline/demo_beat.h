// The built-in demo's soundtrack, made in code at the timeline's tempo (no recorded music): a kick
// drum where each pulse block starts (rotate, light, vibrate) and a soft hi-hat on every beat (at
// every tempo the timeline changes to), as long as the timeline.
#pragma once

#include <vector>

#include "timeline/timeline.h"

namespace kandu {

const int kBeatRate = 48000;
const int kBeatChannels = 2;
// Interleaved stereo samples at 48 kHz, -1 .. 1.
std::vector<float> demoBeat(const Timeline &timeline);

}  // namespace kandu
