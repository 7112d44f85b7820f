// From a song to a timeline on the command line: tempo prints the line that fits the music and
// how sure it is (status 1 for music with no steady beat), new writes a timeline that check
// accepts and play plays to the music's end over a black picture.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <sstream>
#include <string>

#include "tests/support/process.h"

namespace {

using kandu::onPath;

// Six seconds of clicks at 128 BPM from 300 ms (ffmpeg's expression source), 44.1 kHz stereo FLAC.
std::string clickTrack(const Workspace &ws) {
  const std::string path = ws.path("clicks.flac");
  runProgram({"ffmpeg", "-v", "error", "-y", "-f", "lavfi", "-i",
              "aevalsrc=0.8*lt(mod(t-0.3\\,60/128)\\,0.004)*sin(2*PI*1000*t):s=44100:d=6", "-ac", "2", path});
  return path;
}

TEST(Song, TempoPrintsTheLineThatFitsTheMusicOrSaysThereIsNoBeat) {
  if (!onPath("ffmpeg")) GTEST_SKIP() << "no ffmpeg to make the music with";
  Workspace ws;
  const Outcome found = runPlayer({"tempo", clickTrack(ws)});
  ASSERT_EQ(found.status, 0) << found.output;
  std::istringstream out(found.output);
  std::string word, confidence;
  double bpm = 0, offset = 0, sure = 0;
  out >> word >> bpm >> offset >> confidence >> sure;
  EXPECT_EQ(word, "tempo");
  EXPECT_NEAR(bpm, 128, 1.28);
  EXPECT_NEAR(offset, 300, 20);
  EXPECT_EQ(confidence, "confidence");
  EXPECT_GT(sure, 0.5);

  runProgram({"ffmpeg", "-v", "error", "-y", "-f", "lavfi", "-i", "anoisesrc=d=8:a=0.3", ws.path("noise.wav")});
  const Outcome none = runPlayer({"tempo", ws.path("noise.wav")});
  EXPECT_EQ(none.status, 1);
  EXPECT_NE(none.output.find("noise.wav: no steady beat"), std::string::npos) << none.output;
  EXPECT_EQ(runPlayer({"tempo", ws.path("missing.flac")}).status, 2);
}

TEST(Song, NewWritesATimelineThatCheckAcceptsAndPlayPlaysOverBlack) {
  if (!onPath("ffmpeg")) GTEST_SKIP() << "no ffmpeg to make the music with";
  Workspace ws;
  const std::string music = clickTrack(ws);
  const Outcome made = runPlayer({"new", music});
  ASSERT_EQ(made.status, 0) << made.output;
  const std::string text = fileContent(ws.path("clicks.timeline"));
  EXPECT_EQ(text.rfind("# A new timeline", 0), 0u) << text;
  EXPECT_NE(text.find("\nmusic clicks.flac\ntempo 12"), std::string::npos) << text;
  EXPECT_EQ(ws.list(), (std::vector<std::string>{"clicks.flac", "clicks.timeline"}));
  // Never over an existing timeline; -o names another.
  EXPECT_EQ(runPlayer({"new", music}).status, 2);
  EXPECT_EQ(fileContent(ws.path("clicks.timeline")), text);
  std::filesystem::create_directories(ws.path("cut"));
  EXPECT_EQ(runPlayer({"new", music, "-o", ws.path("cut/first.timeline")}).status, 0);
  EXPECT_NE(fileContent(ws.path("cut/first.timeline")).find("\nmusic " + music + "\n"), std::string::npos)
      << "from another directory the music is named by its absolute path";

  const Outcome checked = runPlayer({"check", ws.path("clicks.timeline")});
  EXPECT_EQ(checked.status, 0) << checked.output;
  EXPECT_NE(checked.output.find("no blocks: play and render show a black picture"), std::string::npos);
  // Rendered, it lasts as long as its music: 6 s at 5 fps, black.
  const Outcome rendered =
      runPlayer({"render", ws.path("clicks.timeline"), "--fps", "5", "--size", "64x48", "--frames", ws.path("f")});
  EXPECT_EQ(rendered.status, 0) << rendered.output;
  EXPECT_EQ(ws.list("f").size(), 31u) << "30 frames and audio.wav";

  if (!onPath("Xvfb")) GTEST_SKIP() << "no Xvfb to play in";
  XServer x;
  // Played, it ends by itself at the music's end.
  pid_t player = startPlayer({"play", ws.path("clicks.timeline"), "--plugin", KANDU_PLUGIN}, ws.path("play.log"),
                             x.env({"SDL_AUDIODRIVER=dummy"}));
  EXPECT_EQ(endProgram(player, 60), 0) << fileContent(ws.path("play.log"));
  // Nothing at all to last for: refused.
  const std::string bare = ws.write("bare.timeline", "tempo 120\n");
  const Outcome refused = runPlayer({"render", bare, "--frames", ws.path("g")});
  EXPECT_EQ(refused.status, 2);
  EXPECT_NE(refused.output.find("no blocks and no music"), std::string::npos) << refused.output;
}

}  // namespace

