// The editor's document in the web module: the timeline as written, edited through the timeline
// library (the same code kandu-player reads timelines with), and played by the page as soon as it
// changes. Each edit returns 0, or 1 with the reason in kandu_web_error() and the document as it
// was.
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "base/printable.h"
#include "timeline/document.h"
#include "web/module/api.h"
#include "web/module/page.h"

namespace {

using namespace kandu;

Document gDocument;
std::vector<double> gNumbers, gChange, gMarks;
std::vector<std::string> gWords;  // the words kandu_doc_blocks() numbered

int done(bool ok, const std::string &error) {
  if (!ok) {
    setPageError(error);
    return 1;
  }
  playTimeline(gDocument.timeline());
  return 0;
}

std::vector<int> linesOf(const int32_t *lines, int count) {
  return lines && count > 0 ? std::vector<int>(lines, lines + count) : std::vector<int>();
}

bool fitsLimit(const char *bytes, double length) {
  return bytes && length >= 0 && length <= static_cast<double>(kMaxTimelineBytes);
}

}  // namespace

namespace kandu {
const Timeline &documentTimeline() { return gDocument.timeline(); }
}  // namespace kandu

// Reads `length` bytes at `bytes` as the document (and the timeline the page plays), as
// kandu-player reads a file. Over the size limit `bytes` may be null: only the length is looked at.
int kandu_doc_open(const char *bytes, double length, const char *source) {
  std::string error;
  const std::string name = source ? source : "timeline";
  if (!fitsLimit(bytes, length)) {
    setPageError(timelineTooLarge(printable(name)));
    return 1;
  }
  return done(gDocument.parse(std::string(bytes, static_cast<size_t>(length)), name, error), error);
}

// The document's text: its bytes, kandu_doc_length() of them (it may hold a NUL).
const char *kandu_doc_text() { return gDocument.text().data(); }
double kandu_doc_length() { return static_cast<double>(gDocument.text().size()); }

const double *kandu_doc_blocks(int *count) {
  gNumbers.clear();
  gWords.clear();
  std::map<std::string, int> index;
  for (const Block &b : gDocument.timeline().blocks) {
    auto found = index.emplace(b.word, static_cast<int>(gWords.size()));
    if (found.second) gWords.push_back(b.word);
    gNumbers.insert(gNumbers.end(), {static_cast<double>(b.start), static_cast<double>(b.end),
                                     static_cast<double>(b.line), static_cast<double>(found.first->second)});
  }
  *count = static_cast<int>(gDocument.timeline().blocks.size());
  return gNumbers.data();
}

const char *kandu_doc_word(int index) {
  return index >= 0 && static_cast<size_t>(index) < gWords.size() ? gWords[static_cast<size_t>(index)].c_str() : "";
}

int kandu_doc_move(const int32_t *lines, int count, double deltaMs) {
  std::string error;
  return done(gDocument.moveBlocks(linesOf(lines, count), deltaMs, error), error);
}
int kandu_doc_resize(const int32_t *lines, int count, double deltaMs, double gridFraction) {
  std::string error;
  return done(gDocument.resizeBlocks(linesOf(lines, count), deltaMs, gridFraction, error), error);
}
int kandu_doc_edge(int line, int end, double ms) {
  std::string error;
  return done(gDocument.setEdge(line, end ? Document::Edge::End : Document::Edge::Start, ms, error), error);
}
int kandu_doc_duplicate(const int32_t *lines, int count, int32_t *copies) {
  std::string error;
  std::vector<int> made;
  if (!gDocument.duplicateBlocks(linesOf(lines, count), made, error)) return done(false, error);
  for (size_t i = 0; i < made.size(); ++i) copies[i] = made[i];
  return done(true, error);
}
int kandu_doc_delete(const int32_t *lines, int count) {
  std::string error;
  return done(gDocument.deleteBlocks(linesOf(lines, count), error), error);
}
int kandu_doc_set_word(const int32_t *lines, int count, const char *word) {
  std::string error;
  return done(gDocument.setWords(linesOf(lines, count), word ? word : "", error), error);
}
int kandu_doc_insert(double startMs, double endMs, const char *word) {
  std::string error;
  return done(gDocument.insertBlock(startMs, endMs, word ? word : "", error), error);
}
int kandu_doc_insert_time(double atMs, double amountMs) {
  std::string error;
  return done(gDocument.insertTime(atMs, amountMs, error), error);
}
int kandu_doc_remove_time(double atMs, double amountMs) {
  std::string error;
  return done(gDocument.removeTime(atMs, amountMs, error), error);
}
int kandu_doc_paste_time(double fromMs, double toMs, double atMs) {
  std::string error;
  return done(gDocument.pasteTime(fromMs, toMs, atMs, error), error);
}

