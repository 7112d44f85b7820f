// Playing the soundtrack in `play` through SDL2's audio subsystem, and the clock it gives: the
// picture follows the position of the sound, so that the two cannot drift apart. (SDL's "disk"
// driver writes what is played to a file, which is how the tests listen.)
//
// A feeder thread reads the music a little ahead of what the device plays into a ring of about a
// second, so that neither the device's callback nor the drawing thread ever decodes.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "media/audio.h"

namespace kandu {

// The clock of the sound being heard, worked out from what the device was handed: the buffer it
// plays now (of `bufferFrames` frames) began one buffer before `nextFrame`, the next frame to hand
// over, and has played for the milliseconds since it was handed over, at most its own length, so
// that the clock moves smoothly between the device's calls rather than in steps of a buffer. Paused,
// it stands at that buffer's start.
double soundClockMs(int64_t nextFrame, int bufferFrames, double sinceHandedMs, bool paused);
// The next frame to hand over for the clock to read `ms` (whole frames, rounded down) once the
// buffer from there on starts playing.
int64_t nextFrameAt(double ms, int bufferFrames);

class AudioOut {
 public:
  AudioOut() = default;
  AudioOut(const AudioOut &) = delete;
  AudioOut &operator=(const AudioOut &) = delete;
  ~AudioOut();

  // Opens the default audio device for `music`, paused at 0. False with the reason when there is
  // no device.
  bool open(std::unique_ptr<AudioSource> music, std::string &error);
  // Swaps in other music (a reloaded file) at the same position.
  void replace(std::unique_ptr<AudioSource> music);
  void pause(bool paused);
  // Moves playback to `ms`.
  void seek(double ms);
  // The milliseconds of the sound being heard now (soundClockMs).
  double positionMs() const;
  // The last error of the music as it was read, or "" (a file that stopped decoding).
  std::string error();

 private:
  static void fill(void *self, uint8_t *stream, int bytes);
  static int64_t nowNs();
  void feed();
  double positionLocked() const;
  // Empties the ring and has the feeder start again at next_ (under mutex_).
  void restartRing();

  uint32_t device_ = 0;
  bool subsystem_ = false;
  bool paused_ = true;
  int bufferFrames_ = 0;
  std::atomic<int64_t> next_{0};     // the next sample frame to hand over
  std::atomic<int64_t> handedNs_{0}; // when the device last took a buffer (steady clock)

  // The ring: frames [ringStart_, ringEnd_) of the music, at ringStart_ % capacity onwards.
  mutable std::mutex mutex_;
  std::condition_variable wake_;
  std::vector<float> ring_;
  int64_t ringStart_ = 0, ringEnd_ = 0;
  uint64_t generation_ = 0;  // bumped by every restart, so that a piece read for an old one is dropped
  std::unique_ptr<AudioSource> music_, replacement_;
  std::string error_;
  bool stopping_ = false;
  std::thread feeder_;
};

}  // namespace kandu
