// The soundtrack: music decoded from a file with FFmpeg's libraries, or the default demo's beat
// synthesized in code, as 48 kHz stereo samples; and the piece of it a capture carries, as WAV.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "player/timeline.h"

struct Audio {
  static const int kRate = 48000;
  static const int kChannels = 2;
  std::vector<float> samples;  // interleaved, kChannels per frame, -1 .. 1

  bool empty() const { return samples.empty(); }
  int64_t frames() const { return static_cast<int64_t>(samples.size() / kChannels); }
};

// Decodes the first audio stream of any file FFmpeg reads (WAV, FLAC, Ogg Vorbis, Opus, MP3...),
// resampled to 48 kHz stereo. False with a one-line reason for a missing, unreadable or
// undecodable file, or one longer than the longest timeline.
bool decodeAudio(const std::string &path, Audio &audio, std::string &error);

// The default demo's soundtrack: a kick drum on every pulse block (rotate, light, vibrate) and a
// soft hi-hat on every beat of the timeline's tempo, as long as the timeline.
Audio synthesizeDemoTrack(const Timeline &timeline);

// Writes the samples of [fromMs, toMs) as 16-bit PCM WAV (silence where the music has ended).
bool writeWav(const std::string &path, const Audio &audio, int64_t fromMs, int64_t toMs, std::string &error);
