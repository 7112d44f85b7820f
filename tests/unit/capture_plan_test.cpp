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
  // The sheet: drawing blocks only, the first frame at or after each mid-point.
  SheetPlan plan = planSheet(t, 60);
  ASSERT_EQ(plan.shots.size(), 2u);
  EXPECT_EQ(plan.shots[0].block->word, "morph");
  EXPECT_EQ(plan.shots[0].frame, 30);  // mid-point 500 ms
  EXPECT_EQ(plan.shots[0].timeMs, 500);
  EXPECT_EQ(plan.shots[1].frame, 90);  // mid-point 1499 ms: 89.94 frames, so frame 90 at 1500 ms
  EXPECT_EQ(plan.shots[1].timeMs, 1500);
  EXPECT_EQ(plan.lastFrame, 90);
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

TEST(DemoBeat, KicksWherePulsesStartAndHiHatsOnTheBeat) {
  Timeline t = parse("tempo 120 100\n0 2000 morph\n1000 1100 rotate\n");
  std::vector<float> beat = demoBeat(t);
  ASSERT_EQ(beat.size(), 2u * 96000);
  auto at = [&](int64_t frame) { return beat[static_cast<size_t>(frame * 2)]; };
  // Silence before the first beat at 100 ms; the channels are equal.
  for (int64_t i = 0; i < 4800; ++i) ASSERT_EQ(at(i), 0.0f) << i;
  EXPECT_NE(at(4801), 0.0f);
  EXPECT_EQ(beat[4801 * 2], beat[4801 * 2 + 1]);
  // The kick at 1000 ms: 0.6 × sin(2π (50 s + 100 (1 − e^(−30 s)) / 30)) e^(−12 s) on top of the
  // hi-hat's 50 ms that ended at 650 ms. One millisecond in: s = 0.001.
  double s = 0.001, kick = 0.6 * std::exp(-s * 12) * std::sin(2 * M_PI * (50 * s + 100 * (1 - std::exp(-s * 30)) / 30));
  EXPECT_NEAR(at(48000 + 48), kick, 1e-6);
}
