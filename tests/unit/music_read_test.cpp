// Music as the media library reads it: any rate and channel layout becomes 48 kHz stereo, read to
// its last sample, from any position; and the WAV it writes.
#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <string>
#include <vector>

#include "media/audio.h"
#include "tests/support/process.h"
#include "tests/unit/wav.h"

using namespace kandu;

namespace {

std::vector<float> readAll(AudioSource &music, int64_t first, int64_t frames) {
  std::vector<float> out(static_cast<size_t>(frames) * 2, 99.0f);
  std::string error;
  EXPECT_TRUE(music.read(first, out.data(), frames, error)) << error;
  return out;
}

std::unique_ptr<AudioSource> open(const std::string &path) {
  std::unique_ptr<AudioSource> music;
  std::string error;
  EXPECT_TRUE(openMusic(path, music, error)) << error;
  return music;
}

// The last frame that is not silence, -1 for none.
int64_t lastSounding(const std::vector<float> &samples) {
  for (int64_t i = static_cast<int64_t>(samples.size() / 2) - 1; i >= 0; --i)
    if (samples[static_cast<size_t>(2 * i)] != 0.0f || samples[static_cast<size_t>(2 * i + 1)] != 0.0f) return i;
  return -1;
}

}  // namespace

// One second at 44.1 kHz is 48000 frames at 48 kHz, one at 96 kHz too, and half a second of mono
// at 22.05 kHz 24000: each read to its end, then silence. A constant level stays that level: a
// left channel at 16384 (0.5) and a right at -8192 (-0.25); mono is FFmpeg's centre channel,
// heard on both sides at -3 dB (0.5 / sqrt(2)), so that its power is the same.
TEST(MusicRead, EveryRateAndLayoutIsReadToItsLastSample) {
  Workspace ws;
  const float kMono = static_cast<float>(0.5 * M_SQRT1_2);
  struct Case {
    int rate, channels, frames;
    int64_t expected;  // frames at 48 kHz
    float left, right;
  } cases[] = {
      {44100, 2, 44100, 48000, 0.5f, -0.25f},
      {96000, 2, 96000, 48000, 0.5f, -0.25f},
      {22050, 1, 11025, 24000, kMono, kMono},
      {48000, 1, 4800, 4800, kMono, kMono},
  };
  for (const Case &c : cases) {
    std::vector<int16_t> samples;
    for (int i = 0; i < c.frames; ++i) {
      samples.push_back(16384);
      if (c.channels == 2) samples.push_back(-8192);
    }
    const std::string path = ws.path("m" + std::to_string(c.rate) + ".wav");
    writeTestWav(path, c.rate, c.channels, samples);
    std::unique_ptr<AudioSource> music = open(path);
    ASSERT_TRUE(music);
    // Read in pieces that do not divide the length, past its end.
    std::vector<float> all;
    for (int64_t at = 0; at < c.expected + 3000; at += 1000) {
      std::vector<float> piece = readAll(*music, at, 1000);
      all.insert(all.end(), piece.begin(), piece.end());
    }
    const std::string what = std::to_string(c.rate) + " Hz, " + std::to_string(c.channels) + " channel(s)";
    // The resampler's filter rings a little at the edges; within them the level is the file's.
    for (int64_t i : {int64_t{100}, c.expected / 2, c.expected - 40}) {
      EXPECT_NEAR(all[static_cast<size_t>(2 * i)], c.left, 0.01) << what << " frame " << i << ": " << all[static_cast<size_t>(2 * i)];
      EXPECT_NEAR(all[static_cast<size_t>(2 * i + 1)], c.right, 0.01) << what << " frame " << i;
    }
    // The last sound is the music's last frame (give or take the filter's edge), then silence.
    EXPECT_NEAR(static_cast<double>(lastSounding(all)), static_cast<double>(c.expected - 1), 2.0) << what;
  }
}

