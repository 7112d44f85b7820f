#include "player/capture.h"

#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <memory>

#include "base/printable.h"
#include "media/encoder.h"
#include "media/frame_queue.h"
#include "media/image.h"
#include "media/pending.h"
#include "media/sinks.h"
#include "media/text.h"
#include "player/messages.h"
#include "player/readback.h"
#include "player/signals.h"
#include "timeline/capture_plan.h"


namespace kandu {

namespace {

// A progress bar on a terminal, a plain line every tenth otherwise.
class Progress {
 public:
  Progress(const char *what, int64_t total)
      : what_(what), total_(total), tty_(isatty(STDERR_FILENO)), start_(Clock::now()) {}
  void update(int64_t done) {
    double elapsed = std::chrono::duration<double>(Clock::now() - start_).count();
    double fps = elapsed > 0 ? done / elapsed : 0.0;
    double left = fps > 0 ? (total_ - done) / fps : 0.0;
    int percent = total_ > 0 ? static_cast<int>(100 * done / total_) : 100;
    if (tty_) {
      int filled = percent * 30 / 100;
      std::fprintf(stderr, "\r%s [%.*s%.*s] %3d%% %lld/%lld frames  %5.1f fps  %3.0f s left ", what_, filled,
                   "##############################", 30 - filled, "..............................", percent,
                   static_cast<long long>(done), static_cast<long long>(total_), fps, left);
      if (done == total_) std::fputc('\n', stderr);
    } else if (percent / 10 != lastTenth_ || done == total_) {
      lastTenth_ = percent / 10;
      std::fprintf(stderr, "%s: frame %lld/%lld (%d%%), %.1f fps\n", what_, static_cast<long long>(done),
                   static_cast<long long>(total_), percent, fps);
    }
    std::fflush(stderr);
  }

