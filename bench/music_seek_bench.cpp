// What a seek into long music costs: a ten-minute FLAC (44.1 kHz stereo, resampled to 48 kHz as
// the player plays it), opened and read for a tenth of a second at 1 s and at 9 minutes, as
// `render --from` starts; and, already playing from the start, a jump there, as `play` seeks.
// The two positions should cost about the same: the demuxer seeks, nothing before is decoded.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "media/audio.h"
#include "bench/ten_minutes.h"

using namespace kandu;

namespace {

const std::string &tenMinutes() { return tenMinutesOfFlac(); }

std::unique_ptr<AudioSource> openOrSkip(benchmark::State &state) {
  std::unique_ptr<AudioSource> music;
  std::string error;
  if (!openMusic(tenMinutes(), music, error)) state.SkipWithError(error.c_str());
  return music;
}

// render --from MS: the music opened, then read from MS.
void BM_OpenAndReadAt(benchmark::State &state) {
  const int64_t first = state.range(0) * kAudioRate / 1000;
  std::vector<float> out(kAudioRate / 10 * kAudioChannels);
  std::string error;
  for (auto _ : state) {
    std::unique_ptr<AudioSource> music = openOrSkip(state);
    if (!music || !music->read(first, out.data(), kAudioRate / 10, error)) break;
    benchmark::DoNotOptimize(out.data());
  }
}
BENCHMARK(BM_OpenAndReadAt)->Arg(1000)->Arg(540000)->Unit(benchmark::kMillisecond);

// play's seek: playing near the start, then a jump to MS.
void BM_JumpWhilePlaying(benchmark::State &state) {
  const int64_t first = state.range(0) * kAudioRate / 1000;
  std::vector<float> out(kAudioRate / 10 * kAudioChannels);
  std::string error;
  for (auto _ : state) {
    state.PauseTiming();
    std::unique_ptr<AudioSource> music = openOrSkip(state);
    const bool ok = music && music->read(kAudioRate / 2, out.data(), kAudioRate / 10, error);
    state.ResumeTiming();
    if (!ok || !music->read(first, out.data(), kAudioRate / 10, error)) break;
    benchmark::DoNotOptimize(out.data());
  }
}
BENCHMARK(BM_JumpWhilePlaying)->Arg(5000)->Arg(540000)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char **argv) {
  tenMinutes();  // made once, before anything is timed
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  return 0;
}
