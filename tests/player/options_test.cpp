#include <gtest/gtest.h>

#include <vector>

#include "player/options.h"
#include "timeline/document.h"
#include "timeline/timeline.h"

using namespace kandu;

namespace {
bool parse(std::vector<const char *> args, Options &o, std::string &error) {
  args.insert(args.begin(), "kandu-player");
  return parseOptions(static_cast<int>(args.size()), const_cast<char **>(args.data()), o, error);
}
}  // namespace

// The defaults are what --help promises: "(default 60)" frames a second, "(default 1024x768)".
TEST(Options, DefaultsAreWhatTheHelpSaysAndAFullCommandLine) {
  Options o;
  std::string error;
  ASSERT_TRUE(parse({}, o, error));
  EXPECT_EQ(o.command, Command::Default);
  const std::string help = usageText();
  EXPECT_NE(help.find("frames per second (default " + std::to_string(o.fps) + ")"), std::string::npos) << help;
  EXPECT_NE(help.find("frame size (default " + std::to_string(o.width) + "x" + std::to_string(o.height) + ")"),
            std::string::npos)
      << help;
  EXPECT_TRUE(o.timelinePath.empty() && o.pluginPath.empty() && o.framesDir.empty() && o.musicPath.empty());
  Options full;
  ASSERT_TRUE(parse({"render", "my.timeline", "--fps", "30", "--size", "640x480", "--from", "1000", "--to", "2000",
                     "--frames", "dir", "--plugin", "p.so"},
                    full, error))
      << error;
  EXPECT_EQ(full.command, Command::Render);
  EXPECT_EQ(full.timelinePath, "my.timeline");
  EXPECT_EQ(full.fps, 30);
  EXPECT_EQ(full.width, 640);
  EXPECT_EQ(full.height, 480);
  EXPECT_EQ(full.from, 1000);
  EXPECT_EQ(full.to, 2000);
  EXPECT_EQ(full.framesDir, "dir");
  EXPECT_EQ(full.pluginPath, "p.so");
  Options still;
  ASSERT_TRUE(parse({"still", "--at", "1500", "--out", "a.png"}, still, error)) << error;
  EXPECT_EQ(still.at, 1500);
}

TEST(Options, AMarksNameStandsForATime) {
  Options o;
  std::string error;
  ASSERT_TRUE(parse({"render", "t.timeline", "--from", "drop", "--to", "_end"}, o, error)) << error;
  EXPECT_EQ(o.fromMark, "drop");
  EXPECT_EQ(o.toMark, "_end");
  EXPECT_EQ(o.from, -1);
  Options still;
  ASSERT_TRUE(parse({"still", "t.timeline", "--at", "chorus"}, still, error)) << error;
  EXPECT_EQ(still.atMark, "chorus");
}

TEST(Options, BadOptionsAndValuesAreOneClearError) {
  struct Case {
    std::vector<const char *> args;
    const char *error;
  } cases[] = {
      {{"--bogus"}, "unknown option --bogus"},
      {{"--fps", "0"}, "--fps wants a whole number from 1 to 1000"},
      {{"--fps", "sixty"}, "--fps wants"},
      {{"--fps"}, "option --fps needs a value"},
      {{"--size", "1024"}, "--size wants WIDTHxHEIGHT"},
      {{"--size", "0x10"}, "--size wants"},
      {{"--from", "-5"}, "--from wants a time in milliseconds"},
      {{"--at", "1e3"}, "--at wants a time in milliseconds"},
      {{"--from", "2000", "--to", "1000"}, "--to must be after --from"},
      {{"still"}, "still needs --at MS"},
      {{"render", "--at", "5"}, "--at belongs to still"},
      {{"still", "--at", "5", "--frames", "d"}, "--frames belongs to render"},
      {{"a.timeline", "b.timeline"}, "unexpected argument 'b.timeline'"},
      {{"render", "--part", "0/3"}, "--part wants I/N with 1 <= I <= N <= 10000, not '0/3'"},
      {{"render", "--part", "4/3"}, "--part wants I/N"},
      {{"render", "--part", "3"}, "--part wants I/N"},
      {{"render", "--part", "1/"}, "--part wants I/N"},
      {{"render", "--part", "/2"}, "--part wants I/N"},
      {{"render", "--part", "1/10001"}, "--part wants I/N"},
      {{"still", "--at", "5", "--part", "1/2"}, "--part and --sound-only belong to render"},
      {{"check", "--sound-only"}, "--part and --sound-only belong to render"},
      {{"render", "--part", "1/2", "--sound-only"}, "--part renders frames without sound"},
      {{"render", "--sound-only", "--frames", "d"}, "--sound-only writes no frames"},
  };
  for (const Case &c : cases) {
    Options o;
    std::string error;
    EXPECT_FALSE(parse(c.args, o, error)) << c.error;
    EXPECT_EQ(error.rfind(c.error, 0), 0u) << "got: " << error;
  }
}

