// kandu-player with a soundtrack: music files decoded, cut to the capture's range and carried by
// the video (AAC) or written beside the frames (audio.wav), in step with the pictures. The tests
// make their own sound: silence with a click at a known time.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdint>
#include <cstring>
#include <cstdlib>
#include <atomic>
#include <chrono>
#include <sstream>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "player/capture.h"
#include "tests/support/process.h"

using namespace kandu;

namespace {

// 16-bit stereo WAV at 48 kHz, `ms` long, silent but for a 5 ms click starting at each of
// `clicksMs` (or, with `tone`, loud all through).
std::string clickWav(int64_t ms, std::vector<int64_t> clicksMs, bool tone = false) {
  const int64_t frames = ms * 48;
  std::string data;
  for (int64_t i = 0; i < frames; ++i) {
    bool loud = tone;
    for (int64_t clickMs : clicksMs) loud = loud || (i >= clickMs * 48 && i < clickMs * 48 + 240);
    int16_t v = loud ? ((i / 12) % 2 ? 20000 : -20000) : 0;
    for (int c = 0; c < 2; ++c) data.append(reinterpret_cast<const char *>(&v), 2);
  }
  auto u32 = [](uint32_t v) { return std::string(reinterpret_cast<const char *>(&v), 4); };
  auto u16 = [](uint16_t v) { return std::string(reinterpret_cast<const char *>(&v), 2); };
  return "RIFF" + u32(36 + static_cast<uint32_t>(data.size())) + "WAVEfmt " + u32(16) + u16(1) + u16(2) + u32(48000) +
         u32(48000 * 4) + u16(4) + u16(16) + "data" + u32(static_cast<uint32_t>(data.size())) + data;
}

// 16-bit stereo WAV at `rate`, `ms` long: a 5 ms click on the left channel at `leftMs` and one on
// the right at `rightMs`, silence elsewhere (how a compressed soundtrack's channels are told apart).
std::string stereoClickWav(int rate, int64_t ms, int64_t leftMs, int64_t rightMs) {
  const int64_t frames = ms * rate / 1000;
  std::string data;
  for (int64_t i = 0; i < frames; ++i)
    for (int64_t clickMs : {leftMs, rightMs}) {
      const int64_t at = clickMs * rate / 1000;
      int16_t v = i >= at && i < at + rate / 200 ? ((i / 12) % 2 ? 20000 : -20000) : 0;
      data.append(reinterpret_cast<const char *>(&v), 2);
    }
  auto u32 = [](uint32_t v) { return std::string(reinterpret_cast<const char *>(&v), 4); };
  auto u16 = [](uint16_t v) { return std::string(reinterpret_cast<const char *>(&v), 2); };
  return "RIFF" + u32(36 + static_cast<uint32_t>(data.size())) + "WAVEfmt " + u32(16) + u16(1) + u16(2) +
         u32(static_cast<uint32_t>(rate)) + u32(static_cast<uint32_t>(rate) * 4) + u16(4) + u16(16) + "data" +
         u32(static_cast<uint32_t>(data.size())) + data;
}

bool contains(const std::string &text, const std::string &part) { return text.find(part) != std::string::npos; }

// The first frame of 16-bit stereo PCM whose `channel` is louder than a quarter of full scale.
int64_t firstLoudFrame(const std::string &pcm, int channel) {
  for (size_t i = static_cast<size_t>(channel) * 2; i + 1 < pcm.size(); i += 4) {
    int16_t v = static_cast<int16_t>(static_cast<uint8_t>(pcm[i]) | (static_cast<uint8_t>(pcm[i + 1]) << 8));
    if (std::abs(v) > 8000) return static_cast<int64_t>(i / 4);
  }
  return -1;
}

// The first sample (mono, 48 kHz) louder than a quarter of full scale in raw s16le audio.
int64_t firstLoudSample(const std::string &pcm) {
  for (size_t i = 0; i + 1 < pcm.size(); i += 2) {
    int16_t v = static_cast<int16_t>(static_cast<uint8_t>(pcm[i]) | (static_cast<uint8_t>(pcm[i + 1]) << 8));
    if (std::abs(v) > 8000) return static_cast<int64_t>(i / 2);
  }
  return -1;
}

// When the bytes of a file that grows were written, by the steady clock: a thread looks at its
// size every half millisecond while the test runs.
class GrowthLog {
 public:
  explicit GrowthLog(std::string path) : path_(std::move(path)), thread_([this] { run(); }) {}
  ~GrowthLog() { stop(); }
  void stop() {
    done_ = true;
    if (thread_.joinable()) thread_.join();
  }
  // When the sample frame `frame` of 48 kHz stereo float started to be heard: the write that
  // brought it, plus its place in that write. -1 when it was never written.
  double heardAtMs(int64_t frame) const {
    const int64_t byte = frame * 8;
    for (size_t k = 1; k < sizes_.size(); ++k)
      if (sizes_[k].second > byte) return sizes_[k].first + static_cast<double>(byte - sizes_[k - 1].second) / 8 / 48;
    return -1;
  }