// At 48 kHz nothing is resampled: sample values come through exactly (v / 32768), so a read from
// any position, ahead of the decoder or behind it, is checked against the file's own numbers.
TEST(MusicRead, AnyPositionGivesTheFilesOwnSamples) {
  Workspace ws;
  const int kFrames = 96000;
  std::vector<int16_t> samples;
  for (int i = 0; i < kFrames; ++i) {
    samples.push_back(static_cast<int16_t>((i % 1000) * 16));
    samples.push_back(static_cast<int16_t>(-(i % 777)));
  }
  writeTestWav(ws.path("ramp.wav"), 48000, 2, samples);
  std::unique_ptr<AudioSource> music = open(ws.path("ramp.wav"));
  ASSERT_TRUE(music);
  auto expectFrames = [&](int64_t first, int64_t count) {
    std::vector<float> got = readAll(*music, first, count);
    for (int64_t k = 0; k < count; ++k) {
      const int64_t i = first + k;
      const bool inside = i >= 0 && i < kFrames;
      const float left = inside ? static_cast<float>((i % 1000) * 16) / 32768.0f : 0.0f;
      const float right = inside ? static_cast<float>(-(i % 777)) / 32768.0f : 0.0f;
      if (got[static_cast<size_t>(2 * k)] != left || got[static_cast<size_t>(2 * k + 1)] != right) {
        ADD_FAILURE() << "frame " << i << " read from " << first << ": " << got[static_cast<size_t>(2 * k)] << ", "
                      << got[static_cast<size_t>(2 * k + 1)] << " instead of " << left << ", " << right;
        return;
      }
    }
  };
  expectFrames(0, 4096);
  expectFrames(4096, 10);        // on from where the last read ended
  expectFrames(60000, 500);      // far ahead
  expectFrames(1000, 100);       // behind: decoded again from the start
  expectFrames(95990, 20);       // across the end: the rest is silence
  expectFrames(-5, 10);          // before the start: silence, then the first frames
  expectFrames(-20, 10);         // wholly before it: silence
}

// A compressed file seeks for real: FLAC is lossless, so at 48 kHz every sample read after a jump
// to 50 s, or back to 10 s, is the file's own number; the seek lands on the exact frame.
TEST(MusicRead, FlacSeeksToTheExactFrame) {
  if (!onPath("ffmpeg")) GTEST_SKIP() << "ffmpeg is not installed";
  Workspace ws;
  const int kFrames = 48000 * 60;
  std::vector<int16_t> samples;
  for (int i = 0; i < kFrames; ++i) {
    samples.push_back(static_cast<int16_t>((i % 1009) * 16));
    samples.push_back(static_cast<int16_t>(-(i % 1013)));
  }
  writeTestWav(ws.path("ramp.wav"), 48000, 2, samples);
  ASSERT_EQ(runProgram({"ffmpeg", "-v", "error", "-i", ws.path("ramp.wav"), "-c:a", "flac", ws.path("ramp.flac")}).status, 0);
  std::unique_ptr<AudioSource> music = open(ws.path("ramp.flac"));
  ASSERT_TRUE(music);
  for (int64_t first : {int64_t(2400000), int64_t(480000), int64_t(480333), int64_t(2879990)}) {
    std::vector<float> got = readAll(*music, first, 20);
    for (int64_t k = 0; k < 20; ++k) {
      const int64_t i = first + k;
      const bool inside = i < kFrames;
      ASSERT_EQ(got[static_cast<size_t>(2 * k)], inside ? static_cast<float>((i % 1009) * 16) / 32768.0f : 0.0f)
          << "frame " << i;
      ASSERT_EQ(got[static_cast<size_t>(2 * k + 1)], inside ? static_cast<float>(-(i % 1013)) / 32768.0f : 0.0f)
          << "frame " << i;
    }
  }
}

