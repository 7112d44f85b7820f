// kandu-player end to end: the real binary, the real plug-in, headless.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <algorithm>
#include <set>
#include <sstream>
#include <string>

#include "player/capture.h"
#include "media/image.h"
#include "tests/support/pixels.h"
#include "tests/support/process.h"
#include "timeline/capture_plan.h"

using namespace kandu;

namespace {
// The player with the arguments written as one line (no argument here holds a blank).
Outcome run(const std::string &arguments) { return runPlayer(words(arguments)); }

int countFrames(const std::string &dir) {
  int n = 0;
  while (access((dir + "/frame_" + std::string(6 - std::to_string(n).size(), '0') + std::to_string(n) + ".png").c_str(),
                F_OK) == 0)
    ++n;
  return n;
}

std::string frameName(const std::string &dir, int k) {
  char name[32];
  std::snprintf(name, sizeof name, "/frame_%06d.png", k);
  return dir + name;
}

Image load(const std::string &path) {
  Image image;
  std::string error;
  EXPECT_TRUE(readPng(path, image, error)) << error;
  return image;
}

const std::string kSmall = " --size 256x192 ";
}  // namespace

// check: the expanded blocks one per line, "START END WORD", or the error with its line and 2.
TEST(Cli, CheckPrintsTheExpandedBlocksOrTheErrorsLine) {
  Workspace ws;
  // Beats of 500 ms from 100 ms: 1b is 600 ms; the rule's copies at 1b and 2b, not at 3b.
  Outcome good = run("check " + ws.write("t.timeline", "tempo 120 100\n0 1b morph  # x\n1b 1.1b rotate every 1b until 3b\n"));
  EXPECT_EQ(good.status, 0);
  EXPECT_EQ(good.output, "0 600 morph\n600 650 rotate\n1100 1150 rotate\n");
  Outcome bad = run("check " + ws.write("bad.timeline", "0 100 morph\n100 50 fade\n"));
  EXPECT_EQ(bad.status, 2);
  EXPECT_EQ(bad.output, "kandu-player: " + ws.path("bad.timeline") + ":2: block ends at 50, not after its start 100\n");
  // The built-in demo, written in beats, is the same blocks as its millisecond version.
  Outcome demo = run("check");
  Outcome explicitDemo = run("check " KANDU_SOURCE_DIR "/tests/player/demo_in_milliseconds.timeline");
  EXPECT_EQ(demo.status, 0);
  EXPECT_GT(std::count(demo.output.begin(), demo.output.end(), '\n'), 50);
  EXPECT_EQ(demo.output, explicitDemo.output);
}

TEST(Cli, HelpAndVersion) {
  Outcome help = run("--help");
  EXPECT_EQ(help.status, 0);
  EXPECT_NE(help.output.find("usage: kandu-player [render|play|still|sheet|check|export|edit]"), std::string::npos);
  Outcome version = run("--version");
  EXPECT_EQ(version.status, 0);
  EXPECT_EQ(version.output, "kandu-player " KANDU_PROJECT_VERSION "\n");
}

TEST(Cli, BadOptionsAndTimelinesExitTwoWithOneError) {
  Workspace ws;
  std::string bad = ws.write("bad.timeline", "0 1000 morph\n1000 500 cube_thing\n");
  struct Case {
    std::string args;
    std::string error;
  } cases[] = {
      // Each bad option's words are the option parser's (its unit tests); here, how the program
      // says one and exits.
      {"--nope", "kandu-player: unknown option --nope"},
      {"render " + bad + " --frames " + ws.path("f"), "kandu-player: " + bad + ":2: block ends at 500"},
      {"render " + ws.path("missing.timeline"), "kandu-player: " + ws.path("missing.timeline") + ": cannot open"},
  };
  for (const Case &c : cases) {
    Outcome r = run(c.args);
    EXPECT_EQ(r.status, 2) << c.args;
    EXPECT_EQ(r.output.rfind(c.error, 0), 0u) << r.output;
    EXPECT_EQ(std::count(r.output.begin(), r.output.end(), '\n'), 1) << r.output;
  }
  EXPECT_EQ(access(ws.path("f").c_str(), F_OK), -1);  // nothing rendered from a bad timeline
}

