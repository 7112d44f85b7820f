#include "media/audio.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <numeric>
#include <atomic>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/channel_layout.h>
#include <libavutil/opt.h>
#include <libswresample/swresample.h>
}

#include "base/printable.h"

namespace kandu {

bool SampleBuffer::read(int64_t first, float *out, int64_t frames, std::string &) {
  const int64_t have = static_cast<int64_t>(samples_.size() / kAudioChannels);
  for (int64_t i = 0; i < frames; ++i)
    for (int c = 0; c < kAudioChannels; ++c) {
      int64_t k = first + i;
      out[i * kAudioChannels + c] =
          k >= 0 && k < have ? samples_[static_cast<size_t>(k * kAudioChannels + c)] : 0.0f;
    }
  return true;
}

namespace {

const char kNotRegular[] = ": the music is not a regular file";

// Lock-free, so that a signal handler may set it.
std::atomic<bool> gInterrupted{false};
static_assert(std::atomic<bool>::is_always_lock_free);

struct FormatCloser {
  void operator()(AVFormatContext *c) const { avformat_close_input(&c); }
};
struct IoCloser {
  void operator()(AVIOContext *c) const {
    av_freep(&c->buffer);
    avio_context_free(&c);
  }
};
struct CodecCloser {
  void operator()(AVCodecContext *c) const { avcodec_free_context(&c); }
};
struct ResamplerCloser {
  void operator()(SwrContext *c) const { swr_free(&c); }
};
struct FrameCloser {
  void operator()(AVFrame *f) const { av_frame_free(&f); }
};
struct PacketCloser {
  void operator()(AVPacket *p) const { av_packet_free(&p); }
};

std::string avError(int code) {
  char text[AV_ERROR_MAX_STRING_SIZE] = {};
  av_strerror(code, text, sizeof text);
  return text;
}

// A music file decoded as it is read. The decoded frames wait in `pending_` (frame `pendingStart_`
// first) until a read takes them; a read behind them, or far ahead, seeks.
class MusicFile : public AudioSource {
 public:
  ~MusicFile() override;
  bool open(const std::string &path, std::string &error);
  bool read(int64_t first, float *out, int64_t frames, std::string &error) override;
  void cancel() override { cancelled_ = true; }
  int64_t endFrame() const override { return endFrame_; }
  int64_t lengthMs() const override {
    if (!format_ || format_->duration <= 0 || format_->duration == AV_NOPTS_VALUE) return -1;
    return format_->duration / (AV_TIME_BASE / 1000);
  }

 private:
  bool openDecoder(std::string &error);
  // Decodes the next piece into pending_; false at the end of the music or on an error.
  bool decodeMore(std::string &error);
  // Converts `frame` from its input sample `skip` on (null: what the resampler still holds).
  bool resample(const AVFrame *frame, int skip = 0);
  bool startOver(std::string &error);
  // Moves the decoder to shortly before frame `frame` with the demuxer's seek; false when the
  // format cannot seek there (the caller then decodes from the start).
  bool seekNear(int64_t frame, std::string &error);
  bool interrupted() const { return gInterrupted || cancelled_; }
  // Sets pendingStart_ from the first frame decoded after a seek, from its time stamp; returns how
  // many of its samples to leave out so that the resampler starts on a sample where a read from
  // the start has one too, or -1 to leave out the whole frame.
  int place(const AVFrame *frame);
  // FFmpeg reads the file through these, from our descriptor.
  static int readPacket(void *self, uint8_t *buffer, int size);
  static int64_t seekTo(void *self, int64_t offset, int whence);
  static int checkInterrupt(void *self) { return static_cast<MusicFile *>(self)->interrupted() ? 1 : 0; }

