#include "tests/support/songs.h"

#include <cmath>
#include <cstdio>

namespace kandu::songs {

namespace {

const int kRate = 48000;

void add(std::vector<float> &out, double atMs, double lengthMs, double gain, double (*wave)(double, uint32_t &),
         uint32_t &noise) {
  const int64_t from = std::llround(atMs * kRate / 1000);
  const int64_t n = std::llround(lengthMs * kRate / 1000);
  for (int64_t i = 0; i < n; ++i) {
    const int64_t k = from + i;
    if (k < 0 || k >= static_cast<int64_t>(out.size())) continue;
    out[static_cast<size_t>(k)] += static_cast<float>(gain * wave(static_cast<double>(i) / kRate, noise));
  }
}

double white(uint32_t &noise) {
  noise = noise * 1664525u + 1013904223u;
  return (noise >> 8) / 8388608.0 - 1.0;
}
// A kick: a sine falling from 150 Hz towards 50 Hz.
double kick(double s, uint32_t &) {
  return std::exp(-s * 14) * std::sin(2 * M_PI * (50 * s + 100 * (1 - std::exp(-s * 30)) / 30));
}
double snare(double s, uint32_t &noise) { return std::exp(-s * 25) * (0.7 * white(noise) + 0.3 * std::sin(2 * M_PI * 190 * s)); }
double hat(double s, uint32_t &noise) { return std::exp(-s * 80) * white(noise); }

}  // namespace

std::vector<float> make(const Song &song) {
  std::vector<float> out(static_cast<size_t>(song.seconds * kRate), 0.0f);
  uint32_t noise = song.seed * 2654435761u + 1;
  const double beat = 60000.0 / song.bpm, bar = 4 * beat;
  const double introStart = song.firstBeatMs - song.introBars * bar;
  const double endMs = song.seconds * 1000;
  // Chords from the intro's start: four notes held a bar each, a progression of four bars.
  static const double kRoots[] = {220.0, 174.61, 261.63, 196.0};
  for (int b = 0; introStart + b * bar < endMs; ++b) {
    const double root = kRoots[b % 4], at = introStart + b * bar;
    const int64_t from = std::llround(at * kRate / 1000), n = std::llround(bar * kRate / 1000);
    for (int64_t i = 0; i < n; ++i) {
      const int64_t k = from + i;
      if (k < 0 || k >= static_cast<int64_t>(out.size())) continue;
      const double s = static_cast<double>(i) / kRate;
      const double swell = std::min(1.0, s * 8) * std::min(1.0, (bar / 1000 - s) * 8);
      double v = 0;
      for (double ratio : {1.0, 1.26, 1.5, 2.0}) v += std::sin(2 * M_PI * root * ratio * s);
      out[static_cast<size_t>(k)] += static_cast<float>(0.03 * swell * v);
    }
  }
  // Drums and bass from the first beat.
  for (int k = 0; song.firstBeatMs + k * beat < endMs; ++k) {
    const double t = song.firstBeatMs + k * beat;
    const int inBar = k % 4;
    if (song.fourOnTheFloor || inBar == 0 || inBar == 2) add(out, t, 250, 0.5, kick, noise);
    if (song.snare && (inBar == 1 || inBar == 3)) add(out, t, 200, 0.25, snare, noise);
    if (song.hats) {
      add(out, t, 60, 0.08, hat, noise);
      add(out, t + beat * (0.5 + song.swing / 2), 60, 0.06, hat, noise);
    }
    // A bass note on each beat, the chord's root two octaves down.
    const double root = kRoots[(k / 4) % 4] / 4;
    const int64_t from = std::llround(t * kRate / 1000), n = std::llround(beat * 0.8 * kRate / 1000);
    for (int64_t i = 0; i < n; ++i) {
      const int64_t j = from + i;
      if (j >= static_cast<int64_t>(out.size())) break;
      const double s = static_cast<double>(i) / kRate;
      out[static_cast<size_t>(j)] += static_cast<float>(0.12 * std::exp(-s * 3) * std::sin(2 * M_PI * root * s));
    }
  }
  return out;
}

std::string describe(const Song &song) {
  char text[160];
  std::snprintf(text, sizeof text, "%.2f BPM, first beat %.0f ms, swing %.2f, %d bars of intro%s%s%s", song.bpm,
                song.firstBeatMs, song.swing, song.introBars, song.hats ? "" : ", no hats",
                song.snare ? "" : ", no snare", song.fourOnTheFloor ? ", four on the floor" : "");
  return text;
}

}  // namespace kandu::songs
