// kandu-player under hostile input and faults: no shell, all-or-nothing outputs, honest exits,
// bounded work. Each case checks the exit status, that nothing is left beside the target and that
// an earlier file at the target is byte-identical afterwards.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "player/capture.h"
#include "tests/support/process.h"
#include "timeline/capture_plan.h"

using namespace kandu;

namespace {

const std::string kEarlier = "an earlier output, which must survive\n";

// A directory on PATH holding a fake `ffmpeg` that runs `script` (sh) after taking some input.
std::vector<std::string> fakeEncoder(const Workspace &ws, const std::string &script) {
  mkdir(ws.path("bin").c_str(), 0755);
  std::string path = ws.write("bin/ffmpeg", "#!/bin/sh\nhead -c 200000 >/dev/null\n" + script + "\n");
  chmod(path.c_str(), 0755);
  return {"PATH=" + ws.path("bin") + ":" + std::string(getenv("PATH") ? getenv("PATH") : "/usr/bin:/bin")};
}

bool contains(const std::string &text, const std::string &part) { return text.find(part) != std::string::npos; }

// Waits until the player has made its temporary output beside `target` in the workspace.
bool waitForPending(const Workspace &ws, pid_t pid) {
  bool made = false;
  waitFor([&] {
    for (const std::string &name : ws.list()) made = made || contains(name, ".kandu-");
    return made || !programRunning(pid);
  }, 10);
  return made;
}

}  // namespace

TEST(Hostile, OutputPathsAreNeverCommandsOrOptions) {
  if (!onPath("ffmpeg")) GTEST_SKIP() << "ffmpeg is not installed";
  Workspace ws;
  std::string sneaky = ws.path("x'; touch " + ws.path("pwned") + "; echo '.mp4");
  Outcome r = runPlayer({"render", "--size", "64x48", "--to", "100", "--out", sneaky});
  EXPECT_EQ(r.status, 0) << r.output;
  EXPECT_EQ(access(ws.path("pwned").c_str(), F_OK), -1) << "a command ran from the output path";
  EXPECT_EQ(access(sneaky.c_str(), F_OK), 0) << "the video went elsewhere";
  // A relative name whose directory looks like a protocol ("concat:") is still a file.
  mkdir(ws.path("concat:a").c_str(), 0755);
  Outcome protocol = runPlayer({"render", "--size", "64x48", "--to", "100", "--out", "concat:a/v.mp4"},
                                {}, ws.path(""));
  EXPECT_EQ(protocol.status, 0) << protocol.output;
  EXPECT_GT(fileContent(ws.path("concat:a/v.mp4")).size(), 1000u);
  // A name that looks like an option is a file name, and not a video one.
  Outcome option = runPlayer({"render", "--size", "64x48", "--to", "100", "--out", "-version"});
  EXPECT_EQ(option.status, 2);
  EXPECT_TRUE(contains(option.output, "-version: not a video file name")) << option.output;
}

TEST(Hostile, BadRequestsExitTwoBeforeAnyWork) {
  Workspace ws;
  ws.write("target.mp4", kEarlier);
  mkdir(ws.path("dir.mp4").c_str(), 0755);
  mkdir(ws.path("frames").c_str(), 0755);
  ws.write("frames/notes.txt", "mine\n");
  mkdir(ws.path("empty-bin").c_str(), 0755);
  const std::string out = ws.path("target.mp4");
  struct Case {
    std::vector<std::string> args;
    std::string says;
    std::vector<std::string> env;
  } cases[] = {
      {{"render", "--out", ws.path("a.avi")}, "not a video file name", {}},
      {{"render", "--out", ws.path("dir.mp4")}, "exists and is not a regular file", {}},
      {{"render", "--size", "1023x767", "--out", out}, "video needs an even width and height", {}},
      {{"render", "--out", out}, "needs ffmpeg, which is not installed", {"PATH=" + ws.path("empty-bin")}},
      {{"render", "--from", "61000", "--out", out}, "--from 61000 is at or past the timeline's end (61000 ms)", {}},
      {{"still", "--at", "600000", "--out", ws.path("s.png")}, "--at 600000 is past the timeline's end", {}},
      {{"render", "--frames", ws.path("frames")}, "holds files other than frames", {}},
      {{"render", "/dev/zero", "--out", out}, "/dev/zero: the timeline is not a regular file", {}},
  };
  for (const Case &c : cases) {
    Outcome r = runPlayer(c.args, c.env);
    EXPECT_EQ(r.status, 2) << c.args.back() << ": " << r.output;
    EXPECT_TRUE(contains(r.output, c.says)) << r.output;
    EXPECT_EQ(std::count(r.output.begin(), r.output.end(), '\n'), 1) << r.output;
  }
  EXPECT_EQ(fileContent(out), kEarlier);
  EXPECT_EQ(ws.list(), (std::vector<std::string>{"dir.mp4", "empty-bin", "frames", "target.mp4"}));
  EXPECT_EQ(ws.list("frames"), std::vector<std::string>{"notes.txt"});
}