  std::string name_;
  int fd_ = -1;
  std::atomic<bool> cancelled_{false};
  std::unique_ptr<AVIOContext, IoCloser> io_;
  std::unique_ptr<AVFormatContext, FormatCloser> format_;  // declared after io_: closed before it
  std::unique_ptr<AVCodecContext, CodecCloser> decoder_;
  std::unique_ptr<SwrContext, ResamplerCloser> swr_;
  std::unique_ptr<AVPacket, PacketCloser> packet_{av_packet_alloc()};
  std::unique_ptr<AVFrame, FrameCloser> frame_{av_frame_alloc()};
  int stream_ = -1;
  bool ended_ = false;
  std::vector<float> pending_;
  int64_t pendingStart_ = 0;
  bool placeUnknown_ = false;  // after a seek: pendingStart_ is set from the next decoded frame
  int64_t endFrame_ = -1;
};

MusicFile::~MusicFile() {
  format_.reset();
  io_.reset();
  if (fd_ >= 0) close(fd_);
}

bool MusicFile::open(const std::string &path, std::string &error) {
  name_ = printable(path);
  av_log_set_level(AV_LOG_QUIET);  // one line of our own says what went wrong
  // O_NONBLOCK: opening a FIFO must not wait for a writer. Only a regular file is read.
  fd_ = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd_ < 0) {
    error = name_ + ": cannot open the music: " + std::strerror(errno);
    return false;
  }
  struct stat st{};
  if (fstat(fd_, &st) != 0 || !S_ISREG(st.st_mode)) {
    error = name_ + kNotRegular;
    return false;
  }
  if (!openDecoder(error)) return false;
  // Something must come out of it, or it is no music.
  std::string why;
  while (pending_.empty() && decodeMore(why)) {
  }
  if (pending_.empty()) {
    error = interrupted() ? why : name_ + ": decodes to no sound";
    return false;
  }
  return true;
}

int MusicFile::readPacket(void *self, uint8_t *buffer, int size) {
  auto *file = static_cast<MusicFile *>(self);
  for (;;) {
    ssize_t n = ::read(file->fd_, buffer, static_cast<size_t>(size));
    if (n > 0) return static_cast<int>(n);
    if (n == 0) return AVERROR_EOF;
    if (errno != EINTR) return AVERROR(errno);
    if (file->interrupted()) return AVERROR_EXIT;
  }
}

int64_t MusicFile::seekTo(void *self, int64_t offset, int whence) {
  auto *file = static_cast<MusicFile *>(self);
  if (whence & AVSEEK_SIZE) {
    struct stat st{};
    return fstat(file->fd_, &st) == 0 ? static_cast<int64_t>(st.st_size) : AVERROR(errno);
  }
  off_t at = lseek(file->fd_, static_cast<off_t>(offset), whence & ~AVSEEK_FORCE);
  return at < 0 ? AVERROR(errno) : static_cast<int64_t>(at);
}

bool MusicFile::openDecoder(std::string &error) {
  decoder_.reset();
  swr_.reset();
  format_.reset();
  io_.reset();
  if (lseek(fd_, 0, SEEK_SET) != 0) {
    error = name_ + ": cannot read the music: " + std::strerror(errno);
    return false;
  }
  const int kIoBuffer = 1 << 16;
  auto *buffer = static_cast<unsigned char *>(av_malloc(kIoBuffer));
  AVIOContext *io = buffer ? avio_alloc_context(buffer, kIoBuffer, 0, this, readPacket, nullptr, seekTo) : nullptr;
  if (!io) av_free(buffer);
  io_.reset(io);
  AVFormatContext *opened = io ? avformat_alloc_context() : nullptr;
  if (!opened) {
    error = name_ + ": out of memory opening the music";
    return false;
  }
  opened->pb = io;
  opened->flags |= AVFMT_FLAG_CUSTOM_IO;
  opened->interrupt_callback = {checkInterrupt, this};
  // The name only helps FFmpeg guess the format; the bytes come from our descriptor.
  if (int e = avformat_open_input(&opened, name_.c_str(), nullptr, nullptr); e < 0) {
    error = name_ + (interrupted() ? ": interrupted" : ": cannot open the music: " + printable(avError(e)));
    return false;  // avformat_open_input has freed the context
  }
  format_.reset(opened);
  if (avformat_find_stream_info(format_.get(), nullptr) < 0) {
    error = name_ + (interrupted() ? ": interrupted" : ": not a music file FFmpeg can read");
    return false;
  }
  const AVCodec *codec = nullptr;
  stream_ = av_find_best_stream(format_.get(), AVMEDIA_TYPE_AUDIO, -1, -1, &codec, 0);
  if (stream_ < 0 || !codec) {
    error = name_ + ": has no audio stream FFmpeg can decode";
    return false;
  }
  decoder_.reset(avcodec_alloc_context3(codec));
  if (!decoder_ || avcodec_parameters_to_context(decoder_.get(), format_->streams[stream_]->codecpar) < 0 ||
      avcodec_open2(decoder_.get(), codec, nullptr) < 0) {
    error = name_ + ": cannot decode its audio";
    return false;
  }
  if (decoder_->ch_layout.nb_channels <= 0) av_channel_layout_default(&decoder_->ch_layout, 2);
  AVChannelLayout stereo = AV_CHANNEL_LAYOUT_STEREO;
  SwrContext *made = nullptr;
  if (swr_alloc_set_opts2(&made, &stereo, AV_SAMPLE_FMT_FLT, kAudioRate, &decoder_->ch_layout,
                          decoder_->sample_fmt, decoder_->sample_rate, 0, nullptr) < 0 ||
      swr_init(made) < 0) {
    swr_free(&made);
    error = name_ + ": cannot convert its audio to 48 kHz stereo";
    return false;
  }
  swr_.reset(made);
  ended_ = false;
  pending_.clear();
  pendingStart_ = 0;
  placeUnknown_ = false;
  return true;
}

bool MusicFile::resample(const AVFrame *frame, int skip) {
  int in = frame ? frame->nb_samples - skip : 0;
  std::vector<const uint8_t *> planes;
  if (frame) {
    const auto format = static_cast<AVSampleFormat>(frame->format);
    const bool planar = av_sample_fmt_is_planar(format);
    const int channels = frame->ch_layout.nb_channels, bytes = av_get_bytes_per_sample(format);
    for (int p = 0; p < (planar ? channels : 1); ++p)
      planes.push_back(frame->extended_data[p] + static_cast<size_t>(skip) * bytes * (planar ? 1 : channels));
  }
  int room = swr_get_out_samples(swr_.get(), in);
  if (room < 0) return false;
  size_t at = pending_.size();
  pending_.resize(at + static_cast<size_t>(room) * kAudioChannels);
  uint8_t *out = reinterpret_cast<uint8_t *>(pending_.data() + at);
  int made = swr_convert(swr_.get(), &out, room, frame ? planes.data() : nullptr, in);
  if (made < 0) return false;
  pending_.resize(at + static_cast<size_t>(made) * kAudioChannels);
  return true;
}

bool MusicFile::decodeMore(std::string &error) {
  if (ended_) return false;
  auto fail = [&] {
    error = name_ + ": stops decoding";
    ended_ = true;
    return false;
  };
  for (;;) {
    if (interrupted()) {  // checked per packet: a long decode gives up within a moment
      error = name_ + ": interrupted";
      return false;
    }
    int e = avcodec_receive_frame(decoder_.get(), frame_.get());
    if (e >= 0) {
      const int skip = placeUnknown_ ? place(frame_.get()) : 0;
      const bool ok = skip < 0 || resample(frame_.get(), skip);
      av_frame_unref(frame_.get());
      if (skip < 0) continue;  // before the first sample to start on: decoded on
      return ok || fail();
    }
    if (e == AVERROR_EOF) {
      ended_ = true;
      return resample(nullptr) || fail();  // what the resampler still holds
    }
    if (e != AVERROR(EAGAIN)) return fail();
    if (av_read_frame(format_.get(), packet_.get()) < 0) {
      avcodec_send_packet(decoder_.get(), nullptr);  // drain the decoder
      continue;
    }
    if (packet_->stream_index == stream_) avcodec_send_packet(decoder_.get(), packet_.get());
    av_packet_unref(packet_.get());
  }
}

// Decoding again from the start: every position then gives the very samples a read from 0 gives.
bool MusicFile::startOver(std::string &error) { return openDecoder(error); }

bool MusicFile::seekNear(int64_t frame, std::string &error) {
  // A little before the frame: a decoder needs some packets to settle after a jump.
  const int64_t kLeadIn = kAudioRate / 5;
  const AVStream *stream = format_->streams[stream_];
  const int64_t start = stream->start_time == AV_NOPTS_VALUE ? 0 : stream->start_time;
  const int64_t target = av_rescale_q(std::max<int64_t>(0, frame - kLeadIn), {1, kAudioRate}, stream->time_base) + start;
  if (avformat_seek_file(format_.get(), stream_, INT64_MIN, target, target, 0) < 0) return false;
  avcodec_flush_buffers(decoder_.get());
  // A fresh resampler: what it held belongs to the old position.
  if (swr_init(swr_.get()) < 0) {
    error = name_ + ": cannot convert its audio to 48 kHz stereo";
    return false;
  }
  ended_ = false;
  pending_.clear();
  placeUnknown_ = true;
  std::string why;
  while (pending_.empty() && decodeMore(why)) {
  }
  if (pending_.empty()) {
    if (!why.empty()) {
      error = why;
      return false;
    }
    pendingStart_ = frame;  // past the end: silence from here on
    placeUnknown_ = false;
    return true;
  }
  return !placeUnknown_ && pendingStart_ <= frame;
}

int MusicFile::place(const AVFrame *frame) {
  const AVStream *stream = format_->streams[stream_];
  const int64_t stamp = frame->best_effort_timestamp;
  const int rate = frame->sample_rate > 0 ? frame->sample_rate : decoder_->sample_rate;
  if (stamp == AV_NOPTS_VALUE || rate <= 0) {
    placeUnknown_ = false;
    pendingStart_ = INT64_MAX;  // unknown: the caller decodes from the start instead
    return 0;
  }
  const int64_t start = stream->start_time == AV_NOPTS_VALUE ? 0 : stream->start_time;
  const int64_t first = av_rescale_q(stamp - start, stream->time_base, {1, rate});
  // An input sample falls on an output sample once every `period` of them (147 at 44.1 kHz, against
  // 160 at 48 kHz). A resampler started anywhere else would run a fraction of a sample off what a
  // read from the start gives: it starts on the next such sample.
  const int64_t common = std::gcd<int64_t, int64_t>(rate, kAudioRate), period = rate / common;
  const int64_t skip = (period - ((first % period) + period) % period) % period;
  if (skip >= frame->nb_samples) return -1;
  placeUnknown_ = false;
  pendingStart_ = (first + skip) / period * (kAudioRate / common);
  return static_cast<int>(skip);
}

bool MusicFile::read(int64_t first, float *out, int64_t frames, std::string &error) {
  if (first < 0) {  // before the music: silence
    const int64_t before = std::min(frames, -first);
    std::fill(out, out + before * kAudioChannels, 0.0f);
    out += before * kAudioChannels;
    frames -= before;
    first = 0;
  }
  // Behind what is pending, or further ahead than decoding on is worth: a seek, and when the format
  // cannot seek there, decoding from the start.
  const int64_t kDecodeOn = 2 * kAudioRate;
  const int64_t pendingEnd = pendingStart_ + static_cast<int64_t>(pending_.size() / kAudioChannels);
  if (first < pendingStart_ || first > pendingEnd + kDecodeOn) {
    std::string why;
    if (!seekNear(first, why)) {
      if (!why.empty()) {
        error = why;
        return false;
      }
      if (!startOver(error)) return false;
    }
  }
  int64_t copied = 0;
  while (copied < frames) {
    const int64_t have = static_cast<int64_t>(pending_.size() / kAudioChannels);
    const int64_t at = first + copied;
    if (at >= pendingStart_ + have) {
      // Nothing pending covers `at`: drop what is pending and decode on.
      pendingStart_ += have;
      pending_.clear();
      std::string why;
      if (!decodeMore(why)) {
        if (!why.empty()) {
          error = why;
          return false;
        }
        std::fill(out + copied * kAudioChannels, out + frames * kAudioChannels, 0.0f);  // the music has ended
        if (!placeUnknown_) endFrame_ = pendingStart_;
        return true;
      }
      continue;
    }
    const int64_t from = at - pendingStart_, n = std::min(frames - copied, have - from);
    std::copy_n(pending_.begin() + from * kAudioChannels, n * kAudioChannels, out + copied * kAudioChannels);
    copied += n;
  }
  // Keep only what comes after this read.
  const int64_t used = first + frames - pendingStart_;
  if (used > 0) {
    pending_.erase(pending_.begin(), pending_.begin() + used * kAudioChannels);
    pendingStart_ += used;
  }
  return true;
}

}  // namespace