 private:
  void run() {
    sizes_.push_back({0, 0});
    while (!done_) {
      struct stat st{};
      if (stat(path_.c_str(), &st) == 0 && st.st_size != sizes_.back().second)
        sizes_.push_back({nowMs(), static_cast<int64_t>(st.st_size)});
      usleep(500);
    }
  }
  static double nowMs() {
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now().time_since_epoch()).count();
  }
  std::string path_;
  std::atomic<bool> done_{false};
  std::vector<std::pair<double, int64_t>> sizes_;
  std::thread thread_;
};

// The starts of the clicks in raw 32-bit float stereo: loud samples after at least 100 ms of quiet.
std::vector<int64_t> clicksIn(const std::string &raw) {
  std::vector<int64_t> clicks;
  int64_t lastLoud = -48000;
  for (size_t i = 0; i + 8 <= raw.size(); i += 8) {
    float v;
    std::memcpy(&v, raw.data() + i, 4);
    if (std::fabs(v) < 0.25f) continue;
    const int64_t frame = static_cast<int64_t>(i / 8);
    if (frame - lastLoud > 4800) clicks.push_back(frame);
    lastLoud = frame;
  }
  return clicks;
}

// One ExecuteDLL of the probe plug-in with KANDU_PROBE_CLOCK: when (steady clock), the time text
// and the word.
struct ProbeCall {
  double clockMs;
  int64_t time;
  std::string word;
};
std::vector<ProbeCall> probeCalls(const std::string &log) {
  std::vector<ProbeCall> calls;
  std::istringstream in(log);
  for (std::string line; std::getline(in, line);) {
    std::istringstream fields(line);
    ProbeCall c;
    std::string bounds;
    if (fields >> c.clockMs >> c.time >> bounds >> c.word) calls.push_back(c);
  }
  return calls;
}

// Starts play of `timeline` with the probe plug-in (KANDU_PROBE_CLOCK: frames with their clock, in
// calls.log) and SDL's disk driver (what is heard, in out.raw); returns once its window is up.
pid_t startListenedPlay(const XServer &x, const Workspace &ws, const std::string &timeline) {
  pid_t play = startPlayer({"play", timeline, "--size", "160x120", "--plugin", KANDU_PROBE_PLUGIN},
                            ws.path("play.log"),
                            x.env({"SDL_AUDIODRIVER=disk", "SDL_DISKAUDIOFILE=" + ws.path("out.raw"),
                                   "KANDU_PROBE_LOG=" + ws.path("calls.log"), "KANDU_PROBE_CLOCK=1"}));
  waitFor([&] { return !x.kanduTitle().empty(); }, 10);
  return play;
}

// The time of the last frame the probe plug-in drew (-1 before the first).
int64_t lastFrameTime(const Workspace &ws) {
  std::vector<ProbeCall> calls = probeCalls(fileContent(ws.path("calls.log")));
  return calls.empty() ? -1 : calls.back().time;
}

// How long, on the probe's clock, the picture has shown the time it shows now.
double heldMs(const Workspace &ws) {
  std::vector<ProbeCall> calls = probeCalls(fileContent(ws.path("calls.log")));
  size_t first = calls.size();
  while (first > 0 && calls[first - 1].time == calls.back().time) --first;
  return first == calls.size() ? 0 : calls.back().clockMs - calls[first].clockMs;
}

}  // namespace