TEST(Hostile, TimelineBytesAreEscapedInMessages) {
  Workspace ws;
  std::string timeline = ws.write("t.timeline", std::string("0 1000 \x1b[31mred\0x\n", 19));
  Outcome r = runPlayer({"render", timeline, "--frames", ws.path("f")});
  EXPECT_EQ(r.status, 2);
  EXPECT_TRUE(contains(r.output, "effect word '\\x1b[31mred\\x00x'")) << r.output;
  EXPECT_FALSE(contains(r.output, "\x1b")) << "a raw escape reached the terminal";
  std::string big = ws.write("big.timeline", std::string(kMaxTimelineBytes + 1, '#'));
  Outcome large = runPlayer({"render", big, "--frames", ws.path("f")});
  EXPECT_EQ(large.status, 2);
  EXPECT_TRUE(contains(large.output, "larger than 1048576 bytes")) << large.output;
}

TEST(Faults, EncoderThatFailsOrDiesLeavesTheEarlierVideo) {
  Workspace ws;
  const std::string out = ws.path("v.mp4");
  ws.write("v.mp4", kEarlier);
  struct Case {
    std::string script;
    std::string says;
  } cases[] = {
      {"echo 'fake: No space left on device' >&2; exit 1", "ffmpeg failed with exit status 1: fake: No space left"},
      {"kill -9 $$", "ffmpeg was ended by signal 9"},
  };
  for (const Case &c : cases) {
    Outcome r = runPlayer({"render", "--size", "256x192", "--to", "2000", "--out", out}, fakeEncoder(ws, c.script));
    EXPECT_EQ(r.status, 1) << r.output;
    EXPECT_TRUE(contains(r.output, c.says)) << r.output;
    EXPECT_EQ(fileContent(out), kEarlier);
    EXPECT_EQ(ws.list(), (std::vector<std::string>{"bin", "v.mp4"}));
  }
}

TEST(Faults, FullDiskLeavesNothingBehind) {
  Workspace ws;
  mkdir(ws.path("small").c_str(), 0755);
  if (mount("tmpfs", ws.path("small").c_str(), "tmpfs", 0, "size=160k") != 0)
    GTEST_SKIP() << "cannot mount a small tmpfs here (needs root and a mount namespace that allows it)";
  ws.write("small/still.png", kEarlier);
  std::vector<std::vector<std::string>> runs = {
      {"render", "--size", "256x192", "--to", "3000", "--frames", ws.path("small/frames")},
      {"still", "--at", "1000", "--out", ws.path("small/still.png")},
  };
  if (onPath("ffmpeg")) runs.push_back({"render", "--size", "512x384", "--to", "3000", "--out", ws.path("small/v.mp4")});
  for (const auto &args : runs) {
    Outcome r = runPlayer(args);
    EXPECT_EQ(r.status, 1) << args.back();
    EXPECT_TRUE(contains(r.output, "No space left on device")) << r.output;
    EXPECT_EQ(ws.list("small"), std::vector<std::string>{"still.png"}) << args.back();
  }
  EXPECT_EQ(fileContent(ws.path("small/still.png")), kEarlier);
  umount(ws.path("small").c_str());
}

