#include "player/capture.h"

#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <memory>

#include "player/audio.h"
#include "player/encoder.h"
#include "player/frame_queue.h"
#include "player/image.h"
#include "player/messages.h"
#include "player/output.h"
#include "player/signals.h"
#include "player/sinks.h"
#include "player/text.h"


bool onPath(const std::string &name) {
  const char *path = getenv("PATH");
  std::string dirs = path ? path : "/usr/bin:/bin";
  size_t start = 0;
  while (start <= dirs.size()) {
    size_t colon = dirs.find(':', start);
    std::string dir = dirs.substr(start, colon == std::string::npos ? std::string::npos : colon - start);
    if (!dir.empty() && access((dir + "/" + name).c_str(), X_OK) == 0) return true;
    if (colon == std::string::npos) break;
    start = colon + 1;
  }
  return false;
}

static bool makeDirs(const std::string &dir) {
  if (dir.empty()) return true;
  struct stat st{};
  if (stat(dir.c_str(), &st) == 0) return S_ISDIR(st.st_mode);
  size_t slash = dir.rfind('/');
  if (slash != std::string::npos && slash > 0 && !makeDirs(dir.substr(0, slash))) return false;
  return mkdir(dir.c_str(), 0777) == 0 || errno == EEXIST;
}

bool makeParentDirs(const std::string &path) {
  size_t slash = path.rfind('/');
  return slash == std::string::npos || makeDirs(path.substr(0, slash));
}

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

CaptureRange rangeOf(const Timeline &timeline, const Options &o) {
  CaptureRange range;
  range.fps = o.fps;
  range.from = o.from >= 0 ? o.from : 0;
  range.to = o.to >= 0 ? o.to : timeline.duration();
  return range;
}

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
    if (Signals::stopRequested()) return false;
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
    default: return "out/kandu.mp4";
  }
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
  if (!writePng(pending.path(), image, &why)) {
    complain(printable(target) + ": " + why);
    return 1;
  }
  if (!pending.commit(error)) {
    complain(error);
    return 1;
  }
  complain("wrote " + printable(target) + what);
  return 0;
}

}  // namespace

