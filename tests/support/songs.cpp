#include "tests/support/songs.h"

#include <algorithm>
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

std::vector<float> render(const Score &score) {
  std::vector<float> out(static_cast<size_t>(score.seconds * kRate), 0.0f);
  uint32_t noise = score.seed * 2246822519u + 7;
  const double step = 60000.0 / score.bpm / 4, bar = 16 * step;
  const double endMs = score.seconds * 1000;
  // An organ pad from its own start: the scale's first, fourth, fifth and sixth degrees a bar each.
  static const double kScale[] = {261.63, 293.66, 329.63, 349.23, 392.0, 440.0, 493.88, 523.25, 587.33, 659.25};
  static const int kPadRoots[] = {0, 3, 4, 5};
  const double padStart = score.firstBeatMs - score.padBarsFirst * bar;
  for (int b = 0; padStart + b * bar < endMs; ++b) {
    const double root = kScale[kPadRoots[b % 4]] / 2;
    const int64_t from = std::llround((padStart + b * bar) * kRate / 1000), n = std::llround(bar * kRate / 1000);
    for (int64_t i = 0; i < n; ++i) {
      const int64_t k = from + i;
      if (k < 0 || k >= static_cast<int64_t>(out.size())) continue;
      const double s = static_cast<double>(i) / kRate;
      const double v = std::sin(2 * M_PI * root * s) + 0.5 * std::sin(4 * M_PI * root * s) +
                       0.3 * std::sin(2 * M_PI * root * 1.498 * s);
      out[static_cast<size_t>(k)] += static_cast<float>(0.025 * std::min(1.0, s * 2) * v);
    }
  }
  auto clap = [](double s, uint32_t &n) {
    // Three quick bursts of noise, then a tail.
    const double env = s < 0.03 ? std::exp(-std::fmod(s, 0.01) * 300) : std::exp(-(s - 0.03) * 30);
    return env * white(n);
  };
  auto shaker = [](double s, uint32_t &n) { return std::min(1.0, s * 400) * std::exp(-s * 60) * white(n); };
  auto openHat = [](double s, uint32_t &n) { return std::exp(-s * 12) * white(n); };
  const size_t steps = static_cast<size_t>((endMs - score.firstBeatMs) / step) + 1;
  for (size_t k = 0; k < steps; ++k) {
    const double t = score.firstBeatMs + static_cast<double>(k) * step;
    const std::string &pattern = score.drums[(k / 16) % score.drums.size()];
    switch (pattern[k % 16]) {
      case 'K': add(out, t, 300, 0.55, kick, noise); break;
      case 'S': add(out, t, 250, 0.22, clap, noise); break;
      case 'h': add(out, t, 50, 0.07, hat, noise); break;
      case 'o': add(out, t, 300, 0.05, openHat, noise); break;
      case 's': add(out, t, 80, 0.04, shaker, noise); break;
      default: break;
    }
    // The melody: a plucked string (a decaying sum of harmonics) on each digit.
    const char note = score.melody[k % score.melody.size()];
    if (note >= '0' && note <= '9') {
      const double f = kScale[note - '0'];
      const int64_t from = std::llround(t * kRate / 1000), n = std::llround(step * 3 * kRate / 1000);
      for (int64_t i = 0; i < n && from + i < static_cast<int64_t>(out.size()); ++i) {
        const double s = static_cast<double>(i) / kRate;
        double v = 0;
        for (int h = 1; h <= 4; ++h) v += std::sin(2 * M_PI * f * h * s) / (h * h);
        out[static_cast<size_t>(from + i)] += static_cast<float>(0.06 * std::exp(-s * 6) * v);
      }
    }
  }
  return out;
}

const std::vector<std::string> &scoreNames() {
  static const std::vector<std::string> names = {"house", "breakbeat", "halftime", "shuffle", "pop", "reggaeton"};
  return names;
}