 private:
  using Clock = std::chrono::steady_clock;
  const char *what_;
  int64_t total_;
  bool tty_;
  Clock::time_point start_;
  int lastTenth_ = -1;
};

double aspectOf(const Options &o) { return static_cast<double>(o.width) / o.height; }

// One frame of the plug-in at the capture clock.
void renderAt(const Plugin &plugin, const Timeline &timeline, int64_t timeMs, int width, int height, double aspect) {
  setHostTime(static_cast<uint32_t>(timeMs));
  renderFrame(plugin, timeline, timeMs, width, height, aspect);
}

// Draws the pre-roll frames 0 .. count - 1 with progress; false when a stop signal came.
bool preroll(const Plugin &plugin, const Timeline &timeline, const Options &o, const CaptureRange &range,
             int64_t count) {
  Progress progress("pre-roll", count);
  for (int64_t k = 0; k < count; ++k) {
    if (signals::stopRequested()) return false;
    renderAt(plugin, timeline, range.frameTime(k), kPrerollWidth, kPrerollHeight, aspectOf(o));
    if (count > 600 && (k + 1) % 60 == 0) progress.update(k + 1);
  }
  return true;
}

std::string defaultTarget(const Options &o) {
  if (!o.outPath.empty()) return o.outPath;
  switch (o.command) {
    case Command::Still: return "out/still.png";
    case Command::Sheet: return "out/sheet.png";
    default: return o.soundOnly ? "out/kandu.wav" : "out/kandu.mp4";
  }
}

// A failure's exit status: 1 after saying why, or -1 without a word when a stop signal caused it
// (the player then ends with that signal).
int failed(const std::string &error) {
  if (signals::stopRequested()) return -1;
  complain(error);
  return 1;
}

// Writes one PNG all-or-nothing; the exit status.
int writePngOutput(const std::string &target, const Image &image, const std::string &what) {
  PendingFile pending;
  std::string error;
  if (!pending.create(target, error)) {
    complain(error);
    return 1;
  }
  std::string why;
  if (!writePng(pending.path(), image, why)) {
    complain(printable(target) + ": " + why);
    return 1;
  }
  if (!pending.commit(error)) {
    complain(error);
    return 1;
  }
  note("wrote " + printable(target) + what);
  return 0;
}

}  // namespace

void cutRangeToTimeline(const Timeline &timeline, Options &o) {
  const int64_t end = timeline.duration();
  if ((o.command == Command::Render || o.command == Command::Play) && o.to > end && o.from < end) {
    complain("--to " + std::to_string(o.to) + " is past the timeline's end; stopping at " + std::to_string(end) +
             " ms");
    o.to = end;
  }
}

bool checkRequest(const Timeline &timeline, const Options &o, std::string &error) {
  int64_t end = timeline.duration();
  if ((o.command == Command::Render || o.command == Command::Play) && o.from >= end) {
    error = "--from " + std::to_string(o.from) + " is at or past the timeline's end (" + std::to_string(end) + " ms)";
    return false;
  }
  // --to at the start (0, or a mark there) leaves no frame to draw: a request, not an empty video.
  if ((o.command == Command::Render || o.command == Command::Play) && o.to >= 0 && o.to <= std::max<int64_t>(o.from, 0)) {
    error = "--to " + std::to_string(o.to) + " leaves nothing to " + (o.command == Command::Render ? "render" : "play") +
            ": the range must end after it starts (" + std::to_string(std::max<int64_t>(o.from, 0)) + " ms)";
    return false;
  }
  if (o.command == Command::Still && !checkStillAt(timeline, "--at", o.at, error)) return false;
  if (o.command == Command::Play) return true;
  if (o.command == Command::Render && o.parts) {
    const int64_t frames = captureRange(timeline, o.from, o.to, o.fps).frameCount();
    const PartFrames part = partFrames(frames, o.part, o.parts);
    if (part.end == part.begin) {
      error = "--part " + std::to_string(o.part) + "/" + std::to_string(o.parts) + ": the range has only " +
              std::to_string(frames) + " frames, so this part has none";
      return false;
    }
  }
  if (o.command == Command::Render && !o.framesDir.empty()) return checkFrameDirTarget(o.framesDir, error);
  std::string target = defaultTarget(o);
  if (!checkFileTarget(target, error)) return false;
  if (o.command != Command::Render) return true;
  if (o.soundOnly) {
    const size_t dot = target.rfind('.');
    if (dot == std::string::npos || target.substr(dot) != ".wav") {
      error = printable(target) + ": --sound-only writes a WAV file: give --out NAME.wav";
      return false;
    }
    return true;
  }
  if (videoFormatFor(target).empty()) {
    error = printable(target) + ": not a video file name the player writes (.mp4, .m4v, .mov, .mkv); for PNG frames "
            "use --frames DIR";
    return false;
  }
  if (!onPath("ffmpeg")) {
    error = "writing " + printable(target) + " needs ffmpeg, which is not installed; install it or use --frames DIR";
    return false;
  }
  if (o.width % 2 || o.height % 2) {
    error = "video needs an even width and height (H.264 in 4:2:0), not " + std::to_string(o.width) + "x" +
            std::to_string(o.height) + "; use --frames DIR for odd sizes";
    return false;
  }
  return true;
}

namespace {

// Where a render's frames go and what becomes of them: a video (the frames through the encoder, the
// music's range as its sound track) or a directory of PNG frames (the music beside them as
// audio.wav). Either is written under a temporary name and takes the target's place only when
// complete.
class RenderOutput {
 public:
  virtual ~RenderOutput() = default;
  virtual bool open(const std::string &target, std::string &error) = 0;
  virtual FrameSink &sink() = 0;
  // The frames are all in: false with what went wrong.
  virtual bool finish(std::string &error) = 0;
  // The music's range beside the frames, where it is not in them.
  virtual bool addSound(std::string &) { return true; }
  virtual bool commit(std::string &error) = 0;
  // Stopped: nothing more is written.
  virtual void abandon() {}
};

class VideoOutput : public RenderOutput {
 public:
  VideoOutput(const Options &o, const CaptureRange &range, AudioSource *music) : o_(o), range_(range), music_(music) {}
  bool open(const std::string &target, std::string &error) override {
    const bool withSound = music_ != nullptr;
    return file_.create(target, error) &&
           (!withSound || (sound_.create(target + ".wav", error) &&
                           writeWav(sound_.path(), *music_, range_.from, range_.to, error))) &&
           encoder_.start(file_.path(), videoFormatFor(target), o_.width, o_.height, o_.fps,
                          withSound ? sound_.path() : "", error);
  }
  FrameSink &sink() override { return sink_; }
  bool finish(std::string &error) override { return encoder_.finish(error); }
  bool commit(std::string &error) override { return file_.commit(error); }
  void abandon() override { encoder_.kill(); }