TEST(Faults, SignalsStopTheCaptureAndRemoveIt) {
  Workspace ws;
  // The video (when ffmpeg is here) and a frame directory that holds an earlier render.
  ASSERT_EQ(runPlayer({"render", "--size", "64x48", "--to", "50", "--frames", ws.path("frames")}).status, 0);
  std::vector<std::string> earlierFrames = ws.list("frames");
  ASSERT_EQ(earlierFrames.size(), 3u + 1);  // and the demo's beat, audio.wav
  ws.write("v.mp4", kEarlier);
  struct Case {
    int signal;
    std::vector<std::string> args;
  } cases[] = {
      {SIGTERM, {"render", "--size", "256x192", "--frames", ws.path("frames")}},
      {SIGINT, {"render", "--size", "256x192", "--frames", ws.path("frames")}},
      {SIGTERM, {"render", "--size", "256x192", "--out", ws.path("v.mp4")}},
      {SIGINT, {"still", "--size", "256x192", "--at", "60000", "--out", ws.path("v.png")}},
  };
  Workspace logs;  // beside the workspace, which must hold only the outputs
  for (const Case &c : cases) {
    if (contains(c.args.back(), ".mp4") && !onPath("ffmpeg")) continue;
    const std::string log = logs.path(c.args[0] + std::to_string(c.signal) + ".log");
    pid_t pid = startPlayer(c.args, log);
    if (c.args[0] == "still") {
      // still writes only at the end: stop it in its pre-roll, once that shows its progress.
      ASSERT_TRUE(waitFor([&] { return contains(fileContent(log), "pre-roll: frame"); }, 30));
    } else {
      ASSERT_TRUE(waitForPending(ws, pid)) << c.args.back();
    }
    kill(pid, c.signal);
    EXPECT_EQ(waitProgram(pid), 128 + c.signal) << c.args.back();
    EXPECT_EQ(ws.list(), (std::vector<std::string>{"frames", "v.mp4"})) << c.args.back();
    EXPECT_EQ(ws.list("frames"), earlierFrames);
    EXPECT_EQ(fileContent(ws.path("v.mp4")), kEarlier);
  }
}

