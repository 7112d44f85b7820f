// The editor's beat grid, worked out by hand: 120 BPM is 500 ms a beat, a quarter-beat step 125 ms.
#include <gtest/gtest.h>

#include <vector>

#include "timeline/grid.h"

using namespace kandu;

namespace {
TempoMap map(std::vector<TempoMap::Segment> segments) {
  TempoMap m;
  m.segments = std::move(segments);
  return m;
}
}  // namespace

TEST(Grid, SnapStepAndMovesFollowTheTempoMap) {
  // 120 BPM from 100 ms, 60 BPM from beat 4 (2100 ms).
  const TempoMap m = map({{0, 100, 120}, {4, 2100, 60}});
  const Grid quarter(m, 0.25);
  EXPECT_DOUBLE_EQ(quarter.stepMs(1000), 125);
  EXPECT_DOUBLE_EQ(quarter.stepMs(2500), 250);
  EXPECT_DOUBLE_EQ(quarter.snap(1160), 1100);    // 2.12 beats: the nearest quarter is 2
  EXPECT_DOUBLE_EQ(quarter.snap(1170), 1225);    // 2.14 beats: 2.25
  EXPECT_DOUBLE_EQ(quarter.snap(2700), 2600);    // 4.6 beats at 60 BPM: 4.5
  EXPECT_DOUBLE_EQ(quarter.snap(40), 100);       // -0.12 beats: the nearest quarter is beat 0
  EXPECT_DOUBLE_EQ(quarter.snapMove(1000, 190), 250);   // 1.52 steps of 125 ms: 2
  EXPECT_DOUBLE_EQ(quarter.snapMove(3000, -370), -250);  // 1.48 steps of 250 ms: 1
  EXPECT_DOUBLE_EQ(quarter.later(1100, 1), 1600);
  EXPECT_DOUBLE_EQ(quarter.later(1850, 1), 2600);   // half a beat at 120, half at 60
  // Without a tempo: a grid of seconds from 0.
  const TempoMap none;
  const Grid seconds(none, 0.5);
  EXPECT_DOUBLE_EQ(seconds.stepMs(7000), 500);
  EXPECT_DOUBLE_EQ(seconds.snap(1260), 1500);
  EXPECT_DOUBLE_EQ(seconds.msAt(3), 3000);
}

TEST(Grid, DraggedEdgesKeepOneStepFromTheOtherEdge) {
  const TempoMap m = map({{0, 0, 120}});
  const Grid quarter(m, 0.25);
  // [1000, 2000): the start snaps, and stops 125 ms before the end; the end likewise.
  EXPECT_DOUBLE_EQ(quarter.dragEdge(1000, 2000, true, 1330, false), 1375);
  EXPECT_DOUBLE_EQ(quarter.dragEdge(1000, 2000, true, 1990, false), 1875);
  EXPECT_DOUBLE_EQ(quarter.dragEdge(1000, 2000, true, 1330, true), 1330);  // free
  EXPECT_DOUBLE_EQ(quarter.dragEdge(1000, 2000, false, 900, false), 1125);
  EXPECT_DOUBLE_EQ(quarter.resizedEnd(1000, 2000, -2000), 1125);
  EXPECT_DOUBLE_EQ(quarter.resizedEnd(1000, 2000, 250), 2250);
}

TEST(Grid, LinesAreThinnedWhereTheyCrowdAndTicksDouble) {
  const TempoMap m = map({{0, 0, 120}});
  const Grid quarter(m, 0.25);
  // 0 .. 1000 ms: steps at every 125 ms, beats at 0, 500, 1000, a bar at 0 (beat 4 is at 2000).
  std::vector<Grid::Line> all = quarter.lines(0, 1000, 0, 0);
  ASSERT_EQ(all.size(), 9u);
  EXPECT_EQ(all[0].strength, Grid::Bar);
  EXPECT_EQ(all[1].strength, Grid::Step);
  EXPECT_DOUBLE_EQ(all[1].ms, 125);
  EXPECT_EQ(all[4].strength, Grid::Beat);
  // Steps closer than 200 ms are left out; beats closer than 600 ms too: the bars stay.
  std::vector<Grid::Line> sparse = quarter.lines(0, 4000, 200, 600);
  ASSERT_EQ(sparse.size(), 3u);
  EXPECT_DOUBLE_EQ(sparse[1].ms, 2000);
  EXPECT_DOUBLE_EQ(sparse[2].ms, 4000);
  // Nothing before beat 0.
  EXPECT_DOUBLE_EQ(Grid(map({{0, 300, 120}}), 1).lines(0, 600, 0, 0).front().ms, 300);
  // Ticks at least 1200 ms apart: 1, 2 beats are closer; every 4 beats (2000 ms), from beat 0.
  std::vector<Grid::Line> ticks = quarter.ticks(0, 7000, 1200);
  ASSERT_EQ(ticks.size(), 4u);
  EXPECT_DOUBLE_EQ(ticks[1].ms, 2000);
  EXPECT_DOUBLE_EQ(ticks[3].beat, 12);
}
