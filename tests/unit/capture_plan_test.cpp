#include <gtest/gtest.h>

#include <cmath>

#include <string>
#include <vector>

#include "tests/unit/parse.h"
#include "timeline/capture_plan.h"
#include "timeline/demo_beat.h"
#include "timeline/transport.h"

using namespace kandu;

TEST(CaptureRange, FrameCountAndTimes) {
  CaptureRange r{0, 1000, 60};
  EXPECT_EQ(r.frameCount(), 60);
  EXPECT_EQ(r.frameTime(0), 0);
  EXPECT_EQ(r.frameTime(1), 16);
  EXPECT_EQ(r.frameTime(30), 500);
  CaptureRange partial{100, 150, 60};
  EXPECT_EQ(partial.frameCount(), 3);  // ceil(50 × 60 / 1000)
  EXPECT_EQ(partial.frameTime(2), 133);
  CaptureRange odd{0, 1001, 24};
  EXPECT_EQ(odd.frameCount(), 25);
}

// --at and the page's ?at= take one reading: digits only, 0 to 2147483647, within the timeline.
TEST(CapturePlan, AStillsMomentIsReadOneWayByBothHosts) {
  int64_t ms = -1;
  std::string error;
  EXPECT_TRUE(parseMilliseconds("--at", "0", ms, error));
  EXPECT_EQ(ms, 0);
  EXPECT_TRUE(parseMilliseconds("--at", "2147483647", ms, error));
  EXPECT_EQ(ms, 2147483647);
  EXPECT_TRUE(parseMilliseconds("--at", "000000001500", ms, error));
  EXPECT_EQ(ms, 1500);
  for (const char *bad : {"", "1e3", "-1", "+5", " 5", "5 ", "1.5", "0x10", "2147483648", "0000000000001"}) {
    EXPECT_FALSE(parseMilliseconds("?at", bad, ms, error)) << bad;
    EXPECT_EQ(error, std::string("?at wants a time in milliseconds, not '") + bad + "'");
  }
  EXPECT_FALSE(parseMilliseconds("--at", std::string(100, '7'), ms, error));
  EXPECT_EQ(error, "--at wants a time in milliseconds, not '" + std::string(64, '7') + "...'");
  Timeline t = parse("0 2000 morph\n");
  EXPECT_TRUE(checkStillAt(t, "--at", 2000, error));  // the end itself: the last picture
  EXPECT_FALSE(checkStillAt(t, "?at", 2001, error));
  EXPECT_EQ(error, "?at 2001 is past the timeline's end (2000 ms)");
}

TEST(CapturePlan, RangesStillsAndTheSheetsMoments) {
  Timeline t = parse("0 1000 morph\n500 600 rotate\n1000 1999 water_thing\n1999 2001 fade\n");
  CaptureRange whole = captureRange(t, -1, -1, 30);
  EXPECT_EQ(whole.from, 0);
  EXPECT_EQ(whole.to, 2001);
  CaptureRange cut = captureRange(t, 250, 900, 30);
  EXPECT_EQ(cut.frameCount(), 20);  // ceil(650 × 30 / 1000)
  // A still at 1000 ms draws the 60 frames at 0 .. 983 ms first.
  CaptureRange before = stillPreroll(1000, 60);
  EXPECT_EQ(before.frameCount(), 60);
  EXPECT_EQ(before.frameTime(59), 983);
  // The sheet's mid-points are TheSheetsMidPointsAndLastFrame's; here its cap on thumbnails.
  std::string many;
  for (int i = 0; i < 70; ++i) many += std::to_string(i * 10) + " " + std::to_string(i * 10 + 10) + " morph\n";
  SheetPlan capped = planSheet(parse(many), 60);
  EXPECT_EQ(capped.shots.size(), kMaxSheetThumbnails);
  EXPECT_EQ(capped.drawingBlocks, 70u);
  EXPECT_EQ(clockText(0), "0:00.000");
  EXPECT_EQ(clockText(754321), "12:34.321");
}