// A stop signal ends the player at once with its status also while it decodes music (a render of
// the last moments of an hour of 192 kHz music decodes the hour first: seconds), and in play.
TEST(Faults, SignalsEndEveryCommandAtOnceMusicDecodingIncluded) {
  using Clock = std::chrono::steady_clock;
  auto seconds = [](Clock::time_point since) { return std::chrono::duration<double>(Clock::now() - since).count(); };
  {
    // Stopped after the last frame, while the encoder finishes (here one that takes its time): the
    // encoder is not waited for and the earlier video stays.
    Workspace ws, logs;
    ws.write("v.mp4", kEarlier);
    const std::string log = logs.path("tail.log");
    pid_t pid = startPlayer({"render", "--to", "200", "--size", "64x48", "--out", ws.path("v.mp4")}, log,
                            fakeEncoder(logs, "cat >/dev/null\nexec sleep 30"));
    ASSERT_TRUE(waitFor([&] { return contains(fileContent(log), "(100%)") || !programRunning(pid); }, 10));
    const Clock::time_point sent = Clock::now();
    kill(pid, SIGINT);
    EXPECT_EQ(endProgram(pid, 10), 130) << fileContent(log);
    EXPECT_LT(seconds(sent), 0.5) << fileContent(log);
    EXPECT_EQ(ws.list(), std::vector<std::string>{"v.mp4"});
    EXPECT_EQ(fileContent(ws.path("v.mp4")), kEarlier);
    EXPECT_FALSE(contains(fileContent(log), "kandu-player:")) << "a stop is no failure: " << fileContent(log);
  }
  if (!onPath("ffmpeg")) GTEST_SKIP() << "ffmpeg is not installed (it makes the music)";
  Workspace ws, logs;
  ASSERT_EQ(runProgram({"ffmpeg", "-v", "error", "-f", "lavfi", "-i", "anullsrc=sample_rate=192000:channel_layout=stereo",
                        "-t", "10", ws.path("ten.flac")}).status, 0);
  ASSERT_EQ(runProgram({"ffmpeg", "-v", "error", "-stream_loop", "359", "-i", ws.path("ten.flac"), "-c", "copy",
                        ws.path("hour.flac")}).status, 0);
  std::remove(ws.path("ten.flac").c_str());
  const std::string timeline = ws.write("t.timeline", "music hour.flac\n0 3600000 water_thing\n");
  ws.write("v.mp4", kEarlier);
  for (int sig : {SIGINT, SIGTERM}) {
    const std::string log = logs.path("render" + std::to_string(sig) + ".log");
    pid_t pid = startPlayer({"render", timeline, "--from", "3590000", "--to", "3590100", "--size", "64x48", "--out",
                             ws.path("v.mp4")}, log);
    // The sound goes first, under a name of its own beside the video: once that is there, it decodes.
    ASSERT_TRUE(waitFor([&] {
      for (const std::string &name : ws.list()) if (contains(name, ".wav.kandu-")) return true;
      return !programRunning(pid);
    }, 10)) << fileContent(log);
    const Clock::time_point sent = Clock::now();
    kill(pid, sig);
    EXPECT_EQ(endProgram(pid, 10), 128 + sig) << fileContent(log);
    // Half a second is what a user may wait; the decode that is given up takes seconds.
    EXPECT_LT(seconds(sent), 0.5) << fileContent(log);
    EXPECT_EQ(ws.list(), (std::vector<std::string>{"hour.flac", "t.timeline", "v.mp4"}));
    EXPECT_EQ(fileContent(ws.path("v.mp4")), kEarlier);
    EXPECT_EQ(fileContent(log).find("interrupted"), std::string::npos) << fileContent(log);
  }
  if (!onPath("Xvfb")) return;
  XServer x;
  for (int sig : {SIGINT, SIGTERM}) {
    const std::string log = logs.path("play" + std::to_string(sig) + ".log");
    const std::string heard = logs.path("heard" + std::to_string(sig) + ".raw");
    pid_t pid = startPlayer({"play", timeline, "--size", "160x120"}, log,
                            x.env({"SDL_AUDIODRIVER=disk", "SDL_DISKAUDIOFILE=" + heard}));
    // Once the sound plays, the audio library is up too (it must not take the signals for itself).
    ASSERT_TRUE(waitFor([&] { return !fileContent(heard).empty() || !programRunning(pid); }, 10)) << fileContent(log);
    kill(pid, sig);
    EXPECT_EQ(endProgram(pid, 5), 128 + sig) << fileContent(log);
  }
}

TEST(Faults, PluginCrashIsReportedWithTheExportAndLeavesNothing) {
  Workspace ws;
  ws.write("still.png", kEarlier);
  Outcome r = runPlayer({"still", "--at", "100", "--plugin", KANDU_CRASH_PLUGIN, "--out", ws.path("still.png")});
  EXPECT_EQ(r.status, 128 + SIGSEGV);
  EXPECT_TRUE(contains(r.output, std::string("SIGSEGV in the plug-in's ExecuteDLL (") + KANDU_CRASH_PLUGIN + ")"))
      << r.output;
  Outcome frames = runPlayer({"render", "--to", "100", "--plugin", KANDU_CRASH_PLUGIN, "--frames", ws.path("f")});
  EXPECT_EQ(frames.status, 128 + SIGSEGV);
  if (onPath("ffmpeg")) {
    Outcome video = runPlayer({"render", "--to", "100", "--plugin", KANDU_CRASH_PLUGIN, "--out", ws.path("v.mp4")});
    EXPECT_EQ(video.status, 128 + SIGSEGV);
  }
  EXPECT_EQ(ws.list(), std::vector<std::string>{"still.png"});
  EXPECT_EQ(fileContent(ws.path("still.png")), kEarlier);
}

TEST(Outputs, FramesDirectoryHoldsExactlyTheLastRender) {
  Workspace ws;
  ASSERT_EQ(runPlayer({"render", "--size", "64x48", "--to", "500", "--frames", ws.path("f")}).status, 0);
  ASSERT_EQ(ws.list("f").size(), 30u + 1);  // the frames and the demo's beat
  ASSERT_EQ(runPlayer({"render", "--size", "64x48", "--to", "100", "--frames", ws.path("f")}).status, 0);
  EXPECT_EQ(ws.list("f"), (std::vector<std::string>{"audio.wav", "frame_000000.png", "frame_000001.png",
                                                   "frame_000002.png", "frame_000003.png", "frame_000004.png",
                                                   "frame_000005.png"}));
  EXPECT_EQ(ws.list(), std::vector<std::string>{"f"});
}