TEST(Cli, MissingOrForeignPluginExitsTwo) {
  Workspace ws;
  Outcome missing = run("still --at 0 --plugin " + ws.path("nothing.so") + " --out " + ws.path("a.png"));
  EXPECT_EQ(missing.status, 2);
  EXPECT_EQ(missing.output.rfind("kandu-player: cannot load the plug-in " + ws.path("nothing.so"), 0), 0u)
      << missing.output;
  Outcome foreign = run("still --at 0 --plugin libm.so.6 --out " + ws.path("a.png"));
  EXPECT_EQ(foreign.status, 2);
  EXPECT_NE(foreign.output.find("is not a kandu plug-in: it has no export"), std::string::npos) << foreign.output;
  // A FIFO would keep the loader waiting for a writer: refused at once.
  ASSERT_EQ(mkfifo(ws.path("fifo.so").c_str(), 0600), 0);
  pid_t pid = startPlayer({"still", "--at", "0", "--plugin", ws.path("fifo.so"), "--out", ws.path("a.png")},
                          ws.path("fifo.log"));
  EXPECT_EQ(endProgram(pid, 10), 2);
  EXPECT_EQ(fileContent(ws.path("fifo.log")),
            "kandu-player: cannot load the plug-in " + ws.path("fifo.so") + ": not a regular file\n");
}

TEST(Cli, RenderWritesEveryFrameAsPng) {
  Workspace ws;
  std::string timeline = ws.write("t.timeline", "0 500 cube_thing\n");
  Outcome r = run("render " + timeline + kSmall + "--fps 30 --frames " + ws.path("frames"));
  ASSERT_EQ(r.status, 0) << r.output;
  EXPECT_EQ(countFrames(ws.path("frames")), 15);
  Image first = load(frameName(ws.path("frames"), 14));
  EXPECT_EQ(first.width, 256);
  EXPECT_EQ(first.height, 192);
  EXPECT_GT(litPixels(first), 1000);
  Outcome range = run("render " + timeline + kSmall + "--fps 60 --from 100 --to 150 --frames " + ws.path("range"));
  ASSERT_EQ(range.status, 0) << range.output;
  EXPECT_EQ(countFrames(ws.path("range")), 3);
}

TEST(Cli, RenderToVideoHasTheFramesAndSize) {
  if (!onPath("ffmpeg") || !onPath("ffprobe")) GTEST_SKIP() << "ffmpeg is not installed";
  Workspace ws;
  std::string timeline = ws.write("t.timeline", "0 1000 morph\n");
  Outcome r = run("render " + timeline + kSmall + "--fps 25 --out " + ws.path("v/out.mp4"));
  ASSERT_EQ(r.status, 0) << r.output;
  Outcome probe = runProgram({"ffprobe", "-v", "error", "-count_frames", "-select_streams", "v:0", "-show_entries",
                              "stream=nb_read_frames,width,height", "-of", "csv=p=0", ws.path("v/out.mp4")});
  EXPECT_EQ(probe.output, "256,192,25\n");
}

TEST(Capture, VideoColoursMatchThePngFrames) {
  if (!onPath("ffmpeg") || !onPath("ffprobe")) GTEST_SKIP() << "ffmpeg is not installed";
  Workspace ws;
  std::string timeline = ws.write("t.timeline", "0 200 cube_thing\n200 400 water_thing\n");
  ASSERT_EQ(run("render " + timeline + kSmall + "--frames " + ws.path("png")).status, 0);
  ASSERT_EQ(run("render " + timeline + kSmall + "--out " + ws.path("v.mp4")).status, 0);
  // Tagged BT.601, limited range, so that players convert back to the colours rendered.
  Outcome tags = runProgram({"ffprobe", "-v", "error", "-select_streams", "v:0", "-show_entries",
                             "stream=pix_fmt,color_range,color_space", "-of", "csv=p=0", ws.path("v.mp4")});
  EXPECT_EQ(tags.output, "yuv420p,tv,smpte170m\n");
  // Decoded to raw RGB (a PNG from ffmpeg would carry the transfer tag as a gamma chunk).
  ASSERT_EQ(runProgram({"ffmpeg", "-v", "error", "-i", ws.path("v.mp4"), "-f", "rawvideo", "-pix_fmt", "rgb24",
                        ws.path("decoded.rgb")}).status, 0);
  std::string decoded = fileContent(ws.path("decoded.rgb"));
  const size_t frameBytes = 256 * 192 * 3;
  ASSERT_EQ(decoded.size(), 24 * frameBytes);
  for (int k : {5, 18}) {
    Image png = load(frameName(ws.path("png"), k));
    ASSERT_EQ(png.rgb.size(), frameBytes);
    // Chroma at quarter resolution and H.264 at CRF 18 blur the detail a little; a wrong matrix or
    // range would shift every colour.
    double sum = 0, bias[3] = {0, 0, 0};
    for (size_t i = 0; i < frameBytes; ++i) {
      int d = static_cast<uint8_t>(decoded[k * frameBytes + i]) - int(png.rgb[i]);
      sum += std::abs(d);
      bias[i % 3] += d;
    }
    EXPECT_LT(sum / frameBytes, 3.0) << "frame " << k;
    for (double b : bias) EXPECT_LT(std::fabs(b / (frameBytes / 3)), 2.5) << "frame " << k;
  }
}