TEST(Transport, KeysMoveWithinTheRangeAndTheEndLoopsOrFinishes) {
  Timeline t = parse("0 10000 morph\n3000 4000 rotate\n");
  Transport play(1000, 10000, false);
  EXPECT_EQ(play.position(), 1000);
  EXPECT_TRUE(play.press(Transport::Key::Back));
  EXPECT_EQ(play.position(), 1000);  // not before the start
  play.advance(2500);
  EXPECT_EQ(titleText(t, play), "0:03.500 — morph rotate");
  EXPECT_FALSE(play.press(Transport::Key::PlayPause));
  play.advance(1000);  // paused: the wall clock does not move it
  EXPECT_EQ(titleText(t, play), "0:03.500 (paused) — morph rotate");
  EXPECT_TRUE(play.press(Transport::Key::Forward));
  EXPECT_EQ(play.position(), 8500);
  EXPECT_TRUE(play.press(Transport::Key::Forward));
  EXPECT_EQ(play.position(), 9999);  // the last moment, not the end
  EXPECT_EQ(play.checkEnd(), Transport::End::Playing);
  EXPECT_TRUE(play.press(Transport::Key::Home));
  EXPECT_EQ(play.position(), 1000);
  play.follow(10000);
  EXPECT_EQ(play.checkEnd(), Transport::End::Finished);
  Transport loop(0, 500, true);
  loop.advance(600);
  EXPECT_EQ(loop.checkEnd(), Transport::End::Wrapped);
  EXPECT_EQ(loop.position(), 0);
  EXPECT_EQ(titleText(parse("10 20 morph\n"), loop), "0:00.000 — -");
}

// The beat for "tempo 120 100" changed to 60 BPM from beat 4: hi-hats (50 ms each) on beats 0 to 5
// at 100, 600, 1100, 1600, 2100 and 3100 ms, none at 2600 or 3600 where 120 BPM would have put them;
// a kick (250 ms) where the rotate block starts, at 1000 ms, its pitch falling from 150 Hz towards
// 50 Hz: about 5.1 cycles in its first 50 ms (50 × 0.05 + 100 (1 − e^−1.5) / 30), about 2.5 in
// 150..200 ms (50 × 0.05 + 100 (e^−4.5 − e^−6) / 30).
TEST(DemoBeat, HiHatsOnEveryBeatOfTheTempoMapAndKicksWherePulsesStart) {
  Timeline t = parse("tempo 120 100\ntempo 60 from 4b\n0 4000 morph\n1000 1100 rotate\n");
  std::vector<float> beat = demoBeat(t);
  ASSERT_EQ(beat.size(), 2u * 192000);
  auto at = [&](double ms) { return beat[static_cast<size_t>(std::llround(ms * 48) * 2)]; };
  auto soundAfter = [&](double ms) { return at(ms + 1) != 0.0f; };  // a millisecond in
  for (double hat : {100, 600, 1600, 2100, 3100}) EXPECT_TRUE(soundAfter(hat)) << hat;
  for (double quiet : {50, 2600, 3600, 3900}) EXPECT_FALSE(soundAfter(quiet)) << quiet;
  EXPECT_TRUE(soundAfter(1000 + 248)) << "the kick lasts 250 ms";
  EXPECT_FALSE(soundAfter(1000 + 251));
  for (size_t i = 0; i < beat.size(); i += 2) ASSERT_EQ(beat[i], beat[i + 1]) << "the channels are equal";
  // Sign changes of the kick alone (the hi-hat at 1100 ms sounds 100..150 ms into it).
  auto crossings = [&](double fromMs, double toMs) {
    int n = 0;
    for (int64_t k = std::llround(fromMs * 48) + 1; k < std::llround(toMs * 48); ++k)
      if ((beat[static_cast<size_t>(2 * k)] < 0) != (beat[static_cast<size_t>(2 * (k - 1))] < 0)) ++n;
    return n;
  };
  EXPECT_NEAR(crossings(1000, 1050), 10, 1);  // two a cycle
  EXPECT_NEAR(crossings(1150, 1200), 5, 1);
}

// --from 2000 --to 6000 --loop: Home, a wrap and every seek stay within [2000, 6000); the editor's
// loop range replaces that range, an empty one taken as a millisecond.
TEST(Transport, FromAndLoopRangesHoldHomeWrapsAndSeeks) {
  Transport t(2000, 6000, true);
  EXPECT_EQ(t.position(), 2000);
  t.advance(1500);
  EXPECT_EQ(t.position(), 3500);
  EXPECT_TRUE(t.press(Transport::Key::Home));
  EXPECT_EQ(t.position(), 2000);
  t.follow(6000);
  EXPECT_EQ(t.checkEnd(), Transport::End::Wrapped);
  EXPECT_EQ(t.position(), 2000);
  t.seek(10000);
  EXPECT_EQ(t.position(), 5999);
  t.seek(100);
  EXPECT_EQ(t.position(), 2000);
  // An empty range (a timeline with nothing in it yet) holds at its start, never before it.
  Transport empty(0, 0, false);
  empty.seek(500);
  EXPECT_EQ(empty.position(), 0);
  EXPECT_EQ(empty.checkEnd(), Transport::End::Finished);
  t.setPaused(true);
  t.advance(700);
  EXPECT_EQ(t.position(), 2000);
  t.setPaused(false);
  t.advance(700);
  EXPECT_EQ(t.position(), 2700);
  // A new range keeps a position inside it and moves one outside (its end included) to its start.
  t.setRange(1000, 5000, false);
  EXPECT_EQ(t.position(), 2700);
  t.follow(4000);
  t.setRange(1000, 4000, false);
  EXPECT_EQ(t.position(), 1000);
  t.follow(4000);
  EXPECT_EQ(t.checkEnd(), Transport::End::Finished);
  // An empty range is one millisecond long: the position is its start and stays there.
  t.setRange(3000, 3000, true);
  EXPECT_EQ(t.position(), 3000);
  t.seek(5000);
  EXPECT_EQ(t.position(), 3000);
  EXPECT_EQ(t.checkEnd(), Transport::End::Playing);
  // A reloaded timeline's new end: Forward stops a millisecond before it.
  Transport grown(0, 1000, false);
  grown.setEnd(20000);
  EXPECT_TRUE(grown.press(Transport::Key::Forward));
  EXPECT_EQ(grown.position(), 5000);
}

