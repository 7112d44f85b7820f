#include "media/sinks.h"

#include <libyuv.h>

#include "base/printable.h"

namespace kandu {

bool PngFrameSink::write(int64_t index, const RawFrame &frame, std::string &error) {
  std::string why, path = dir_.framePath(index);
  if (!writePng(path, toImage(frame), why)) {
    error = printable(path) + ": " + why;
    return false;
  }
  dir_.setFramesWritten(index + 1);
  return true;
}

void convertToI420(const RawFrame &frame, std::vector<uint8_t> &yuv) {
  const int w = frame.width, h = frame.height, stride = 4 * w;
  const size_t luma = static_cast<size_t>(w) * h, chroma = luma / 4;
  yuv.resize(luma + 2 * chroma);
  uint8_t *y = yuv.data(), *u = y + luma, *v = u + chroma;
  libyuv::ARGBToI420(frame.bgra.data() + static_cast<size_t>(h - 1) * stride, -stride, y, w, u, w / 2, v, w / 2, w, h);
}

bool VideoSink::write(int64_t, const RawFrame &frame, std::string &error) {
  convertToI420(frame, yuv_);
  if (!encoder_.write(yuv_.data(), yuv_.size())) {
    error = "ffmpeg stopped taking frames";
    return false;
  }
  return true;
}

}  // namespace kandu