// Music at another rate seeks too: in a 44.1 kHz FLAC, clicks at 10 s and 50 s are read, after
// a jump ahead to the second and one back to the first, at 10 s and 50 s of the 48 kHz the player
// reads in (480000 and 2400000), and the samples after the jump are those a read from the start
// gives there: the resampler starts where its phase is that of a read from the start.
TEST(MusicRead, MusicAtAnotherRateSeeksToTheSameTime) {
  if (!onPath("ffmpeg")) GTEST_SKIP() << "ffmpeg is not installed";
  Workspace ws;
  const int kRate = 44100, kFrames = kRate * 60;
  std::vector<int16_t> samples(static_cast<size_t>(kFrames) * 2, 0);
  for (int second : {10, 50}) samples[static_cast<size_t>(second * kRate) * 2] = samples[static_cast<size_t>(second * kRate) * 2 + 1] = 30000;
  writeTestWav(ws.path("clicks.wav"), kRate, 2, samples);
  ASSERT_EQ(runProgram({"ffmpeg", "-v", "error", "-i", ws.path("clicks.wav"), "-c:a", "flac", ws.path("clicks.flac")}).status, 0);
  auto loudest = [](const std::vector<float> &got, int64_t first) {
    int64_t at = -1;
    float most = 0;
    for (size_t k = 0; k < got.size() / 2; ++k)
      if (std::abs(got[2 * k]) > most) most = std::abs(got[2 * k]), at = first + static_cast<int64_t>(k);
    return at;
  };
  std::unique_ptr<AudioSource> jumped = open(ws.path("clicks.flac"));
  ASSERT_TRUE(jumped);
  const int64_t late = 2400000 - 2000, early = 480000 - 2000;
  const std::vector<float> atLate = readAll(*jumped, late, 4000), atEarly = readAll(*jumped, early, 4000);
  EXPECT_NEAR(loudest(atLate, late), 2400000, 2);
  EXPECT_NEAR(loudest(atEarly, early), 480000, 2);
  std::unique_ptr<AudioSource> straight = open(ws.path("clicks.flac"));
  std::vector<float> all = readAll(*straight, 0, 2400000 + 2000);
  const std::vector<float> fromStart(all.end() - 8000, all.end());
  ASSERT_EQ(fromStart.size(), atLate.size());
  for (size_t i = 0; i < atLate.size(); ++i) ASSERT_NEAR(atLate[i], fromStart[i], 1e-5) << "sample " << i;
}

// Samples in memory (the built-in beat): a read before 0 or past the end is silence.
TEST(MusicRead, SamplesInMemoryReadFromAnyPosition) {
  SampleBuffer buffer({0.1f, 0.2f, 0.3f, 0.4f});
  std::vector<float> out = readAll(buffer, -1, 4);
  EXPECT_EQ(out, (std::vector<float>{0, 0, 0.1f, 0.2f, 0.3f, 0.4f, 0, 0}));
}

// writeWav writes [from, to) ms as 16-bit PCM: frames from from × 48, each sample round(v × 32767)
// with v held to -1 .. 1, after a 44-byte header whose sizes count the data.
TEST(MusicRead, WavOfARangeWithItsHeaderAndFullScaleHeld) {
  Workspace ws;
  std::vector<float> samples(96 * 2, 0.0f);
  samples[2 * 47] = 0.9f;  // the frame before 1 ms is not written
  samples[2 * 48] = 0.5f;
  samples[2 * 48 + 1] = 1.5f;
  samples[2 * 49] = -2.0f;
  samples[2 * 49 + 1] = -0.25f;
  SampleBuffer buffer(samples);
  std::string error;
  ASSERT_TRUE(writeWav(ws.path("a.wav"), buffer, 1, 2, error)) << error;
  const std::string wav = fileContent(ws.path("a.wav"));
  ASSERT_EQ(wav.size(), 44u + 48 * 4);
  auto u32 = [&](size_t at) {
    return static_cast<uint32_t>(static_cast<uint8_t>(wav[at])) | static_cast<uint32_t>(static_cast<uint8_t>(wav[at + 1])) << 8 |
           static_cast<uint32_t>(static_cast<uint8_t>(wav[at + 2])) << 16 |
           static_cast<uint32_t>(static_cast<uint8_t>(wav[at + 3])) << 24;
  };
  auto s16 = [&](size_t frame, int channel) {
    size_t at = 44 + frame * 4 + static_cast<size_t>(channel) * 2;
    return static_cast<int16_t>(static_cast<uint8_t>(wav[at]) | static_cast<uint8_t>(wav[at + 1]) << 8);
  };
  EXPECT_EQ(wav.substr(0, 4), "RIFF");
  EXPECT_EQ(u32(4), 36u + 192);
  EXPECT_EQ(u32(24), 48000u);
  EXPECT_EQ(u32(28), 48000u * 4);
  EXPECT_EQ(wav.substr(36, 4), "data");
  EXPECT_EQ(u32(40), 192u);
  EXPECT_EQ(s16(0, 0), 16384);   // 0.5 × 32767 = 16383.5, rounded away from zero
  EXPECT_EQ(s16(0, 1), 32767);   // 1.5 held at full scale
  EXPECT_EQ(s16(1, 0), -32767);  // -2 held at -1
  EXPECT_EQ(s16(1, 1), -8192);   // -8191.75
  EXPECT_EQ(s16(2, 0), 0);
}
