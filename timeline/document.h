// A timeline as its author wrote it: every line kept byte for byte (comments, blank lines, spacing,
// "\r\n" endings), so that print() of a parsed text is that text, and edits that change only the
// lines they touch. A time written in beats stays in beats and one in milliseconds stays in
// milliseconds; an "every PERIOD until TIME" block is edited as the rule.
//
// Every edit is checked by parsing the edited text: one that would leave the file unparseable
// (a block past the hour, ending before it starts, the last block deleted) is refused with the
// reason and changes nothing.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "timeline/timeline.h"

namespace kandu {

class Document {
 public:
  enum class Edge { Start, End };

  // Replaces the document with `text`; on a malformed line false with "SOURCE:LINE: reason", and
  // the document keeps what it held.
  bool parse(const std::string &text, const std::string &source, std::string &error);

  const std::string &text() const { return text_; }
  const Timeline &timeline() const { return timeline_; }
  int lineCount() const { return static_cast<int>(lines_.size()); }

  // Block edits name the block by its line (from 1). Times are in milliseconds, fractions allowed
  // so that a grid step of a third of a beat stays exact in beats.
  bool moveBlock(int line, double deltaMs, std::string &error);
  bool setEdge(int line, Edge edge, double ms, std::string &error);
  // Inserts a copy after the line, starting where the original's last copy ends.
  bool duplicateBlock(int line, std::string &error);
  bool deleteBlock(int line, std::string &error);
  bool setWord(int line, const std::string &word, std::string &error);
  // Appends "START END WORD", in beats when the file has a tempo by then.
  bool insertBlock(double startMs, double endMs, const std::string &word, std::string &error);
  // Every time at or after `atMs` moves `amountMs` later (a block across it grows).
  bool insertTime(double atMs, double amountMs, std::string &error);
  // Times in [atMs, atMs + amountMs) move to atMs and later ones `amountMs` earlier; blocks that
  // lie wholly inside go.
  bool removeTime(double atMs, double amountMs, std::string &error);
  // Pastes the blocks within [fromMs, toMs), cut at its edges, at `atMs`: new lines at the end,
  // each time in beats where its line writes that time in beats (counted in beats from the range's
  // start), else in milliseconds. Refused when the range holds no block.
  bool pasteTime(double fromMs, double toMs, double atMs, std::string &error);
  // Marks: "mark TIME NAME" appended (in beats when the file has a tempo by then), a mark's line
  // moved to another time in its own units, or renamed.
  bool addMark(double ms, const std::string &name, std::string &error);
  bool moveMark(int line, double ms, std::string &error);
  bool renameMark(int line, const std::string &name, std::string &error);
  // Sets the last "tempo BPM [OFFSET]" line (a new first line when there is none); beats stay beats.
  bool setTempo(double bpm, int64_t offsetMs, std::string &error);

  // Edits of several blocks at once (a selection), each all or nothing: when one block's edit is
  // refused, none is made. `lines` in any order; a line named twice is edited once.
  bool moveBlocks(const std::vector<int> &lines, double deltaMs, std::string &error);
  // Each block's end `deltaMs` later (earlier when negative), never closer to its start than one
  // step of the grid `gridFraction` beats (timeline/grid.h) there.
  bool resizeBlocks(const std::vector<int> &lines, double deltaMs, double gridFraction, std::string &error);
  // `copies` gets the line of each copy, in the order of `lines`.
  bool duplicateBlocks(const std::vector<int> &lines, std::vector<int> &copies, std::string &error);
  bool deleteBlocks(const std::vector<int> &lines, std::string &error);
  bool setWords(const std::vector<int> &lines, const std::string &word, std::string &error);

  // What the last successful parse or edit changed in the text: the bytes from `at` that were
  // `removed` and what was `inserted` in their place (both empty when nothing changed).
  struct Change {
    size_t at = 0;
    std::string removed, inserted;
  };
  const Change &lastChange() const { return change_; }

 private:
  struct Field {
    size_t at = 0, size = 0;  // where in the line's text; size 0: absent
  };
  struct Line {
    enum class Kind { Other, Tempo, TempoChange, Block, Mark };
    std::string text;  // without its '\n'
    Kind kind = Kind::Other;
    Field start, end, word, period, until;  // a block's
    Field bpm, offset;                      // a tempo line's
    int map = -1;  // the tempo in effect on this line (maps_); -1: none
  };
  struct Parser;
  struct Fields;

  static Fields splitFields(const std::string &text, bool firstLine);
  static bool parseTempoChange(Parser &p, const std::vector<std::string> &words, Line &line);
  static bool parseTempo(Parser &p, const std::vector<std::string> &words, Line &line);
  static bool parseMusic(Parser &p, const Fields &fields, const Line &line);
  static bool parseBlock(Parser &p, const std::vector<std::string> &words, Line &line);
  static bool parseMark(Parser &p, const std::vector<std::string> &words, Line &line);
  static bool checkActiveBlocks(Parser &p);

  const TempoMap &mapOf(const Line &line) const;
  // What one time field says, in milliseconds, and the same time written the field's way.
  double fieldMs(const Line &line, const Field &field, bool span) const;
  std::string writeTime(const Line &line, const Field &field, double ms, bool span) const;
  const Line *blockLine(int line, std::string &error) const;
  // Time inserted at `atMs` (amount > 0) or removed after it (amount < 0), in every block line.
  bool retime(double atMs, double amountMs, std::string &error);
  // The lines' texts, to be edited and committed.
  std::vector<std::string> lineTexts() const;
  // The lines joined again (the last with a line break when `lastBreak`) and parsed.
  bool commit(std::vector<std::string> texts, std::string &error) { return commit(std::move(texts), error, endsInBreak()); }
  bool commit(std::vector<std::string> texts, std::string &error, bool lastBreak);
  bool endsInBreak() const { return !text_.empty() && text_.back() == '\n'; }
  // Runs `edit` on a copy and keeps the copy only when it succeeds; the change is the whole one.
  template <typename Edit> bool allOrNothing(Edit edit);

  std::string source_, text_;
  std::vector<Line> lines_;
  std::vector<TempoMap> maps_;
  Timeline timeline_;
  Change change_;
};

// The change that turns `before` into `after`: one range, from the first byte that differs to the
// last.
Document::Change changeBetween(const std::string &before, const std::string &after);

// Parses a whole timeline through a Document; on the first malformed line returns false with
// "SOURCE:LINE: reason".
bool parseTimeline(const std::string &text, const std::string &source, Timeline &out, std::string &error);
// The built-in demo (builtInTimelineText()), parsed once.
const Timeline &builtInTimeline();

// Beats as a timeline writes them: up to six decimals, no trailing zeros ("16", "0.333333").
std::string formatNumber(double value);

}  // namespace kandu
