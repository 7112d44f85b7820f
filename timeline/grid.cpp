#include "timeline/grid.h"

#include <algorithm>
#include <cmath>

namespace kandu {

double Grid::msAt(double beat) const { return map_.empty() ? beat * 1000.0 : map_.msAt(beat); }
double Grid::beatAt(double ms) const { return map_.empty() ? ms / 1000.0 : map_.beatAt(ms); }
double Grid::beatMs(double atMs) const { return map_.empty() ? 1000.0 : 60000.0 / map_.bpmAt(atMs); }

double Grid::snap(double ms) const { return msAt(std::round(beatAt(ms) / fraction_) * fraction_); }

double Grid::snapMove(double atMs, double deltaMs) const {
  const double step = stepMs(atMs);
  return std::round(deltaMs / step) * step;
}

double Grid::dragEdge(double start, double end, bool isStart, double ms, bool free) const {
  const double step = stepMs(start);
  const double to = free ? ms : snap(ms);
  return isStart ? std::min(to, end - step) : std::max(to, start + step);
}

double Grid::resizedEnd(double start, double end, double deltaMs) const {
  return std::max(start + stepMs(start), end + deltaMs);
}

std::vector<Grid::Line> Grid::lines(double fromMs, double toMs, double minStepMs, double minBeatMs) const {
  std::vector<Line> out;
  double first = std::floor(beatAt(fromMs) / fraction_);
  const double last = std::ceil(beatAt(toMs) / fraction_);
  if (!map_.empty()) first = std::max(first, 0.0);
  for (double k = first; k <= last; ++k) {
    const double beats = k * fraction_, ms = msAt(beats);
    const bool onBeat = std::abs(beats - std::round(beats)) < 1e-6;
    const bool onBar = onBeat && std::fmod(std::round(beats), 4.0) == 0.0;
    if (!onBeat && stepMs(ms) < minStepMs) continue;
    if (onBeat && !onBar && beatMs(ms) < minBeatMs) continue;
    out.push_back({ms, beats, onBar ? Bar : onBeat ? Beat : Step});
  }
  return out;
}

std::vector<Grid::Line> Grid::ticks(double fromMs, double toMs, double minGapMs) const {
  std::vector<Line> out;
  double every = 1;
  while (beatMs(fromMs) * every < minGapMs && every < 1e9) every *= 2;
  for (double k = std::floor(std::max(0.0, beatAt(fromMs)) / every);; ++k) {
    const double beats = k * every, ms = msAt(beats);
    if (ms >= toMs) break;
    if (ms < 0) continue;
    out.push_back({ms, beats, std::fmod(beats, 4.0) == 0.0 ? Bar : Beat});
  }
  return out;
}

}  // namespace kandu
