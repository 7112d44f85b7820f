#include "player/capture.h"

#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <deque>
#include <memory>
#include <mutex>
#include <thread>

#include "player/image.h"
#include "player/text.h"

int64_t CaptureRange::frameCount() const { return ((to - from) * fps + 999) / 1000; }
int64_t CaptureRange::frameTime(int64_t k) const { return from + k * 1000 / fps; }

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

// Where captured frames go. write() runs on the worker thread.
class FrameSink {
 public:
  virtual ~FrameSink() = default;
  virtual bool write(int64_t index, const RawFrame &frame, std::string &error) = 0;
  virtual bool finish(std::string &error) = 0;
};

class PngFrames : public FrameSink {
 public:
  explicit PngFrames(std::string dir) : dir_(std::move(dir)) {}
  bool write(int64_t index, const RawFrame &frame, std::string &error) override {
    Image image = toImage(frame);
    char name[32];
    std::snprintf(name, sizeof name, "/frame_%06lld.png", static_cast<long long>(index));
    std::string why;
    if (writePng(dir_ + name, image, &why)) return true;
    error = dir_ + name + ": " + why;
    return false;
  }
  bool finish(std::string &) override { return true; }

 private:
  std::string dir_;
};

class FfmpegVideo : public FrameSink {
 public:
  bool open(const std::string &path, int width, int height, int fps, std::string &error) {
    path_ = path;
    std::string command = "nice -n 10 ffmpeg -hide_banner -loglevel error -y -f rawvideo -pix_fmt bgra -s " +
                          std::to_string(width) + "x" + std::to_string(height) + " -framerate " + std::to_string(fps) +
                          " -i - -c:v libx264 -preset ultrafast -threads 1 -crf 18 -pix_fmt yuv420p -movflags +faststart '" +
                          path + "'";
    pipe_ = popen(command.c_str(), "w");
    if (!pipe_) error = "cannot start ffmpeg";
    return pipe_ != nullptr;
  }
  // Rows go out top row first; GL hands them over bottom row first.
  bool write(int64_t, const RawFrame &frame, std::string &error) override {
    size_t row = static_cast<size_t>(frame.width) * 4;
    for (int y = frame.height - 1; y >= 0; --y)
      if (std::fwrite(&frame.bgra[static_cast<size_t>(y) * row], 1, row, pipe_) != row) {
        error = "ffmpeg stopped taking frames for " + path_;
        return false;
      }
    return true;
  }
  bool finish(std::string &error) override {
    int status = pclose(pipe_);
    pipe_ = nullptr;
    if (status == 0) return true;
    error = "ffmpeg failed to write " + path_;
    return false;
  }
  ~FfmpegVideo() override {
    if (pipe_) pclose(pipe_);
  }

 private:
  FILE *pipe_ = nullptr;
  std::string path_;
};

// Encoding runs on a worker thread while the next frames render. Up to 16 frames wait (about 50 MB
// at 1024 × 768), enough for the encoder to catch up in cheap stretches, bounded when it is slower.
class FrameWriter {
 public:
  explicit FrameWriter(FrameSink &sink) : sink_(sink), worker_([this] { run(); }) {}
  ~FrameWriter() { close(); }

  bool push(int64_t index, RawFrame frame) {
    std::unique_lock<std::mutex> lock(mutex_);
    space_.wait(lock, [this] { return queue_.size() < 16 || failed_; });
    if (failed_) return false;
    queue_.push_back({index, std::move(frame)});
    ready_.notify_one();
    return true;
  }

  bool close() {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      if (closed_) return !failed_;
      closed_ = true;
      ready_.notify_one();
    }
    worker_.join();
    return !failed_;
  }
  const std::string &error() const { return error_; }

 private:
  void run() {
    for (;;) {
      std::pair<int64_t, RawFrame> item;
      {
        std::unique_lock<std::mutex> lock(mutex_);
        ready_.wait(lock, [this] { return !queue_.empty() || closed_; });
        if (queue_.empty()) break;
        item = std::move(queue_.front());
        queue_.pop_front();
        space_.notify_one();
      }
      std::string why;
      if (!failed_ && !sink_.write(item.first, item.second, why)) {
        std::lock_guard<std::mutex> lock(mutex_);
        failed_ = true;
        error_ = why;
        space_.notify_all();
      }
    }
  }

  FrameSink &sink_;
  std::mutex mutex_;
  std::condition_variable ready_, space_;
  std::deque<std::pair<int64_t, RawFrame>> queue_;
  bool closed_ = false;
  bool failed_ = false;
  std::string error_;
  std::thread worker_;
};

// A progress bar on a terminal, a plain line every tenth otherwise.
class Progress {
 public:
  explicit Progress(int64_t total) : total_(total), tty_(isatty(STDERR_FILENO)), start_(Clock::now()) {}
  void update(int64_t done) {
    double elapsed = std::chrono::duration<double>(Clock::now() - start_).count();
    double fps = elapsed > 0 ? done / elapsed : 0.0;
    double left = fps > 0 ? (total_ - done) / fps : 0.0;
    int percent = total_ > 0 ? static_cast<int>(100 * done / total_) : 100;
    if (tty_) {
      int filled = percent * 30 / 100;
      std::fprintf(stderr, "\r[%.*s%.*s] %3d%% %lld/%lld frames  %5.1f fps  %3.0f s left ", filled,
                   "##############################", 30 - filled, "..............................", percent,
                   static_cast<long long>(done), static_cast<long long>(total_), fps, left);
      if (done == total_) std::fputc('\n', stderr);
    } else if (percent / 10 != lastTenth_ || done == total_) {
      lastTenth_ = percent / 10;
      std::fprintf(stderr, "frame %lld/%lld (%d%%), %.1f fps\n", static_cast<long long>(done),
                   static_cast<long long>(total_), percent, fps);
    }
    std::fflush(stderr);
  }

