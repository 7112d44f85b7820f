// kandu_bench: how long the intro takes on the headless driver at 1024 × 768.
//
//   build/bench/kandu_bench                          all benchmarks
//   build/bench/kandu_bench --benchmark_filter=Effect
//
// Frame times include glFinish, so they are what a window or a capture waits for.
#include <GL/gl.h>
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>

#include "player/headless.h"
#include "player/plugin.h"
#include "timeline/document.h"
#include "timeline/timeline.h"

using namespace kandu;

namespace {
const int kWidth = 1024, kHeight = 768;

struct Host {
  HeadlessContext context;
  Plugin plugin;
  double initMs = 0;
  bool ready = false;

  Host() {
    std::string error;
    if (!context.create(kWidth, kHeight, error) || !plugin.load(KANDU_PLUGIN, error)) {
      std::fprintf(stderr, "kandu_bench: %s\n", error.c_str());
      return;
    }
    setHostTime(0);
    auto start = std::chrono::steady_clock::now();
    plugin.InitDLL(0);
    glFinish();
    initMs = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
    ready = true;
  }
};

Host &host() {
  static Host h;
  return h;
}

void BM_InitDLL(benchmark::State &state) {
  Host &h = host();
  if (!h.ready) return state.SkipWithError("no headless GL context or plug-in");
  for (auto _ : state) state.SetIterationTime(h.initMs / 1000.0);  // InitDLL runs once per process
  state.counters["ms"] = h.initMs;
}
BENCHMARK(BM_InitDLL)->UseManualTime()->Iterations(1)->Unit(benchmark::kMillisecond);

// One effect word as a host plays it: a 10 s block, a frame every 16 ms.
void BM_Effect(benchmark::State &state, const char *word) {
  Host &h = host();
  if (!h.ready) return state.SkipWithError("no headless GL context or plug-in");
  Timeline timeline;
  std::string error;
  parseTimeline(std::string("0 10000 ") + word + "\n", "bench", timeline, error);
  int64_t t = 0;
  for (auto _ : state) {
    setHostTime(static_cast<uint32_t>(t));
    renderFrame(h.plugin, timeline, t, kWidth, kHeight, double(kWidth) / kHeight);
    glFinish();
    t = (t + 16) % 10000;
  }
}

// Every frame of the default demo at 60 fps, rendered and finished but not read back or encoded.
void BM_DemoRenderOnly(benchmark::State &state) {
  Host &h = host();
  if (!h.ready) return state.SkipWithError("no headless GL context or plug-in");
  const Timeline &demo = builtInTimeline();
  int64_t frames = (demo.duration() * 60 + 999) / 1000;
  for (auto _ : state) {
    for (int64_t k = 0; k < frames; ++k) {
      int64_t t = k * 1000 / 60;
      setHostTime(static_cast<uint32_t>(t));
      renderFrame(h.plugin, demo, t, kWidth, kHeight, double(kWidth) / kHeight);
      glFinish();
    }
  }
  state.counters["frames"] = static_cast<double>(frames);
}
BENCHMARK(BM_DemoRenderOnly)->Iterations(1)->Unit(benchmark::kSecond);
}  // namespace

int main(int argc, char **argv) {
  // One benchmark per drawing word, in the order the words are listed.
  for (const EffectWord &w : effectWords())
    if (w.kind == WordKind::Drawing)
      benchmark::RegisterBenchmark((std::string("BM_Effect/") + w.word).c_str(), BM_Effect, w.word)
          ->Unit(benchmark::kMillisecond);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  return 0;
}