void interruptMusic() { gInterrupted = true; }

bool checkMusicPath(const std::string &path, std::string &error) {
  struct stat st{};
  if (stat(path.c_str(), &st) != 0 || S_ISREG(st.st_mode)) return true;
  error = printable(path) + kNotRegular;
  return false;
}

bool openMusic(const std::string &path, std::unique_ptr<AudioSource> &music, std::string &error) {
  auto file = std::make_unique<MusicFile>();
  if (!file->open(path, error)) return false;
  music = std::move(file);
  return true;
}

std::string wavHeader(int64_t frames) {
  std::string h;
  auto u32 = [&](uint32_t v) { for (int i = 0; i < 4; ++i) h += static_cast<char>((v >> (8 * i)) & 0xff); };
  auto u16 = [&](uint16_t v) { for (int i = 0; i < 2; ++i) h += static_cast<char>((v >> (8 * i)) & 0xff); };
  const uint32_t data = static_cast<uint32_t>(frames * kAudioChannels * 2);
  h += "RIFF";
  u32(36 + data);
  h += "WAVEfmt ";
  u32(16);
  u16(1);
  u16(kAudioChannels);
  u32(kAudioRate);
  u32(kAudioRate * kAudioChannels * 2);
  u16(kAudioChannels * 2);
  u16(16);
  h += "data";
  u32(data);
  return h;
}

