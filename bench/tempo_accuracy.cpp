// How often the tempo detector is right, on songs made at exact tempi (tests/support/songs.h):
// every tempo from 70 to 180 BPM in steps of 5 (plus odd ones), each straight, swung, after a
// quiet intro, four on the floor and kick-and-hats only, a minute long. Prints each miss and the
// shares for the README.
#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <string>
#include <cmath>
#include <cstdio>
#include <vector>

#include "tests/support/songs.h"
#include "timeline/tempo_detect.h"

using namespace kandu;

int main() {
  std::vector<songs::Song> set;
  uint32_t seed = 1;
  for (double bpm = 70; bpm <= 180; bpm += 5) {
    const double odd = bpm + 0.37 * ((static_cast<int>(bpm) / 5) % 3);  // not all whole numbers
    for (int style = 0; style < 5; ++style) {
      songs::Song s;
      s.bpm = odd;
      s.seed = ++seed;
      s.firstBeatMs = 100 + (seed * 137) % 900;
      if (style == 1) s.swing = 1.0 / 3;
      if (style == 2) s.introBars = 4;
      if (style == 3) s.fourOnTheFloor = true, s.snare = false;
      if (style == 4) s.snare = false;
      set.push_back(s);
    }
  }
  int exact = 0, related = 0;
  std::vector<double> beatErrors, signedErrors;
  for (const songs::Song &s : set) {
    const std::vector<float> sound = songs::make(s);
    const TempoEstimate t = detectTempo(sound.data(), sound.size(), 48000);
    const double ratio = t.steady ? t.bpm / s.bpm : 0;
    const bool right = std::abs(ratio - 1) <= 0.04;
    bool relatedOnly = false;
    for (double m : {2.0, 0.5, 3.0, 1.0 / 3}) relatedOnly = relatedOnly || std::abs(ratio / m - 1) <= 0.04;
    exact += right;
    related += right || relatedOnly;
    if (getenv("SHOW")) std::printf("%s: %s\n", songs::describe(s).c_str(), t.why.c_str());
    if (right) {
      // The first beat's error, a whole number of beats aside (the bar's phase is not asked for).
      const double beat = 60000.0 / s.bpm;
      double d = std::fmod(t.firstBeatMs - s.firstBeatMs, beat);
      if (d > beat / 2) d -= beat;
      if (d < -beat / 2) d += beat;
      beatErrors.push_back(std::abs(d));
      signedErrors.push_back(d);
      if (std::abs(t.firstBeatMs - s.firstBeatMs) > beat / 2)
        std::printf("first beat a beat or more off: %s: found %.0f ms\n", songs::describe(s).c_str(), t.firstBeatMs);
    } else {
      std::printf("miss: %s: found %s %.2f BPM (%s)\n", songs::describe(s).c_str(), t.steady ? "" : "no beat,",
                  t.bpm, t.why.c_str());
    }
  }
  // What has no steady beat: silence, noise, a single click.
  {
    std::vector<float> quiet(48000 * 30, 0.0f), noise(48000 * 30), click(48000 * 30, 0.0f);
    uint32_t n = 7;
    for (float &v : noise) n = n * 1664525u + 1013904223u, v = static_cast<float>((n >> 8) / 8388608.0 - 1.0) * 0.3f;
    for (int i = 0; i < 200; ++i) click[static_cast<size_t>(48000 * 10 + i)] = 0.8f;
    for (auto *name : {"silence", "noise", "a click"}) {
      const std::vector<float> &x = name[0] == 's' ? quiet : name[0] == 'n' ? noise : click;
      const TempoEstimate t = detectTempo(x.data(), x.size(), 48000);
      std::printf("%s: %s %s\n", name, t.steady ? ("a beat at " + std::to_string(t.bpm)).c_str() : "", t.why.c_str());
    }
  }
  // Ten minutes at 128 BPM: how long it takes.
  {
    songs::Song s;
    s.bpm = 128;
    s.seconds = 600;
    const std::vector<float> sound = songs::make(s);
    const auto begin = std::chrono::steady_clock::now();
    const TempoEstimate t = detectTempo(sound.data(), sound.size(), 48000);
    const double ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - begin).count();
    std::printf("ten minutes at 128 BPM: %.2f BPM in %.0f ms\n", t.bpm, ms);
  }
  std::sort(beatErrors.begin(), beatErrors.end());
  std::sort(signedErrors.begin(), signedErrors.end());
  if (!signedErrors.empty())
    std::printf("the first beat found minus the true one: median %.1f ms, from %.1f to %.1f ms\n",
                signedErrors[signedErrors.size() / 2], signedErrors.front(), signedErrors.back());
  const double median = beatErrors.empty() ? 0 : beatErrors[beatErrors.size() / 2];
  std::printf("%zu songs: %d within 4%% of the tempo (%.0f%%), %d within 4%% of it or its double, half, triple or third "
              "(%.0f%%); the first beat's median error %.1f ms\n",
              set.size(), exact, 100.0 * exact / set.size(), related, 100.0 * related / set.size(), median);
  return 0;
}