// The block that starts with the click starts drawing within one frame period of the click, in the
// video and beside the frames, also when the range does not start at 0.
TEST(Music, TheClickAtABlocksStartIsHeardWithItsFirstFrame) {
  if (!onPath("ffmpeg")) GTEST_SKIP() << "ffmpeg is not installed";
  Workspace ws;
  ws.write("click.wav", clickWav(3000, {1000}));
  // The morph before it sets the camera the cube cross uses (an effect's camera lags one call), so
  // the cross shows on its block's very first frame: the centre turns white.
  std::string timeline = ws.write("t.timeline", "music click.wav\n0 1000 morph\n1000 2000 cube_thing\n");
  ASSERT_EQ(runPlayer({"render", timeline, "--size", "64x48", "--fps", "30", "--from", "500", "--to", "1500", "--out",
                    ws.path("v.mp4")})
                .status,
            0);
  Outcome pcm = runProgram({"ffmpeg", "-v", "error", "-i", ws.path("v.mp4"), "-map", "0:a", "-ac", "1", "-ar",
                            "48000", "-f", "s16le", "-"});
  Outcome rgb = runProgram({"ffmpeg", "-v", "error", "-i", ws.path("v.mp4"), "-map", "0:v", "-f", "rawvideo",
                            "-pix_fmt", "gray", "-"});
  // The sound lasts the range, 1 s; the click at 1000 ms is 500 ms into the video.
  EXPECT_NEAR(static_cast<double>(pcm.output.size()) / 2 / 48000, 1.0, 0.03);
  int64_t heard = firstLoudSample(pcm.output);
  ASSERT_GE(heard, 0) << "no click in the video's sound";
  int firstLit = -1;
  for (size_t k = 0; firstLit < 0 && (k + 1) * 64 * 48 <= rgb.output.size(); ++k)
    if (static_cast<uint8_t>(rgb.output[k * 64 * 48 + 24 * 64 + 32]) > 200) firstLit = static_cast<int>(k);
  ASSERT_EQ(firstLit, 15);  // 500 ms at 30 fps
  EXPECT_NEAR(static_cast<double>(heard) / 48000, firstLit / 30.0, 1 / 30.0);

  // Beside PNG frames, the same range as audio.wav: the click 500 ms in, to the sample.
  ASSERT_EQ(runPlayer({"render", timeline, "--size", "64x48", "--fps", "30", "--from", "500", "--to", "1500",
                    "--frames", ws.path("frames")})
                .status,
            0);
  std::string wav = fileContent(ws.path("frames/audio.wav"));
  ASSERT_EQ(wav.size(), 44u + 48000 * 4);
  EXPECT_EQ(firstLoudSample(wav.substr(44)) / 2, 500 * 48);
}

// Soundtracks as they come: 44.1 kHz MP3 and Ogg Vorbis, with their encoders' delay, and channels
// that differ. The left click at 1000 ms starts the cube cross's block and the right one at
// 1500 ms stays on the right, beside the frames and in the video.
TEST(Music, CompressedStereoMusicKeepsItsTimeAndItsChannels) {
  if (!onPath("ffmpeg")) GTEST_SKIP() << "ffmpeg is not installed";
  Workspace ws;
  ws.write("clicks.wav", stereoClickWav(44100, 3000, 1000, 1500));
  for (const char *kind : {"mp3", "ogg"}) {
    SCOPED_TRACE(kind);
    const std::string music = ws.path(std::string("clicks.") + kind);
    Outcome encoded = runProgram({"ffmpeg", "-v", "error", "-y", "-i", ws.path("clicks.wav"), "-c:a",
                                  std::string(kind) == "mp3" ? "libmp3lame" : "libvorbis", "-q:a", "4", music});
    if (encoded.status != 0) GTEST_SKIP() << "ffmpeg cannot encode " << kind << ": " << encoded.output;
    std::string timeline = ws.write("t.timeline", "music " + music + "\n0 1000 morph\n1000 3000 cube_thing\n");
    ASSERT_EQ(runPlayer({"render", timeline, "--size", "64x48", "--fps", "30", "--frames", ws.path("f")}).status, 0);
    std::string pcm = fileContent(ws.path("f/audio.wav")).substr(44);
    // Within a millisecond on each side, and each click only on its own side.
    EXPECT_NEAR(firstLoudFrame(pcm, 0), 48000, 48);
    EXPECT_NEAR(firstLoudFrame(pcm, 1), 72000, 48);
    ASSERT_EQ(runPlayer({"render", timeline, "--size", "64x48", "--fps", "30", "--from", "500", "--out",
                      ws.path("v.mp4")}).status, 0);
    Outcome video = runProgram({"ffmpeg", "-v", "error", "-i", ws.path("v.mp4"), "-map", "0:a", "-ar", "48000", "-ac",
                                "2", "-f", "s16le", "-"});
    EXPECT_NEAR(firstLoudFrame(video.output, 0), 24000, 30 * 48);  // a frame at 30 fps: AAC has its own delay
    EXPECT_NEAR(firstLoudFrame(video.output, 1), 48000, 30 * 48);
  }
}

