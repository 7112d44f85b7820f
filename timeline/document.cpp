#include "timeline/document.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <utility>

#include "base/printable.h"
#include "timeline/grid.h"

namespace kandu {

namespace {

bool isSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r'; }

// The UTF-8 byte-order mark some editors write at the start of a file: kept in the text, read as
// nothing.
const char kByteOrderMark[] = "\xEF\xBB\xBF";
bool startsWithMark(const std::string &text) { return text.compare(0, 3, kByteOrderMark) == 0; }

bool parseWholeMs(const std::string &text, int64_t &value) {
  if (text.empty() || text.size() > 10) return false;
  for (char c : text)
    if (!std::isdigit(static_cast<unsigned char>(c))) return false;
  value = std::stoll(text);
  return value <= kMaxTimelineMs;
}

bool validWord(const std::string &word) {
  for (char c : word)
    if (!std::isalnum(static_cast<unsigned char>(c)) && c != '_' && c != '-') return false;
  return !word.empty();
}

bool inBeats(const std::string &text) { return text.size() > 1 && text.back() == 'b'; }

// A time in milliseconds or, with a tempo, in beats (`beats` is then the number written, else -1);
// spans (a repeat's period) are lengths, at the tempo in effect last. Kept unrounded, so that
// repeats do not drift when a beat is not a whole millisecond.
bool parseMoment(const std::string &text, const TempoMap &map, bool span, double &ms, double &beats,
                 std::string &why) {
  beats = -1;
  if (inBeats(text)) {
    std::string number = text.substr(0, text.size() - 1);
    size_t dots = 0;
    bool digits = !number.empty() && number.size() <= 12 && number.front() != '.' && number.back() != '.';
    for (char c : number) {
      if (c == '.') ++dots;
      else if (!std::isdigit(static_cast<unsigned char>(c))) digits = false;
    }
    if (!digits || dots > 1) {
      why = "'" + printable(text) + "' is not a number of beats";
      return false;
    }
    if (map.empty()) {
      why = "'" + printable(text) + "' is in beats, but no 'tempo BPM' line comes before it";
      return false;
    }
    beats = std::strtod(number.c_str(), nullptr);
    ms = span ? 0.0 + beats * 60000.0 / map.segments.back().bpm : map.msAt(beats);
  } else {
    int64_t whole = 0;
    if (!parseWholeMs(text, whole)) {
      why = "'" + printable(text) + "' is not a time in milliseconds from 0 to " + std::to_string(kMaxTimelineMs) +
            " (or in beats, like 16b)";
      return false;
    }
    ms = static_cast<double>(whole);
  }
  if (ms > static_cast<double>(kMaxTimelineMs)) {
    why = "'" + printable(text) + "' is later than " + std::to_string(kMaxTimelineMs) + " ms";
    return false;
  }
  return true;
}

bool parseMoment(const std::string &text, const TempoMap &map, bool span, double &ms, std::string &why) {
  double beats = 0;
  return parseMoment(text, map, span, ms, beats, why);
}

int64_t wholeMs(double ms) { return static_cast<int64_t>(std::llround(ms)); }

}  // namespace

std::string formatNumber(double value) {
  char text[48];
  std::snprintf(text, sizeof text, "%.6f", value);
  std::string out = text;
  out.erase(out.find_last_not_of('0') + 1);
  if (out.back() == '.') out.pop_back();
  if (out == "-0") out = "0";
  return out;
}

bool parseTimeline(const std::string &text, const std::string &source, Timeline &out, std::string &error) {
  Document document;
  if (!document.parse(text, source, error)) return false;
  out = document.timeline();
  return true;
}

const Timeline &builtInTimeline() {
  static const Timeline timeline = [] {
    Timeline t;
    std::string error;
    parseTimeline(builtInTimelineText(), kBuiltInSource, t, error);
    return t;
  }();
  return timeline;
}

// What parsing a text gathers line by line, and how a line reports its fault.
struct Document::Parser {
  const std::string &source;
  std::vector<Line> lines;
  Timeline timeline;
  std::vector<TempoMap> maps;  // every map lines refer to, by index
  int map = -1;                // the one in effect
  int number = 0;              // the line being read, from 1
  std::string &error;

