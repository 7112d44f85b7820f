// The tempo detector on ten minutes of a drum loop at 128 BPM (48 kHz mono), as kandu-player tempo
// and the editor's worker run it: fed a second at a time, then finished. And `kandu-player tempo`
// on ten minutes of FLAC (44.1 kHz stereo, the loop under a little noise so that decoding it is
// real work), decoding included: the figure a user waits for.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "tests/support/process.h"
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

void BM_PlayerTempoOnTenMinutesOfFlac(benchmark::State &state) {
  const std::string dir = std::string(std::getenv("TMPDIR") ? std::getenv("TMPDIR") : "/tmp") + "/kandu-bench";
  const std::string wav = dir + "/loop-ten-minutes.wav", flac = dir + "/loop-ten-minutes.flac";
  runProgram({"mkdir", "-p", dir});
  if (runProgram({"test", "-s", flac}).status != 0) {
    songs::Song song;
    song.bpm = 128;
    song.seconds = 600;
    songs::writeWav(wav, songs::make(song));
    runProgram({"ffmpeg", "-v", "error", "-y", "-i", wav, "-f", "lavfi", "-i", "anoisesrc=a=0.01:r=44100:d=600", "-filter_complex",
                "[0][1]amix=inputs=2:normalize=0,aresample=44100", "-ac", "2", "-c:a", "flac", flac});
    runProgram({"rm", "-f", wav});
  }
  for (auto _ : state) {
    const Outcome out = runProgram({KANDU_PLAYER, "tempo", flac});
    if (out.status != 0 || out.output.rfind("tempo 128.00", 0) != 0) state.SkipWithError(("tempo: " + out.output).c_str());
  }
}
BENCHMARK(BM_PlayerTempoOnTenMinutesOfFlac)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
