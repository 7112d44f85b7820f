#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "timeline/document.h"

using namespace kandu;

namespace {

Document open(const std::string &text) {
  Document d;
  std::string error;
  EXPECT_TRUE(d.parse(text, "t.timeline", error)) << error;
  return d;
}

std::vector<std::string> linesOf(const std::string &text) {
  std::vector<std::string> lines;
  size_t from = 0;
  for (size_t nl; (nl = text.find('\n', from)) != std::string::npos; from = nl + 1) lines.push_back(text.substr(from, nl - from));
  if (from < text.size()) lines.push_back(text.substr(from));
  return lines;
}

// The lines of `after` that differ from `before` (same line count assumed), from 1.
std::vector<int> changedLines(const std::string &before, const std::string &after) {
  std::vector<std::string> a = linesOf(before), b = linesOf(after);
  EXPECT_EQ(a.size(), b.size());
  std::vector<int> changed;
  for (size_t i = 0; i < a.size() && i < b.size(); ++i)
    if (a[i] != b[i]) changed.push_back(static_cast<int>(i + 1));
  return changed;
}

const char kSample[] =
    "# a demo\r\n"
    "tempo 120 1000   # beats of 500 ms from 1 s\r\n"
    "music  song.ogg\r\n"
    "\r\n"
    "0\t4b  water_thing # tabs stay\r\n"
    "2000 3000 morph\r\n"
    "1b 1.25b rotate every 1b until 8b\r\n"
    "  8b   9.5b   fade";

}  // namespace

TEST(Document, PrintGivesBackTheTextByteForByte) {
  for (const std::string &text : {std::string(kSample), std::string("0 10 morph"), std::string("\n\n0 10 morph\n\n"),
                                 std::string("0 10 morph\n# end\n"), std::string("0 10 morph # \x01\xff\n")}) {
    Document d = open(text);
    EXPECT_EQ(d.text(), text);
  }
  // A text that does not parse leaves the document as it was.
  Document d = open("0 10 morph\n");
  std::string error;
  EXPECT_FALSE(d.parse("0 10\n", "t.timeline", error));
  EXPECT_EQ(error, "t.timeline:1: expected 'START END WORD' or 'START END WORD every PERIOD until TIME', got 2 fields");
  EXPECT_EQ(d.text(), "0 10 morph\n");
  EXPECT_EQ(d.timeline().blocks.size(), 1u);
}

// A byte-order mark stays where it is through every edit, also when the first line goes.
TEST(Document, AByteOrderMarkStaysAtTheStartThroughEdits) {
  Document d = open("\xEF\xBB\xBF" "0 1000 morph\n1000 2000 water_thing\n");
  std::string error;
  ASSERT_TRUE(d.moveBlock(1, 500, error)) << error;
  EXPECT_EQ(d.text(), "\xEF\xBB\xBF" "500 1500 morph\n1000 2000 water_thing\n");
  ASSERT_TRUE(d.deleteBlock(1, error)) << error;
  EXPECT_EQ(d.text(), "\xEF\xBB\xBF" "1000 2000 water_thing\n");
  ASSERT_TRUE(d.insertBlock(0, 10, "fade", error)) << error;
  EXPECT_EQ(d.text(), "\xEF\xBB\xBF" "1000 2000 water_thing\n0 10 fade\n");
}

