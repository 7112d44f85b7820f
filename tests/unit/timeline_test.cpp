#include <gtest/gtest.h>

#include <set>

#include "tests/unit/parse.h"
#include "timeline/document.h"
#include "timeline/timeline.h"

using namespace kandu;
using namespace std::string_literals;

TEST(Timeline, BlocksCommentsAndBlankLines) {
  Timeline t = parse("# a demo\n\n0 1000 water_thing   # the water\n  500\t700  rotate\n\n");
  ASSERT_EQ(t.blocks.size(), 2u);
  EXPECT_EQ(t.blocks[0].start, 0);
  EXPECT_EQ(t.blocks[0].end, 1000);
  EXPECT_EQ(t.blocks[0].word, "water_thing");
  EXPECT_EQ(t.blocks[0].line, 3);
  EXPECT_EQ(t.blocks[1].word, "rotate");
  EXPECT_EQ(t.blocks[1].line, 4);
  EXPECT_EQ(t.duration(), 1000);
}

TEST(Timeline, MalformedLinesNameTheFileAndLine) {
  struct Case {
    std::string text;
    const char *error;
  } cases[] = {
      {"0 1000\n", "bad.timeline:1: expected 'START END WORD'"},
      {"0 1000 morph extra\n", "bad.timeline:1: expected 'START END WORD'"},
      {"# ok\n-5 1000 morph\n", "bad.timeline:2: start '-5' is not a time"},
      {"0 1e3 morph\n", "bad.timeline:1: end '1e3' is not a time"},
      {"0 99999999999 morph\n", "bad.timeline:1: end '99999999999' is not a time"},
      {"1000 1000 morph\n", "bad.timeline:1: block ends at 1000, not after its start 1000"},
      {"2000 1000 morph\n", "bad.timeline:1: block ends at 1000"},
      {"0 1000 morph,cube\n", "bad.timeline:1: effect word 'morph,cube'"},
      // A NUL byte is no blank: the word holding it is refused on its line, by every host.
      {"# \0 in a comment is fine\n0 1000 water\0_thing\n"s, "bad.timeline:2: effect word 'water\\x00_thing'"},
      {"music a.wav\0.flac\n0 1000 morph\n"s, "bad.timeline:1: the music's path holds a NUL byte"},
      // Say what the offset may be.
      {"tempo 120 -5000\n0 1b morph\n",
       "bad.timeline:1: the tempo's offset '-5000' is not a whole number of milliseconds from 0 to 3600000"},
      {"tempo 0 500\n0 1b morph\n", "bad.timeline:1: expected 'tempo BPM [OFFSET]': beats per minute above 0"},
      // A byte-order mark is read as nothing only where a file starts.
      {"0 1000 morph\n\xEF\xBB\xBF" "0 1000 morph\n", "bad.timeline:2: start '\\xef\\xbb\\xbf0' is not a time"},
  };
  for (const Case &c : cases) {
    std::string error = parseError(c.text);
    EXPECT_EQ(error.rfind(c.error, 0), 0u) << "got: " << error;
  }
}

// What some editors write at the start of a file: skipped by the parser, kept in the text.
TEST(Timeline, AByteOrderMarkBeforeTheFirstLineIsReadAsNothing) {
  Timeline t = parse("\xEF\xBB\xBF" "0 1000 water_thing\n");
  ASSERT_EQ(t.blocks.size(), 1u);
  EXPECT_EQ(t.blocks[0].start, 0);
  EXPECT_EQ(t.blocks[0].word, "water_thing");
  EXPECT_EQ(parse("\xEF\xBB\xBF# a comment\n5 10 morph\n").blocks[0].line, 2);
  EXPECT_EQ(parse("\xEF\xBB\xBF" "tempo 120\n0 2b morph\n").blocks[0].end, 1000);
}