TEST(Music, BadMusicIsOneErrorAndExitsTwoBeforeAnyWork) {
  Workspace ws;
  ws.write("noise.mp3", std::string(3000, '\x55'));
  std::string timeline = ws.write("t.timeline", "music missing.ogg\n0 1000 morph\n");
  struct Case {
    std::vector<std::string> args;
    std::string says;
  } cases[] = {
      {{"render", "--music", ws.path("nothing.flac"), "--frames", ws.path("f")}, "cannot open the music"},
      {{"render", "--music", ws.path("noise.mp3"), "--frames", ws.path("f")}, "noise.mp3"},
      {{"render", timeline, "--frames", ws.path("f")}, ws.path("missing.ogg") + ": cannot open the music"},
  };
  for (const Case &c : cases) {
    Outcome r = runPlayer(c.args);
    EXPECT_EQ(r.status, 2) << r.output;
    EXPECT_NE(r.output.find(c.says), std::string::npos) << r.output;
    EXPECT_EQ(std::count(r.output.begin(), r.output.end(), '\n'), 1) << r.output;
  }
  EXPECT_EQ(ws.list(), (std::vector<std::string>{"noise.mp3", "t.timeline"}));
  // The music line names a file; still and sheet have no sound and do not read it.
  EXPECT_EQ(runPlayer({"still", timeline, "--size", "64x48", "--at", "100", "--out", ws.path("s.png")}).status, 0);
}

// A FIFO would block the open (or never end), a device never ends, a directory is no file: each,
// named by --music or by a music line, is one line and exit 2 at once, in every command.
TEST(Music, MusicThatIsNotARegularFileIsRefusedAtOnce) {
  Workspace ws, logs;
  ASSERT_EQ(mkfifo(ws.path("fifo.wav").c_str(), 0600), 0);
  ASSERT_EQ(mkdir(ws.path("dir.wav").c_str(), 0700), 0);
  const std::string byLine = ws.write("t.timeline", "music fifo.wav\n0 1000 morph\n");
  const std::vector<std::string> kinds[] = {{"render", "--frames", ws.path("f")},
                                            {"render", "--out", ws.path("v.mp4")},
                                            {"still", "--at", "100", "--out", ws.path("s.png")},
                                            {"sheet", "--out", ws.path("s.png")}};
  int n = 0;
  for (const std::string &music : {ws.path("fifo.wav"), ws.path("dir.wav"), std::string("/dev/zero"), std::string()}) {
    for (std::vector<std::string> args : kinds) {
      if (music.empty()) {
        args.insert(args.begin() + 1, byLine);
      } else {
        args.push_back("--music");
        args.push_back(music);
      }
      args.insert(args.end(), {"--size", "64x48"});
      const std::string log = logs.path(std::to_string(++n) + ".log");
      const int status = endProgram(startPlayer(args, log), 10);  // killed if it blocks
      const std::string said = fileContent(log);
      EXPECT_EQ(status, 2) << args[0] << " " << music << ": " << said;
      EXPECT_EQ(said, "kandu-player: " + (music.empty() ? ws.path("fifo.wav") : music) +
                          ": the music is not a regular file\n");
    }
  }
  EXPECT_EQ(ws.list(), (std::vector<std::string>{"dir.wav", "fifo.wav", "t.timeline"}));
}

// The built-in demo's beat: a kick where each pulse word starts.
TEST(Music, TheDefaultDemoHasItsBeatInTheVideo) {
  if (!onPath("ffmpeg")) GTEST_SKIP() << "ffmpeg is not installed";
  Workspace ws;
  ASSERT_EQ(runPlayer({"render", "--size", "64x48", "--from", "8800", "--to", "9400", "--out", ws.path("v.mp4")}).status,
            0);
  Outcome pcm = runProgram({"ffmpeg", "-v", "error", "-i", ws.path("v.mp4"), "-map", "0:a", "-ac", "1", "-ar", "48000",
                            "-f", "s16le", "-"});
  // The first rotate kick of the demo is at 9000 ms: 200 ms into this range.
  EXPECT_NEAR(static_cast<double>(firstLoudSample(pcm.output)) / 48000, 0.2, 0.01);
}

