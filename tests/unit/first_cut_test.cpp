// The first cut's sections and lines on songs made for it: a quiet intro of chords, then drums.
#include <gtest/gtest.h>

#include <cmath>

#include "tests/support/songs.h"
#include "timeline/document.h"
#include "timeline/first_cut.h"

namespace kandu {
namespace {

std::vector<float> at12k(const std::vector<float> &x) {
  std::vector<float> out;
  for (size_t i = 0; i + 4 <= x.size(); i += 4) out.push_back(0.25f * (x[i] + x[i + 1] + x[i + 2] + x[i + 3]));
  return out;
}

TEST(FirstCut, ASectionStartsWhereTheDrumsComeInAndItsKicksGetPulses) {
  songs::Song song;
  song.bpm = 120;  // bars of 2 s
  song.introBars = 8;
  song.firstBeatMs = 16300;  // the drums' first downbeat; the intro's chords from 300 ms
  song.seconds = 40;
  const std::vector<float> sound = songs::make(song);
  const TempoEstimate tempo = detectTempo(sound.data(), sound.size(), 48000);
  ASSERT_TRUE(tempo.steady) << tempo.why;
  const std::vector<float> mono = at12k(sound);
  const std::vector<Section> sections = findSections(mono.data(), mono.size(), 12000, tempo);
  ASSERT_GE(sections.size(), 2u);
  // Within a bar (2000 ms) of the change.
  EXPECT_NEAR(sections[1].startMs, 16300, 2000) << "the second section starts at " << sections[1].startMs;
  EXPECT_FALSE(sections[0].kicksEveryBeat || sections[0].kicksEveryOtherBeat) << "no kicks in the intro";
  EXPECT_TRUE(sections[1].kicksEveryOtherBeat) << "kicks on 1 and 3";

  // The lines: a mark, a scene and the pulses, which a timeline reads.
  const std::string lines = firstCutLines(sections, tempo, {"rotate", "light"});
  Timeline timeline;
  std::string error;
  ASSERT_TRUE(parseTimeline("tempo " + formatNumber(tempo.bpm) + " " + std::to_string(std::llround(tempo.firstBeatMs)) +
                                "\n" + lines,
                            "cut.timeline", timeline, error))
      << error << "\n" << lines;
  ASSERT_EQ(timeline.marks.size(), sections.size());
  EXPECT_EQ(timeline.marks[0].name, "intro");
  EXPECT_EQ(timeline.marks[1].name, "part2");
  EXPECT_NEAR(static_cast<double>(timeline.marks[1].ms), sections[1].startMs, 1);
  EXPECT_NE(lines.find(" rotate every 2b until "), std::string::npos) << lines;
  EXPECT_NE(lines.find(" light every 2b until "), std::string::npos) << lines;
}

TEST(FirstCut, HandWorkedLines) {
  // 120 BPM, the first downbeat at 99.6 ms: the tempo line says 100, and bar lines are whole beats
  // from it (16b, never 15.999b or -0.001b); the music ends 900 ms before its last bar would.
  TempoEstimate tempo;
  tempo.steady = true;
  tempo.bpm = 120;
  tempo.firstBeatMs = 99.6;
  Section intro, drums;
  intro.startMs = 0, intro.endMs = 8099.6, intro.firstBar = 0, intro.bars = 4, intro.kicksEveryOtherBeat = true;
  drums.startMs = 8099.6, drums.endMs = 15199.6, drums.firstBar = 4, drums.bars = 4, drums.kicksEveryBeat = true;
  EXPECT_EQ(firstCutLines({intro, drums}, tempo, {"rotate"}),
            "\n# A first cut from the music: a scene per section, pulses on its kicks.\n"
            "mark 0 intro\n0 16b water_thing\n0b 0.25b rotate every 2b until 16b\n"
            "mark 16b part2\n16b 30.199b jumping_bars\n16b 16.25b rotate every 1b until 30.199b\n");
}

// Sections on a signal made by hand: at 120 BPM from a first downbeat at 500 ms (bars of 2 s), a
// quiet tone for four bars and a tone 40 dB louder after, 16.2 s in all. The first section takes
// the music before the first downbeat (from 0), the second starts on bar 4 (500 + 4 x 2000 ms) and
// ends with the music, not on its last, unfinished bar.
TEST(FirstCut, SectionsFromZeroToTheMusicsEndOnTheBarsOfTheOffset) {
  const int rate = 12000;
  std::vector<float> mono(static_cast<size_t>(16.2 * rate));
  for (size_t i = 0; i < mono.size(); ++i)
    mono[i] = static_cast<float>((i < static_cast<size_t>(8.5 * rate) ? 0.005 : 0.5) * std::sin(2 * M_PI * 440.0 * i / rate));
  TempoEstimate tempo;
  tempo.steady = true;
  tempo.bpm = 120;
  tempo.firstBeatMs = 500;
  const std::vector<Section> sections = findSections(mono.data(), mono.size(), rate, tempo);
  ASSERT_EQ(sections.size(), 2u);
  EXPECT_EQ(sections[0].startMs, 0);
  EXPECT_EQ(sections[0].endMs, 8500);
  EXPECT_EQ(sections[0].firstBar, 0);
  EXPECT_EQ(sections[0].bars, 4);
  EXPECT_EQ(sections[1].startMs, 8500);
  EXPECT_NEAR(sections[1].endMs, 16200, 1e-6);
  EXPECT_EQ(sections[1].firstBar, 4);
  EXPECT_EQ(sections[1].bars, 4);
  // In the tempo line's beats from its offset: 8500 ms is 16b, 16200 ms is 31.4b.
  EXPECT_EQ(firstCutLines(sections, tempo, {"rotate"}),
            "\n# A first cut from the music: a scene per section, pulses on its kicks.\n"
            "mark 0 intro\n0 16b water_thing\nmark 16b part2\n16b 31.4b jumping_bars\n");
}

// Forty bars of 2 s (120 BPM from 0) of a tone, the same throughout or 3 dB louder from bar 20 (a
// change of a half of the 6 dB that starts a section by itself). Unchanging, the song is cut into
// phrases of 8 bars; with the step, at the step first, then each half into phrases of 8 bars.
TEST(FirstCut, LongSectionsSplitWhereTheMusicChangesMostOrIntoPhrasesOfEightBars) {
  const int rate = 12000;
  TempoEstimate tempo;
  tempo.steady = true;
  tempo.bpm = 120;
  auto firstBars = [&](double louder, int fromBar = 20, int length = 40) {
    std::vector<float> mono(static_cast<size_t>(2 * length * rate));
    for (size_t i = 0; i < mono.size(); ++i)
      mono[i] = static_cast<float>((i >= static_cast<size_t>(2 * fromBar * rate) ? louder : 1.0) * 0.2 *
                                   std::sin(2 * M_PI * 330.0 * static_cast<double>(i) / rate));
    std::vector<int> bars;
    for (const Section &s : findSections(mono.data(), mono.size(), rate, tempo)) bars.push_back(s.firstBar);
    return bars;
  };
  EXPECT_EQ(firstBars(1.0), (std::vector<int>{0, 8, 16, 24, 32}));
  EXPECT_EQ(firstBars(std::pow(10.0, 3.0 / 20)), (std::vector<int>{0, 8, 16, 20, 28, 36}));
  // Fourteen bars, under the length that is split: 6 dB louder from bar 6 starts a section there,
  // 3 dB does not.
  EXPECT_EQ(firstBars(std::pow(10.0, 6.5 / 20), 6, 14), (std::vector<int>{0, 6}));
  EXPECT_EQ(firstBars(std::pow(10.0, 3.0 / 20), 6, 14), (std::vector<int>{0}));
}

}  // namespace
}  // namespace kandu
