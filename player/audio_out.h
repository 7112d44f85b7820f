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

  // Opens the default audio device for `audio`, paused at 0. False with the reason when there is
  // no device.
  bool open(Audio audio, std::string &error);
  // Swaps in other music (a reloaded file) at the same position.
  void replace(Audio audio);
  void pause(bool paused);
  // Moves playback to `ms`.
  void seek(double ms);
  // The milliseconds of the sound being heard now: the start of the buffer the device is playing
  // (what was handed to it, less one buffer), plus the time since it was handed over, so that the
  // clock moves smoothly between the device's calls rather than in steps of a buffer.
  double positionMs() const;

 private:
  static void fill(void *self, uint8_t *stream, int bytes);
  static int64_t nowNs();

  Audio audio_;
  uint32_t device_ = 0;
  bool subsystem_ = false;
  bool paused_ = true;
  int bufferFrames_ = 0;
  std::atomic<int64_t> next_{0};     // the next sample frame to hand over
  std::atomic<int64_t> handedNs_{0}; // when the device last took a buffer (steady clock)
};
