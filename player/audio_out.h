// Playing the soundtrack in `play` through SDL2's audio subsystem, and the clock it gives: the
// picture follows the position of the sound, so that the two cannot drift apart. (SDL's "disk"
// driver writes what is played to a file, which is how the tests listen.)
#pragma once

#include <atomic>
#include <cstdint>
#include <string>

#include "player/audio.h"

class AudioOut {
 public:
  AudioOut() = default;
  AudioOut(const AudioOut &) = delete;
  AudioOut &operator=(const AudioOut &) = delete;
  ~AudioOut();

  // Opens the default audio device for `audio` (kept by reference), paused at 0. False with the
  // reason when there is no device.
  bool open(const Audio &audio, std::string &error);
  void pause(bool paused);
  // Moves playback to `ms`.
  void seek(double ms);
  // The milliseconds of the sound being heard now: what was handed to the device, less what is
  // still waiting in its buffer.
  double positionMs() const;

 private:
  static void fill(void *self, uint8_t *stream, int bytes);

  const Audio *audio_ = nullptr;
  uint32_t device_ = 0;
  int bufferFrames_ = 0;
  std::atomic<int64_t> next_{0};  // the next sample frame to hand over
};