TEST(Cli, StillOfADrawingEffectAndOfNothing) {
  Workspace ws;
  std::string bars = ws.write("bars.timeline", "0 2000 jumping_bars\n");
  Outcome r = run("still " + bars + kSmall + "--at 1000 --out " + ws.path("bars.png"));
  ASSERT_EQ(r.status, 0) << r.output;
  EXPECT_GT(litPixels(load(ws.path("bars.png"))), 5000);
  std::string nothing = ws.write("nothing.timeline", "0 2000 jumping_bars3\n");
  r = run("still " + nothing + kSmall + "--at 1000 --out " + ws.path("nothing.png"));
  ASSERT_EQ(r.status, 0) << r.output;
  EXPECT_EQ(litPixels(load(ws.path("nothing.png"))), 0);
}

TEST(Cli, SheetHasOneThumbnailPerDrawingBlock) {
  Workspace ws;
  std::string timeline = ws.write("t.timeline", "0 1000 cube_thing\n0 1000 rotate\n1000 2000 morph\n2000 2400 cube_field\n");
  Outcome r = run("sheet " + timeline + " --out " + ws.path("sheet.png"));
  ASSERT_EQ(r.status, 0) << r.output;
  EXPECT_NE(r.output.find("(3 thumbnails)"), std::string::npos) << r.output;
  Image sheet = load(ws.path("sheet.png"));
  EXPECT_EQ(sheet.width, 4 * (256 + 8) + 8);
  EXPECT_EQ(sheet.height, 192 + 28 + 16);
}

TEST(Capture, TwoRendersAreByteIdentical) {
  Workspace ws;
  std::string timeline = ws.write("t.timeline",
                                  "0 600 water_thing\n300 900 cube_field\n400 420 vibrate\n600 620 vibrate\n");
  for (const char *dir : {"a", "b"}) {
    Outcome r = run("render " + timeline + kSmall + "--frames " + ws.path(dir));
    ASSERT_EQ(r.status, 0) << r.output;
  }
  ASSERT_EQ(countFrames(ws.path("a")), 54);
  for (int k = 0; k < 54; ++k) {
    Image a = load(frameName(ws.path("a"), k)), b = load(frameName(ws.path("b"), k));
    ASSERT_EQ(a.rgb, b.rgb) << "frame " << k;
  }
}

TEST(Capture, VibrateShuddersForTheSameFramesAtSixtyFps) {
  Workspace ws;
  std::string kicked = ws.write("kicked.timeline", "0 400 cube_field\n100 120 vibrate\n");
  std::string calm = ws.write("calm.timeline", "0 400 cube_field\n");
  ASSERT_EQ(run("render " + kicked + kSmall + "--frames " + ws.path("kicked")).status, 0);
  ASSERT_EQ(run("render " + calm + kSmall + "--frames " + ws.path("calm")).status, 0);
  // At 60 fps the frames fall at 0, 17, 33, 50, 67, 83, 100, 117 ... ms. The kick lands on frame 6
  // (100 ms), after the cube field drew: a distortion of 40 that falls by 0.4 a millisecond of the
  // capture's clock, 6.67 a frame: 33.3 on frame 7, then 26.7, 20, 13.3, 6.7 and about 0 on frame
  // 12, and below zero on frame 13, where the links move once more before it rests at 0. So frames
  // 7 to 13 differ from the calm capture, and no other.
  const std::set<int> expected = {7, 8, 9, 10, 11, 12, 13};
  std::set<int> shuddering;
  const CaptureRange range{0, 400, 60};
  for (int k = 0; k < range.frameCount(); ++k)
    if (load(frameName(ws.path("kicked"), k)).rgb != load(frameName(ws.path("calm"), k)).rgb) shuddering.insert(k);
  EXPECT_EQ(shuddering, expected);
}

