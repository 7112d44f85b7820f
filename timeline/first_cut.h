// A first cut of a demo from its music: the song split into sections where its loudness or its
// brightness changes (on bar lines of the tempo found), a scene per section (the drawing effects in
// turn) with a mark at its start, and pulses on the beats a kick falls on, in the lanes asked for.
// A starting point to edit, written as ordinary timeline lines; plain C++, shared by the player and
// the page.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "timeline/tempo_detect.h"

namespace kandu {

struct Section {
  double startMs = 0, endMs = 0;
  int firstBar = 0, bars = 0;
  bool kicksEveryBeat = false, kicksEveryOtherBeat = false;
};

// The sections of `mono` (`count` samples at `rate`), on the bars of `tempo` (steady). A new one
// starts where a bar's loudness differs from the bars before by 6 dB or more, or its brightness
// (the share of its energy above about 2 kHz) by half or more, at least four bars after the last.
std::vector<Section> findSections(const float *mono, size_t count, int rate, const TempoEstimate &tempo);

// The lines a first cut adds after a timeline's music and tempo lines: per section a mark
// ("intro", then "part2", "part3"...), a scene in beats, and on its kicks a pulse of each word
// of `pulses` (a rule every beat or every other beat).
std::string firstCutLines(const std::vector<Section> &sections, const TempoEstimate &tempo,
                          const std::vector<std::string> &pulses);

}  // namespace kandu
