#include "timeline/demo_beat.h"

#include <cmath>
#include <cstdint>

namespace kandu {

std::vector<float> demoBeat(const Timeline &timeline) {
  const int64_t frames = (timeline.duration() * kBeatRate + 999) / 1000;
  std::vector<float> samples(static_cast<size_t>(frames) * kBeatChannels, 0.0f);
  auto add = [&](int64_t at, int64_t length, auto wave) {
    for (int64_t i = 0; i < length && at + i < frames; ++i) {
      float v = wave(static_cast<double>(i) / kBeatRate);
      for (int c = 0; c < kBeatChannels; ++c) samples[static_cast<size_t>((at + i) * kBeatChannels + c)] += v;
    }
  };
  // A soft hi-hat on every beat of the tempo map, changes of tempo included: noise from a fixed
  // sequence, so the track is the same every time.
  if (!timeline.tempo.empty()) {
    uint32_t noise = 12345;
    for (double k = 0, t = timeline.tempo.msAt(0); t < timeline.duration(); t = timeline.tempo.msAt(++k))
      add(static_cast<int64_t>(std::llround(t * kBeatRate / 1000)), kBeatRate / 20, [&](double s) {
        noise = noise * 1664525u + 1013904223u;
        return static_cast<float>(0.08 * std::exp(-s * 60) * ((noise >> 9) / 4194304.0 - 1.0));
      });
  }
  // A kick drum where each pulse word starts: a sine falling from 150 Hz to 50 Hz, fading out.
  for (const Block &b : timeline.blocks) {
    if (wordKind(b.word) != WordKind::Pulse) continue;
    add(b.start * kBeatRate / 1000, kBeatRate / 4, [](double s) {
      double phase = 2 * M_PI * (50 * s + 100 * (1 - std::exp(-s * 30)) / 30);
      return static_cast<float>(0.6 * std::exp(-s * 12) * std::sin(phase));
    });
  }
  return samples;
}

}  // namespace kandu