TEST(Document, MovingABlockRewritesOnlyItsLineInItsOwnUnits) {
  Document d = open(kSample);
  std::string error;
  // Half a beat later: beats stay beats, milliseconds stay milliseconds, the comment and tabs stay.
  ASSERT_TRUE(d.moveBlock(5, 250, error)) << error;
  EXPECT_EQ(linesOf(d.text())[4], "250\t4.5b  water_thing # tabs stay\r");
  EXPECT_EQ(changedLines(kSample, d.text()), (std::vector<int>{5}));
  EXPECT_EQ(d.timeline().blocks[0].start, 250);
  EXPECT_EQ(d.timeline().blocks[0].end, 3250);  // 4.5 beats of 500 ms after 1 s
  // A repeat moves as the rule: start, end and until; the period stays.
  ASSERT_TRUE(d.moveBlock(7, -500, error)) << error;
  EXPECT_EQ(linesOf(d.text())[6], "0b 0.25b rotate every 1b until 7b\r");
  // Resizing moves one edge, in its own unit.
  ASSERT_TRUE(d.setEdge(6, Document::Edge::End, 3500, error)) << error;
  EXPECT_EQ(linesOf(d.text())[5], "2000 3500 morph\r");
  ASSERT_TRUE(d.setEdge(8, Document::Edge::Start, 4500, error)) << error;
  EXPECT_EQ(linesOf(d.text())[7], "  7b   9.5b   fade");
  // A third of a beat stays exact to the millisecond: 1000 + 500 / 3.
  ASSERT_TRUE(d.setEdge(8, Document::Edge::Start, 1000 + 500.0 / 3, error)) << error;
  EXPECT_EQ(linesOf(d.text())[7], "  0.333333b   9.5b   fade");
  EXPECT_EQ(d.timeline().blocks.back().start, 1167);
}

TEST(Document, RefusedEditsSayWhyAndChangeNothing) {
  Document d = open(kSample);
  std::string error;
  EXPECT_FALSE(d.moveBlock(6, -2500, error));
  EXPECT_EQ(error, "the edit would put a time before 0");
  EXPECT_FALSE(d.setEdge(6, Document::Edge::End, 2000, error));
  EXPECT_EQ(error, "t.timeline:6: block ends at 2000, not after its start 2000");
  EXPECT_FALSE(d.moveBlock(3, 10, error));
  EXPECT_EQ(error, "line 3 holds no block");
  EXPECT_FALSE(d.setWord(6, "two words", error));
  EXPECT_FALSE(d.moveBlock(6, 3600000, error));
  EXPECT_EQ(d.text(), kSample);
  // The last block goes too: an empty timeline is a valid one (a song not yet cut).
  Document single = open("tempo 120\n0 10 morph\n");
  ASSERT_TRUE(single.deleteBlock(2, error)) << error;
  EXPECT_EQ(single.text(), "tempo 120\n");
  EXPECT_TRUE(single.timeline().blocks.empty());
}

TEST(Document, DuplicateDeleteInsertAndWord) {
  Document d = open(kSample);
  std::string error;
  ASSERT_TRUE(d.duplicateBlock(6, error)) << error;
  EXPECT_EQ(linesOf(d.text())[6], "3000 4000 morph\r");
  EXPECT_EQ(linesOf(d.text())[7], "1b 1.25b rotate every 1b until 8b\r");
  // A rule's copy starts where its last copy ends: copies at 1b .. 7b, the last ending at 7.25b.
  ASSERT_TRUE(d.duplicateBlock(8, error)) << error;
  EXPECT_EQ(linesOf(d.text())[8], "7.25b 7.5b rotate every 1b until 14.25b\r");
  ASSERT_TRUE(d.deleteBlock(7, error)) << error;
  EXPECT_EQ(linesOf(d.text())[6], "1b 1.25b rotate every 1b until 8b\r");
  ASSERT_TRUE(d.setWord(6, "cube_field", error)) << error;
  EXPECT_EQ(linesOf(d.text())[5], "2000 3000 cube_field\r");
  // Appended in beats (the file has a tempo); the old last line gets its line break.
  ASSERT_TRUE(d.insertBlock(3000, 4000, "morph", error)) << error;
  std::vector<std::string> lines = linesOf(d.text());
  EXPECT_EQ(lines[lines.size() - 2], "  8b   9.5b   fade");
  EXPECT_EQ(lines.back(), "4b 6b morph");
  EXPECT_EQ(d.text().back(), '\n');
  Document plain = open("0 10 morph\n");
  ASSERT_TRUE(plain.insertBlock(20, 35, "fade", error)) << error;
  EXPECT_EQ(plain.text(), "0 10 morph\n20 35 fade\n");
}

