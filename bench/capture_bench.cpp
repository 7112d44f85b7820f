// The capture of the default demo at 1024 × 768, 60 fps, stage by stage and whole, in one run:
// render only, read-back, conversion to YUV 4:2:0, encoding alone (pre-converted frames from a
// file) and the full capture by kandu-player. Each stage's wall time and CPU time (user + system,
// all threads and child processes) is printed, then the bound that N cores put on the capture:
// the larger of the render-only wall time and the CPU time of all stages divided by N.
//   kandu_capture_bench [FRAMES [PLAYER...]]
// FRAMES 0 means every frame of the demo (the default); each further PLAYER (another build of
// kandu-player, say the one before a change) is timed on the same full capture for comparison.
#include <GL/gl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "media/encoder.h"
#include "player/headless.h"
#include "media/image.h"
#include "player/plugin.h"
#include "player/readback.h"
#include "media/sinks.h"
#include "timeline/document.h"
#include "timeline/timeline.h"
#include "tests/support/process.h"

using namespace kandu;

namespace {

const int kWidth = 1024, kHeight = 768, kFps = 60;

double cpuSeconds(int who) {
  rusage u{};
  getrusage(who, &u);
  return u.ru_utime.tv_sec + u.ru_stime.tv_sec + (u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

struct Stage {
  const char *name;
  double wall = 0, cpu = 0;
};

// Measures `work` in wall time and in the CPU time of this process and its waited-for children.
template <typename Work> Stage measure(const char *name, Work work) {
  using Clock = std::chrono::steady_clock;
  double cpu0 = cpuSeconds(RUSAGE_SELF) + cpuSeconds(RUSAGE_CHILDREN);
  Clock::time_point start = Clock::now();
  work();
  Stage s{name};
  s.wall = std::chrono::duration<double>(Clock::now() - start).count();
  s.cpu = cpuSeconds(RUSAGE_SELF) + cpuSeconds(RUSAGE_CHILDREN) - cpu0;
  std::printf("%-22s %8.2f s wall %8.2f s CPU\n", name, s.wall, s.cpu);
  std::fflush(stdout);
  return s;
}

void render(const Plugin &plugin, const Timeline &demo, int64_t k) {
  int64_t t = k * 1000 / kFps;
  setHostTime(static_cast<uint32_t>(t));
  renderFrame(plugin, demo, t, kWidth, kHeight, double(kWidth) / kHeight);
}

}  // namespace

int main(int argc, char **argv) {
  const Timeline &demo = builtInTimeline();
  int64_t frames = (demo.duration() * kFps + 999) / 1000;
  if (argc > 1 && std::atoll(argv[1]) > 0) frames = std::min<int64_t>(frames, std::atoll(argv[1]));
  HeadlessContext context;
  Plugin plugin;
  std::string error;
  if (!context.create(kWidth, kHeight, error) || !plugin.load(KANDU_PLUGIN, error)) {
    std::fprintf(stderr, "capture_bench: %s\n", error.c_str());
    return 1;
  }
  setHostTime(0);
  initPlugin(plugin);
  unsigned cores = std::thread::hardware_concurrency();
  std::printf("default demo: %lld frames at %dx%d, %d fps, %u cores\n", static_cast<long long>(frames), kWidth,
              kHeight, kFps, cores);

  // The frames the later stages work on, converted outside any timing into a scratch file.
  char dir[] = "/tmp/kandu-bench-XXXXXX";
  if (!mkdtemp(dir)) return 1;
  const std::string yuvPath = std::string(dir) + "/demo.yuv", videoPath = std::string(dir) + "/demo.mp4";
  std::vector<Stage> stages;
  {
    FILE *out = std::fopen(yuvPath.c_str(), "wb");
    std::vector<uint8_t> yuv;
    stages.push_back(measure("render only", [&] {
      for (int64_t k = 0; k < frames; ++k) {
        render(plugin, demo, k);
        glFinish();
      }
    }));
    for (int64_t k = 0; k < frames; ++k) {  // untimed: the converted frames for the encoder alone
      render(plugin, demo, k);
      convertToI420(readRawFrame(kWidth, kHeight), yuv);
      std::fwrite(yuv.data(), 1, yuv.size(), out);
    }
    std::fclose(out);
  }
  // Read-back and conversion of the last frame, as many times as there are frames.
  RawFrame frame;
  stages.push_back(measure("read-back", [&] {
    for (int64_t k = 0; k < frames; ++k) frame = readRawFrame(kWidth, kHeight);
  }));
  std::vector<uint8_t> yuv;
  stages.push_back(measure("conversion (libyuv)", [&] {
    for (int64_t k = 0; k < frames; ++k) convertToI420(frame, yuv);
  }));
  stages.push_back(measure("encoding alone", [&] {
    Encoder encoder;
    std::string why;
    if (!encoder.start(videoPath, "mp4", kWidth, kHeight, kFps, "", why)) return;
    FILE *in = std::fopen(yuvPath.c_str(), "rb");
    std::vector<uint8_t> buffer(size_t(kWidth) * kHeight * 3 / 2);
    while (std::fread(buffer.data(), 1, buffer.size(), in) == buffer.size()) encoder.write(buffer.data(), buffer.size());
    std::fclose(in);
    if (!encoder.finish(why)) std::fprintf(stderr, "capture_bench: %s\n", why.c_str());
  }));
  std::remove(yuvPath.c_str());
  auto captureWith = [&](const std::string &player) {
    return [&, player] {
      std::vector<std::string> args = {player, "render", "--to", std::to_string(frames * 1000 / kFps),
                                       "--out", videoPath};
      if (runProgram(args).status != 0) std::fprintf(stderr, "capture_bench: the capture with %s failed\n", player.c_str());
    };
  };
  Stage capture = measure("full capture", captureWith(KANDU_PLAYER));
  std::remove(videoPath.c_str());
  for (int i = 2; i < argc; ++i) {
    std::printf("  compared: %s\n", argv[i]);
    Stage other = measure("full capture (other)", captureWith(argv[i]));
    std::printf("  other / render only  %8.3f\n", other.wall / stages[0].wall);
    std::remove(videoPath.c_str());
  }
  rmdir(dir);

  double cpu = 0;
  for (const Stage &s : stages) cpu += s.cpu;
  double bound = std::max(stages[0].wall, cpu / cores);
  std::printf("bound on %u cores       %8.2f s (max of render-only wall, %.2f s CPU / %u)\n", cores, bound, cpu, cores);
  std::printf("capture / render only  %8.3f\n", capture.wall / stages[0].wall);
  std::printf("capture / bound        %8.3f\n", capture.wall / bound);
  return 0;
}