// play plays the music (SDL's disk driver writes what it plays to a file) and ends with the
// timeline; without an audio device it says so once and plays on the wall clock.
TEST(Music, PlayPlaysTheMusicOrSaysThereIsNoDevice) {
  if (!onPath("Xvfb")) GTEST_SKIP() << "Xvfb missing";
  Workspace ws;
  ws.write("click.wav", clickWav(2000, {500}));
  std::string timeline = ws.write("t.timeline", "music click.wav\n0 1200 cube_thing\n");
  XServer x;
  Outcome played = runPlayer({"play", timeline, "--plugin", KANDU_PLUGIN},
                              x.env({"SDL_AUDIODRIVER=disk", "SDL_DISKAUDIOFILE=" + ws.path("out.raw")}));
  Outcome silent = runPlayer({"play", timeline, "--plugin", KANDU_PLUGIN},
                              x.env({"SDL_AUDIODRIVER=nosuchdriver"}));
  EXPECT_EQ(played.status, 0) << played.output;
  // 32-bit float stereo: the click 500 ms in (give or take the device's buffer).
  std::string raw = fileContent(ws.path("out.raw"));
  std::vector<int64_t> clicks = clicksIn(raw);
  ASSERT_EQ(clicks.size(), 1u) << raw.size() << " bytes played";
  EXPECT_NEAR(static_cast<double>(clicks[0]) / 48000, 0.5, 0.05);
  EXPECT_EQ(silent.status, 0) << silent.output;
  EXPECT_NE(silent.output.find("no audio device"), std::string::npos) << silent.output;
  EXPECT_EQ(std::count(silent.output.begin(), silent.output.end(), '\n'), 1) << silent.output;
}

// In play the picture follows the sound: when a click at a block's start is heard (SDL's disk
// driver writes each buffer as it plays it), the frame on screen is that block's first, give or
// take one frame; also after a pause, and after a seek with Right.
TEST(Music, PlayShowsTheBlockThatStartsWithTheClickAfterPauseAndSeek) {
  if (!onPath("Xvfb") || !onPath("xdotool")) GTEST_SKIP() << "Xvfb or xdotool missing";
  Workspace ws;
  ws.write("click.wav", clickWav(12000, {2000, 9000}));
  std::string timeline =
      ws.write("t.timeline", "music click.wav\n0 2000 morph\n2000 9000 cube_thing\n9000 12000 water_thing\n");
  XServer x;
  GrowthLog heard(ws.path("out.raw"));
  pid_t play = startListenedPlay(x, ws, timeline);
  // Paused 0.3 s in for 0.7 s; Right at about 2.8 s in jumps to about 7.8 s; on past the click at 9 s.
  ASSERT_TRUE(waitFor([&] { return lastFrameTime(ws) >= 300; }, 30)) << fileContent(ws.path("play.log"));
  x.press("space");
  ASSERT_TRUE(waitFor([&] { return heldMs(ws) >= 700; }, 30));
  x.press("space");
  ASSERT_TRUE(waitFor([&] { return lastFrameTime(ws) >= 2800; }, 30));
  x.press("Right");
  ASSERT_TRUE(waitFor([&] { return lastFrameTime(ws) >= 9500; }, 30));
  x.press("q");
  EXPECT_EQ(endProgram(play, 5), 0) << fileContent(ws.path("play.log"));
  heard.stop();

  std::vector<ProbeCall> calls = probeCalls(fileContent(ws.path("calls.log")));
  std::vector<int64_t> clicks = clicksIn(fileContent(ws.path("out.raw")));
  ASSERT_EQ(clicks.size(), 2u) << "the clicks at 2000 and 9000 ms should both have played";
  // For each click: the frame on screen when it was heard shows a time within a frame and a half
  // (25 ms) of it, counted on to that moment, the block's first frame is drawn no earlier than two frame periods before it, and
  // no frame drawn after it still shows what came before. (Times, not frame counts: a busy machine
  // that draws a frame late has not lost sync.)
  const char *words[] = {"cube_thing", "water_thing"};
  const int64_t clickMs[] = {2000, 9000};
  for (int k = 0; k < 2; ++k) {
    double at = heard.heardAtMs(clicks[static_cast<size_t>(k)]);
    auto first = std::find_if(calls.begin(), calls.end(), [&](const ProbeCall &c) { return c.word == words[k]; });
    auto onScreen = std::find_if(calls.begin(), calls.end(), [&](const ProbeCall &c) { return c.clockMs > at; });
    ASSERT_TRUE(first != calls.end() && onScreen != calls.begin()) << words[k] << " never drawn";
    --onScreen;  // the last frame drawn before the click
    // Its time carried on to the moment of the click by the time since it was drawn, so that a frame
    // drawn late on a busy machine is judged by its own time.
    const double carried = static_cast<double>(onScreen->time) + (at - onScreen->clockMs);
    EXPECT_NEAR(carried, clickMs[k], 25) << words[k] << ": on screen when the click was heard, " << at
                                         << " ms, was the frame at time " << onScreen->time << ", drawn "
                                         << at - onScreen->clockMs << " ms before";
    EXPECT_GE(first->clockMs, at - 34) << words[k] << ": the click was heard at " << at
                                       << " ms, the block's first frame drawn at " << first->clockMs << " ms";
    EXPECT_LE(first - calls.begin(), onScreen + 1 - calls.begin())
        << words[k] << ": the click was heard at " << at << " ms, the block's first frame drawn at "
        << first->clockMs << " ms, after a frame of the block before it";
  }
  // The pause held the picture for most of 0.7 s, and Right moved it 5 s on.
  double held = 0;
  int64_t jump = 0;
  for (size_t i = 1, run = 0; i < calls.size(); ++i) {
    if (calls[i].time != calls[run].time) run = i;
    held = std::max(held, calls[i].clockMs - calls[run].clockMs);
    jump = std::max(jump, calls[i].time - calls[i - 1].time);
  }
  EXPECT_GT(held, 500);
  EXPECT_GT(jump, 4900);
}