TEST(Document, InsertingAndRemovingTimeMovesLaterTimesOnly) {
  Document d = open("tempo 120\n0 1000 water_thing\n500 2000 morph\n2b 3b fade\n1000 1100 rotate every 500 until 3000\n");
  std::string error;
  ASSERT_TRUE(d.insertTime(1000, 500, error)) << error;
  EXPECT_EQ(d.text(), "tempo 120\n0 1500 water_thing\n500 2500 morph\n3b 4b fade\n1500 1600 rotate every 500 until 3500\n");
  ASSERT_TRUE(d.removeTime(400, 1200, error)) << error;
  // Removing [400, 1600): water_thing [0, 1500) keeps [0, 400); morph [500, 2500) becomes
  // [400, 1300); the fade's 3b (1500 ms) goes to 400 ms, 0.8b, and its 4b (2000 ms) to 800 ms,
  // 1.6b. The rule's first copy [1500, 1600) goes; it starts again with the copy at 2000, now 800.
  EXPECT_EQ(d.text(), "tempo 120\n0 400 water_thing\n400 1300 morph\n0.8b 1.6b fade\n800 900 rotate every 500 until 2300\n");
  // A block wholly inside removed time goes with it.
  ASSERT_TRUE(d.removeTime(0, 400, error)) << error;
  EXPECT_EQ(d.text(), "tempo 120\n0 900 morph\n0b 0.8b fade\n400 500 rotate every 500 until 1900\n");
}

TEST(Document, TempoChangesKeepBeatsInBeats) {
  Document d = open("# x\ntempo 120   # half a second\n0 2b morph\n1000 2000 fade\n");
  std::string error;
  ASSERT_TRUE(d.setTempo(60, 250, error)) << error;
  EXPECT_EQ(d.text(), "# x\ntempo 60 250   # half a second\n0 2b morph\n1000 2000 fade\n");
  EXPECT_EQ(d.timeline().blocks[0].end, 2250);
  EXPECT_EQ(d.timeline().blocks[1].end, 2000);
  Document none = open("0 10 morph\n");
  ASSERT_TRUE(none.setTempo(128.5, 0, error)) << error;
  EXPECT_EQ(none.text(), "tempo 128.5\n0 10 morph\n");
  EXPECT_FALSE(none.setTempo(0, 0, error));
  EXPECT_EQ(none.text(), "tempo 128.5\n0 10 morph\n");
}

TEST(Document, EditsAcrossATempoChangeCountBeatsByTheMap) {
  Document d = open("tempo 120\ntempo 60 from 8b   # slower from 4 s\n8b 10b cube_thing\n");
  std::string error;
  ASSERT_TRUE(d.moveBlock(3, 1000, error)) << error;  // one beat of the slower tempo
  EXPECT_EQ(d.text(), "tempo 120\ntempo 60 from 8b   # slower from 4 s\n9b 11b cube_thing\n");
  ASSERT_TRUE(d.insertBlock(3000, 5000, "morph", error)) << error;  // 6 beats of 500 ms, then 1 of 1000
  EXPECT_EQ(d.text(), "tempo 120\ntempo 60 from 8b   # slower from 4 s\n9b 11b cube_thing\n6b 9b morph\n");
  // setTempo sets the tempo the map starts from; the change stays.
  ASSERT_TRUE(d.setTempo(60, 0, error)) << error;
  EXPECT_EQ(d.text(), "tempo 60\ntempo 60 from 8b   # slower from 4 s\n9b 11b cube_thing\n6b 9b morph\n");
  EXPECT_EQ(d.timeline().blocks[0].start, 9000);
}

