// The editor's document functions in the web module: the timeline as written, edited through the
// timeline library (the same code kandu-player reads timelines with), and played by the page as
// soon as it changes. Each edit returns 0, or 1 with the reason in kandu_web_error() and the
// document as it was.
#include <emscripten.h>

#include <cstdio>
#include <string>

#include "base/printable.h"
#include "player/web/page.h"
#include "timeline/document.h"

namespace {

using namespace kandu;

Document gDocument;
std::string gOut;

int done(bool ok, const std::string &error) {
  if (!ok) {
    setPageError(error);
    return 1;
  }
  playTimeline(gDocument.timeline());
  return 0;
}

}  // namespace

extern "C" {

// Reads `length` bytes at `bytes` as the document (and the timeline the page plays), as
// kandu-player reads a file. Over the size limit `bytes` may be null: only the length is looked at.
EMSCRIPTEN_KEEPALIVE int kandu_doc_open(const char *bytes, double length, const char *source) {
  std::string error;
  const std::string name = source ? source : "timeline";
  if (!bytes || !(length >= 0 && length <= static_cast<double>(kMaxTimelineBytes))) {
    setPageError(timelineTooLarge(printable(name)));
    return 1;
  }
  return done(gDocument.parse(std::string(bytes, static_cast<size_t>(length)), name, error), error);
}

// The document's text: its bytes, kandu_doc_length() of them (it may hold a NUL).
EMSCRIPTEN_KEEPALIVE const char *kandu_doc_text() { return gDocument.text().data(); }
EMSCRIPTEN_KEEPALIVE double kandu_doc_length() { return static_cast<double>(gDocument.text().size()); }

// The expanded blocks as JSON: [[start, end, "word", line], ...] in file order.
EMSCRIPTEN_KEEPALIVE const char *kandu_doc_blocks() {
  gOut = "[";
  for (const Block &b : gDocument.timeline().blocks)
    gOut += (gOut.size() > 1 ? "," : "") + std::string("[") + std::to_string(b.start) + "," + std::to_string(b.end) +
            ",\"" + b.word + "\"," + std::to_string(b.line) + "]";
  gOut += "]";
  return gOut.c_str();
}

// The beat the grid is drawn from: {"segments": [[beat, ms, bpm], ...]}, each the tempo from that
// beat on; none when the file has no tempo.
EMSCRIPTEN_KEEPALIVE const char *kandu_doc_grid() {
  gOut = "{\"segments\":[";
  for (const TempoMap::Segment &s : gDocument.timeline().tempo.segments) {
    char text[96];
    std::snprintf(text, sizeof text, "%s[%.17g,%.17g,%.17g]", gOut.back() == '[' ? "" : ",", s.beat, s.ms, s.bpm);
    gOut += text;
  }
  gOut += "]}";
  return gOut.c_str();
}

EMSCRIPTEN_KEEPALIVE int kandu_doc_move(int line, double deltaMs) {
  std::string error;
  return done(gDocument.moveBlock(line, deltaMs, error), error);
}
EMSCRIPTEN_KEEPALIVE int kandu_doc_edge(int line, int end, double ms) {
  std::string error;
  return done(gDocument.setEdge(line, end ? Document::Edge::End : Document::Edge::Start, ms, error), error);
}
EMSCRIPTEN_KEEPALIVE int kandu_doc_duplicate(int line) {
  std::string error;
  return done(gDocument.duplicateBlock(line, error), error);
}
EMSCRIPTEN_KEEPALIVE int kandu_doc_delete(int line) {
  std::string error;
  return done(gDocument.deleteBlock(line, error), error);
}
EMSCRIPTEN_KEEPALIVE int kandu_doc_word(int line, const char *word) {
  std::string error;
  return done(gDocument.setWord(line, word ? word : "", error), error);
}
EMSCRIPTEN_KEEPALIVE int kandu_doc_insert(double startMs, double endMs, const char *word) {
  std::string error;
  return done(gDocument.insertBlock(startMs, endMs, word ? word : "", error), error);
}
EMSCRIPTEN_KEEPALIVE int kandu_doc_insert_time(double atMs, double amountMs) {
  std::string error;
  return done(gDocument.insertTime(atMs, amountMs, error), error);
}
EMSCRIPTEN_KEEPALIVE int kandu_doc_remove_time(double atMs, double amountMs) {
  std::string error;
  return done(gDocument.removeTime(atMs, amountMs, error), error);
}
EMSCRIPTEN_KEEPALIVE int kandu_doc_tempo(double bpm, int offsetMs) {
  std::string error;
  return done(gDocument.setTempo(bpm, offsetMs, error), error);
}

}  // extern "C"
