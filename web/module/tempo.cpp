// Tempo in the web module: the detector fed a piece at a time (by the editor's worker, which posts
// its progress between pieces), tap tempo, the document's tempo line as it stands, and the text of a
// new timeline for a song: the timeline library's rules, as kandu-player's tempo and new use them.
#include <memory>
#include <string>
#include <vector>

#include "timeline/first_cut.h"
#include "timeline/tempo_detect.h"
#include "web/module/api.h"
#include "web/module/page.h"

namespace {

using namespace kandu;

std::unique_ptr<TempoDetector> gDetector;
TempoEstimate gEstimate;
std::string gText;
double gNumbers[4];

}  // namespace

void kandu_tempo_begin(int rate) {
  gDetector = std::make_unique<TempoDetector>(rate);
  gEstimate = TempoEstimate{};
}

void kandu_tempo_feed(const float *mono, int count) {
  if (gDetector && mono && count > 0) gDetector->feed(mono, static_cast<size_t>(count));
}

namespace {

const double *numbers() {
  gNumbers[0] = gEstimate.steady ? 1 : 0;
  gNumbers[1] = gEstimate.bpm;
  gNumbers[2] = gEstimate.firstBeatMs;
  gNumbers[3] = gEstimate.confidence;
  return gNumbers;
}

}  // namespace

const double *kandu_tempo_so_far() {
  if (gDetector) gEstimate = gDetector->finish();
  return numbers();
}

const double *kandu_tempo_finish() {
  if (gDetector) gEstimate = gDetector->finish();
  gDetector.reset();
  return numbers();
}

const char *kandu_tempo_how_sure(double confidence) {
  gText = howSure(confidence);
  return gText.c_str();
}

const char *kandu_tempo_line(double bpm, double firstBeatMs) {
  TempoEstimate e;
  e.steady = true;
  e.bpm = bpm;
  e.firstBeatMs = firstBeatMs;
  gText = tempoLine(e);
  return gText.c_str();
}

const char *kandu_tempo_why() { return gEstimate.why.c_str(); }

const char *kandu_tempo_new_timeline(const char *musicName, int steady, double bpm, double firstBeatMs,
                                     double confidence, const char *why) {
  TempoEstimate e;
  e.steady = steady != 0;
  e.bpm = bpm;
  e.firstBeatMs = firstBeatMs;
  e.confidence = confidence;
  e.why = why ? why : "";
  gText = newTimelineText(musicName ? musicName : "", e);
  return gText.c_str();
}

const char *kandu_first_cut(const float *mono12k, int count, double bpm, double firstBeatMs, const char *pulses) {
  TempoEstimate tempo;
  tempo.steady = bpm > 0;
  tempo.bpm = bpm;
  tempo.firstBeatMs = firstBeatMs;
  std::vector<std::string> words;
  for (const char *p = pulses ? pulses : ""; *p;) {
    const char *comma = p;
    while (*comma && *comma != ',') ++comma;
    if (comma > p) words.emplace_back(p, comma);
    p = *comma ? comma + 1 : comma;
  }
  const size_t n = mono12k && count > 0 ? static_cast<size_t>(count) : 0;
  gText = firstCutLines(findSections(mono12k, n, 12000, tempo), tempo, words);
  return gText.c_str();
}

const double *kandu_tap_fit(const double *ms, int count) {
  const TapFit fit = fitTaps(ms, ms && count > 0 ? static_cast<size_t>(count) : 0);
  gNumbers[0] = fit.ok ? 1 : 0;
  gNumbers[1] = fit.bpm;
  gNumbers[2] = fit.firstMs;
  gNumbers[3] = fit.taps;
  return gNumbers;
}

double kandu_tap_first_beat(double firstTapMusicMs, double firstTapClockMs, double fitFirstMs, double bpm) {
  return bpm > 0 ? tapFirstBeatMs(firstTapMusicMs, firstTapClockMs, fitFirstMs, bpm) : 0;
}

const double *kandu_doc_tempo_now() {
  const Timeline &t = documentTimeline();
  gNumbers[0] = t.bpm > 0 ? 1 : 0;
  gNumbers[1] = t.bpm;
  gNumbers[2] = static_cast<double>(t.beatOffset);
  gNumbers[3] = 0;
  return gNumbers;
}