// Inserting time moves every time at or after the moment, on every kind of block line (in
// milliseconds, in beats, a rule with its until); other lines stay. Removing the same time gives
// the text back.
TEST(Document, InsertedTimeMovesTimesAtTheMomentOnEveryKindOfLine) {
  const std::string text =
      "# c\nmusic a.ogg\ntempo 120\n0 1000 morph\n2b 4b fade\n500 600 rotate every 1b until 3000\n";
  Document d = open(text);
  std::string error;
  ASSERT_TRUE(d.insertTime(500, 500, error)) << error;
  // 1000 ms is 2b and 2000 ms 4b: half a second later they are 3b and 5b.
  EXPECT_EQ(d.text(), "# c\nmusic a.ogg\ntempo 120\n0 1500 morph\n3b 5b fade\n1000 1100 rotate every 1b until 3500\n");
  ASSERT_TRUE(d.removeTime(500, 500, error)) << error;
  EXPECT_EQ(d.text(), text);
  EXPECT_FALSE(d.insertTime(500, -500, error));
  EXPECT_EQ(error, "cannot insert a negative time");
  EXPECT_FALSE(d.removeTime(500, -500, error));
  EXPECT_EQ(error, "cannot remove a negative time");
  EXPECT_EQ(d.text(), text);
}

// A new block is written in beats from beat 0 on, in milliseconds before it; setTempo sets the
// last plain tempo line, the one the rest of the file counts from.
TEST(Document, NewBlocksBeforeBeatZeroAndTheLastTempoLine) {
  Document d = open("tempo 120 1000\n1b 2b morph\n");
  std::string error;
  ASSERT_TRUE(d.insertBlock(200, 700, "fade", error)) << error;
  ASSERT_TRUE(d.insertBlock(1000, 1250, "light", error)) << error;
  EXPECT_EQ(d.text(), "tempo 120 1000\n1b 2b morph\n200 700 fade\n0b 0.5b light\n");
  Document two = open("tempo 100\n0 1 morph\ntempo 120 50\n2b 3b fade\n");
  ASSERT_TRUE(two.setTempo(60, 0, error)) << error;
  EXPECT_EQ(two.text(), "tempo 100\n0 1 morph\ntempo 60\n2b 3b fade\n");
  EXPECT_EQ(two.timeline().blocks[1].start, 2000);
  EXPECT_EQ(two.timeline().blocks[1].end, 3000);
}

// A selection's edits are one edit: all of it or, when one block's part is refused, none of it.
// Copies land below their originals, each moved down by the copies made above it; the change
// recorded is the whole selection's, from its first changed byte to its last.
TEST(Document, SelectionEditsAreAllOrNothingAndRecordOneChange) {
  const std::string text = "tempo 120\n0b 4b morph\n# a comment\n2b 3b rotate\n8b 9b light\n";
  Document d = open(text);
  std::string error;
  // Moving both by -1 beat would put the rotate at 1b and the morph at -1b: refused, nothing moved.
  EXPECT_FALSE(d.moveBlocks({4, 2}, -500, error));
  EXPECT_EQ(error, "the edit would put a time before 0");
  EXPECT_EQ(d.text(), text);
  EXPECT_TRUE(d.moveBlocks({4, 5, 4}, 250, error)) << error;  // line 4 named twice moves once
  EXPECT_EQ(d.text(), "tempo 120\n0b 4b morph\n# a comment\n2.5b 3.5b rotate\n8.5b 9.5b light\n");
  // From after the "2" of line 4 (byte 35) to before the "b light" both end with.
  EXPECT_EQ(d.lastChange().at, 35u);
  EXPECT_EQ(d.lastChange().removed, "b 3b rotate\n8b 9");
  EXPECT_EQ(d.lastChange().inserted, ".5b 3.5b rotate\n8.5b 9.5");

  Document c = open(text);
  std::vector<int> copies;
  EXPECT_TRUE(c.duplicateBlocks({5, 2}, copies, error)) << error;
  // Line 2's copy goes in as line 3; line 5 (now 6) gets its copy as 7.
  EXPECT_EQ(copies, (std::vector<int>{7, 3}));
  EXPECT_EQ(c.text(), "tempo 120\n0b 4b morph\n4b 8b morph\n# a comment\n2b 3b rotate\n8b 9b light\n9b 10b light\n");
  EXPECT_FALSE(c.deleteBlocks({3, 1}, error)) << "line 1 holds no block";
  EXPECT_EQ(error, "line 1 holds no block");
  EXPECT_EQ(c.text(), "tempo 120\n0b 4b morph\n4b 8b morph\n# a comment\n2b 3b rotate\n8b 9b light\n9b 10b light\n");
  EXPECT_TRUE(c.deleteBlocks({3, 5, 7}, error)) << error;
  EXPECT_EQ(c.text(), "tempo 120\n0b 4b morph\n# a comment\n8b 9b light\n");
  EXPECT_TRUE(c.setWords({2, 4}, "cube_field", error)) << error;
  EXPECT_EQ(c.text(), "tempo 120\n0b 4b cube_field\n# a comment\n8b 9b cube_field\n");
  EXPECT_FALSE(c.setWords({2, 4}, "two words", error));
  EXPECT_EQ(c.text(), "tempo 120\n0b 4b cube_field\n# a comment\n8b 9b cube_field\n");
}

