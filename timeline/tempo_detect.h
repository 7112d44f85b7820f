// The tempo of music and where its first beat falls, found from the sound: an onset-strength
// envelope (spectral flux of the log spectrum, a frame every 10.7 ms), then every tempo from 50 to
// 220 BPM scored by how much more onset energy falls on its beats than between them (weighted
// towards common tempi), refined to a hundredth of a BPM with its best phase, and the first beat
// taken as the first one at the music's start. For music of steady tempo; plain C++, so that the
// player and the web module share it.
#pragma once

#include <cstddef>
#include <string>

namespace kandu {

struct TempoEstimate {
  bool steady = false;      // false: no steady beat (`why` says what was found instead)
  double bpm = 0;
  double firstBeatMs = 0;   // the first beat at or after the music's start
  double confidence = 0;    // 0 .. 1: how far the best tempo stands out
  std::string why;
};

// `mono`: `count` samples at `rate` Hz.
TempoEstimate detectTempo(const float *mono, size_t count, int rate);

}  // namespace kandu