 private:
  using Clock = std::chrono::steady_clock;
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

// Frames before the one wanted, from the start of the timeline, drawn into a small corner without
// read-back: the water steps once per frame and must have stepped as often as in a full render.
const int kPrerollWidth = 64;
const int kPrerollHeight = 48;

}  // namespace

int runRender(const Plugin &plugin, const Timeline &timeline, const Options &o) {
  CaptureRange range = rangeOf(timeline, o);
  if (range.to <= range.from) {
    std::fprintf(stderr, "kandu-player: nothing to render: the range %lld..%lld ms is empty\n",
                 static_cast<long long>(range.from), static_cast<long long>(range.to));
    return 1;
  }
  std::unique_ptr<FrameSink> sink;
  std::string error, target;
  bool video = o.framesDir.empty() && onPath("ffmpeg");
  if (video) {
    target = o.outPath.empty() ? "out/kandu.mp4" : o.outPath;
    auto ffmpeg = std::make_unique<FfmpegVideo>();
    if (!makeParentDirs(target) || !ffmpeg->open(target, o.width, o.height, o.fps, error)) {
      std::fprintf(stderr, "kandu-player: %s: %s\n", target.c_str(), error.empty() ? "cannot create" : error.c_str());
      return 1;
    }
    sink = std::move(ffmpeg);
  } else {
    target = o.framesDir.empty() ? "out/frames" : o.framesDir;
    if (o.framesDir.empty()) std::fprintf(stderr, "kandu-player: ffmpeg not found; writing PNG frames into %s\n", target.c_str());
    if (!makeParentDirs(target + "/x")) {
      std::fprintf(stderr, "kandu-player: %s: cannot create the directory\n", target.c_str());
      return 1;
    }
    sink = std::make_unique<PngFrames>(target);
  }

  int64_t frames = range.frameCount();
  Progress progress(frames);
  FrameWriter writer(*sink);
  bool ok = true;
  for (int64_t k = 0; k < frames && ok; ++k) {
    renderAt(plugin, timeline, range.frameTime(k), o.width, o.height, aspectOf(o));
    ok = writer.push(k, readRawFrame(o.width, o.height));
    progress.update(k + 1);
  }
  ok = writer.close() && ok;
  if (!ok || !sink->finish(error)) {
    std::fprintf(stderr, "kandu-player: %s\n", !writer.error().empty() ? writer.error().c_str() : error.c_str());
    return 1;
  }
  std::fprintf(stderr, "kandu-player: wrote %lld frames to %s\n", static_cast<long long>(frames), target.c_str());
  return 0;
}

int runStill(const Plugin &plugin, const Timeline &timeline, const Options &o) {
  CaptureRange range{0, o.at, o.fps};
  for (int64_t k = 0; range.frameTime(k) < o.at; ++k)
    renderAt(plugin, timeline, range.frameTime(k), kPrerollWidth, kPrerollHeight, aspectOf(o));
  renderAt(plugin, timeline, o.at, o.width, o.height, aspectOf(o));
  std::string target = o.outPath.empty() ? "out/still.png" : o.outPath, why;
  if (!makeParentDirs(target) || !writePng(target, readFramebuffer(o.width, o.height), &why)) {
    std::fprintf(stderr, "kandu-player: %s: %s\n", target.c_str(), why.empty() ? "cannot create" : why.c_str());
    return 1;
  }
  std::fprintf(stderr, "kandu-player: wrote %s\n", target.c_str());
  return 0;
}

int runSheet(const Plugin &plugin, const Timeline &timeline, const Options &o) {
  struct Shot {
    const Block *block;
    int64_t frame;
  };
  CaptureRange range{0, timeline.duration(), o.fps};
  std::vector<Shot> shots;
  for (const Block &b : timeline.blocks) {
    if (!isDrawingWord(b.word)) continue;
    int64_t mid = (b.start + b.end) / 2;
    shots.push_back({&b, (mid * o.fps + 999) / 1000});  // the first frame at or after the mid-point
  }
  if (shots.empty()) {
    std::fprintf(stderr, "kandu-player: the timeline has no drawing blocks to show\n");
    return 1;
  }
  const int columns = 4, thumbW = 256, thumbH = 192, label = 28, gap = 8;
  int rows = static_cast<int>((shots.size() + columns - 1) / columns);
  Image sheet;
  sheet.width = columns * (thumbW + gap) + gap;
  sheet.height = rows * (thumbH + label + gap) + gap;
  sheet.rgb.assign(static_cast<size_t>(sheet.width) * sheet.height * 3, 24);

  int64_t last = 0;
  for (const Shot &s : shots) last = std::max(last, s.frame);
  size_t placed = 0;
  for (int64_t k = 0; k <= last; ++k) {
    bool wanted = false;
    for (const Shot &s : shots) wanted = wanted || s.frame == k;
    if (!wanted) {
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
  std::string target = o.outPath.empty() ? "out/sheet.png" : o.outPath, why;
  if (!makeParentDirs(target) || !writePng(target, sheet, &why)) {
    std::fprintf(stderr, "kandu-player: %s: %s\n", target.c_str(), why.empty() ? "cannot create" : why.c_str());
    return 1;
  }
  std::fprintf(stderr, "kandu-player: wrote %s (%zu thumbnails)\n", target.c_str(), placed);
  return 0;
}