// Resizing keeps a block at least one grid step long at its start (a quarter beat, 125 ms at 120).
TEST(Document, ResizingStopsAtOneGridStep) {
  Document d = open("tempo 120\n0b 4b morph\n2b 3b rotate\n");
  std::string error;
  EXPECT_TRUE(d.resizeBlocks({2, 3}, -750, 0.25, error)) << error;
  EXPECT_EQ(d.text(), "tempo 120\n0b 2.5b morph\n2b 2.25b rotate\n");
  EXPECT_TRUE(d.resizeBlocks({3}, 500, 0.5, error)) << error;
  EXPECT_EQ(d.text(), "tempo 120\n0b 2.5b morph\n2b 3.25b rotate\n");
}

// The change between two texts is the one range where they differ.
TEST(Document, TheChangeIsTheRangeThatDiffers) {
  auto check = [](const std::string &a, const std::string &b, size_t at, const std::string &removed,
                  const std::string &inserted) {
    const Document::Change c = changeBetween(a, b);
    EXPECT_EQ(c.at, at) << a << " -> " << b;
    EXPECT_EQ(c.removed, removed) << a << " -> " << b;
    EXPECT_EQ(c.inserted, inserted) << a << " -> " << b;
  };
  check("abcdef", "abXYef", 2, "cd", "XY");
  check("aaa", "aaaa", 3, "", "a");  // the repeated letter: the new one counted at the end
  check("abc", "", 0, "abc", "");
  check("same", "same", 4, "", "");
  check("", "new", 0, "", "new");
}

