// Songs made for measuring the tempo detector: a drum loop at an exact tempo (kick, snare, hi-hats,
// with or without swing) under a bass line and chords, optionally after a quiet intro of chords
// alone. Mono, 48 kHz. The first downbeat of the drums is at `firstBeatMs` (after the intro when
// there is one: the intro starts at the song's start, the drums `introBars` bars later).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace kandu::songs {

struct Song {
  double bpm = 120;
  double firstBeatMs = 0;  // the first beat of the bar the drums start on
  double seconds = 60;
  double swing = 0;        // 0: straight eighths; 1/3: triplet swing
  int introBars = 0;       // bars of chords alone before the drums
  bool hats = true;
  bool snare = true;
  bool fourOnTheFloor = false;  // a kick on every beat instead of 1 and 3
  uint32_t seed = 1;
};

std::vector<float> make(const Song &song);
// "128.00 BPM, swing 0.33, 4 bars of intro, ...", for a report.
std::string describe(const Song &song);

}  // namespace kandu::songs