// Saving the music while play runs swaps it in at the same position within half a second; a file
// that does not decode keeps the previous music playing and its error on show.
TEST(Music, PlayReloadsEditedMusicWithoutLosingThePosition) {
  if (!onPath("Xvfb") || !onPath("xdotool")) GTEST_SKIP() << "Xvfb or xdotool missing";
  Workspace ws;
  ws.write("m.wav", clickWav(20000, {}));
  std::string timeline = ws.write("t.timeline", "music m.wav\n0 20000 cube_thing\n");
  auto replace = [&](const std::string &content) {  // as an editor saves: whole, then renamed
    ws.write("new.wav", content);
    return std::rename(ws.path("new.wav").c_str(), ws.path("m.wav").c_str()) == 0;
  };
  XServer x;
  GrowthLog heard(ws.path("out.raw"));
  pid_t play = startListenedPlay(x, ws, timeline);
  ASSERT_TRUE(waitFor([&] { return lastFrameTime(ws) >= 500; }, 30)) << fileContent(ws.path("play.log"));
  ASSERT_TRUE(replace(std::string(5000, 'x')));
  std::string title;
  waitFor([&] { return (title = x.kanduTitle()).find("m.wav") != std::string::npos; }, 10);
  ASSERT_TRUE(replace(clickWav(20000, {}, true)));
  const double savedAt =
      std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now().time_since_epoch()).count();
  const int64_t savedTime = lastFrameTime(ws);
  // On until the tone has played and the picture has gone on a second past the save.
  waitFor([&] { return !clicksIn(fileContent(ws.path("out.raw"))).empty() && lastFrameTime(ws) > savedTime + 1000; },
          30);
  x.press("q");
  EXPECT_EQ(endProgram(play, 5), 0);
  heard.stop();

  EXPECT_NE(title.find("m.wav"), std::string::npos) << title;
  EXPECT_NE(fileContent(ws.path("play.log")).find("(still playing the previous music)"), std::string::npos)
      << fileContent(ws.path("play.log"));
  std::vector<int64_t> loud = clicksIn(fileContent(ws.path("out.raw")));
  ASSERT_FALSE(loud.empty()) << "the new music never played";
  EXPECT_LT(heard.heardAtMs(loud[0]) - savedAt, 500 + 22);  // half a second and one device buffer
  // The picture's time only went forward through both edits, and never further than the time that
  // passed between two frames (on the probe's clock) and a quarter of a second: a frame a busy
  // machine draws late shows a later time, and the device catches up after a stall, but a reload
  // that lost the position would go back or jump by the second of sound read ahead.
  std::vector<ProbeCall> calls = probeCalls(fileContent(ws.path("calls.log")));
  ASSERT_GT(calls.size(), 60u);
  for (size_t i = 1; i < calls.size(); ++i) {
    ASSERT_GE(calls[i].time, calls[i - 1].time) << "frame " << i;
    ASSERT_LT(static_cast<double>(calls[i].time - calls[i - 1].time), calls[i].clockMs - calls[i - 1].clockMs + 250)
        << "frame " << i;
  }
}

