// The music the studio hands the page: decoded once, on a thread of its own, for its length and its
// waveform's peaks (so the page draws the waveform without decoding anything; it gets them as far
// as they are worked out, the start of the music within a tenth of a second), and decoded again as
// it is sent, as 16-bit WAV, which every browser plays whatever the file was (a tracker module,
// WavPack, AIFF: whatever FFmpeg reads).
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "media/audio.h"

namespace kandu {

// Frames of music per peak (at 48 kHz), as the page's waveform keeps its fine peaks.
const int kPeakFrames = 256;

// For every kPeakFrames frames of `stereo` (interleaved, `frames` long; a last group may be shorter),
// the lowest and the highest value of the two channels' mean, each counted from 0: {lo, hi, lo, hi...}.
void appendPeaks(const float *stereo, int64_t frames, std::vector<float> &peaks);

// Bytes [offset, offset + length) of that WAV file made from `music`; false with the reason when
// the music stops decoding.
bool wavBytes(AudioSource &music, int64_t frames, size_t offset, size_t length, std::string &out, std::string &error);

struct DecodedMusic {
  std::string path;
  bool ok = true;
  std::string error;
  int64_t frames = 0;        // decoded so far
  std::vector<float> peaks;  // appendPeaks of those frames
  bool complete = false;     // decoded to the end (or failed)
};

class StudioMusic {
 public:
  StudioMusic() = default;
  StudioMusic(const StudioMusic &) = delete;
  StudioMusic &operator=(const StudioMusic &) = delete;
  ~StudioMusic();

  // Works on `path` from now on, unless it already does ("": no music).
  void use(const std::string &path);
  // The music in use as far as it is worked out, waiting up to `wait` for its first piece (or, with
  // `whole`, for all of it); null while there is none yet, or for no music. A copy: the work goes on.
  std::shared_ptr<const DecodedMusic> get(std::chrono::milliseconds wait, bool whole = false);
  std::string path() const;

 private:
  void work(std::string path, uint64_t generation);

  mutable std::mutex mutex_;
  std::condition_variable done_;
  std::string path_;
  uint64_t generation_ = 0;
  std::shared_ptr<DecodedMusic> result_;  // grows under mutex_ as the work goes on
  std::vector<std::thread> workers_;
  std::atomic<uint64_t> wanted_{0};
};

}  // namespace kandu
