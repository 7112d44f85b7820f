#include "player/audio.h"

#include <cmath>
#include <cstdio>
#include <cstring>
#include <memory>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/channel_layout.h>
#include <libavutil/opt.h>
#include <libswresample/swresample.h>
}

#include "player/messages.h"

namespace {

struct FormatCloser {
  void operator()(AVFormatContext *c) const { avformat_close_input(&c); }
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

// Appends what the resampler makes of `frame` (null: what it still holds).
bool resample(SwrContext *swr, const AVFrame *frame, Audio &audio) {
  int in = frame ? frame->nb_samples : 0;
  int room = swr_get_out_samples(swr, in);
  if (room < 0) return false;
  size_t at = audio.samples.size();
  audio.samples.resize(at + static_cast<size_t>(room) * Audio::kChannels);
  uint8_t *out = reinterpret_cast<uint8_t *>(audio.samples.data() + at);
  int made = swr_convert(swr, &out, room, frame ? const_cast<const uint8_t **>(frame->extended_data) : nullptr, in);
  if (made < 0) return false;
  audio.samples.resize(at + static_cast<size_t>(made) * Audio::kChannels);
  return true;
}

}  // namespace

bool decodeAudio(const std::string &path, Audio &audio, std::string &error) {
  const std::string name = printable(path);
  av_log_set_level(AV_LOG_QUIET);  // one line of our own says what went wrong
  AVFormatContext *opened = nullptr;
  // "file:" so that no path is taken for another protocol.
  if (int e = avformat_open_input(&opened, ("file:" + path).c_str(), nullptr, nullptr); e < 0) {
    error = name + ": cannot open the music: " + printable(avError(e));
    return false;
  }
  std::unique_ptr<AVFormatContext, FormatCloser> format(opened);
  if (avformat_find_stream_info(format.get(), nullptr) < 0) {
    error = name + ": not a music file FFmpeg can read";
    return false;
  }
  const AVCodec *codec = nullptr;
  int stream = av_find_best_stream(format.get(), AVMEDIA_TYPE_AUDIO, -1, -1, &codec, 0);
  if (stream < 0 || !codec) {
    error = name + ": has no audio stream FFmpeg can decode";
    return false;
  }
  std::unique_ptr<AVCodecContext, CodecCloser> decoder(avcodec_alloc_context3(codec));
  if (!decoder || avcodec_parameters_to_context(decoder.get(), format->streams[stream]->codecpar) < 0 ||
      avcodec_open2(decoder.get(), codec, nullptr) < 0) {
    error = name + ": cannot decode its audio";
    return false;
  }
  if (decoder->ch_layout.nb_channels <= 0) av_channel_layout_default(&decoder->ch_layout, 2);
  AVChannelLayout stereo = AV_CHANNEL_LAYOUT_STEREO;
  SwrContext *made = nullptr;
  if (swr_alloc_set_opts2(&made, &stereo, AV_SAMPLE_FMT_FLT, Audio::kRate, &decoder->ch_layout, decoder->sample_fmt,
                          decoder->sample_rate, 0, nullptr) < 0 ||
      swr_init(made) < 0) {
    swr_free(&made);
    error = name + ": cannot convert its audio to 48 kHz stereo";
    return false;
  }
  std::unique_ptr<SwrContext, ResamplerCloser> swr(made);
  std::unique_ptr<AVPacket, PacketCloser> packet(av_packet_alloc());
  std::unique_ptr<AVFrame, FrameCloser> frame(av_frame_alloc());
  const size_t limit = static_cast<size_t>(kMaxTimelineMs / 1000 + 1) * Audio::kRate * Audio::kChannels;
  Audio decoded;
  bool ok = true;
  auto drain = [&] {
    int e;
    while ((e = avcodec_receive_frame(decoder.get(), frame.get())) >= 0) {
      ok = ok && resample(swr.get(), frame.get(), decoded);
      av_frame_unref(frame.get());
    }
    return e == AVERROR(EAGAIN) || e == AVERROR_EOF;
  };
  while (ok && av_read_frame(format.get(), packet.get()) >= 0) {
    if (packet->stream_index == stream && avcodec_send_packet(decoder.get(), packet.get()) >= 0) ok = drain();
    av_packet_unref(packet.get());
    if (decoded.samples.size() > limit) {
      error = name + ": the music is longer than the longest timeline (" + std::to_string(kMaxTimelineMs) + " ms)";
      return false;
    }
  }
  avcodec_send_packet(decoder.get(), nullptr);
  ok = ok && drain() && resample(swr.get(), nullptr, decoded);
  if (!ok || decoded.empty()) {
    error = name + ": decodes to no sound";
    return false;
  }
  audio = std::move(decoded);
  return true;
}

bool writeWav(const std::string &path, const Audio &audio, int64_t fromMs, int64_t toMs, std::string &error) {
  const int64_t first = fromMs * Audio::kRate / 1000, count = toMs * Audio::kRate / 1000 - first;
  const uint32_t bytes = static_cast<uint32_t>(count * Audio::kChannels * 2);
  FILE *file = std::fopen(path.c_str(), "wb");
  if (!file) {
    error = printable(path) + ": " + std::strerror(errno);
    return false;
  }
  auto u32 = [&](uint32_t v) {
    const unsigned char b[4] = {uint8_t(v), uint8_t(v >> 8), uint8_t(v >> 16), uint8_t(v >> 24)};
    std::fwrite(b, 1, 4, file);
  };
  auto u16 = [&](uint16_t v) {
    const unsigned char b[2] = {uint8_t(v), uint8_t(v >> 8)};
    std::fwrite(b, 1, 2, file);
  };
  std::fwrite("RIFF", 1, 4, file);
  u32(36 + bytes);
  std::fwrite("WAVEfmt ", 1, 8, file);
  u32(16);
  u16(1);
  u16(Audio::kChannels);
  u32(Audio::kRate);
  u32(Audio::kRate * Audio::kChannels * 2);
  u16(Audio::kChannels * 2);
  u16(16);
  std::fwrite("data", 1, 4, file);
  u32(bytes);
  std::vector<int16_t> chunk;
  for (int64_t i = 0; i < count; ++i)
    for (int c = 0; c < Audio::kChannels; ++c) {
      int64_t k = (first + i) * Audio::kChannels + c;
      float v = k < static_cast<int64_t>(audio.samples.size()) ? audio.samples[static_cast<size_t>(k)] : 0.0f;
      v = v > 1.0f ? 1.0f : (v < -1.0f ? -1.0f : v);
      chunk.push_back(static_cast<int16_t>(std::lround(v * 32767.0f)));
    }
  std::fwrite(chunk.data(), sizeof(int16_t), chunk.size(), file);
  bool ok = !std::ferror(file);
  ok = std::fclose(file) == 0 && ok;
  if (!ok) error = printable(path) + ": " + std::strerror(errno);
  return ok;
}