  const TempoMap &current() const {
    static const TempoMap kNone;
    return map < 0 ? kNone : maps[static_cast<size_t>(map)];
  }
  bool fail(const std::string &why) {
    error = printable(source) + (number > 0 ? ":" + std::to_string(number) : std::string()) + ": " + why;
    return false;
  }
  void startMap(TempoMap started) {
    maps.push_back(std::move(started));
    map = static_cast<int>(maps.size()) - 1;
    timeline.tempo = maps.back();
  }
};

// The fields of a line before any comment: where each one is, and its text.
struct Document::Fields {
  std::vector<size_t> at, size;
  std::vector<std::string> words;
  size_t stop = 0;  // where a comment starts (the line's length without one)
};

Document::Fields Document::splitFields(const std::string &text, bool firstLine) {
  Fields out;
  out.stop = std::min(text.find('#'), text.size());
  for (size_t i = firstLine && startsWithMark(text) ? 3 : 0; i < out.stop;) {
    if (isSpace(text[i])) {
      ++i;
      continue;
    }
    size_t j = i;
    while (j < out.stop && !isSpace(text[j])) ++j;
    out.at.push_back(i);
    out.size.push_back(j - i);
    out.words.push_back(text.substr(i, j - i));
    i = j;
  }
  return out;
}

namespace {

// Beats per minute as a tempo line writes them: a number above 0 and up to 1000.
bool parseBpm(const std::string &text, double &bpm) {
  char *end = nullptr;
  bpm = text.size() <= 12 ? std::strtod(text.c_str(), &end) : 0.0;
  return end && *end == '\0' && std::isdigit(static_cast<unsigned char>(text[0])) && bpm > 0 && bpm <= 1000;
}

}  // namespace

bool Document::parseTempoChange(Parser &p, const std::vector<std::string> &words, Line &line) {
  // A change of tempo from a moment on: the beats before it keep their times.
  double bpm = 0;
  if (!parseBpm(words[1], bpm))
    return p.fail("expected 'tempo BPM from TIME': beats per minute above 0 and up to 1000");
  if (p.current().empty()) return p.fail("a tempo change needs a 'tempo BPM' line before it");
  double at = 0, beats = 0;
  std::string why;
  if (!parseMoment(words[3], p.current(), false, at, beats, why)) return p.fail("tempo change " + why);
  if (beats < 0) beats = p.current().beatAt(at);
  if (beats < p.current().segments.back().beat)
    return p.fail("a tempo change at " + printable(words[3]) + " comes before the one it follows");
  TempoMap changed = p.current();
  changed.segments.push_back({beats, at, bpm});
  p.startMap(std::move(changed));
  line.kind = Line::Kind::TempoChange;
  return true;
}

bool Document::parseTempo(Parser &p, const std::vector<std::string> &words, Line &line) {
  double bpm = 0;
  int64_t offset = 0;
  if (words.size() < 2 || words.size() > 3 || !parseBpm(words[1], bpm))
    return p.fail("expected 'tempo BPM [OFFSET]': beats per minute above 0 and up to 1000, then an optional "
                  "offset of beat 0 in milliseconds");
  if (words.size() == 3 && !parseWholeMs(words[2], offset))
    return p.fail("the tempo's offset '" + printable(words[2]) + "' is not a whole number of milliseconds from 0 to " +
                  std::to_string(kMaxTimelineMs));
  p.timeline.bpm = bpm;
  p.timeline.beatOffset = offset;
  TempoMap started;
  started.segments.push_back({0.0, static_cast<double>(offset), bpm});
  p.startMap(std::move(started));
  line.kind = Line::Kind::Tempo;
  return true;
}

bool Document::parseMusic(Parser &p, const Fields &fields, const Line &line) {
  if (fields.words.size() < 2) return p.fail("expected 'music PATH'");
  std::string path = line.text.substr(0, fields.stop);
  path = path.substr(path.find_first_not_of(" \t", fields.at[0] + 5));
  path.erase(path.find_last_not_of(" \t\r") + 1);
  if (!p.timeline.music.empty()) return p.fail("a second 'music' line");
  // A file's name cannot hold a NUL byte: opened, the path would end there and name another.
  if (path.find('\0') != std::string::npos) return p.fail("the music's path holds a NUL byte");
  p.timeline.music = path;
  return true;
}

bool Document::parseBlock(Parser &p, const std::vector<std::string> &words, Line &line) {
  const bool repeats = words.size() == 7 && words[3] == "every" && words[5] == "until";
  if (words.size() != 3 && !repeats)
    return p.fail("expected 'START END WORD' or 'START END WORD every PERIOD until TIME', got " +
                  std::to_string(words.size()) + " field" + (words.size() == 1 ? "" : "s"));
  const TempoMap &map = p.current();
  double start = 0, end = 0, period = 1, until = 0, startBeats = -1, periodBeats = -1;
  std::string why;
  if (!parseMoment(words[0], map, false, start, startBeats, why)) return p.fail("start " + why);
  if (!parseMoment(words[1], map, false, end, why)) return p.fail("end " + why);
  if (wholeMs(end) <= wholeMs(start))
    return p.fail("block ends at " + printable(words[1]) + ", not after its start " + printable(words[0]));
  if (!validWord(words[2]))
    return p.fail("effect word '" + printable(words[2]) + "' may hold only letters, digits, '_' and '-'");
  if (repeats) {
    if (!parseMoment(words[4], map, true, period, periodBeats, why)) return p.fail("period " + why);
    if (!parseMoment(words[6], map, false, until, why)) return p.fail("until " + why);
    if (period < 1.0) return p.fail("a repeat's period must be at least 1 ms");
    if (until <= start) return p.fail("a repeat must run until a time after its start");
  } else {
    until = start + 1;  // one copy
  }
  // Copy k starts at start + k × period while that is before `until`, each as long as the first.
  // Across tempo changes a period in beats is counted in beats.
  const bool beatwise = periodBeats > 0 && map.segments.size() > 1;
  const double firstBeat = startBeats >= 0 ? startBeats : beatwise ? map.beatAt(start) : 0.0;
  auto copyStart = [&](int64_t k) {
    return beatwise ? map.msAt(firstBeat + static_cast<double>(k) * periodBeats) : start + k * period;
  };
  for (int64_t k = 0; copyStart(k) < until; ++k) {
    if (p.timeline.blocks.size() == kMaxTimelineBlocks)
      return p.fail("more than " + std::to_string(kMaxTimelineBlocks) + " blocks");
    Block block;
    block.line = p.number;
    block.start = wholeMs(copyStart(k));
    block.end = wholeMs(beatwise ? copyStart(k) + (end - start) : end + k * period);
    block.word = words[2];
    if (block.end > kMaxTimelineMs) return p.fail("a repeat runs past " + std::to_string(kMaxTimelineMs) + " ms");
    p.timeline.blocks.push_back(block);
  }
  line.kind = Line::Kind::Block;
  return true;
}

bool Document::parseMark(Parser &p, const std::vector<std::string> &words, Line &line) {
  if (words.size() != 3) return p.fail("expected 'mark TIME NAME'");
  double at = 0;
  std::string why;
  if (!parseMoment(words[1], p.current(), false, at, why)) return p.fail("mark " + why);
  // A name starts with a letter or '_', so that --from NAME is never read as a time.
  if (!validWord(words[2]) || !(std::isalpha(static_cast<unsigned char>(words[2][0])) || words[2][0] == '_'))
    return p.fail("mark name '" + printable(words[2]) +
                  "' must start with a letter or '_' and hold only letters, digits, '_' and '-'");
  if (const Mark *twin = p.timeline.mark(words[2]))
    return p.fail("a second mark '" + words[2] + "' (the first is on line " + std::to_string(twin->line) + ")");
  p.timeline.marks.push_back({wholeMs(at), words[2], p.number});
  line.kind = Line::Kind::Mark;
  return true;
}

// Every active block is drawn each frame: how many can play at one moment is bounded.
bool Document::checkActiveBlocks(Parser &p) {
  std::vector<std::pair<int64_t, int>> edges;  // (time, +line at a start / -line at an end)
  for (const Block &b : p.timeline.blocks) {
    edges.push_back({b.start, b.line});
    edges.push_back({b.end, -b.line});
  }
  std::sort(edges.begin(), edges.end(), [](const auto &a, const auto &b) {
    return a.first != b.first ? a.first < b.first : a.second < b.second;  // ends before starts
  });
  size_t active = 0;
  for (const auto &edge : edges) {
    if (edge.second < 0) {
      --active;
    } else if (++active > kMaxActiveBlocks) {
      p.number = edge.second;
      return p.fail("more than " + std::to_string(kMaxActiveBlocks) + " blocks play at " +
                    std::to_string(edge.first) + " ms");
    }
  }
  return true;
}

bool Document::parse(const std::string &text, const std::string &source, std::string &error) {
  if (text.size() > kMaxTimelineBytes) {  // every host's limit, however the text came
    error = timelineTooLarge(printable(source));
    return false;
  }
  Parser p{source, {}, {}, {}, -1, 0, error};
  p.timeline.source = source;
  for (size_t from = 0; from < text.size();) {
    const size_t newline = text.find('\n', from);
    Line line;
    line.text = text.substr(from, newline == std::string::npos ? std::string::npos : newline - from);
    from = newline == std::string::npos ? text.size() : newline + 1;
    ++p.number;
    const Fields fields = splitFields(line.text, p.number == 1);
    const std::vector<std::string> &words = fields.words;
    auto field = [&](size_t i) { return i < words.size() ? Field{fields.at[i], fields.size[i]} : Field{}; };
    bool ok = true;
    if (words.empty()) {
      // a blank line or a comment
    } else if (words[0] == "tempo" && words.size() == 4 && words[2] == "from") {
      ok = parseTempoChange(p, words, line);
    } else if (words[0] == "tempo") {
      ok = parseTempo(p, words, line);
      line.bpm = field(1);
      line.offset = field(2);
    } else if (words[0] == "music") {
      ok = parseMusic(p, fields, line);
    } else if (words[0] == "mark") {
      ok = parseMark(p, words, line);
      line.start = field(1);
      line.word = field(2);
    } else {
      ok = parseBlock(p, words, line);
      line.start = field(0);
      line.end = field(1);
      line.word = field(2);
      if (words.size() == 7) {
        line.period = field(4);
        line.until = field(6);
      }
    }
    if (!ok) return false;
    line.map = p.map;
    p.lines.push_back(std::move(line));
  }
  if (!checkActiveBlocks(p)) return false;
  change_ = changeBetween(text_, text);
  source_ = source;
  text_ = text;
  lines_ = std::move(p.lines);
  maps_ = std::move(p.maps);
  timeline_ = std::move(p.timeline);
  return true;
}

Document::Change changeBetween(const std::string &before, const std::string &after) {
  Document::Change change;
  const size_t shorter = std::min(before.size(), after.size());
  size_t head = 0, tail = 0;
  while (head < shorter && before[head] == after[head]) ++head;
  while (tail < shorter - head && before[before.size() - 1 - tail] == after[after.size() - 1 - tail]) ++tail;
  change.at = head;
  change.removed = before.substr(head, before.size() - head - tail);
  change.inserted = after.substr(head, after.size() - head - tail);
  return change;
}

const TempoMap &Document::mapOf(const Line &line) const {
  static const TempoMap kNone;
  return line.map < 0 ? kNone : maps_[static_cast<size_t>(line.map)];
}

double Document::fieldMs(const Line &line, const Field &field, bool span) const {
  double ms = 0;
  std::string why;
  parseMoment(line.text.substr(field.at, field.size), mapOf(line), span, ms, why);
  return ms;
}

std::string Document::writeTime(const Line &line, const Field &field, double ms, bool span) const {
  if (!inBeats(line.text.substr(field.at, field.size))) return std::to_string(wholeMs(ms));
  const TempoMap &map = mapOf(line);
  double beats = span ? ms * map.segments.back().bpm / 60000.0 : map.beatAt(ms);
  return formatNumber(beats) + "b";
}

const Document::Line *Document::blockLine(int line, std::string &error) const {
  if (line < 1 || line > lineCount() || lines_[static_cast<size_t>(line - 1)].kind != Line::Kind::Block) {
    error = "line " + std::to_string(line) + " holds no block";
    return nullptr;
  }
  return &lines_[static_cast<size_t>(line - 1)];
}

namespace {

// The line's text with fields replaced (the fields in any order, none overlapping).
struct Replacement {
  size_t at, size;
  std::string text;
};
std::string replaced(std::string text, std::vector<Replacement> changes) {
  std::sort(changes.begin(), changes.end(), [](const auto &a, const auto &b) { return a.at > b.at; });
  for (const Replacement &r : changes) text.replace(r.at, r.size, r.text);
  return text;
}

}  // namespace

std::vector<std::string> Document::lineTexts() const {
  std::vector<std::string> texts;
  texts.reserve(lines_.size());
  for (const Line &l : lines_) texts.push_back(l.text);
  return texts;
}

bool Document::commit(std::vector<std::string> texts, std::string &error, bool lastBreak) {
  std::string text;
  for (size_t i = 0; i < texts.size(); ++i) {
    text += texts[i];
    if (i + 1 < texts.size() || lastBreak) text += '\n';
  }
  // The file's byte-order mark stays at its start whatever line is now first.
  if (startsWithMark(text_) && !startsWithMark(text)) text.insert(0, kByteOrderMark);
  if (text.size() > kMaxTimelineBytes) {
    error = "the timeline would be larger than " + std::to_string(kMaxTimelineBytes) + " bytes";
    return false;
  }
  return parse(text, source_, error);
}

namespace {

// Times can move below zero; the parse would call "-5" not a time. Say it plainly instead.
bool beforeZero(double ms, std::string &error) {
  if (ms >= -0.0005) return false;
  error = "the edit would put a time before 0";
  return true;
}

}  // namespace

bool Document::moveBlock(int number, double deltaMs, std::string &error) {
  const Line *line = blockLine(number, error);
  if (!line) return false;
  std::vector<Replacement> changes;
  for (const Field *f : {&line->start, &line->end, &line->until}) {
    if (f->size == 0) continue;
    double ms = fieldMs(*line, *f, false) + deltaMs;
    if (beforeZero(ms, error)) return false;
    changes.push_back({f->at, f->size, writeTime(*line, *f, ms, false)});
  }
  std::vector<std::string> texts = lineTexts();
  texts[static_cast<size_t>(number - 1)] = replaced(line->text, changes);
  return commit(std::move(texts), error);
}

bool Document::setEdge(int number, Edge edge, double ms, std::string &error) {
  const Line *line = blockLine(number, error);
  if (!line) return false;
  if (beforeZero(ms, error)) return false;
  const Field &f = edge == Edge::Start ? line->start : line->end;
  std::vector<std::string> texts = lineTexts();
  texts[static_cast<size_t>(number - 1)] = replaced(line->text, {{f.at, f.size, writeTime(*line, f, ms, false)}});
  return commit(std::move(texts), error);
}

bool Document::duplicateBlock(int number, std::string &error) {
  const Line *line = blockLine(number, error);
  if (!line) return false;
  int64_t first = INT64_MAX, last = 0;
  for (const Block &b : timeline_.blocks)
    if (b.line == number) first = std::min(first, b.start), last = std::max(last, b.end);
  double shift = static_cast<double>(last - first);
  std::vector<Replacement> changes;
  for (const Field *f : {&line->start, &line->end, &line->until})
    if (f->size) changes.push_back({f->at, f->size, writeTime(*line, *f, fieldMs(*line, *f, false) + shift, false)});
  std::vector<std::string> texts = lineTexts();
  texts.insert(texts.begin() + number, replaced(line->text, changes));
  return commit(std::move(texts), error);
}

bool Document::deleteBlock(int number, std::string &error) {
  if (!blockLine(number, error)) return false;
  std::vector<std::string> texts = lineTexts();
  texts.erase(texts.begin() + (number - 1));
  return commit(std::move(texts), error);
}

bool Document::setWord(int number, const std::string &word, std::string &error) {
  const Line *line = blockLine(number, error);
  if (!line) return false;
  std::vector<std::string> texts = lineTexts();
  texts[static_cast<size_t>(number - 1)] = replaced(line->text, {{line->word.at, line->word.size, word}});
  return commit(std::move(texts), error);
}

bool Document::insertBlock(double startMs, double endMs, const std::string &word, std::string &error) {
  if (beforeZero(startMs, error)) return false;
  // The tempo in effect at the end of the file; a block before its beat 0 is written in ms.
  const TempoMap &map = timeline_.tempo;
  const bool beats = !map.empty() && startMs >= map.segments.front().ms;
  auto write = [&](double ms) {
    return beats ? formatNumber(map.beatAt(ms)) + "b" : std::to_string(wholeMs(ms));
  };
  std::vector<std::string> texts = lineTexts();
  texts.push_back(write(startMs) + " " + write(endMs) + " " + word);
  // A file that ended without a line break: the old last line gets one and the new line does too.
  return commit(std::move(texts), error, true);
}

namespace {

// Where a time goes when time is inserted (amount > 0) or removed (amount < 0) at `at`.
double retimed(double ms, double at, double amount) {
  if (amount >= 0) return ms >= at ? ms + amount : ms;
  if (ms >= at - amount) return ms + amount;
  return ms > at ? at : ms;
}

}  // namespace

bool Document::insertTime(double atMs, double amountMs, std::string &error) {
  if (amountMs < 0) {
    error = "cannot insert a negative time";
    return false;
  }
  return retime(atMs, amountMs, error);
}

bool Document::removeTime(double atMs, double amountMs, std::string &error) {
  if (amountMs < 0) {
    error = "cannot remove a negative time";
    return false;
  }
  return retime(atMs, -amountMs, error);
}

bool Document::retime(double atMs, double amountMs, std::string &error) {
  std::vector<std::string> texts;
  for (const Line &line : lines_) {
    if (line.kind == Line::Kind::Mark) {
      // A mark moves with the time after it; one in removed time stays at the cut.
      const double ms = fieldMs(line, line.start, false), to = retimed(ms, atMs, amountMs);
      texts.push_back(to == ms ? line.text : replaced(line.text, {{line.start.at, line.start.size,
                                                                   writeTime(line, line.start, to, false)}}));
      continue;
    }
    if (line.kind != Line::Kind::Block) {
      texts.push_back(line.text);
      continue;
    }
    const double firstStart = fieldMs(line, line.start, false);
    double start = firstStart, end = fieldMs(line, line.end, false);
    auto gone = [&](double s, double e) {
      return wholeMs(retimed(e, atMs, amountMs)) <= wholeMs(retimed(s, atMs, amountMs));
    };
    if (line.until.size > 0 && gone(start, end)) {
      // The rule's first copies lie in the removed time: it starts again with the first one after it.
      const double period = fieldMs(line, line.period, true);
      const double k = std::ceil((atMs - amountMs - start) / period);
      start += k * period;
      end += k * period;
      if (start >= fieldMs(line, line.until, false)) continue;
    }
    if (gone(start, end)) continue;  // wholly inside the removed time
    const double moved = start - firstStart;
    std::vector<Replacement> changes;
    for (const Field *f : {&line.start, &line.end, &line.until}) {
      if (f->size == 0) continue;
      const double ms = fieldMs(line, *f, false) + (f == &line.until ? 0.0 : moved);
      const double to = retimed(ms, atMs, amountMs);
      if (to != ms || moved > 0) changes.push_back({f->at, f->size, writeTime(line, *f, to, false)});
    }
    texts.push_back(changes.empty() ? line.text : replaced(line.text, changes));
  }
  return commit(std::move(texts), error);
}

bool Document::addMark(double ms, const std::string &name, std::string &error) {
  if (beforeZero(ms, error)) return false;
  const TempoMap &map = timeline_.tempo;
  const bool beats = !map.empty() && ms >= map.segments.front().ms;
  std::vector<std::string> texts = lineTexts();
  texts.push_back("mark " + (beats ? formatNumber(map.beatAt(ms)) + "b" : std::to_string(wholeMs(ms))) + " " + name);
  return commit(std::move(texts), error, true);
}

bool Document::moveMark(int line, double ms, std::string &error) {
  if (line < 1 || static_cast<size_t>(line) > lines_.size() || lines_[static_cast<size_t>(line) - 1].kind != Line::Kind::Mark) {
    error = "line " + std::to_string(line) + " holds no mark";
    return false;
  }
  const Line &l = lines_[static_cast<size_t>(line) - 1];
  std::vector<std::string> texts = lineTexts();
  texts[static_cast<size_t>(line) - 1] =
      replaced(l.text, {{l.start.at, l.start.size, writeTime(l, l.start, std::max(0.0, ms), false)}});
  return commit(std::move(texts), error);
}

bool Document::renameMark(int line, const std::string &name, std::string &error) {
  if (line < 1 || static_cast<size_t>(line) > lines_.size() || lines_[static_cast<size_t>(line) - 1].kind != Line::Kind::Mark) {
    error = "line " + std::to_string(line) + " holds no mark";
    return false;
  }
  const Line &l = lines_[static_cast<size_t>(line) - 1];
  std::vector<std::string> texts = lineTexts();
  texts[static_cast<size_t>(line) - 1] = replaced(l.text, {{l.word.at, l.word.size, name}});
  return commit(std::move(texts), error);
}

bool Document::pasteTime(double fromMs, double toMs, double atMs, std::string &error) {
  if (toMs - fromMs < 1) {
    error = "no range of time to paste";
    return false;
  }
  if (beforeZero(atMs, error)) return false;
  const TempoMap &map = timeline_.tempo;
  std::vector<std::string> texts = lineTexts();
  size_t pasted = 0;
  for (const Block &b : timeline_.blocks) {
    if (static_cast<double>(b.end) <= fromMs || static_cast<double>(b.start) >= toMs) continue;
    const Line &line = lines_[static_cast<size_t>(b.line) - 1];
    // Each time in the unit its own field is written in.
    auto inBeats = [&](const Field &f) { return !map.empty() && line.text[f.at + f.size - 1] == 'b'; };
    auto write = [&](double ms, const Field &f) {
      if (!inBeats(f)) return std::to_string(wholeMs(ms - fromMs + atMs));
      const double beat = map.beatAt(ms) - map.beatAt(fromMs) + map.beatAt(atMs);
      return formatNumber(std::round(beat * 1e6) / 1e6) + "b";
    };
    texts.push_back(write(std::max<double>(static_cast<double>(b.start), fromMs), line.start) + " " +
                    write(std::min<double>(static_cast<double>(b.end), toMs), line.end) + " " + b.word);
    ++pasted;
  }
  if (pasted == 0) {
    error = "no blocks in that range of time";
    return false;
  }
  return commit(std::move(texts), error, true);
}

bool Document::setTempo(double bpm, int64_t offsetMs, std::string &error) {
  std::string tempo = "tempo " + formatNumber(bpm) + (offsetMs ? " " + std::to_string(offsetMs) : std::string());
  std::vector<std::string> texts = lineTexts();
  int last = -1;
  for (size_t i = 0; i < lines_.size(); ++i)
    if (lines_[i].kind == Line::Kind::Tempo) last = static_cast<int>(i);
  if (last < 0) {
    texts.insert(texts.begin(), tempo);
  } else {
    const Line &line = lines_[static_cast<size_t>(last)];
    // From the keyword to the end of its last field: the indent and a comment after it stay.
    size_t to = line.offset.size ? line.offset.at + line.offset.size : line.bpm.at + line.bpm.size;
    texts[static_cast<size_t>(last)] = line.text.substr(0, line.text.find("tempo")) + tempo + line.text.substr(to);
  }
  return commit(std::move(texts), error);
}

template <typename Edit> bool Document::allOrNothing(Edit edit) {
  Document next = *this;
  if (!edit(next)) return false;
  next.change_ = changeBetween(text_, next.text_);
  *this = std::move(next);
  return true;
}

namespace {

std::vector<int> distinct(std::vector<int> lines) {
  std::sort(lines.begin(), lines.end());
  lines.erase(std::unique(lines.begin(), lines.end()), lines.end());
  return lines;
}

// The first copy of the block on `line`.
const Block *firstBlock(const Timeline &timeline, int line) {
  for (const Block &b : timeline.blocks)
    if (b.line == line) return &b;
  return nullptr;
}

}  // namespace

bool Document::moveBlocks(const std::vector<int> &lines, double deltaMs, std::string &error) {
  return allOrNothing([&](Document &d) {
    for (int line : distinct(lines))
      if (!d.moveBlock(line, deltaMs, error)) return false;
    return true;
  });
}

bool Document::resizeBlocks(const std::vector<int> &lines, double deltaMs, double gridFraction, std::string &error) {
  return allOrNothing([&](Document &d) {
    for (int line : distinct(lines)) {
      const Block *first = d.blockLine(line, error) ? firstBlock(d.timeline_, line) : nullptr;
      if (!first) return false;
      const Grid grid(d.timeline_.tempo, gridFraction);
      const double start = static_cast<double>(first->start), end = static_cast<double>(first->end);
      if (!d.setEdge(line, Edge::End, grid.resizedEnd(start, end, deltaMs), error)) return false;
    }
    return true;
  });
}

bool Document::duplicateBlocks(const std::vector<int> &lines, std::vector<int> &copies, std::string &error) {
  // From the last line to the first, so that each copy goes in below lines not yet duplicated;
  // a copy then moves down by one for every copy inserted above it.
  const std::vector<int> order = distinct(lines);
  std::vector<int> made;
  const bool ok = allOrNothing([&](Document &d) {
    for (auto it = order.rbegin(); it != order.rend(); ++it)
      if (!d.duplicateBlock(*it, error)) return false;
    return true;
  });
  if (!ok) return false;
  copies.clear();
  for (int line : lines) {
    const auto below = std::lower_bound(order.begin(), order.end(), line) - order.begin();
    copies.push_back(line + 1 + static_cast<int>(below));
  }
  return true;
}

bool Document::deleteBlocks(const std::vector<int> &lines, std::string &error) {
  const std::vector<int> order = distinct(lines);
  return allOrNothing([&](Document &d) {
    for (auto it = order.rbegin(); it != order.rend(); ++it)  // the last first: the others keep their numbers
      if (!d.deleteBlock(*it, error)) return false;
    return true;
  });
}

bool Document::setWords(const std::vector<int> &lines, const std::string &word, std::string &error) {
  return allOrNothing([&](Document &d) {
    for (int line : distinct(lines))
      if (!d.setWord(line, word, error)) return false;
    return true;
  });
}

}  // namespace kandu