// A render farm's part is those frames of one render of the whole range, byte for byte and under
// the same names, though the water before it was drawn by no one else (the part draws it small
// first); --sound-only writes what that render writes beside its frames.
TEST(Capture, APartIsItsFramesOfOneRenderAndTheSoundOnlyItsAudio) {
  Workspace ws;
  const std::string range = kSmall + "--fps 30 --from 1000 --to 1600 ";
  ASSERT_EQ(run("render" + range + "--frames " + ws.path("whole")).status, 0);
  Outcome part = run("render" + range + "--part 3/3 --frames " + ws.path("part"));
  ASSERT_EQ(part.status, 0) << part.output;
  // 18 frames in three parts: the last is frames 12 to 17, and no sound.
  std::vector<std::string> names;
  for (int k = 12; k < 18; ++k) names.push_back(frameName("", k).substr(1));
  EXPECT_EQ(ws.list("part"), names);
  for (const std::string &name : names)
    EXPECT_EQ(fileContent(ws.path("part/" + name)), fileContent(ws.path("whole/" + name))) << name;
  // Started at its first frame's time instead, the water has not stepped: another picture.
  ASSERT_EQ(run("render" + kSmall + "--fps 30 --from 1400 --to 1450 --frames " + ws.path("late")).status, 0);
  EXPECT_NE(fileContent(ws.path("late/frame_000000.png")), fileContent(ws.path("whole/frame_000012.png")));

  Outcome sound = run("render" + range + "--sound-only --out " + ws.path("sound.wav"));
  ASSERT_EQ(sound.status, 0) << sound.output;
  const std::string wav = fileContent(ws.path("sound.wav"));
  EXPECT_EQ(wav.size(), 44u + 600 * 48 * 4);  // 600 ms of 16-bit stereo at 48 kHz
  EXPECT_EQ(wav, fileContent(ws.path("whole/audio.wav")));
  // A part the range has no frames for, and a sound file that is not WAV, are refused before any work.
  // Two frames in three parts: frames [0, 0), [0, 1) and [1, 2); the first has none.
  Outcome empty = run("render" + kSmall + "--fps 30 --from 1000 --to 1050 --part 1/3 --frames " + ws.path("none"));
  EXPECT_EQ(empty.status, 2);
  EXPECT_EQ(empty.output, "kandu-player: --part 1/3: the range has only 2 frames, so this part has none\n");
  Outcome mp3 = run("render" + range + "--sound-only --out " + ws.path("sound.mp3"));
  EXPECT_EQ(mp3.status, 2);
  EXPECT_EQ(access(ws.path("none").c_str(), F_OK), -1);
  EXPECT_EQ(access(ws.path("sound.mp3").c_str(), F_OK), -1);
}

TEST(Capture, StillEqualsTheRenderedFrameInsideAWaterBlock) {
  Workspace ws;
  std::string timeline = ws.write("t.timeline", "0 1000 water_thing\n200 800 morph\n");
  ASSERT_EQ(run("render " + timeline + kSmall + "--frames " + ws.path("frames")).status, 0);
  Outcome r = run("still " + timeline + kSmall + "--at 500 --out " + ws.path("still.png"));
  ASSERT_EQ(r.status, 0) << r.output;
  Image frame = load(frameName(ws.path("frames"), 30));  // 30 × 1000 / 60 = 500 ms
  Image still = load(ws.path("still.png"));
  EXPECT_EQ(frame.rgb, still.rgb);
  EXPECT_NE(frame.rgb, load(frameName(ws.path("frames"), 29)).rgb);
}

TEST(Cli, PlayOpensAWindowUnderX) {
  if (!onPath("Xvfb") || !onPath("xdotool") || !onPath("import")) GTEST_SKIP() << "Xvfb, xdotool or ImageMagick missing";
  Workspace ws;
  XServer x;
  pid_t player = startPlayer({"play", "--plugin", KANDU_PLUGIN}, ws.path("play.log"), x.env());
  // Past the first second of the demo: the water has drawn a while.
  std::string title;
  bool played = waitFor([&] {
    title = x.kanduTitle();
    return title.rfind("kandu — 0:0", 0) == 0 && title.rfind("kandu — 0:00.", 0) != 0;
  }, 60);
  bool wasRunning = programRunning(player);
  runProgram({"import", "-window", "root", ws.path("screen.png")}, x.env());
  x.press("q");
  bool quit = waitFor([&] { return !programRunning(player); }, 5);
  if (!quit) kill(player, SIGKILL);
  waitProgram(player);
  EXPECT_TRUE(played && wasRunning) << "the player ended early or never played: " << title << "; "
                                    << fileContent(ws.path("play.log"));
  EXPECT_TRUE(quit) << "the player did not quit on Q";
  Image screen;
  std::string error;
  ASSERT_TRUE(readPng(ws.path("screen.png"), screen, error)) << error;
  EXPECT_GT(litPixels(screen), 20000) << "the window shows nothing";
}