namespace {

// A mark's name where a time goes: the same frames as its milliseconds, and a name the timeline
// lacks refused with the names it has.
TEST(Marks, RenderFromAMarkEqualsRenderFromItsTime) {
  Workspace ws;
  const std::string timeline =
      ws.write("m.timeline", "tempo 120\n0 8b water_thing\n8b 16b morph\nmark 6b drop\nmark 7b late\n");
  const Outcome named = runPlayer({"render", timeline, "--from", "drop", "--to", "late", "--fps", "10", "--size", "64x48",
                                   "--frames", ws.path("named"), "--plugin", KANDU_PLUGIN});
  ASSERT_EQ(named.status, 0) << named.output;
  const Outcome timed = runPlayer({"render", timeline, "--from", "3000", "--to", "3500", "--fps", "10", "--size", "64x48",
                                   "--frames", ws.path("timed"), "--plugin", KANDU_PLUGIN});
  ASSERT_EQ(timed.status, 0) << timed.output;
  const std::vector<std::string> frames = ws.list("named");
  EXPECT_EQ(frames, ws.list("timed"));
  EXPECT_EQ(frames.size(), 5u) << "3000 to 3500 ms at 10 fps";
  for (const std::string &f : frames)
    EXPECT_EQ(fileContent(ws.path("named/" + f)), fileContent(ws.path("timed/" + f))) << f;

  const Outcome missing = runPlayer({"still", timeline, "--at", "chorus", "--out", ws.path("s.png")});
  EXPECT_EQ(missing.status, 2);
  EXPECT_NE(missing.output.find("--at: the timeline has no mark 'chorus' (its marks: drop, late)"), std::string::npos)
      << missing.output;
  const Outcome backwards = runPlayer({"render", timeline, "--from", "late", "--to", "drop", "--frames", ws.path("b")});
  EXPECT_EQ(backwards.status, 2);
  EXPECT_NE(backwards.output.find("--to must be after --from"), std::string::npos) << backwards.output;
  // A mark at 0 as the end: nothing to render, refused before any work rather than an empty video.
  ws.write("z.timeline", "mark 0 start\n0 1000 morph\n");
  const Outcome empty = runPlayer({"render", ws.path("z.timeline"), "--to", "start", "--frames", ws.path("z")});
  EXPECT_EQ(empty.status, 2);
  EXPECT_EQ(empty.output, "kandu-player: --to 0 leaves nothing to render: the range must end after it starts (0 ms)\n");
  EXPECT_EQ(access(ws.path("z").c_str(), F_OK), -1);
}

}  // namespace

#include <cstdio>

#include "tests/support/songs.h"

namespace {

TEST(Song, NewFirstCutLaysScenesMarksAndPulsesThatCheckReads) {
  Workspace ws;
  kandu::songs::Song song;
  song.bpm = 120;
  song.introBars = 8;
  song.firstBeatMs = 16300;  // the drums come in here, after eight bars of chords
  song.seconds = 36;
  kandu::songs::writeWav(ws.path("song.wav"), kandu::songs::make(song));
  const Outcome made = runPlayer({"new", ws.path("song.wav"), "--first-cut", "--pulses", "rotate,light"});
  ASSERT_EQ(made.status, 0) << made.output;
  const Outcome checked = runPlayer({"check", ws.path("song.timeline")});
  ASSERT_EQ(checked.status, 0) << checked.output;
  std::istringstream lines(checked.output);
  std::string line;
  int part2 = -1, scenes = 0, pulses = 0;
  while (std::getline(lines, line)) {
    std::istringstream words(line);
    std::string a, b, c;
    words >> a >> b >> c;
    if (a == "mark" && c == "part2") part2 = std::stoi(b);
    if (c == "water_thing" || c == "jumping_bars") ++scenes;
    if (c == "rotate" || c == "light") ++pulses;
  }
  EXPECT_NEAR(part2, 16300, 2000) << "a section starts within a bar of the drums:\n" << checked.output;
  EXPECT_EQ(scenes, 2) << checked.output;
  EXPECT_GT(pulses, 10) << checked.output;
  EXPECT_EQ(runPlayer({"render", ws.path("song.timeline"), "--first-cut"}).status, 2) << "--first-cut belongs to new";
}

}  // namespace