// Frame k of [from, to) at F fps is at from + k × 1000 / F (whole milliseconds, rounded down), and
// there are ceil((to − from) × F / 1000) of them; a still at T pre-rolls those of [0, T).
TEST(CaptureRange, FramesAndStillsAtSeveralRates) {
  struct Case {
    int64_t from, to;
    int fps;
    int64_t count, k, timeOfK;
  } cases[] = {
      {1000, 2000, 24, 24, 5, 1208},  // 1000 + 5000 / 24 = 1208.3
      {0, 1000, 25, 25, 3, 120},
      {0, 1001, 30, 31, 30, 1000},    // 30.03 frames: a 31st at 1000 ms
      {0, 999, 50, 50, 49, 980},      // 49.95 frames
      {500, 501, 60, 1, 0, 500},      // one millisecond still needs a frame
      {0, 1000, 60, 60, 59, 983},     // 59 × 1000 / 60 = 983.3
  };
  for (const Case &c : cases) {
    CaptureRange r{c.from, c.to, c.fps};
    EXPECT_EQ(r.frameCount(), c.count) << c.fps;
    EXPECT_EQ(r.frameTime(c.k), c.timeOfK) << c.fps;
  }
  // A still at 1234 ms: at 30 fps 38 frames before it (37.02), the last at 1233 ms; at 24 fps 30
  // (29.6), the last at 1208 ms.
  EXPECT_EQ(stillPreroll(1234, 30).frameCount(), 38);
  EXPECT_EQ(stillPreroll(1234, 30).frameTime(37), 1233);
  EXPECT_EQ(stillPreroll(1234, 24).frameCount(), 30);
  EXPECT_EQ(stillPreroll(1234, 24).frameTime(29), 1208);
  EXPECT_EQ(stillPreroll(0, 60).frameCount(), 0);
  // -1 is the timeline's start or end; 0 is 0.
  Timeline t = parse("100 1800 morph\n");
  CaptureRange upTo0 = captureRange(t, -1, 0, 60);
  EXPECT_EQ(upTo0.from, 0);
  EXPECT_EQ(upTo0.to, 0);
  EXPECT_EQ(captureRange(t, 300, -1, 60).to, 1800);
}

// The sheet's moment for a block is the first frame at or after its mid-point, the mid-point in
// whole milliseconds; the last frame is the latest of them, whatever the blocks' order.
TEST(CapturePlan, TheSheetsMidPointsAndLastFrame) {
  Timeline t = parse("1000 2000 morph\n0 1001 water_thing\n10 20 rotate\n");
  SheetPlan plan = planSheet(t, 60);
  ASSERT_EQ(plan.shots.size(), 2u);
  EXPECT_EQ(plan.shots[0].frame, 90);   // 1500 ms × 60 / 1000
  EXPECT_EQ(plan.shots[1].frame, 30);   // (0 + 1001) / 2 = 500 ms: frame 30 exactly
  EXPECT_EQ(plan.shots[1].timeMs, 500);
  EXPECT_EQ(plan.shots[0].block->word, "morph");  // drawing blocks only, in file order
  EXPECT_EQ(plan.lastFrame, 90);
  EXPECT_EQ(plan.drawingBlocks, 2u);
  // A mid-point between frames: (1000 + 1999) / 2 = 1499 ms is 89.94 frames, so frame 90 at 1500 ms.
  SheetPlan between = planSheet(parse("1000 1999 morph\n"), 60);
  EXPECT_EQ(between.shots[0].frame, 90);
  EXPECT_EQ(between.shots[0].timeMs, 1500);
  SheetPlan at24 = planSheet(t, 24);
  EXPECT_EQ(at24.shots[0].frame, 36);   // 1500 × 24 / 1000
  EXPECT_EQ(at24.shots[1].frame, 12);   // 500 × 24 / 1000
  EXPECT_EQ(at24.shots[1].timeMs, 500);
}
