#include "timeline/timeline.h"

#include "host/words.h"

extern const char kDemoTimeline[];

namespace kandu {

namespace {
// The segment a moment falls in: the last that starts at or before it (the first for earlier ones).
template <typename Key> const TempoMap::Segment &segmentAt(const TempoMap &map, double at, Key key) {
  const TempoMap::Segment *found = &map.segments.front();
  for (const TempoMap::Segment &s : map.segments)
    if (at >= key(s)) found = &s;
  return *found;
}
}  // namespace

double TempoMap::msAt(double beat) const {
  const Segment &s = segmentAt(*this, beat, [](const Segment &g) { return g.beat; });
  return s.ms + (beat - s.beat) * 60000.0 / s.bpm;
}

double TempoMap::beatAt(double ms) const {
  const Segment &s = segmentAt(*this, ms, [](const Segment &g) { return g.ms; });
  return s.beat + (ms - s.ms) * s.bpm / 60000.0;
}

double TempoMap::bpmAt(double ms) const {
  return segmentAt(*this, ms, [](const Segment &g) { return g.ms; }).bpm;
}

int64_t Timeline::duration() const {
  int64_t end = silentEnd;
  for (const Block &b : blocks)
    if (b.end > end) end = b.end;
  return end;
}

const Mark *Timeline::mark(const std::string &name) const {
  for (const Mark &m : marks)
    if (m.name == name) return &m;
  return nullptr;
}

std::string freshMarkName(const std::vector<Mark> &marks) {
  for (int n = 1;; ++n) {
    const std::string name = "mark" + std::to_string(n);
    bool taken = false;
    for (const Mark &m : marks) taken = taken || m.name == name;
    if (!taken) return name;
  }
}

const Mark *neighbourMark(const std::vector<Mark> &marks, double ms, bool later) {
  const Mark *best = nullptr;
  for (const Mark &m : marks) {
    const auto at = static_cast<double>(m.ms);
    if (later ? at > ms + 0.5 && (!best || m.ms < best->ms) : at < ms - 0.5 && (!best || m.ms > best->ms)) best = &m;
  }
  return best;
}

bool markRangeAround(const std::vector<Mark> &marks, double ms, int64_t &from, int64_t &to) {
  const Mark *before = neighbourMark(marks, ms + 1, false), *after = neighbourMark(marks, ms, true);
  if (!before || !after) return false;
  from = before->ms;
  to = after->ms;
  return true;
}

std::string timelineTooLarge(const std::string &name) {
  return name + ": the timeline is larger than " + std::to_string(kMaxTimelineBytes) + " bytes";
}

const char *builtInTimelineText() { return kDemoTimeline; }


std::vector<BlockCall> scheduleAt(const Timeline &timeline, int64_t timeMs) {
  std::vector<BlockCall> calls;
  for (const Block &b : timeline.blocks) {
    if (timeMs < b.start || timeMs >= b.end) continue;
    calls.push_back({&b, std::to_string(timeMs), std::to_string(b.start) + "," + std::to_string(b.end), b.word});
  }
  return calls;
}

const std::vector<EffectWord> &effectWords() {
#define KANDU_WORD_KIND(word, name, effect, kind) {word, WordKind::kind},
  static const std::vector<EffectWord> words = {KANDU_EFFECT_WORDS(KANDU_WORD_KIND)};
#undef KANDU_WORD_KIND
  return words;
}

WordKind wordKind(const std::string &word) {
  for (const EffectWord &w : effectWords())
    if (word == w.word) return w.kind;
  return WordKind::Unknown;
}

std::string listBlocks(const Timeline &timeline) {
  std::string out;
  for (const Block &b : timeline.blocks)
    out += std::to_string(b.start) + " " + std::to_string(b.end) + " " + b.word + "\n";
  for (const Mark &m : timeline.marks) out += "mark " + std::to_string(m.ms) + " " + m.name + "\n";
  return out;
}

}  // namespace kandu
