// What the studio spends before a page can draw the waveform of ten minutes of music: the FLAC
// decoded to its end and its peaks worked out (StudioMusic), and the peaks' bytes as they are sent.
// The page's side of the same, in a browser, is bench/studio_waveform.py.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <string>

#include "studio/music.h"
#include "bench/ten_minutes.h"

using namespace kandu;

namespace {

const std::string &tenMinutes() { return tenMinutesOfFlac(); }

void BM_TenMinutesDecodedToPeaks(benchmark::State &state) {
  for (auto _ : state) {
    StudioMusic music;
    music.use(tenMinutes());
    std::shared_ptr<const DecodedMusic> decoded = music.get(std::chrono::minutes(5), true);
    if (!decoded || !decoded->ok) {
      state.SkipWithError(decoded ? decoded->error.c_str() : "not decoded in 5 minutes");
      break;
    }
    state.counters["peak bytes"] = static_cast<double>(decoded->peaks.size() * sizeof(float));
    state.counters["seconds of music"] = static_cast<double>(decoded->frames) / kAudioRate;
  }
}
BENCHMARK(BM_TenMinutesDecodedToPeaks)->Unit(benchmark::kMillisecond)->Iterations(3);

// What the page waits for before it can draw: the first piece of peaks (about a second of music).
void BM_FirstPeaks(benchmark::State &state) {
  for (auto _ : state) {
    StudioMusic music;
    music.use(tenMinutes());
    std::shared_ptr<const DecodedMusic> first = music.get(std::chrono::minutes(1));
    if (!first || !first->ok) {
      state.SkipWithError("no peaks");
      break;
    }
    state.counters["seconds of music"] = static_cast<double>(first->frames) / kAudioRate;
  }
}
BENCHMARK(BM_FirstPeaks)->Unit(benchmark::kMillisecond)->Iterations(5);

}  // namespace

BENCHMARK_MAIN();
