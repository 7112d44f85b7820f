// Timelines: blocks of effect words in milliseconds, and which of them a frame plays.
//
// One block per line: START END WORD, e.g. "1000 2000 cube_thing". '#' starts a comment; blank
// lines are allowed. "tempo BPM [OFFSET]" lets later times be written in beats ("16b"), a block
// followed by "every PERIOD until TIME" repeats, and "music PATH" names the soundtrack. A block
// plays at time t when START <= t < END; blocks overlap freely and play in file order. A line
// "tempo BPM from TIME" changes the tempo from TIME on (beats count on across the change).
//
// This is the expanded form both hosts play from; timeline/document.h keeps the text as written,
// parses it and edits it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace kandu {

// Limits that keep a hostile or mistaken timeline from asking for unbounded work: the file's size,
// the number of blocks, how many play at one moment, and the latest time (an hour of demo).
const size_t kMaxTimelineBytes = 1u << 20;
const size_t kMaxTimelineBlocks = 4096;
const size_t kMaxActiveBlocks = 64;
const int64_t kMaxTimelineMs = 3600000;
// "NAME: the timeline is larger than 1048576 bytes", for a file refused by its size alone (`name`
// already printable).
std::string timelineTooLarge(const std::string &name);

// How beats become milliseconds: "tempo BPM [OFFSET]" starts a map (beat 0 at OFFSET ms), and
// "tempo BPM from TIME" changes the tempo from that moment on, the beats counting on across it.
struct TempoMap {
  struct Segment {
    double beat = 0;  // where it starts, in beats and in milliseconds
    double ms = 0;
    double bpm = 0;
  };
  std::vector<Segment> segments;  // in order of time; empty: no tempo

  bool empty() const { return segments.empty(); }
  // Beats before the first segment count back at its tempo.
  double msAt(double beat) const;
  double beatAt(double ms) const;
  double bpmAt(double ms) const;
};

struct Block {
  int64_t start = 0;
  int64_t end = 0;
  std::string word;
  int line = 0;  // the line of the file it comes from, from 1
};

// A named moment: a 'mark TIME NAME' line (the parts of the song: intro, drop, break).
struct Mark {
  int64_t ms = 0;
  std::string name;
  int line = 0;
};

struct Timeline {
  std::string source;  // the file name, or "<built-in demo>"
  std::vector<Block> blocks;
  std::vector<Mark> marks;  // in file order; each name once
  std::string music;   // from a 'music PATH' line, as written; empty: none
  double bpm = 0;      // from the last 'tempo BPM [OFFSET]' line; 0: none
  int64_t beatOffset = 0;
  TempoMap tempo;      // the beats at the end of the file, tempo changes included
  int64_t silentEnd = 0;  // a timeline without blocks lasts as long as its music (set by a host)

  int64_t duration() const;  // the latest end, or silentEnd when that is later
  const Mark *mark(const std::string &name) const;  // null when there is none of that name
  // Nothing written yet but comments: no block, no tempo, no music (what a song dropped on an
  // editor turns into a new timeline).
  bool blank() const { return blocks.empty() && bpm <= 0 && music.empty(); }
};

// The marks as the editor moves between them. The name a new mark gets: "mark" and the lowest
// number no mark has.
std::string freshMarkName(const std::vector<Mark> &marks);
// The nearest mark before `ms` (more than half a millisecond before it) or, `later`, after it (more
// than half a millisecond after); null when there is none.
const Mark *neighbourMark(const std::vector<Mark> &marks, double ms, bool later);
// The marks around `ms`: the last at or before it (within half a millisecond) and the first after
// it; false when either is missing.
bool markRangeAround(const std::vector<Mark> &marks, double ms, int64_t &from, int64_t &to);

// Parsing a timeline, and the built-in demo parsed, are timeline/document.h's.
// The default demo as written, built in from timelines/demo.timeline.
const char *builtInTimelineText();
const char *const kBuiltInSource = "<built-in demo>";

// The three parameter texts a host sends for one block at one time, in call order.
struct BlockCall {
  const Block *block;
  std::string timeText;   // setTimeDLL
  std::string boundsText; // getBlockInfo
  std::string effectText; // ExecuteDLL
};
std::vector<BlockCall> scheduleAt(const Timeline &timeline, int64_t timeMs);

// The effect words hosts offer, in the order an editor lists them, and the kind of block each
// makes. A word not among them is passed on to the plug-in all the same (kind Unknown).
enum class WordKind { Drawing, Pulse, Fade, Other, Unknown };
struct EffectWord {
  const char *word;
  WordKind kind;
};
const std::vector<EffectWord> &effectWords();
WordKind wordKind(const std::string &word);
// Words that draw a scene (as opposed to pulses, fades and unknown words).
inline bool isDrawingWord(const std::string &word) { return wordKind(word) == WordKind::Drawing; }

// The expanded blocks one per line, "START END WORD" (what `kandu-player check` prints).
std::string listBlocks(const Timeline &timeline);

}  // namespace kandu
