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
  auto peak = [&](int b) { return change(b) >= change(b - 1) && change(b) >= change(b + 1); };
  std::vector<int> starts = {0};
  for (int b = 1; b < n; ++b)
    if (b - starts.back() >= 4 && change(b) >= 1 && peak(b)) starts.push_back(b);
  starts.push_back(n);
  // Sections longer than 16 bars are split where the music changes most within them (a change
  // of 0.4 or more, four bars from either end), and where it does not change, into phrases of
  // 8 bars: a song without loud changes still gets scenes, never a scene a bar.
  for (size_t i = 0; i + 1 < starts.size();) {
    const int from = starts[i], to = starts[i + 1];
    if (to - from <= 16) {
      ++i;
      continue;
    }
    int split = 0;
    for (int b = from + 4; b <= to - 4; ++b)
      if (change(b) >= 0.4 && peak(b) && (split == 0 || change(b) > change(split))) split = b;
    if (split == 0) {
      for (int b = from + 8; b + 4 <= to; b += 8) starts.insert(starts.begin() + static_cast<std::ptrdiff_t>(++i), b);
      ++i;
    } else {
      starts.insert(starts.begin() + static_cast<std::ptrdiff_t>(i + 1), split);
    }
  }
  for (size_t i = 1; i < starts.size(); ++i) close(starts[i]);
  return sections;
}

std::string firstCutLines(const std::vector<Section> &sections, const TempoEstimate &tempo,
                          const std::vector<std::string> &pulses) {
  std::string out = "\n# A first cut from the music: a scene per section, pulses on its kicks.\n";
  const double beatMs = 60000.0 / tempo.bpm;
  // Beats count from the tempo line's offset, the first downbeat: a bar line is a whole number of
  // beats from it, written exactly (not from the milliseconds, which the offset's rounding to a
  // whole ms would put a thousandth of a beat off); the song's end is in beats to a thousandth.
  const auto beats = [](int count) { return std::to_string(count) + "b"; };
  const auto endOf = [&](const Section &s) {
    const double bar = tempo.firstBeatMs + 4 * beatMs * (s.firstBar + s.bars);
    if (s.endMs >= bar - 1) return beats(4 * (s.firstBar + s.bars));
    return formatNumber(std::max(0.0, std::floor((s.endMs - std::round(tempo.firstBeatMs)) / beatMs * 1000) / 1000)) + "b";
  };
  for (size_t i = 0; i < sections.size(); ++i) {
    const Section &s = sections[i];
    const std::string start = s.firstBar == 0 ? "0" : beats(4 * s.firstBar), end = endOf(s);
    out += "mark " + start + " " + (i == 0 ? std::string("intro") : "part" + std::to_string(i + 1)) + "\n";
    out += start + " " + end + " " + kScenes[i % (sizeof kScenes / sizeof *kScenes)] + "\n";
    if (!s.kicksEveryBeat && !s.kicksEveryOtherBeat) continue;
    for (const std::string &word : pulses)
      out += beats(4 * s.firstBar) + " " + formatNumber(4 * s.firstBar + 0.25) + "b " + word + " every " +
             (s.kicksEveryBeat ? "1b" : "2b") + " until " + end + "\n";
  }
  return out;
}

}  // namespace kandu
