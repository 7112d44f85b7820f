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
  TempoEstimate tempo;
  tempo.steady = true;
  tempo.bpm = 120;
  tempo.firstBeatMs = 100;
  Section intro, drums;
  intro.startMs = 0, intro.endMs = 8100;
  drums.startMs = 8100, drums.endMs = 16100, drums.kicksEveryBeat = true;
  EXPECT_EQ(firstCutLines({intro, drums}, tempo, {"rotate"}),
            "\n# A first cut from the music: a scene per section, pulses on its kicks.\n"
            "mark 0 intro\n0 16b water_thing\n"
            "mark 16b part2\n16b 32b jumping_bars\n16b 16.25b rotate every 1b until 32b\n");
}

}  // namespace
}  // namespace kandu