TEST(Timeline, LimitsBoundTheWorkATimelineCanAskFor) {
  // The size limit holds for text however it came (the page hands over bytes, not a file).
  EXPECT_EQ(parseError("0 10 morph\n" + std::string(kMaxTimelineBytes - 10, '#')),
            "bad.timeline: the timeline is larger than 1048576 bytes");
  parse("0 10 morph\n" + std::string(kMaxTimelineBytes - 11, '#'));
  EXPECT_EQ(parse("0 3600000 morph\n").duration(), 3600000);
  EXPECT_EQ(parseError("0 3600001 morph\n").rfind("bad.timeline:1: end '3600001' is not a time in milliseconds "
                                                   "from 0 to 3600000", 0), 0u);
  // 64 blocks may play at one moment; a block that ends where the next starts is not overlapping.
  std::string stacked;
  for (int i = 0; i < 64; ++i) stacked += "0 1000 rotate\n";
  parse(stacked + "1000 2000 morph\n");
  EXPECT_EQ(parseError(stacked + "1000 2000 morph\n999 1001 rotate\n"),
            "bad.timeline:66: more than 64 blocks play at 999 ms");
  std::string many;
  for (int i = 0; i <= 4096; ++i) many += std::to_string(i) + " " + std::to_string(i + 1) + " rotate\n";
  EXPECT_EQ(parseError(many), "bad.timeline:4097: more than 4096 blocks");
}

TEST(Timeline, BeatsAndRepeatsBecomeMillisecondBlocks) {
  // At 128 bpm a beat is 468.75 ms: each copy is rounded on its own, so repeats do not drift.
  Timeline t = parse("tempo 128 1000\n0b 2b morph\n1b 1.5b rotate every 1b until 4b\n100 200 light every 1000 until 2100\n");
  struct Expected {
    int64_t start, end;
    const char *word;
  } expected[] = {{1000, 1938, "morph"}, {1469, 1703, "rotate"}, {1938, 2172, "rotate"},
                  {2406, 2641, "rotate"}, {100, 200, "light"},   {1100, 1200, "light"}};  // not at 2100
  ASSERT_EQ(t.blocks.size(), 6u);
  for (size_t i = 0; i < 6; ++i) {
    EXPECT_EQ(t.blocks[i].start, expected[i].start) << i;
    EXPECT_EQ(t.blocks[i].end, expected[i].end) << i;
    EXPECT_EQ(t.blocks[i].word, expected[i].word) << i;
  }
  EXPECT_EQ(t.blocks[3].line, 3);
  struct Case {
    const char *text, *error;
  } bad[] = {
      {"0 2b morph\n", "bad.timeline:1: end '2b' is in beats, but no 'tempo BPM' line comes before it"},
      {"tempo\n", "bad.timeline:1: expected 'tempo BPM [OFFSET]'"},
      {"tempo 0\n", "bad.timeline:1: expected 'tempo BPM [OFFSET]'"},
      {"tempo 120\n0 1.2.3b morph\n", "bad.timeline:2: end '1.2.3b' is not a number of beats"},
      {"0 10 rotate every 0 until 100\n", "bad.timeline:1: a repeat's period must be at least 1 ms"},
      {"50 60 rotate every 10 until 50\n", "bad.timeline:1: a repeat must run until a time after its start"},
      {"0 10 rotate every 10 upto 100\n", "bad.timeline:1: expected 'START END WORD' or"},
      {"0 10 rotate every 1 until 5000\n", "bad.timeline:1: more than 4096 blocks"},
  };
  for (const Case &c : bad) EXPECT_EQ(parseError(c.text).rfind(c.error, 0), 0u) << parseError(c.text);
}

TEST(Timeline, ScheduleHasTheActiveBlocksInFileOrderWithTheirTexts) {
  Timeline t = parse("0 2000 cube_field\n1000 1100 vibrate\n0 500 morph\n");
  auto at = [&](int64_t ms) {
    std::vector<std::string> words;
    for (const BlockCall &c : scheduleAt(t, ms)) words.push_back(c.block->word);
    return words;
  };
  EXPECT_EQ(at(0), (std::vector<std::string>{"cube_field", "morph"}));
  EXPECT_EQ(at(499), (std::vector<std::string>{"cube_field", "morph"}));
  EXPECT_EQ(at(500), (std::vector<std::string>{"cube_field"}));
  EXPECT_EQ(at(1050), (std::vector<std::string>{"cube_field", "vibrate"}));
  EXPECT_EQ(at(1100), (std::vector<std::string>{"cube_field"}));
  EXPECT_TRUE(at(2000).empty());
  auto calls = scheduleAt(t, 1050);
  EXPECT_EQ(calls[1].timeText, "1050");
  EXPECT_EQ(calls[1].boundsText, "1000,1100");
  EXPECT_EQ(calls[1].effectText, "vibrate");
}