bool checkRequest(const Timeline &timeline, Options &o, std::string &error) {
  int64_t end = timeline.duration();
  if (o.command == Command::Render || o.command == Command::Play) {
    if (o.from >= end) {
      error = "--from " + std::to_string(o.from) + " is at or past the timeline's end (" + std::to_string(end) + " ms)";
      return false;
    }
    if (o.to > end) {
      complain("--to " + std::to_string(o.to) + " is past the timeline's end; stopping at " + std::to_string(end) +
               " ms");
      o.to = end;
    }
  }
  if (o.command == Command::Still && o.at > end) {
    error = "--at " + std::to_string(o.at) + " is past the timeline's end (" + std::to_string(end) + " ms)";
    return false;
  }
  if (o.command == Command::Play) return true;
  if (o.command == Command::Render && !o.framesDir.empty()) return checkFrameDirTarget(o.framesDir, error);
  std::string target = defaultTarget(o);
  if (!checkFileTarget(target, error)) return false;
  if (o.command != Command::Render) return true;
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

int runRender(const Plugin &plugin, const Timeline &timeline, const Options &o, const Audio &audio) {
  CaptureRange range = rangeOf(timeline, o);
  int64_t frames = range.frameCount();
  std::string error, target = o.framesDir.empty() ? defaultTarget(o) : o.framesDir;
  PendingFile file, sound;  // the video, and the piece of the music it carries (never kept)
  PendingFrameDir dir;
  Encoder encoder;
  std::unique_ptr<FrameSink> sink;
  if (o.framesDir.empty()) {
    bool withSound = !audio.empty();
    if (!file.create(target, error) ||
        (withSound && (!sound.create(target + ".wav", error) ||
                       !writeWav(sound.path(), audio, range.from, range.to, error))) ||
        !encoder.start(file.path(), videoFormatFor(target), o.width, o.height, o.fps, error,
                       withSound ? sound.path() : "")) {
      complain(error);
      return 1;
    }
    sink = std::make_unique<VideoSink>(encoder);
  } else {
    if (!dir.create(target, error)) {
      complain(error);
      return 1;
    }
    sink = std::make_unique<PngFrameSink>(dir);
  }

  Progress progress("render", frames);
  FrameQueue queue(*sink, static_cast<size_t>(o.width) * o.height * 4);
  auto stopping = [] { return Signals::stopRequested() != 0; };
  bool ok = true;
  for (int64_t k = 0; k < frames && ok && !stopping(); ++k) {
    renderAt(plugin, timeline, range.frameTime(k), o.width, o.height, aspectOf(o));
    ok = queue.push(k, readRawFrame(o.width, o.height), stopping);
    progress.update(k + 1);
  }
  if (stopping()) {
    encoder.kill();
    queue.abandon();
    return -1;
  }
  ok = queue.close() && ok;
  std::string finished;
  bool encoded = o.framesDir.empty() ? encoder.finish(finished) : true;
  if (!ok || !encoded) {
    // The encoder's own words say more than "stopped taking frames".
    complain(printable(target) + ": " + (!encoded ? finished : queue.error()));
    return 1;
  }
  if (!o.framesDir.empty() && !audio.empty() &&
      !writeWav(dir.path() + "/audio.wav", audio, range.from, range.to, error)) {
    complain(error);
    return 1;
  }
  if (!(o.framesDir.empty() ? file.commit(error) : dir.commit(error))) {
    complain(error);
    return 1;
  }
  complain("wrote " + std::to_string(frames) + " frames to " + printable(target));
  return 0;
}

int runStill(const Plugin &plugin, const Timeline &timeline, const Options &o) {
  CaptureRange range{0, o.at, o.fps};
  int64_t before = range.frameCount();  // the frames at times before --at
  if (!preroll(plugin, timeline, o, range, before)) return -1;
  renderAt(plugin, timeline, o.at, o.width, o.height, aspectOf(o));
  return writePngOutput(defaultTarget(o), readFramebuffer(o.width, o.height), "");
}

int runSheet(const Plugin &plugin, const Timeline &timeline, const Options &o) {
  struct Shot {
    const Block *block;
    int64_t frame;
  };
  CaptureRange range{0, timeline.duration(), o.fps};
  std::vector<Shot> shots;
  size_t drawing = 0;
  for (const Block &b : timeline.blocks) {
    if (!isDrawingWord(b.word)) continue;
    ++drawing;
    if (shots.size() == kMaxSheetThumbnails) continue;
    int64_t mid = (b.start + b.end) / 2;
    shots.push_back({&b, (mid * o.fps + 999) / 1000});  // the first frame at or after the mid-point
  }
  if (shots.empty()) {
    complain("the timeline has no drawing blocks to show");
    return 1;
  }
  if (drawing > shots.size())
    complain("the sheet shows the first " + std::to_string(shots.size()) + " of " + std::to_string(drawing) +
             " drawing blocks");
  const int columns = 4, thumbW = 256, thumbH = 192, label = 28, gap = 8;
  int rows = static_cast<int>((shots.size() + columns - 1) / columns);
  Image sheet;
  sheet.width = columns * (thumbW + gap) + gap;
  sheet.height = rows * (thumbH + label + gap) + gap;
  sheet.rgb.assign(static_cast<size_t>(sheet.width) * sheet.height * 3, 24);

  int64_t last = 0;
  for (const Shot &s : shots) last = std::max(last, s.frame);
  auto wanted = [&](int64_t k) {
    for (const Shot &s : shots)
      if (s.frame == k) return true;
    return false;
  };
  size_t placed = 0;
  Progress progress("sheet", last + 1);
  for (int64_t k = 0; k <= last; ++k) {
    if (Signals::stopRequested()) return -1;
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
      int64_t t = range.frameTime(k);
      char caption[96];
      std::snprintf(caption, sizeof caption, "%s  %lld:%02lld.%03lld", shots[i].block->word.c_str(),
                    static_cast<long long>(t / 60000), static_cast<long long>(t / 1000 % 60),
                    static_cast<long long>(t % 1000));
      const uint8_t white[3] = {230, 230, 230};
      drawText(sheet, x0 + 4, y0 + thumbH + 19, 15, caption, white);
      ++placed;
    }
  }
  return writePngOutput(defaultTarget(o), sheet, " (" + std::to_string(placed) + " thumbnails)");
}