// export reads the music the timeline names, relative to the timeline wherever the player runs,
// named in any script, and the page carries it under that name percent-encoded (the page decodes
// it back): the music's own bytes, packed as the page holds bytes.
TEST(Export, CarriesTheMusicTheTimelineNamesUnderItsName) {
  Workspace ws;
  std::filesystem::create_directories(ws.path("page/editor"));
  ws.write("page/index.html", "<!doctype html>\n<html><head><meta charset=\"utf-8\"><title>kandu</title></head>\n"
                              "<body>\n<canvas id=\"picture\"></canvas>\n<script src=\"kandu.js\"></script>\n</body></html>\n");
  for (const char *js : {"page/kandu.js", "page/module.js", "page/stage.js", "page/player.js"}) ws.write(js, "// js\n");
  ws.write("page/kandu.wasm", std::string("\0asm", 4));
  std::filesystem::create_directories(ws.path("songs"));
  std::filesystem::create_directories(ws.path("demo"));
  const std::string music = "RIFF-not-checked<\x1b-music";
  ws.write("songs/chanson été & co.wav", music);
  ws.write("demo/t.timeline", "music ../songs/chanson été & co.wav\n0 1000 morph\n");
  const Outcome made = runProgram({KANDU_PLAYER, "export", "demo/t.timeline", "-o", "out/t.html", "--page", ws.path("page")},
                                  {}, ws.path(""));
  ASSERT_EQ(made.status, 0) << made.output;
  const std::string html = fileContent(ws.path("out/t.html"));
  const std::string part = "<script type=\"application/x-kandu\" id=\"kandu-music\" data-name=\"chanson%20%C3%A9t%C3%A9%20%26%20co.wav\">";
  const size_t at = html.find(part);
  ASSERT_NE(at, std::string::npos) << html.substr(0, 2000);
  // '<' and the escape byte go as 0x1B and the byte XOR 0x40.
  EXPECT_EQ(html.substr(at + part.size(), music.size() + 2), "RIFF-not-checked\x1b|\x1b[-music");
  EXPECT_NE(html.find("data-name=\"t.timeline\""), std::string::npos);
}

// An export over an earlier one that fails part way (a file-size limit): the player says why and
// exits 1, the earlier file stays byte for byte, and nothing is left beside it.
TEST(Export, AWriteThatFailsPartWayLeavesTheEarlierFile) {
  if (!onPath("prlimit")) GTEST_SKIP() << "no prlimit (util-linux) to set a file-size limit";
  Workspace ws;
  std::filesystem::create_directories(ws.path("page"));
  ws.write("page/index.html", "<!doctype html>\n<html><head><title>kandu</title></head>\n<body>\n<script src=\"kandu.js\"></script>\n</body></html>\n");
  for (const char *js : {"page/kandu.js", "page/module.js", "page/stage.js", "page/player.js"}) ws.write(js, std::string(4000, 'j'));
  ws.write("page/kandu.wasm", std::string(20000, 'w'));
  ws.write("t.timeline", "0 1000 morph\n");
  ws.write("t.html", "the earlier export");
  const Outcome made = runProgram({"prlimit", "--fsize=2000", KANDU_PLAYER, "export", "t.timeline", "-o", "t.html", "--page",
                                   ws.path("page")}, {}, ws.path(""));
  EXPECT_EQ(made.status, 1) << made.output;
  EXPECT_EQ(made.output, "kandu-player: t.html: File too large\n");
  EXPECT_EQ(fileContent(ws.path("t.html")), "the earlier export");
  EXPECT_EQ(ws.list(), (std::vector<std::string>{"page", "t.html", "t.timeline"}));
}

