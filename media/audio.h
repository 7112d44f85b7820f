// Sound as the hosts use it: 48 kHz stereo float frames, read from any position. Music is decoded
// from a file with FFmpeg's libraries as it is read, in small pieces, so memory does not grow with
// its length. A read far from where the last one ended seeks in the file (the demuxer's seek, then
// decoding on to the exact frame), so a jump into a long track, or a render from its middle,
// costs about what a read at its start costs.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace kandu {

const int kAudioRate = 48000;
const int kAudioChannels = 2;

class AudioSource {
 public:
  virtual ~AudioSource() = default;
  // Fills `out` with `frames` interleaved stereo frames from frame `first` on, silence past the
  // end. Reading on from where the last read ended is the fast path; another position seeks.
  // False with the reason when the file stops decoding.
  virtual bool read(int64_t first, float *out, int64_t frames, std::string &error) = 0;
  // Makes a read in progress on another thread, and every later one, give up soon with an error
  // (its owner is closing).
  virtual void cancel() {}
  // The frame just past the music's last one, once a read has reached it; -1 while not known.
  virtual int64_t endFrame() const { return -1; }
  // The music's length as its file's header gives it (without decoding), in milliseconds; -1 when
  // it does not say.
  virtual int64_t lengthMs() const { return -1; }
};

// Makes every music file's open and read give up soon with "interrupted", from now on: the process
// is asked to stop. Safe to call from a signal handler.
void interruptMusic();

// Samples held in memory (the built-in demo's beat).
class SampleBuffer : public AudioSource {
 public:
  explicit SampleBuffer(std::vector<float> samples) : samples_(std::move(samples)) {}
  bool read(int64_t first, float *out, int64_t frames, std::string &error) override;
  int64_t endFrame() const override { return static_cast<int64_t>(samples_.size() / kAudioChannels); }
  int64_t lengthMs() const override { return endFrame() * 1000 / kAudioRate; }

 private:
  std::vector<float> samples_;
};

// Opens the first audio stream of any file FFmpeg reads (WAV, FLAC, Ogg Vorbis, Opus, MP3...),
// resampled to 48 kHz stereo, and checks that it decodes to sound. False with a one-line reason
// for a missing, unreadable or undecodable file, and at once for anything but a regular file (a
// FIFO or a device would block or never end). The file stays open and is read through that one
// descriptor, so whatever later replaces it on the disk does not change what plays.
bool openMusic(const std::string &path, std::unique_ptr<AudioSource> &music, std::string &error);

// False, with openMusic's reason, when `path` names something other than a regular file (a FIFO,
// a directory, a device), without opening it; a missing file passes. For the commands that have no
// sound but are still given music.
bool checkMusicPath(const std::string &path, std::string &error);

// The 44-byte header of a 16-bit stereo 48 kHz WAV of `frames` frames.
std::string wavHeader(int64_t frames);
// Writes [fromMs, toMs) of `audio` as 16-bit PCM WAV, reading it a piece at a time.
bool writeWav(const std::string &path, AudioSource &audio, int64_t fromMs, int64_t toMs, std::string &error);

}  // namespace kandu
