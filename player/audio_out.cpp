#include "player/audio_out.h"

#include <SDL.h>

#include <algorithm>
#include <chrono>
#include <utility>

AudioOut::~AudioOut() {
  if (device_) SDL_CloseAudioDevice(device_);
  if (subsystem_) SDL_QuitSubSystem(SDL_INIT_AUDIO);
}

bool AudioOut::open(Audio audio, std::string &error) {
  if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0) {
    error = SDL_GetError();
    return false;
  }
  subsystem_ = true;
  SDL_AudioSpec want{}, have{};
  want.freq = Audio::kRate;
  want.format = AUDIO_F32SYS;
  want.channels = Audio::kChannels;
  want.samples = 1024;
  want.callback = &AudioOut::fill;
  want.userdata = this;
  audio_ = std::move(audio);
  device_ = SDL_OpenAudioDevice(nullptr, 0, &want, &have, 0);
  if (!device_) {
    error = SDL_GetError();
    return false;
  }
  bufferFrames_ = have.samples;
  return true;
}

int64_t AudioOut::nowNs() {
  return std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

void AudioOut::fill(void *self, uint8_t *stream, int bytes) {
  auto *out = static_cast<AudioOut *>(self);
  const int64_t frames = bytes / static_cast<int>(sizeof(float) * Audio::kChannels);
  int64_t at = out->next_.load();
  float *samples = reinterpret_cast<float *>(stream);
  const Audio &audio = out->audio_;
  const int64_t available = audio.frames();
  for (int64_t i = 0; i < frames; ++i)
    for (int c = 0; c < Audio::kChannels; ++c)
      samples[i * Audio::kChannels + c] =
          at + i < available ? audio.samples[static_cast<size_t>((at + i) * Audio::kChannels + c)] : 0.0f;
  // A seek while this ran wins: only move on from where this call started.
  out->next_.compare_exchange_strong(at, at + frames);
  out->handedNs_ = nowNs();
}

void AudioOut::replace(Audio audio) {
  SDL_LockAudioDevice(device_);
  std::swap(audio_, audio);
  SDL_UnlockAudioDevice(device_);
}

void AudioOut::pause(bool paused) {
  // Pausing holds both at the moment heard; resuming plays on from there.
  if (paused) SDL_PauseAudioDevice(device_, 1);
  SDL_LockAudioDevice(device_);
  if (paused) next_ = static_cast<int64_t>(positionMs() * Audio::kRate / 1000) + bufferFrames_;
  paused_ = paused;
  handedNs_ = nowNs();
  SDL_UnlockAudioDevice(device_);
  if (!paused) SDL_PauseAudioDevice(device_, 0);
}

void AudioOut::seek(double ms) {
  SDL_LockAudioDevice(device_);
  next_ = static_cast<int64_t>(ms * Audio::kRate / 1000) + bufferFrames_;
  handedNs_ = nowNs();
  SDL_UnlockAudioDevice(device_);
}

double AudioOut::positionMs() const {
  const double bufferMs = bufferFrames_ * 1000.0 / Audio::kRate;
  double sinceHanded = paused_ ? 0.0 : static_cast<double>(nowNs() - handedNs_.load()) / 1e6;
  return static_cast<double>(next_.load() - bufferFrames_) * 1000.0 / Audio::kRate +
         std::clamp(sinceHanded, 0.0, bufferMs);
}
