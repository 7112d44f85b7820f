#include "timeline/first_cut.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "timeline/document.h"

namespace kandu {

namespace {

const char *const kScenes[] = {"water_thing", "jumping_bars", "cube_thing", "morph", "cube_field", "jumping_bars2"};

struct BarFeatures {
  double db = -120, brightness = 0;
};

// Energy of a stretch, in all and above about 2 kHz (the first difference stands for the highs).
void energies(const float *x, size_t from, size_t to, double &all, double &high) {
  all = high = 0;
  for (size_t i = from + 1; i < to; ++i) {
    all += static_cast<double>(x[i]) * x[i];
    const double d = static_cast<double>(x[i]) - x[i - 1];
    high += d * d;
  }
}

// Low band (a one-pole low-pass at about 150 Hz) energy in the 60 ms after `at` and in the 60 ms
// before it.
void lowAround(const std::vector<float> &low, double atMs, int rate, double &before, double &after) {
  before = after = 0;
  const auto at = static_cast<int64_t>(atMs * rate / 1000), w = static_cast<int64_t>(rate * 0.06);
  if (at - w < 0 || at + w >= static_cast<int64_t>(low.size())) return;
  for (int64_t i = 0; i < w; ++i) {
    before += static_cast<double>(low[static_cast<size_t>(at - w + i)]) * low[static_cast<size_t>(at - w + i)];
    after += static_cast<double>(low[static_cast<size_t>(at + i)]) * low[static_cast<size_t>(at + i)];
  }
}

}  // namespace

std::vector<Section> findSections(const float *mono, size_t count, int rate, const TempoEstimate &tempo) {
  std::vector<Section> sections;
  if (!tempo.steady || tempo.bpm <= 0 || rate <= 0) return sections;
  const double beatMs = 60000.0 / tempo.bpm, barMs = 4 * beatMs, lengthMs = 1000.0 * count / rate;
  // Bars from the first downbeat; the music before it belongs to the first section.
  std::vector<BarFeatures> bars;
  for (double at = tempo.firstBeatMs; at + barMs / 2 < lengthMs; at += barMs) {
    const auto from = static_cast<size_t>(at * rate / 1000);
    const auto to = std::min(count, static_cast<size_t>((at + barMs) * rate / 1000));
    double all = 0, high = 0;
    energies(mono, from, to, all, high);
    BarFeatures f;
    f.db = 10 * std::log10(all / std::max<size_t>(1, to - from) + 1e-12);
    f.brightness = all > 0 ? high / (4 * all) : 0;
    bars.push_back(f);
  }
  if (bars.empty()) return sections;
  std::vector<float> low(count);
  const double a = std::exp(-2 * M_PI * 150.0 / rate);
  double y = 0;
  for (size_t i = 0; i < count; ++i) low[i] = static_cast<float>(y = (1 - a) * mono[i] + a * y);

  // A kick: a beat whose low band starts several times stronger than it was, and as strong as the
  // song's strong beats (its 90th percentile); a bass note on every beat is not one.
  const int beatCount = static_cast<int>(bars.size()) * 4;
  std::vector<double> before(static_cast<size_t>(beatCount)), after(static_cast<size_t>(beatCount));
  for (int b = 0; b < beatCount; ++b)
    lowAround(low, tempo.firstBeatMs + b * beatMs, rate, before[static_cast<size_t>(b)], after[static_cast<size_t>(b)]);
  std::vector<double> sorted = after;
  std::sort(sorted.begin(), sorted.end());
  const double strong = sorted.empty() ? 0 : sorted[sorted.size() * 9 / 10];
  auto kickAt = [&](int b) {
    const double a = after[static_cast<size_t>(b)];
    return strong > 0 && a >= 0.4 * strong && a > 4 * before[static_cast<size_t>(b)];
  };

  int start = 0;
  auto close = [&](int end) {
    Section s;
    s.firstBar = start;
    s.bars = end - start;
    s.startMs = start == 0 ? 0 : tempo.firstBeatMs + start * barMs;
    s.endMs = std::min(lengthMs, tempo.firstBeatMs + end * barMs);
    int beats = 0, kicks = 0, evenKicks = 0;
    for (int b = start * 4; b < end * 4; ++b) {
      const bool kick = kickAt(b);
      ++beats;
      kicks += kick;
      evenKicks += kick && b % 2 == 0;
    }
    s.kicksEveryBeat = beats > 0 && kicks >= beats * 0.75;
    s.kicksEveryOtherBeat = !s.kicksEveryBeat && beats > 0 && evenKicks >= beats / 2 * 0.75;
    sections.push_back(s);
    start = end;
  };
  // The change at bar b: the mean of the four bars from b against the four before it, in loudness
  // (dB) and in brightness (relative); a section starts where it passes 6 dB or a half, at the bar
  // where it is greatest among its neighbours (a change within a bar shows in two).
  const int n = static_cast<int>(bars.size());
  auto mean = [&](int from, int to, double BarFeatures::*field) {
    double sum = 0;
    for (int k = from; k < to; ++k) sum += bars[static_cast<size_t>(k)].*field;
    return sum / std::max(1, to - from);
  };
  auto change = [&](int b) {
    if (b < 1 || b >= n) return 0.0;
    const int before = std::max(0, b - 4), after = std::min(n, b + 4);
    const double db = std::abs(mean(b, after, &BarFeatures::db) - mean(before, b, &BarFeatures::db)) / 6;
    const double x = mean(before, b, &BarFeatures::brightness), y = mean(b, after, &BarFeatures::brightness);
    const double bright = std::abs(y - x) / (0.5 * std::max({x, y, 1e-9}));
    return std::max(db, bright);
  };
  for (int b = 1; b < n; ++b) {
    const double c = change(b);
    if (b - start < 4 || c < 1 || c < change(b - 1) || c < change(b + 1)) continue;
    close(b);
  }
  close(static_cast<int>(bars.size()));
  return sections;
}

std::string firstCutLines(const std::vector<Section> &sections, const TempoEstimate &tempo,
                          const std::vector<std::string> &pulses) {
  std::string out = "\n# A first cut from the music: a scene per section, pulses on its kicks.\n";
  const double beatMs = 60000.0 / tempo.bpm;
  const auto beatOf = [&](double ms) {  // the tempo line's beats, from its whole-ms offset
    return formatNumber(std::round((ms - std::round(tempo.firstBeatMs)) / beatMs * 1000) / 1000) + "b";
  };
  for (size_t i = 0; i < sections.size(); ++i) {
    const Section &s = sections[i];
    const std::string start = s.startMs <= 0 ? "0" : beatOf(s.startMs), end = beatOf(s.endMs);
    out += "mark " + start + " " + (i == 0 ? std::string("intro") : "part" + std::to_string(i + 1)) + "\n";
    out += start + " " + end + " " + kScenes[i % (sizeof kScenes / sizeof *kScenes)] + "\n";
    if (!s.kicksEveryBeat && !s.kicksEveryOtherBeat) continue;
    const double first = s.startMs <= 0 ? tempo.firstBeatMs : s.startMs;
    for (const std::string &word : pulses)
      out += beatOf(first) + " " + beatOf(first + beatMs / 4) + " " + word + " every " +
             (s.kicksEveryBeat ? "1b" : "2b") + " until " + end + "\n";
  }
  return out;
}

}  // namespace kandu
