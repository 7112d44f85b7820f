#include "player/audio_out.h"

#include <SDL.h>

#include <algorithm>
#include <chrono>
#include <utility>

namespace kandu {

namespace {
const int64_t kRingFrames = kAudioRate;  // a second ahead
const int64_t kPieceFrames = 4096;
}  // namespace

double soundClockMs(int64_t nextFrame, int bufferFrames, double sinceHandedMs, bool paused) {
  const double bufferMs = bufferFrames * 1000.0 / kAudioRate;
  return static_cast<double>(nextFrame - bufferFrames) * 1000.0 / kAudioRate +
         (paused ? 0.0 : std::clamp(sinceHandedMs, 0.0, bufferMs));
}

int64_t nextFrameAt(double ms, int bufferFrames) { return static_cast<int64_t>(ms * kAudioRate / 1000) + bufferFrames; }

AudioOut::~AudioOut() {
  if (device_) SDL_CloseAudioDevice(device_);
  if (subsystem_) SDL_QuitSubSystem(SDL_INIT_AUDIO);
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stopping_ = true;
    // A long read on the feeder (a seek far back decodes from the start) gives up, so that
    // quitting never waits on the decoder.
    if (music_) music_->cancel();
  }
  wake_.notify_all();
  if (feeder_.joinable()) feeder_.join();
}

bool AudioOut::open(std::unique_ptr<AudioSource> music, std::string &error) {
  // SIGINT and SIGTERM stay the player's own (they end it with their status): SDL installs its
  // quit-event handlers only where none is installed, and the player's are by now.
  if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0) {
    error = SDL_GetError();
    return false;
  }
  subsystem_ = true;
  SDL_AudioSpec want{}, have{};
  want.freq = kAudioRate;
  want.format = AUDIO_F32SYS;
  want.channels = kAudioChannels;
  want.samples = 1024;
  want.callback = &AudioOut::fill;
  want.userdata = this;
  ring_.assign(static_cast<size_t>(kRingFrames) * kAudioChannels, 0.0f);
  music_ = std::move(music);
  device_ = SDL_OpenAudioDevice(nullptr, 0, &want, &have, 0);
  if (!device_) {
    error = SDL_GetError();
    return false;
  }
  bufferFrames_ = have.samples;
  feeder_ = std::thread([this] { feed(); });
  return true;
}

int64_t AudioOut::nowNs() {
  return std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

void AudioOut::restartRing() {
  ringStart_ = ringEnd_ = next_.load();
  ++generation_;
  wake_.notify_all();
}

void AudioOut::fill(void *self, uint8_t *stream, int bytes) {
  auto *out = static_cast<AudioOut *>(self);
  const int64_t frames = bytes / static_cast<int>(sizeof(float) * kAudioChannels);
  float *samples = reinterpret_cast<float *>(stream);
  std::lock_guard<std::mutex> lock(out->mutex_);
  const int64_t at = out->next_.load();
  // What the feeder has not read yet plays as silence; the clock goes on regardless.
  for (int64_t i = 0; i < frames; ++i) {
    const int64_t k = at + i;
    const bool have = k >= out->ringStart_ && k < out->ringEnd_;
    const size_t slot = static_cast<size_t>(k % kRingFrames) * kAudioChannels;
    for (int c = 0; c < kAudioChannels; ++c) samples[i * kAudioChannels + c] = have ? out->ring_[slot + c] : 0.0f;
  }
  out->next_ = at + frames;
  if (at < out->ringStart_ || at > out->ringEnd_) {
    out->restartRing();
  } else {
    out->ringStart_ = std::min(at + frames, out->ringEnd_);
    out->wake_.notify_all();
  }
  out->handedNs_ = nowNs();
}

void AudioOut::feed() {
  std::vector<float> piece(static_cast<size_t>(kPieceFrames) * kAudioChannels);
  std::unique_lock<std::mutex> lock(mutex_);
  for (;;) {
    wake_.wait(lock, [this] {
      return stopping_ || replacement_ || (music_ && ringEnd_ - ringStart_ + kPieceFrames <= kRingFrames);
    });
    if (stopping_) return;
    if (replacement_) {
      music_ = std::move(replacement_);
      restartRing();
    }
    const int64_t at = ringEnd_;
    const uint64_t generation = generation_;
    AudioSource *music = music_.get();
    std::string why;
    lock.unlock();
    // Decoding happens here, with neither the device nor the drawing thread waiting on it.
    bool ok = music->read(at, piece.data(), kPieceFrames, why);
    lock.lock();
    if (!ok) {
      error_ = why;
      music_.reset();  // it plays on as silence
      continue;
    }
    if (generation != generation_ || at != ringEnd_) continue;  // a seek came meanwhile
    for (int64_t i = 0; i < kPieceFrames; ++i) {
      const size_t slot = static_cast<size_t>((at + i) % kRingFrames) * kAudioChannels;
      for (int c = 0; c < kAudioChannels; ++c) ring_[slot + c] = piece[static_cast<size_t>(i * kAudioChannels + c)];
    }
    ringEnd_ = at + kPieceFrames;
  }
}

void AudioOut::replace(std::unique_ptr<AudioSource> music) {
  std::lock_guard<std::mutex> lock(mutex_);
  replacement_ = std::move(music);
  wake_.notify_all();
}

std::string AudioOut::error() {
  std::lock_guard<std::mutex> lock(mutex_);
  return error_;
}

void AudioOut::pause(bool paused) {
  // Pausing holds both at the moment heard; resuming plays on from there.
  if (paused) SDL_PauseAudioDevice(device_, 1);
  SDL_LockAudioDevice(device_);
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (paused) {
      next_ = nextFrameAt(positionLocked(), bufferFrames_);
      restartRing();
    }
    paused_ = paused;
    handedNs_ = nowNs();
  }
  SDL_UnlockAudioDevice(device_);
  if (!paused) SDL_PauseAudioDevice(device_, 0);
}

void AudioOut::seek(double ms) {
  SDL_LockAudioDevice(device_);
  {
    std::lock_guard<std::mutex> lock(mutex_);
    next_ = nextFrameAt(ms, bufferFrames_);
    restartRing();
    handedNs_ = nowNs();
  }
  SDL_UnlockAudioDevice(device_);
}

double AudioOut::positionMs() const {
  // Under the lock: the device's callback moves next_ and handedNs_ together, and a position made
  // of the new one and the old other would step back by up to a buffer.
  std::lock_guard<std::mutex> lock(mutex_);
  return positionLocked();
}

double AudioOut::positionLocked() const {
  return soundClockMs(next_.load(), bufferFrames_, static_cast<double>(nowNs() - handedNs_.load()) / 1e6, paused_);
}

}  // namespace kandu
