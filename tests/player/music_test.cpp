// kandu-player with a soundtrack: music files decoded, cut to the capture's range and carried by
// the video (AAC) or written beside the frames (audio.wav), in step with the pictures. The tests
// make their own sound: silence with a click at a known time.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <cstdlib>
#include <string>
#include <vector>

#include "player/capture.h"
#include "tests/player/process.h"

namespace {

// 16-bit stereo WAV at 48 kHz, `ms` long, silent but for a 5 ms click starting at `clickMs`.
std::string clickWav(int64_t ms, int64_t clickMs) {
  const int64_t frames = ms * 48, click = clickMs * 48;
  std::string data;
  for (int64_t i = 0; i < frames; ++i) {
    int16_t v = (i >= click && i < click + 240) ? (((i - click) / 12) % 2 ? 20000 : -20000) : 0;
    for (int c = 0; c < 2; ++c) data.append(reinterpret_cast<const char *>(&v), 2);
  }
  auto u32 = [](uint32_t v) { return std::string(reinterpret_cast<const char *>(&v), 4); };
  auto u16 = [](uint16_t v) { return std::string(reinterpret_cast<const char *>(&v), 2); };
  return "RIFF" + u32(36 + static_cast<uint32_t>(data.size())) + "WAVEfmt " + u32(16) + u16(1) + u16(2) + u32(48000) +
         u32(48000 * 4) + u16(4) + u16(16) + "data" + u32(static_cast<uint32_t>(data.size())) + data;
}

// The first sample (mono, 48 kHz) louder than a quarter of full scale in raw s16le audio.
int64_t firstLoudSample(const std::string &pcm) {
  for (size_t i = 0; i + 1 < pcm.size(); i += 2) {
    int16_t v = static_cast<int16_t>(static_cast<uint8_t>(pcm[i]) | (static_cast<uint8_t>(pcm[i + 1]) << 8));
    if (std::abs(v) > 8000) return static_cast<int64_t>(i / 2);
  }
  return -1;
}

Outcome player(std::vector<std::string> args) {
  args.insert(args.begin(), KANDU_PLAYER);
  return runProgram(args);
}

}  // namespace

// The block that starts with the click starts drawing within one frame period of the click, in the
// video and beside the frames, also when the range does not start at 0.
TEST(Music, TheClickAtABlocksStartIsHeardWithItsFirstFrame) {
  if (!onPath("ffmpeg")) GTEST_SKIP() << "ffmpeg is not installed";
  Workspace ws;
  ws.write("click.wav", clickWav(3000, 1000));
  // The morph before it sets the camera the cube cross uses (an effect's camera lags one call), so
  // the cross shows on its block's very first frame: the centre turns white.
  std::string timeline = ws.write("t.timeline", "music click.wav\n0 1000 morph\n1000 2000 cube_thing\n");
  ASSERT_EQ(player({"render", timeline, "--size", "64x48", "--fps", "30", "--from", "500", "--to", "1500", "--out",
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
  ASSERT_EQ(player({"render", timeline, "--size", "64x48", "--fps", "30", "--from", "500", "--to", "1500",
                    "--frames", ws.path("frames")})
                .status,
            0);
  std::string wav = fileContent(ws.path("frames/audio.wav"));
  ASSERT_EQ(wav.size(), 44u + 48000 * 4);
  EXPECT_EQ(firstLoudSample(wav.substr(44)) / 2, 500 * 48);
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
    Outcome r = player(c.args);
    EXPECT_EQ(r.status, 2) << r.output;
    EXPECT_NE(r.output.find(c.says), std::string::npos) << r.output;
    EXPECT_EQ(std::count(r.output.begin(), r.output.end(), '\n'), 1) << r.output;
  }
  EXPECT_EQ(ws.list(), (std::vector<std::string>{"noise.mp3", "t.timeline"}));
  // The music line names a file; still and sheet have no sound and do not read it.
  EXPECT_EQ(player({"still", timeline, "--size", "64x48", "--at", "100", "--out", ws.path("s.png")}).status, 0);
}

// The built-in demo's beat: a kick where each pulse word starts.
TEST(Music, TheDefaultDemoHasItsBeatInTheVideo) {
  if (!onPath("ffmpeg")) GTEST_SKIP() << "ffmpeg is not installed";
  Workspace ws;
  ASSERT_EQ(player({"render", "--size", "64x48", "--from", "8800", "--to", "9400", "--out", ws.path("v.mp4")}).status,
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
  ws.write("click.wav", clickWav(2000, 500));
  std::string timeline = ws.write("t.timeline", "music click.wav\n0 1200 cube_thing\n");
  std::string display = ":" + std::to_string(290 + getpid() % 100);
  pid_t xvfb = startProgram({"Xvfb", display, "-screen", "0", "1280x1024x24", "-nolisten", "tcp"});
  ASSERT_GT(xvfb, 0);
  usleep(1000000);
  Outcome played = runProgram({KANDU_PLAYER, "play", timeline, "--plugin", KANDU_PLUGIN},
                              {"DISPLAY=" + display, "SDL_AUDIODRIVER=disk", "SDL_DISKAUDIOFILE=" + ws.path("out.raw")});
  Outcome silent = runProgram({KANDU_PLAYER, "play", timeline, "--plugin", KANDU_PLUGIN},
                              {"DISPLAY=" + display, "SDL_AUDIODRIVER=nosuchdriver"});
  kill(xvfb, SIGTERM);
  waitProgram(xvfb);
  EXPECT_EQ(played.status, 0) << played.output;
  // 32-bit float stereo: the click 500 ms in (give or take the device's buffer).
  std::string raw = fileContent(ws.path("out.raw"));
  int64_t click = -1;
  for (size_t i = 0; click < 0 && i + 4 <= raw.size(); i += 4) {
    float v;
    std::memcpy(&v, raw.data() + i, 4);
    if (std::fabs(v) > 0.25f) click = static_cast<int64_t>(i / 8);
  }
  EXPECT_NEAR(static_cast<double>(click) / 48000, 0.5, 0.05) << raw.size() << " bytes played";
  EXPECT_EQ(silent.status, 0) << silent.output;
  EXPECT_NE(silent.output.find("no audio device"), std::string::npos) << silent.output;
  EXPECT_EQ(std::count(silent.output.begin(), silent.output.end(), '\n'), 1) << silent.output;
}