const std::vector<std::string> &freshScoreNames() {
  static const std::vector<std::string> names = {"disco", "funk", "rock", "twostep", "motown"};
  return names;
}

Score score(const std::string &name, double bpm, double firstBeatMs, uint32_t seed) {
  Score s;
  s.bpm = bpm;
  s.firstBeatMs = firstBeatMs;
  s.seed = seed;
  if (name == "house") {
    s.drums = {"K.h.K.hoK.h.K.ho", "K.h.KSh.K.h.KShs"};
    s.melody = "4..2..0.4..5..3.";
  } else if (name == "breakbeat") {
    s.drums = {"K.h.S.hKh.K.S.h.", "K.h.S.h.h.KKS.hs"};
    s.melody = "0...2...4.3.2...";
  } else if (name == "halftime") {
    s.drums = {"K.h.h.h.S.h.h.hK", "K.h.h.hKS.h.h.h."};
    s.melody = "7.......5...4...";
  } else if (name == "shuffle") {
    // Swung sixteenths written out: the off-step late, on a grid of twelve to the bar's beats.
    s.drums = {"K..hS..hK.KhS..h"};
    s.melody = "0..2..4..5..4..2";
  } else if (name == "pop") {
    s.drums = {"K.h.S.h.K.K.S.h.", "K.h.S.h.K.h.S.Sh"};
    s.melody = "2.2.4.5.4...2...";
    s.padBarsFirst = 2;
  } else if (name == "disco") {
    s.drums = {"K.o.KSo.K.o.KSo."};
    s.melody = "0.0.4.4.5.5.4...";
  } else if (name == "funk") {
    s.drums = {"K.hKS.hh.hK.S.hK", "K.h.S.hKh.K.S.hh"};
    s.melody = "0..0..3.4..4..3.";
  } else if (name == "rock") {
    s.drums = {"K.h.S.h.KKh.S.h.", "K.h.S.hKK.h.S.Sh"};
    s.melody = "4.......3.......";
    s.padBarsFirst = 1;
  } else if (name == "twostep") {
    s.drums = {"K.s.S.s.s.K.S.s.", "K.s.S.s.s.s.S.sK"};
    s.melody = "2...1...0.......";
  } else if (name == "motown") {
    s.drums = {"KhShKhShKhShKhSh"};
    s.melody = "0.2.4.5.7.5.4.2.";
  } else {  // reggaeton: the dembow
    s.drums = {"K..S..S.K..S..S."};
    s.melody = "5...4...2...0...";
  }
  return s;
}

void writeWav(const std::string &path, const std::vector<float> &mono) {
  std::FILE *f = std::fopen(path.c_str(), "wb");
  if (!f) return;
  auto u32 = [&](uint32_t v) { std::fwrite(&v, 4, 1, f); };
  auto u16 = [&](uint16_t v) { std::fwrite(&v, 2, 1, f); };
  std::fwrite("RIFF", 1, 4, f);
  u32(static_cast<uint32_t>(36 + mono.size() * 2));
  std::fwrite("WAVEfmt ", 1, 8, f);
  u32(16), u16(1), u16(1), u32(kRate), u32(kRate * 2), u16(2), u16(16);
  std::fwrite("data", 1, 4, f);
  u32(static_cast<uint32_t>(mono.size() * 2));
  for (float v : mono) {
    const auto s = static_cast<int16_t>(std::lround(std::max(-1.0f, std::min(1.0f, v)) * 32767));
    std::fwrite(&s, 2, 1, f);
  }
  std::fclose(f);
}

std::string describe(const Song &song) {
  char text[160];
  std::snprintf(text, sizeof text, "%.2f BPM, first beat %.0f ms, swing %.2f, %d bars of intro%s%s%s", song.bpm,
                song.firstBeatMs, song.swing, song.introBars, song.hats ? "" : ", no hats",
                song.snare ? "" : ", no snare", song.fourOnTheFloor ? ", four on the floor" : "");
  return text;
}

}  // namespace kandu::songs
