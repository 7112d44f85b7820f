// The editor's rules, from the timeline library: the effect words and the document's beat grid.
#include <cmath>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "timeline/document.h"
#include "timeline/grid.h"
#include "timeline/timeline.h"
#include "web/module/api.h"
#include "web/module/page.h"

namespace {

using namespace kandu;

std::vector<double> gLines;

Grid grid(double fraction) { return Grid(documentTimeline().tempo, fraction); }

const double *linesOut(const std::vector<Grid::Line> &lines, int *count) {
  gLines.clear();
  for (const Grid::Line &l : lines) gLines.insert(gLines.end(), {l.ms, l.beat, static_cast<double>(l.strength)});
  *count = static_cast<int>(lines.size());
  return gLines.data();
}

bool inRange(int index) { return index >= 0 && static_cast<size_t>(index) < effectWords().size(); }

}  // namespace

int kandu_word_count() { return static_cast<int>(effectWords().size()); }
const char *kandu_word_name(int index) { return inRange(index) ? effectWords()[static_cast<size_t>(index)].word : ""; }
int kandu_word_kind(int index) {
  return inRange(index) ? static_cast<int>(effectWords()[static_cast<size_t>(index)].kind) : -1;
}

int kandu_grid_has_tempo() { return documentTimeline().tempo.empty() ? 0 : 1; }
double kandu_grid_tempo_key() {
  uint64_t hash = 1469598103934665603ull;  // FNV-1a over the segments' numbers
  for (const TempoMap::Segment &s : documentTimeline().tempo.segments)
    for (double value : {s.beat, s.ms, s.bpm}) {
      unsigned char bytes[sizeof value];
      std::memcpy(bytes, &value, sizeof value);
      for (unsigned char b : bytes) hash = (hash ^ b) * 1099511628211ull;
    }
  return static_cast<double>(hash >> 11);  // exact in a double
}
const char *kandu_grid_time_text(double ms) {
  static std::string text;
  const TempoMap &tempo = documentTimeline().tempo;
  text = tempo.empty() ? std::to_string(std::llround(ms)) + " ms"
                       : formatNumber(std::round(tempo.beatAt(ms) * 1000) / 1000) + "b";
  return text.c_str();
}
double kandu_grid_ms_at(double beat) { return grid(1).msAt(beat); }
double kandu_grid_beat_at(double ms) { return grid(1).beatAt(ms); }
double kandu_grid_later(double ms, double beats) { return grid(1).later(ms, beats); }
double kandu_grid_step(double atMs, double fraction) { return grid(fraction).stepMs(atMs); }
double kandu_grid_snap(double ms, double fraction) { return grid(fraction).snap(ms); }
double kandu_grid_snap_move(double atMs, double deltaMs, double fraction) {
  return grid(fraction).snapMove(atMs, deltaMs);
}
double kandu_grid_drag_edge(double start, double end, int isStart, double ms, int free, double fraction) {
  return grid(fraction).dragEdge(start, end, isStart != 0, ms, free != 0);
}
const double *kandu_grid_lines(double fromMs, double toMs, double fraction, double minStepMs, double minBeatMs,
                               int *count) {
  return linesOut(grid(fraction).lines(fromMs, toMs, minStepMs, minBeatMs), count);
}
const double *kandu_grid_ticks(double fromMs, double toMs, double minGapMs, int *count) {
  return linesOut(grid(1).ticks(fromMs, toMs, minGapMs), count);
}