// The music swapped for a FIFO while play runs: the drawing goes on (the open happens off the
// drawing thread and is refused at once), the title says why, the previous music plays on, and q
// quits. Then swapped for an hour of music: the drawing goes on while it is opened.
TEST(Music, PlayKeepsDrawingWhenTheMusicBecomesAFifoOrAnHourLong) {
  if (!onPath("Xvfb") || !onPath("xdotool") || !onPath("ffmpeg")) GTEST_SKIP() << "Xvfb, xdotool or ffmpeg missing";
  Workspace ws;
  ws.write("m.wav", clickWav(3000, {}));
  ASSERT_EQ(runProgram({"ffmpeg", "-v", "error", "-f", "lavfi", "-i", "anullsrc=sample_rate=192000:channel_layout=stereo",
                        "-t", "10", ws.path("ten.flac")}).status, 0);
  ASSERT_EQ(runProgram({"ffmpeg", "-v", "error", "-stream_loop", "359", "-i", ws.path("ten.flac"), "-c", "copy",
                        ws.path("hour.flac")}).status, 0);
  std::string timeline = ws.write("t.timeline", "0 3000 cube_thing\n");
  XServer x;
  pid_t play = startPlayer({"play", timeline, "--loop", "--music", ws.path("m.wav"), "--size", "160x120", "--plugin",
                            KANDU_PROBE_PLUGIN},
                           ws.path("play.log"),
                           x.env({"SDL_AUDIODRIVER=disk", "SDL_DISKAUDIOFILE=" + ws.path("out.raw"),
                                  "KANDU_PROBE_LOG=" + ws.path("calls.log"), "KANDU_PROBE_CLOCK=1"}));
  auto frames = [&] { return probeCalls(fileContent(ws.path("calls.log"))).size(); };
  ASSERT_TRUE(waitFor([&] { return frames() > 10; }, 30)) << fileContent(ws.path("play.log"));

  ASSERT_EQ(std::remove(ws.path("m.wav").c_str()), 0);
  ASSERT_EQ(mkfifo(ws.path("m.wav").c_str(), 0600), 0);
  std::string title;
  EXPECT_TRUE(waitFor([&] { return contains(title = x.kanduTitle(), "not a regular file"); }, 10)) << title;
  size_t seen = frames();
  EXPECT_TRUE(waitFor([&] { return frames() > seen + 30; }, 10)) << "the drawing stopped at the FIFO";

  ASSERT_EQ(std::remove(ws.path("m.wav").c_str()), 0);
  ASSERT_EQ(std::rename(ws.path("hour.flac").c_str(), ws.path("m.wav").c_str()), 0);
  EXPECT_TRUE(waitFor([&] { return !contains(x.kanduTitle(), "m.wav"); }, 10)) << x.kanduTitle();
  seen = frames();
  EXPECT_TRUE(waitFor([&] { return frames() > seen + 30; }, 10)) << "the drawing stopped at the long music";
  x.press("q");
  EXPECT_EQ(endProgram(play, 10), 0) << fileContent(ws.path("play.log"));

  // No frame waited on either file: the longest gap between two frames stays far below the
  // seconds a blocked open or a whole decode would take (a busy machine may draw late).
  std::vector<ProbeCall> calls = probeCalls(fileContent(ws.path("calls.log")));
  double gap = 0;
  for (size_t i = 1; i < calls.size(); ++i) gap = std::max(gap, calls[i].clockMs - calls[i - 1].clockMs);
  EXPECT_LT(gap, 1000) << "ms between two frames";
  EXPECT_NE(fileContent(ws.path("play.log")).find("m.wav: the music is not a regular file (still playing the previous music)"),
            std::string::npos) << fileContent(ws.path("play.log"));
}