// Saving the timeline while play runs reloads it at the same position; a file that does not parse
// keeps the previous timeline playing and shows its FILE:LINE error in the title and on stderr.
TEST(Cli, PlayReloadsAnEditedTimeline) {
  if (!onPath("Xvfb") || !onPath("xdotool")) GTEST_SKIP() << "Xvfb or xdotool missing";
  Workspace ws;
  std::string timeline = ws.write("t.timeline", "0 60000 cube_thing\n");
  XServer x;
  pid_t player = startPlayer({"play", timeline, "--plugin", KANDU_PLUGIN}, ws.path("play.log"), x.env());
  auto titleSoon = [&](const std::string &part) {
    std::string title;
    if (waitFor([&] { return (title = x.kanduTitle()).find(part) != std::string::npos; }, 10)) return title;
    return "(the title never showed it; the last one was: " + title + ")";
  };
  std::string first = titleSoon("cube_thing");
  ws.write("t.timeline", "0 60000 cube_thing\n100 50 morph\n");
  std::string broken = titleSoon("t.timeline:2: block ends at 50");
  ws.write("t.timeline", "0 60000 morph\n");
  std::string fixed = titleSoon("morph");
  x.press("q");
  endProgram(player, 5);
  EXPECT_NE(first.find("cube_thing"), std::string::npos) << first;
  EXPECT_NE(broken.find("t.timeline:2: block ends at 50"), std::string::npos) << broken;
  EXPECT_NE(fixed.find("morph"), std::string::npos) << fixed;
  std::string said = fileContent(ws.path("play.log"));
  EXPECT_NE(said.find("t.timeline:2: block ends at 50, not after its start 100 (still playing the previous "
                      "timeline)"),
            std::string::npos)
      << said;
}

// A finished output is on the disk before it takes the target's name, and its new name is on the
// disk before the player says it wrote it: the system calls in order (strace) are the temporary
// file flushed, then renamed over the target, then its folder flushed.
TEST(Capture, AnOutputIsFlushedThenRenamedThenItsFolderFlushed) {
  if (!onPath("strace")) GTEST_SKIP() << "strace is not installed";
  if (runProgram({"strace", "-o", "/dev/null", "true"}).status != 0) GTEST_SKIP() << "strace cannot trace here (ptrace refused)";
  Workspace ws;
  // The player's own thread writes a still (no -f: llvmpipe's threads would split its calls in two).
  const Outcome traced = runProgram({"strace", "-e", "trace=openat,fsync,rename,renameat,renameat2", "-o",
                                     ws.path("calls.log"), KANDU_PLAYER, "still", "--at", "0", "--size", "64x48",
                                     "--out", "s.png"}, {}, ws.path(""));
  ASSERT_EQ(traced.status, 0) << traced.output;
  // Each call as "CALL ARGUMENTS = RESULT", the process id taken off.
  std::vector<std::string> calls;
  std::istringstream log(fileContent(ws.path("calls.log")));
  for (std::string line; std::getline(log, line);) {
    std::string call;  // strace pads before " = RESULT": runs of blanks as one
    for (char ch : line)
      if (ch != ' ' || call.empty() || call.back() != ' ') call += ch;
    calls.push_back(call);
  }
  std::string temp, tempFd, dirFd;
  int flushedAt = -1, renamedAt = -1, dirFlushedAt = -1;
  for (int i = 0; i < static_cast<int>(calls.size()); ++i) {
    const std::string &c = calls[static_cast<size_t>(i)];
    const size_t quote = c.find("\"./.s.png.kandu-");
    if (c.rfind("openat(", 0) == 0 && quote != std::string::npos && c.find("O_RDONLY") != std::string::npos) {
      temp = c.substr(quote + 1, c.find('"', quote + 1) - quote - 1);
      tempFd = c.substr(c.rfind("= ") + 2);
    } else if (!tempFd.empty() && renamedAt < 0 && c == "fsync(" + tempFd + ") = 0") {
      flushedAt = i;
    } else if (!temp.empty() && c.find("rename") == 0 && c.find("\"" + temp + "\", \"s.png\"") != std::string::npos) {
      renamedAt = i;
    } else if (renamedAt >= 0 && c.rfind("openat(AT_FDCWD, \".\", ", 0) == 0 && c.find("O_DIRECTORY") != std::string::npos) {
      dirFd = c.substr(c.rfind("= ") + 2);
    } else if (!dirFd.empty() && c == "fsync(" + dirFd + ") = 0") {
      dirFlushedAt = i;
    }
  }
  EXPECT_GE(flushedAt, 0) << "the temporary file " << temp << " was not flushed before the rename";
  EXPECT_GT(renamedAt, flushedAt) << "renamed at call " << renamedAt;
  EXPECT_GT(dirFlushedAt, renamedAt) << "the folder was not flushed after the rename";
}