TEST(Outputs, ToPastTheEndIsCutAndTheSheetIsCapped) {
  Workspace ws;
  std::string timeline = ws.write("t.timeline", "0 100 cube_thing\n");
  Outcome r = runPlayer({"render", timeline, "--size", "64x48", "--to", "5000", "--frames", ws.path("f")});
  EXPECT_EQ(r.status, 0) << r.output;
  EXPECT_TRUE(contains(r.output, "--to 5000 is past the timeline's end; stopping at 100 ms")) << r.output;
  EXPECT_EQ(ws.list("f").size(), 6u);
  std::string many;
  for (size_t i = 0; i <= kMaxSheetThumbnails; ++i)
    many += std::to_string(i * 20) + " " + std::to_string(i * 20 + 20) + " cube_thing\n";
  Outcome sheet = runPlayer({"sheet", ws.write("many.timeline", many), "--fps", "10", "--out", ws.path("s.png")});
  EXPECT_EQ(sheet.status, 0) << sheet.output;
  EXPECT_TRUE(contains(sheet.output, "shows the first 64 of 65 drawing blocks")) << sheet.output;
  EXPECT_TRUE(contains(sheet.output, "(64 thumbnails)")) << sheet.output;
}

// The host's side of the plug-in interface, as the plug-in sees it: for every active block in file
// order, setTimeDLL, getBlockInfo and ExecuteDLL with their texts, each block starting from an
// identity modelview whatever the one before it left.
TEST(HostProtocol, EveryBlockGetsItsThreeCallsOnAFreshModelview) {
  Workspace ws;
  std::string timeline = ws.write("t.timeline", "0 100 cube_thing\n20 60 rotate\n50 150 morph\n");
  Outcome r = runPlayer({"still", timeline, "--size", "64x48", "--at", "60", "--plugin", KANDU_PROBE_PLUGIN, "--out",
                      ws.path("s.png")},
                     {"KANDU_PROBE_LOG=" + ws.path("calls.log")});
  ASSERT_EQ(r.status, 0) << r.output;
  // Frames 0, 16, 33 and 50 ms of the pre-roll, then the still at 60 ms (all 64 wide here: the
  // pre-roll's corner is 64 × 48, and so is the still asked for).
  EXPECT_EQ(fileContent(ws.path("calls.log")),
            "0 0,100 cube_thing identity 64\n"
            "16 0,100 cube_thing identity 64\n"
            "33 0,100 cube_thing identity 64\n33 20,60 rotate identity 64\n"
            "50 0,100 cube_thing identity 64\n50 20,60 rotate identity 64\n50 50,150 morph identity 64\n"
            "60 0,100 cube_thing identity 64\n60 50,150 morph identity 64\n");
}

// The contact sheet shows each drawing block at the first frame at or after its mid-point.
TEST(HostProtocol, TheSheetShowsEachBlockFromItsMidPoint) {
  Workspace ws;
  std::string timeline = ws.write("t.timeline", "0 100 cube_thing\n100 160 morph\n");
  Outcome r = runPlayer({"sheet", timeline, "--fps", "30", "--plugin", KANDU_PROBE_PLUGIN, "--out", ws.path("s.png")},
                     {"KANDU_PROBE_LOG=" + ws.path("calls.log")});
  ASSERT_EQ(r.status, 0) << r.output;
  // Mid-points 50 and 130 ms; at 30 fps the frames at or after them are 2 (66 ms) and 4 (133 ms),
  // the only ones drawn at the full 1024 × 768.
  std::string log = fileContent(ws.path("calls.log")), full;
  size_t start = 0;
  for (size_t end; (end = log.find('\n', start)) != std::string::npos; start = end + 1) {
    std::string line = log.substr(start, end - start);
    if (line.size() > 5 && line.compare(line.size() - 5, 5, " 1024") == 0) full += line + "\n";
  }
  EXPECT_EQ(full, "66 0,100 cube_thing identity 1024\n133 100,160 morph identity 1024\n");
}