TEST(Timeline, BuiltInDemoShowsEveryWordForAboutAMinute) {
  const Timeline &demo = builtInTimeline();
  ASSERT_FALSE(demo.blocks.empty());
  EXPECT_GE(demo.duration(), 50000);
  EXPECT_LE(demo.duration(), 70000);
  std::set<std::string> words;
  for (const Block &b : demo.blocks) words.insert(b.word);
  for (const char *w : {"cube_thing", "water_thing", "jumping_bars", "jumping_bars2", "jumping_bars3", "morph",
                        "cube_field", "vibrate", "light", "rotate", "fade"})
    EXPECT_EQ(words.count(w), 1u) << w;
  // It ends on a fade.
  const Block *last = nullptr;
  for (const Block &b : demo.blocks)
    if (b.word == "fade") last = &b;
  ASSERT_NE(last, nullptr);
  EXPECT_EQ(last->end, demo.duration());
}

// What each word does is the plug-in's; the hosts' kinds are checked against its pictures in the GL
// tests (Effects.WordKindsAreWhatThePlugInDraws). Here: a word the list does not hold is unknown.
TEST(Timeline, WordsOutsideTheListAreUnknown) {
  EXPECT_EQ(wordKind("distort"), WordKind::Unknown);  // an effect's name, not a word a host sends
  EXPECT_EQ(wordKind("Morph"), WordKind::Unknown);
  EXPECT_EQ(wordKind(""), WordKind::Unknown);
  EXPECT_FALSE(isDrawingWord("w00"));
}

// "tempo BPM from TIME": beats count on across the change at the new tempo; what comes before it
// keeps its times, and a timeline without such a line means what it always meant.
TEST(Timeline, TempoChangesFromAMomentOn) {
  Timeline t = parse("tempo 120\ntempo 60 from 8b\n0 8b morph\n8b 10b cube_thing\n6b 7b rotate every 1b until 12b\n");
  struct Expected {
    int64_t start, end;
  } expected[] = {{0, 4000}, {4000, 6000}, {3000, 3500}, {3500, 4000}, {4000, 4500}, {5000, 5500}, {6000, 6500},
                  {7000, 7500}};
  ASSERT_EQ(t.blocks.size(), 8u);
  for (size_t i = 0; i < 8; ++i) {
    EXPECT_EQ(t.blocks[i].start, expected[i].start) << i;
    EXPECT_EQ(t.blocks[i].end, expected[i].end) << i;
  }
  ASSERT_EQ(t.tempo.segments.size(), 2u);
  EXPECT_EQ(t.tempo.msAt(9), 5000);
  EXPECT_EQ(t.tempo.beatAt(3000), 6);
  EXPECT_EQ(t.tempo.bpmAt(4500), 60);
  // A change given in milliseconds, and one after another.
  Timeline ms = parse("tempo 120 100\ntempo 240 from 2100\ntempo 60 from 12b\n0b 4b morph\n4b 12b fade\n12b 13b light\n");
  EXPECT_EQ(ms.blocks[0].end, 2100);   // 4 beats of 500 ms after 100 ms
  EXPECT_EQ(ms.blocks[1].end, 4100);   // then 8 beats of 250 ms
  EXPECT_EQ(ms.blocks[2].end, 5100);   // then one of 1000 ms
  struct Case {
    const char *text, *error;
  } bad[] = {
      {"tempo 60 from 4b\n0 1 morph\n", "bad.timeline:1: a tempo change needs a 'tempo BPM' line before it"},
      {"tempo 120\ntempo 60 from 8b\ntempo 90 from 4b\n0 1 morph\n",
       "bad.timeline:3: a tempo change at 4b comes before the one it follows"},
      {"tempo 120\ntempo 0 from 8b\n0 1 morph\n", "bad.timeline:2: expected 'tempo BPM from TIME'"},
  };
  for (const Case &c : bad) EXPECT_EQ(parseError(c.text).rfind(c.error, 0), 0u) << parseError(c.text);
}