// Without a command the player plays with a display and renders without one, so the render's
// options apply; --at belongs to still whatever else is given; --help and --version answer before
// any rule between options is checked.
TEST(Options, WhatAppliesWithoutACommandAndBeforeTheRules) {
  Options o;
  std::string error;
  ASSERT_TRUE(parse({"--frames", "dir", "--loop", "--music", "m.ogg"}, o, error)) << error;
  EXPECT_EQ(o.command, Command::Default);
  EXPECT_EQ(o.framesDir, "dir");
  EXPECT_TRUE(o.loop);
  EXPECT_EQ(o.musicPath, "m.ogg");
  Options at;
  EXPECT_FALSE(parse({"--at", "5"}, at, error));
  EXPECT_EQ(error, "--at belongs to still");
  Options check;
  EXPECT_FALSE(parse({"check", "--frames", "d"}, check, error));
  EXPECT_EQ(error, "--frames belongs to render");
  Options help;
  EXPECT_TRUE(parse({"still", "--help"}, help, error));
  EXPECT_TRUE(help.help);
  Options version;
  EXPECT_TRUE(parse({"--from", "5", "--to", "1", "--version"}, version, error));
  EXPECT_TRUE(version.version);
  // A command word after the timeline is the name of a second timeline.
  Options late;
  EXPECT_FALSE(parse({"a.timeline", "render"}, late, error));
  EXPECT_EQ(error, "unexpected argument 'render' (one timeline at most; see --help)");
}

// A part of a render farm: I/N read as written; a command line without one renders everything.
TEST(Options, APartIsReadAsWrittenAndRendersWithoutACommand) {
  Options o;
  std::string error;
  ASSERT_TRUE(parse({"t.timeline", "--part", "2/3"}, o, error)) << error;
  EXPECT_EQ(o.part, 2);
  EXPECT_EQ(o.parts, 3);
  Options whole;
  ASSERT_TRUE(parse({"render", "t.timeline", "--part", "10000/10000"}, whole, error)) << error;
  EXPECT_EQ(whole.part, 10000);
  Options none;
  ASSERT_TRUE(parse({"render"}, none, error));
  EXPECT_EQ(none.parts, 0);
}

// --help's usage lines name every command, each once, in the two forms the commands take.
// "--" ends the options: a file whose name starts with a dash, or is a command's name, is a file.
TEST(Options, AfterTwoDashesEveryArgumentIsAName) {
  Options o;
  std::string error;
  ASSERT_TRUE(parse({"new", "--out", "x.timeline", "--", "-lead.ogg"}, o, error)) << error;
  EXPECT_EQ(o.command, Command::New);
  EXPECT_EQ(o.timelinePath, "-lead.ogg");
  EXPECT_EQ(o.outPath, "x.timeline");
  Options named;
  ASSERT_TRUE(parse({"check", "--", "render"}, named, error)) << error;
  EXPECT_EQ(named.command, Command::Check);
  EXPECT_EQ(named.timelinePath, "render");
  Options dashes;
  ASSERT_TRUE(parse({"check", "--", "--"}, dashes, error)) << error;
  EXPECT_EQ(dashes.timelinePath, "--");
  Options before;
  EXPECT_FALSE(parse({"new", "-lead.ogg"}, before, error));
  EXPECT_EQ(error, "unknown option -lead.ogg (a name that starts with '-' goes after --; see --help)");
}

TEST(Options, TheUsageLinesNameEveryCommand) {
  const std::string help = usageText();
  const std::string first = help.substr(0, help.find('\n'));
  EXPECT_EQ(first, "usage: kandu-player [render|play|still|sheet|check|export|edit] [TIMELINE] [options]");
  const size_t second = help.find('\n') + 1;
  EXPECT_EQ(help.substr(second, help.find('\n', second) - second), "       kandu-player tempo|new MUSIC [options]");
}

// A mark's name stands for its time as the timeline gives it: at 0, and in beats counted from the
// tempo line's offset (0b is 500 ms here, 4b 2500 ms); --to at the start is kept for the range
// check, which refuses it.
TEST(Options, MarksAtZeroAndAtTheTempoOffset) {
  Timeline timeline;
  std::string error;
  ASSERT_TRUE(parseTimeline("tempo 120 500\nmark 0 start\nmark 0b first\nmark 4b four\n0 4000 morph\n", "m.timeline",
                            timeline, error)) << error;
  Options o;
  ASSERT_TRUE(parse({"render", "m.timeline", "--from", "first", "--to", "four"}, o, error)) << error;
  ASSERT_TRUE(resolveMarks(timeline, o, error)) << error;
  EXPECT_EQ(o.from, 500);
  EXPECT_EQ(o.to, 2500);
  Options atZero;
  ASSERT_TRUE(parse({"render", "m.timeline", "--from", "start", "--to", "first"}, atZero, error)) << error;
  ASSERT_TRUE(resolveMarks(timeline, atZero, error)) << error;
  EXPECT_EQ(atZero.from, 0);
  EXPECT_EQ(atZero.to, 500);
  Options still;
  ASSERT_TRUE(parse({"still", "m.timeline", "--at", "start"}, still, error)) << error;
  ASSERT_TRUE(resolveMarks(timeline, still, error)) << error;
  EXPECT_EQ(still.at, 0);
  Options back;
  ASSERT_TRUE(parse({"render", "m.timeline", "--from", "first", "--to", "start"}, back, error)) << error;
  EXPECT_FALSE(resolveMarks(timeline, back, error));
  EXPECT_EQ(error, "--to must be after --from");
}
