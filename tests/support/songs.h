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

// Music rendered from a score written for the purpose, unlike the songs above (which the detector
// was tuned on): a bar of sixteenths per line, one letter a step (K kick, S clap, h closed hat,
// o open hat, s shaker, . rest), a plucked melody on its own rhythm and an organ pad, at `bpm`.
struct Score {
  std::vector<std::string> drums;  // bars, cycled; each 16 steps
  std::string melody;              // sixteenths, cycled: a digit is a scale degree, '.' holds
  double bpm = 120;
  double firstBeatMs = 0;          // the first drum bar's first step
  double seconds = 60;
  double padBarsFirst = 0;         // bars of pad alone before the drums (a quiet intro)
  uint32_t seed = 1;
};
std::vector<float> render(const Score &score);
// The scores the held-out measurements play, by name: "house", "breakbeat", "halftime", "shuffle",
// "pop", "reggaeton" (the detector's weights were chosen looking at these and the loops), and "disco",
// "funk", "rock", "twostep", "motown" (written after, measured once, never tuned on).
Score score(const std::string &name, double bpm, double firstBeatMs, uint32_t seed);
const std::vector<std::string> &scoreNames();
const std::vector<std::string> &freshScoreNames();
// `mono` (48 kHz) as a 16-bit mono WAV file, to listen to or to hand to the player.
void writeWav(const std::string &path, const std::vector<float> &mono);
// "128.00 BPM, swing 0.33, 4 bars of intro, ...", for a report.
std::string describe(const Song &song);

}  // namespace kandu::songs