bool writeWav(const std::string &path, AudioSource &audio, int64_t fromMs, int64_t toMs, std::string &error) {
  const int64_t first = fromMs * kAudioRate / 1000, count = toMs * kAudioRate / 1000 - first;
  FILE *file = std::fopen(path.c_str(), "wb");
  if (!file) {
    error = printable(path) + ": " + std::strerror(errno);
    return false;
  }
  const std::string header = wavHeader(count);
  std::fwrite(header.data(), 1, header.size(), file);
  // A second of sound at a time.
  const int64_t kPiece = kAudioRate;
  std::vector<float> piece(static_cast<size_t>(kPiece) * kAudioChannels);
  std::vector<int16_t> pcm(piece.size());
  bool ok = true;
  for (int64_t done = 0; ok && done < count; done += kPiece) {
    const int64_t n = std::min(kPiece, count - done);
    ok = audio.read(first + done, piece.data(), n, error);
    for (int64_t i = 0; ok && i < n * kAudioChannels; ++i) {
      float v = std::clamp(piece[static_cast<size_t>(i)], -1.0f, 1.0f);
      pcm[static_cast<size_t>(i)] = static_cast<int16_t>(std::lround(v * 32767.0f));
    }
    if (ok) std::fwrite(pcm.data(), sizeof(int16_t), static_cast<size_t>(n * kAudioChannels), file);
  }
  if (!ok) {
    std::fclose(file);
    return false;
  }
  ok = !std::ferror(file);
  ok = std::fclose(file) == 0 && ok;
  if (!ok) error = printable(path) + ": " + std::strerror(errno);
  return ok;
}

}  // namespace kandu
