// The video encoder: ffmpeg started without a shell, raw YUV 4:2:0 frames through a pipe.
//
// The command is an argument list (posix_spawnp), the output is named with the file: protocol so
// that no path can be read as an option or as another protocol, and ffmpeg runs in a process group
// of its own, at a lower priority, so that a Ctrl-C at the terminal reaches only the player, which
// then stops it. Its standard error is read on a thread of its own; the last line is kept for the
// message when it fails.
#pragma once

#include <sys/types.h>

#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace kandu {

// The ffmpeg muxer for a video file name by its extension ("mp4", "mov", "matroska"), or "" when
// the extension names no video format the player writes.
std::string videoFormatFor(const std::string &path);
// Whether an executable `name` is on PATH (ffmpeg for a video).
bool onPath(const std::string &name);

class Encoder {
 public:
  Encoder() = default;
  Encoder(const Encoder &) = delete;
  Encoder &operator=(const Encoder &) = delete;
  ~Encoder();

  // Starts ffmpeg encoding width × height planar YUV 4:2:0 frames (BT.601, limited range, top row
  // first) at `fps` into `path` with the muxer `format`. False with a reason when it cannot start.
  // With `wav` not empty, that WAV file becomes the video's sound track, as AAC.
  bool start(const std::string &path, const std::string &format, int width, int height, int fps,
             const std::string &wav, std::string &error);
  // Writes bytes to ffmpeg; false when it stopped taking them.
  bool write(const void *data, size_t size);
  // Closes the pipe and waits; true when ffmpeg exited with status 0, else false with a message
  // holding its exit status and its last line.
  bool finish(std::string &error);
  // Stops ffmpeg at once (an interrupted or failed capture).
  void kill();

 private:
  pid_t pid_ = -1;
  int input_ = -1;
  int errors_ = -1;
  std::thread reader_;
  std::mutex mutex_;
  std::string lastLine_;
};

}  // namespace kandu
