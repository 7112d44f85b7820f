// The frame sinks of a render: numbered PNG frames into a pending directory, or a video through
// the encoder. write() runs on the frame queue's worker thread.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "media/encoder.h"
#include "media/frame_queue.h"
#include "media/pending.h"

namespace kandu {

// A bottom-row-first BGRA frame as planar YUV 4:2:0 (BT.601, limited range), top row first, in
// `yuv` (resized to 1.5 bytes a pixel). The frame's width and height must be even.
void convertToI420(const RawFrame &frame, std::vector<uint8_t> &yuv);

// Frames as exact RGB PNG files (no colour conversion) into the pending frame directory.
class PngFrameSink : public FrameSink {
 public:
  explicit PngFrameSink(PendingFrameDir &dir) : dir_(dir) {}
  bool write(int64_t index, const RawFrame &frame, std::string &error) override;

 private:
  PendingFrameDir &dir_;
};

// Frames to the encoder as YUV 4:2:0, converted here on the worker thread (libyuv, SIMD) rather
// than by ffmpeg: the conversion was most of ffmpeg's work, and planar frames are 1.5 bytes a
// pixel through the pipe instead of 4. GL hands the rows over bottom row first; the negative
// stride turns them over during the conversion.
class VideoSink : public FrameSink {
 public:
  explicit VideoSink(Encoder &encoder) : encoder_(encoder) {}
  bool write(int64_t index, const RawFrame &frame, std::string &error) override;

 private:
  Encoder &encoder_;
  std::vector<uint8_t> yuv_;
};

}  // namespace kandu
