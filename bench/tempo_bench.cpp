// The tempo detector on ten minutes of a drum loop at 128 BPM (48 kHz mono), as kandu-player tempo
// and the editor's worker run it: fed a second at a time, then finished.
#include <benchmark/benchmark.h>

#include <vector>

#include "tests/support/songs.h"
#include "timeline/tempo_detect.h"

using namespace kandu;

namespace {

void BM_TenMinutesDetected(benchmark::State &state) {
  songs::Song song;
  song.bpm = 128;
  song.seconds = 600;
  const std::vector<float> sound = songs::make(song);
  for (auto _ : state) {
    TempoDetector detector(48000);
    for (size_t at = 0; at < sound.size(); at += 48000) detector.feed(sound.data() + at, std::min<size_t>(48000, sound.size() - at));
    const TempoEstimate t = detector.finish();
    state.counters["BPM found"] = t.bpm;
  }
}
BENCHMARK(BM_TenMinutesDetected)->Unit(benchmark::kMillisecond)->Iterations(3);

}  // namespace

BENCHMARK_MAIN();