namespace kandu {
namespace {

TEST(Document, MarksNameMomentsMoveWithTimeAndAreEditedInTheirUnits) {
  std::string error;
  Document d;
  ASSERT_TRUE(d.parse("tempo 120 100\n0 8b water_thing\nmark 8b drop   # the drop\nmark 50 start\n", "t.timeline",
                      error))
      << error;
  ASSERT_EQ(d.timeline().marks.size(), 2u);
  EXPECT_EQ(d.timeline().marks[0].ms, 4100);  // 100 + 8 × 500
  EXPECT_EQ(d.timeline().marks[0].name, "drop");
  EXPECT_EQ(d.timeline().marks[0].line, 3);
  EXPECT_EQ(d.timeline().mark("start")->ms, 50);
  EXPECT_EQ(d.timeline().mark("nothing"), nullptr);
  EXPECT_EQ(listBlocks(d.timeline()), "0 4100 water_thing\nmark 4100 drop\nmark 50 start\n");

  // Time inserted at a mark moves it (and the block's end there), in their own units.
  ASSERT_TRUE(d.insertTime(4100, 1000, error)) << error;
  EXPECT_EQ(d.text(), "tempo 120 100\n0 10b water_thing\nmark 10b drop   # the drop\nmark 50 start\n");
  // Time removed around a mark leaves it at the cut.
  ASSERT_TRUE(d.removeTime(4000, 1500, error)) << error;
  EXPECT_EQ(d.timeline().mark("drop")->ms, 4000);
  EXPECT_EQ(d.text(), "tempo 120 100\n0 7.8b water_thing\nmark 7.8b drop   # the drop\nmark 50 start\n");

  ASSERT_TRUE(d.addMark(2100, "verse", error)) << error;
  EXPECT_EQ(d.text().substr(d.text().rfind("mark")), "mark 4b verse\n");
  ASSERT_TRUE(d.moveMark(4, 60, error)) << error;
  EXPECT_EQ(d.timeline().mark("start")->ms, 60);
  ASSERT_TRUE(d.renameMark(3, "chorus", error)) << error;
  EXPECT_EQ(d.text(), "tempo 120 100\n0 7.8b water_thing\nmark 7.8b chorus   # the drop\nmark 60 start\nmark 4b verse\n");
  EXPECT_FALSE(d.renameMark(3, "start", error));
  EXPECT_EQ(error, "t.timeline:4: a second mark 'start' (the first is on line 3)");
  EXPECT_FALSE(d.moveMark(2, 0, error));
  EXPECT_EQ(error, "line 2 holds no mark");

  for (const auto &[text, why] : std::vector<std::pair<std::string, std::string>>{
           {"mark 0\n", "t.timeline:1: expected 'mark TIME NAME'"},
           {"mark soon intro\n",
            "t.timeline:1: mark 'soon' is not a time in milliseconds from 0 to 3600000 (or in beats, like 16b)"},
           {"mark 0 two.words\n",
            "t.timeline:1: mark name 'two.words' must start with a letter or '_' and hold only letters, digits, '_' and '-'"},
           {"mark 0 1st\n", "t.timeline:1: mark name '1st' must start with a letter or '_' and hold only letters, digits, '_' and '-'"},
           {"mark 1b intro\n", "t.timeline:1: mark '1b' is in beats, but no 'tempo BPM' line comes before it"}}) {
    Document bad;
    EXPECT_FALSE(bad.parse(text, "t.timeline", error)) << text;
    EXPECT_EQ(error, why) << text;
  }
}

}  // namespace
}  // namespace kandu

namespace kandu {
namespace {

TEST(Document, PastedTimeKeepsItsUnitsAndIsCutAtTheRangesEdges) {
  std::string error;
  Document d;
  // 500 ms beats from 0: the range 1000 to 3000 ms (2b to 6b) holds the end of the first block (its
  // start written in ms, its end in beats: each keeps its unit), the rule's copies at 2b and 4b, and
  // the middle of the block in ms.
  ASSERT_TRUE(d.parse("tempo 120\n0 3b water_thing\n2b 2.25b rotate every 2b until 8b\n1500 4000 morph\n", "t.timeline",
                      error))
      << error;
  ASSERT_TRUE(d.pasteTime(1000, 3000, 8000, error)) << error;  // at 16b
  EXPECT_EQ(d.text(),
            "tempo 120\n0 3b water_thing\n2b 2.25b rotate every 2b until 8b\n1500 4000 morph\n"
            "8000 17b water_thing\n16b 16.25b rotate\n18b 18.25b rotate\n8500 10000 morph\n");
  // Again, after the first: the range laid down twice.
  ASSERT_TRUE(d.pasteTime(1000, 3000, 10000, error)) << error;
  EXPECT_EQ(d.text().substr(d.text().find("8500 10000 morph\n") + 17),
            "10000 21b water_thing\n20b 20.25b rotate\n22b 22.25b rotate\n10500 12000 morph\n");
  const std::string before = d.text();
  EXPECT_FALSE(d.pasteTime(5000, 7000, 0, error));
  EXPECT_EQ(error, "no blocks in that range of time");
  EXPECT_FALSE(d.pasteTime(1000, 1000, 0, error));
  EXPECT_EQ(d.text(), before);
}

}  // namespace
}  // namespace kandu
