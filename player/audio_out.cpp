#include "player/audio_out.h"

#include <SDL.h>

#include <cstring>

AudioOut::~AudioOut() {
  if (device_) SDL_CloseAudioDevice(device_);
  if (audio_) SDL_QuitSubSystem(SDL_INIT_AUDIO);
}

bool AudioOut::open(const Audio &audio, std::string &error) {
  if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0) {
    error = SDL_GetError();
    return false;
  }
  SDL_AudioSpec want{}, have{};
  want.freq = Audio::kRate;
  want.format = AUDIO_F32SYS;
  want.channels = Audio::kChannels;
  want.samples = 1024;
  want.callback = &AudioOut::fill;
  want.userdata = this;
  audio_ = &audio;
  device_ = SDL_OpenAudioDevice(nullptr, 0, &want, &have, 0);
  if (!device_) {
    error = SDL_GetError();
    return false;
  }
  bufferFrames_ = have.samples;
  return true;
}

void AudioOut::fill(void *self, uint8_t *stream, int bytes) {
  auto *out = static_cast<AudioOut *>(self);
  const int64_t frames = bytes / static_cast<int>(sizeof(float) * Audio::kChannels);
  int64_t at = out->next_.load();
  float *samples = reinterpret_cast<float *>(stream);
  const int64_t available = out->audio_->frames();
  for (int64_t i = 0; i < frames; ++i)
    for (int c = 0; c < Audio::kChannels; ++c)
      samples[i * Audio::kChannels + c] =
          at + i < available ? out->audio_->samples[static_cast<size_t>((at + i) * Audio::kChannels + c)] : 0.0f;
  // A seek while this ran wins: only move on from where this call started.
  out->next_.compare_exchange_strong(at, at + frames);
}

void AudioOut::pause(bool paused) { SDL_PauseAudioDevice(device_, paused ? 1 : 0); }

void AudioOut::seek(double ms) {
  SDL_LockAudioDevice(device_);
  next_ = static_cast<int64_t>(ms * Audio::kRate / 1000) + bufferFrames_;
  SDL_UnlockAudioDevice(device_);
}

double AudioOut::positionMs() const {
  return static_cast<double>(next_.load() - bufferFrames_) * 1000.0 / Audio::kRate;
}