 private:
  const Options &o_;
  CaptureRange range_;
  AudioSource *music_;
  PendingFile file_, sound_;  // the video, and the piece of the music it carries (never kept)
  Encoder encoder_;
  VideoSink sink_{encoder_};
};

class FramesOutput : public RenderOutput {
 public:
  FramesOutput(const CaptureRange &range, AudioSource *music) : range_(range), music_(music) {}
  bool open(const std::string &target, std::string &error) override { return dir_.create(target, error); }
  FrameSink &sink() override { return sink_; }
  bool finish(std::string &) override { return true; }
  bool addSound(std::string &error) override {
    return !music_ || writeWav(dir_.path() + "/audio.wav", *music_, range_.from, range_.to, error);
  }
  bool commit(std::string &error) override { return dir_.commit(error); }

 private:
  CaptureRange range_;
  AudioSource *music_;
  PendingFrameDir dir_;
  PngFrameSink sink_{dir_};
};

}  // namespace

PartFrames partFrames(int64_t frames, int part, int parts) {
  if (parts <= 0) return {0, frames};
  return {frames * (part - 1) / parts, frames * part / parts};
}

int runSoundOnly(const Timeline &timeline, const Options &o, AudioSource *music) {
  const CaptureRange range = captureRange(timeline, o.from, o.to, o.fps);
  const std::string target = defaultTarget(o);
  if (!music) {
    note("the timeline has no sound track: nothing written to " + printable(target));
    return 0;
  }
  PendingFile file;
  std::string error;
  if (!file.create(target, error) || !writeWav(file.path(), *music, range.from, range.to, error) ||
      !file.commit(error))
    return failed(error);
  note("wrote the sound of " + std::to_string(range.from) + " to " + std::to_string(range.to) + " ms to " +
       printable(target));
  return 0;
}

int runRender(const Plugin &plugin, const Timeline &timeline, const Options &o, AudioSource *music) {
  CaptureRange range = captureRange(timeline, o.from, o.to, o.fps);
  // A part draws the frames of the whole range before its own small and unread, so that the water
  // has stepped as often as in one render, and numbers its frames as that render would.
  const PartFrames part = partFrames(range.frameCount(), o.part, o.parts);
  const int64_t frames = part.end - part.begin;
  if (o.parts) music = nullptr;  // the parts are joined, and the sound added once, afterwards
  std::string error, target = o.framesDir.empty() ? defaultTarget(o) : o.framesDir;
  std::unique_ptr<RenderOutput> out;
  if (o.framesDir.empty())
    out = std::make_unique<VideoOutput>(o, range, music);
  else
    out = std::make_unique<FramesOutput>(range, music);
  if (!out->open(target, error)) return failed(error);
  if (part.begin > 0 && !preroll(plugin, timeline, o, range, part.begin)) return -1;

  Progress progress("render", frames);
  FrameQueue queue(out->sink(), static_cast<size_t>(o.width) * o.height * 4);
  auto stopping = [] { return signals::stopRequested() != 0; };
  bool ok = true;
  for (int64_t k = part.begin; k < part.end && ok && !stopping(); ++k) {
    renderAt(plugin, timeline, range.frameTime(k), o.width, o.height, aspectOf(o));
    ok = queue.push(k, readRawFrame(o.width, o.height), stopping);
    progress.update(k + 1 - part.begin);
  }
  if (stopping()) {
    out->abandon();
    queue.abandon();
    return -1;
  }
  std::string written, finished;
  queue.drain(stopping);
  ok = queue.close(written) && ok;
  const bool complete = out->finish(finished);
  if (stopping()) return -1;  // stopped while the last frames were written: nothing is kept
  if (!ok || !complete) {
    // The encoder's own words say more than "stopped taking frames".
    complain(printable(target) + ": " + (!complete ? finished : written));
    return 1;
  }
  if (!out->addSound(error)) return failed(error);
  if (stopping()) return -1;
  if (!out->commit(error)) return failed(error);
  note("wrote " + std::to_string(frames) + " frames to " + printable(target));
  return 0;
}

int runStill(const Plugin &plugin, const Timeline &timeline, const Options &o) {
  CaptureRange range = stillPreroll(o.at, o.fps);
  if (!preroll(plugin, timeline, o, range, range.frameCount())) return -1;
  renderAt(plugin, timeline, o.at, o.width, o.height, aspectOf(o));
  return writePngOutput(defaultTarget(o), readFramebuffer(o.width, o.height), "");
}

void drawStill(const Plugin &plugin, const Timeline &timeline, int64_t atMs, int fps, int width, int height) {
  const CaptureRange range = stillPreroll(atMs, fps);
  const double aspect = static_cast<double>(width) / height;
  for (int64_t k = 0; k < range.frameCount(); ++k)
    renderAt(plugin, timeline, range.frameTime(k), kPrerollWidth, kPrerollHeight, aspect);
  renderAt(plugin, timeline, atMs, width, height, aspect);
}

int runSheet(const Plugin &plugin, const Timeline &timeline, const Options &o) {
  const SheetPlan plan = planSheet(timeline, o.fps);
  const std::vector<SheetShot> &shots = plan.shots;
  if (shots.empty()) {
    complain("the timeline has no drawing blocks to show");
    return 1;
  }
  if (plan.drawingBlocks > shots.size())
    complain("the sheet shows the first " + std::to_string(shots.size()) + " of " + std::to_string(plan.drawingBlocks) +
             " drawing blocks");
  const int columns = 4, thumbW = 256, thumbH = 192, label = 28, gap = 8;
  int rows = static_cast<int>((shots.size() + columns - 1) / columns);
  Image sheet;
  sheet.width = columns * (thumbW + gap) + gap;
  sheet.height = rows * (thumbH + label + gap) + gap;
  sheet.rgb.assign(static_cast<size_t>(sheet.width) * sheet.height * 3, 24);

  CaptureRange range{0, timeline.duration(), o.fps};
  const int64_t last = plan.lastFrame;
  auto wanted = [&](int64_t k) {
    for (const SheetShot &s : shots)
      if (s.frame == k) return true;
    return false;
  };
  size_t placed = 0;
  Progress progress("sheet", last + 1);
  for (int64_t k = 0; k <= last; ++k) {
    if (signals::stopRequested()) return -1;
    if (last + 1 > 600 && (k + 1) % 60 == 0) progress.update(k + 1);
    if (!wanted(k)) {
      renderAt(plugin, timeline, range.frameTime(k), kPrerollWidth, kPrerollHeight, aspectOf(o));
      continue;
    }
    renderAt(plugin, timeline, range.frameTime(k), o.width, o.height, aspectOf(o));
    Image frame = readFramebuffer(o.width, o.height);
    Image thumb = downsample(frame, std::max(1, o.width / thumbW));
    for (size_t i = 0; i < shots.size(); ++i) {
      if (shots[i].frame != k) continue;
      int col = static_cast<int>(i % columns), row = static_cast<int>(i / columns);
      int x0 = gap + col * (thumbW + gap), y0 = gap + row * (thumbH + label + gap);
      for (int y = 0; y < thumbH && y < thumb.height; ++y)
        for (int x = 0; x < thumbW && x < thumb.width; ++x)
          for (int c = 0; c < 3; ++c) sheet.at(x0 + x, y0 + y)[c] = thumb.at(x, y)[c];
      const std::string caption = shots[i].block->word + "  " + clockText(shots[i].timeMs);
      const uint8_t white[3] = {230, 230, 230};
      drawText(sheet, x0 + 4, y0 + thumbH + 19, 15, caption, white);
      ++placed;
    }
  }
  return writePngOutput(defaultTarget(o), sheet, " (" + std::to_string(placed) + " thumbnails)");
}

}  // namespace kandu