const double *kandu_doc_marks(int *count) {
  gMarks.clear();
  for (const Mark &m : gDocument.timeline().marks)
    gMarks.insert(gMarks.end(), {static_cast<double>(m.ms), static_cast<double>(m.line)});
  *count = static_cast<int>(gDocument.timeline().marks.size());
  return gMarks.data();
}

const char *kandu_doc_mark_name(int index) {
  const std::vector<Mark> &marks = gDocument.timeline().marks;
  return index >= 0 && static_cast<size_t>(index) < marks.size() ? marks[static_cast<size_t>(index)].name.c_str() : "";
}

const char *kandu_doc_fresh_mark_name() {
  static std::string name;
  name = freshMarkName(gDocument.timeline().marks);
  return name.c_str();
}

int kandu_doc_mark_near(double ms, int later) {
  const std::vector<Mark> &marks = gDocument.timeline().marks;
  const Mark *m = neighbourMark(marks, ms, later != 0);
  return m ? static_cast<int>(m - marks.data()) : -1;
}

const double *kandu_doc_mark_range(double ms) {
  int64_t from = 0, to = 0;
  const bool found = markRangeAround(gDocument.timeline().marks, ms, from, to);
  static double range[3];
  range[0] = found ? 1 : 0;
  range[1] = static_cast<double>(from);
  range[2] = static_cast<double>(to);
  return range;
}

int kandu_doc_blank() { return gDocument.timeline().blank() ? 1 : 0; }

int kandu_doc_add_mark(double ms, const char *name) {
  std::string error;
  return done(gDocument.addMark(ms, name ? name : "", error), error);
}

int kandu_doc_move_mark(int line, double ms) {
  std::string error;
  return done(gDocument.moveMark(line, ms, error), error);
}

int kandu_doc_rename_mark(int line, const char *name) {
  std::string error;
  return done(gDocument.renameMark(line, name ? name : "", error), error);
}

int kandu_doc_tempo(double bpm, int offsetMs) {
  std::string error;
  return done(gDocument.setTempo(bpm, offsetMs, error), error);
}

int kandu_doc_replace(double at, double removed, const char *bytes, double length) {
  const std::string &text = gDocument.text();
  if (!(at >= 0 && removed >= 0 && at + removed <= static_cast<double>(text.size())) ||
      !(length == 0 || fitsLimit(bytes, length))) {
    setPageError("the change does not fit the document");
    return 1;
  }
  std::string next = text;
  next.replace(static_cast<size_t>(at), static_cast<size_t>(removed),
               length > 0 ? std::string(bytes, static_cast<size_t>(length)) : std::string());
  std::string error;
  return done(gDocument.parse(next, gDocument.timeline().source, error), error);
}

const double *kandu_doc_change() {
  const Document::Change &c = gDocument.lastChange();
  gChange = {static_cast<double>(c.at), static_cast<double>(c.removed.size()), static_cast<double>(c.inserted.size())};
  return gChange.data();
}
const char *kandu_doc_change_removed() { return gDocument.lastChange().removed.data(); }
const char *kandu_doc_change_inserted() { return gDocument.lastChange().inserted.data(); }
