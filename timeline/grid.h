// The editor's beat grid: where its lines fall, where a time snaps to, how long one step is, and
// the ruler's ticks, all from the tempo map. A timeline without a tempo has a grid of seconds (one
// "beat" a second from 0). `fraction` is the grid step in beats (1, 1/2, 1/4, 1/3...).
#pragma once

#include <vector>

#include "timeline/timeline.h"

namespace kandu {

class Grid {
 public:
  Grid(const TempoMap &map, double fraction) : map_(map), fraction_(fraction > 0 ? fraction : 1.0) {}

  double msAt(double beat) const;
  double beatAt(double ms) const;
  double beatMs(double atMs) const;
  // The time `beats` beats after `ms`.
  double later(double ms, double beats) const { return msAt(beatAt(ms) + beats); }  // one beat's length at `atMs`
  double stepMs(double atMs) const { return beatMs(atMs) * fraction_; }
  // The nearest grid line.
  double snap(double ms) const;
  // A move by `deltaMs` of something at `atMs`, in whole steps of the grid there.
  double snapMove(double atMs, double deltaMs) const;
  // Where the start (or the end) of [start, end) goes when dragged to `ms`: snapped unless `free`,
  // and never closer than one step to the other edge.
  double dragEdge(double start, double end, bool isStart, double ms, bool free) const;
  // The block [start, end) made `deltaMs` longer (shorter when negative), never shorter than one
  // step at its start.
  double resizedEnd(double start, double end, double deltaMs) const;

  enum Strength { Step = 0, Beat = 1, Bar = 2 };  // a bar is four beats
  struct Line {
    double ms;
    double beat;
    Strength strength;
  };
  // The lines in [fromMs, toMs] (none before beat 0 when there is a tempo), thinned where they
  // crowd: a step line only where steps are at least `minStepMs` apart, a beat line only where
  // beats are at least `minBeatMs` apart; bar lines always.
  std::vector<Line> lines(double fromMs, double toMs, double minStepMs, double minBeatMs) const;
  // The ruler's labelled ticks from `fromMs` to before `toMs`, at 1, 2, 4, 8... beats apart, the
  // fewest that keeps them at least `minGapMs` apart; none before 0 ms.
  std::vector<Line> ticks(double fromMs, double toMs, double minGapMs) const;

 private:
  const TempoMap &map_;
  double fraction_;
};

}  // namespace kandu