// "tempo BPM OFFSET": beat b is at OFFSET + b × 60000 / BPM ms, and moments before the offset are
// beats before 0 at the same tempo. Worked out by hand for 120 bpm (500 ms a beat) from 100 ms.
TEST(TempoMap, TheOffsetIsBeatZeroAndEarlierMomentsCountBack) {
  Timeline t = parse("tempo 120 100\n0 1 morph\n");
  EXPECT_EQ(t.bpm, 120);
  EXPECT_EQ(t.beatOffset, 100);
  EXPECT_EQ(t.tempo.msAt(0), 100);
  EXPECT_EQ(t.tempo.msAt(3), 1600);
  EXPECT_EQ(t.tempo.msAt(-1), -400);
  EXPECT_DOUBLE_EQ(t.tempo.beatAt(0), -0.2);
  EXPECT_DOUBLE_EQ(t.tempo.beatAt(1350), 2.5);
  // "2b" with that tempo: 100 + 2 × 500.
  Timeline beats = parse("tempo 120 100\n2b 3b morph\n");
  EXPECT_EQ(beats.blocks[0].start, 1100);
  EXPECT_EQ(beats.blocks[0].end, 1600);
  // Each segment of a changing tempo keeps its own: 120 bpm up to 8b (4000 ms), 60 from there.
  Timeline change = parse("tempo 120\ntempo 60 from 8b\n0 1 morph\n");
  EXPECT_EQ(change.tempo.bpmAt(0), 120);
  EXPECT_EQ(change.tempo.bpmAt(3999), 120);
  EXPECT_EQ(change.tempo.bpmAt(4000), 60);
  EXPECT_EQ(change.tempo.msAt(7), 3500);
  EXPECT_EQ(change.tempo.beatAt(6000), 10);
}

namespace kandu {
namespace {

// Moving between marks, as the editor's M, [, ] and L do: names, neighbours and the range around
// the playhead, with half a millisecond's tolerance either way.
TEST(MarkRules, FreshNamesNeighboursAndTheRangeAround) {
  std::vector<Mark> marks = {{2000, "mark1", 3}, {500, "intro", 4}, {8000, "mark3", 5}};
  EXPECT_EQ(freshMarkName({}), "mark1");
  EXPECT_EQ(freshMarkName(marks), "mark2");
  marks.push_back({9000, "mark2", 6});
  EXPECT_EQ(freshMarkName(marks), "mark4");
  struct Case {
    double ms;
    bool later;
    const char *name;  // null: none
  } cases[] = {
      {2000, false, "intro"}, {2000, true, "mark3"},  // on a mark: the ones beside it
      {2000.4, false, "intro"}, {2000.6, false, "mark1"},  // half a millisecond either way
      {1999.6, true, "mark3"}, {1999.4, true, "mark1"}, {2000.4, true, "mark3"},
      {400, false, nullptr}, {500, false, nullptr}, {9000, true, nullptr}, {0, true, "intro"},
  };
  for (const Case &c : cases) {
    const Mark *m = neighbourMark(marks, c.ms, c.later);
    if (c.name) EXPECT_EQ(m ? m->name : "(none)", c.name) << c.ms << (c.later ? " later" : " earlier");
    else EXPECT_EQ(m, nullptr) << c.ms;
  }
  int64_t from = 0, to = 0;
  ASSERT_TRUE(markRangeAround(marks, 3000, from, to));
  EXPECT_EQ(from, 2000);
  EXPECT_EQ(to, 8000);
  ASSERT_TRUE(markRangeAround(marks, 2000, from, to));  // on a mark: from it
  EXPECT_EQ(from, 2000);
  EXPECT_EQ(to, 8000);
  EXPECT_FALSE(markRangeAround(marks, 100, from, to));   // before the first
  EXPECT_FALSE(markRangeAround(marks, 9500, from, to));  // after the last
}

// A blank timeline is one a song dropped on the editor turns into a new one: comments only.
TEST(MarkRules, ABlankTimelineHasNoBlockTempoOrMusic) {
  struct Case {
    const char *text;
    bool blank;
  } cases[] = {
      {"", true}, {"# a comment\n\n", true}, {"mark 0 start\n", true},
      {"music song.flac\n", false}, {"tempo 120\n", false}, {"0 1000 morph\n", false},
  };
  for (const Case &c : cases) {
    Timeline t;
    std::string error;
    ASSERT_TRUE(parseTimeline(c.text, "t.timeline", t, error)) << error;
    EXPECT_EQ(t.blank(), c.blank) << c.text;
  }
}

}  // namespace
}  // namespace kandu
