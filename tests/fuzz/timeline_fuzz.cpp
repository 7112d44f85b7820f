// libFuzzer: the timeline document with any bytes. Whatever parses prints back byte for byte, its
// schedule can be asked for, and every edit either is refused (leaving the text as it was) or
// leaves a text that parses again and prints back byte for byte.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "timeline/document.h"
#include "timeline/timeline.h"

using namespace kandu;

namespace {
void check(bool ok) {
  if (!ok) std::abort();
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  const std::string text(reinterpret_cast<const char *>(data), size);
  Document document;
  std::string error;
  if (!document.parse(text, "fuzz", error)) return 0;
  check(document.text() == text);
  const Timeline &timeline = document.timeline();
  int64_t end = timeline.duration();
  for (int64_t t : {int64_t{0}, end / 2, end - 1}) (void)scheduleAt(timeline, t);

  // The edits an editor makes, on the first block's line (a timeline may have none: then on line 1,
  // where they are refused), with amounts taken from the input.
  const int line = timeline.blocks.empty() ? 1 : timeline.blocks.front().line;
  const double amount = static_cast<double>(size % 977) * 1.5 - 300;
  for (int edit = 0; edit < 12; ++edit) {
    Document edited = document;
    bool ok = false;
    switch (edit) {
      case 0: ok = edited.moveBlock(line, amount, error); break;
      case 1: ok = edited.setEdge(line, Document::Edge::Start, amount + 100, error); break;
      case 2: ok = edited.setEdge(line, Document::Edge::End, end + amount, error); break;
      case 3: ok = edited.duplicateBlock(line, error); break;
      case 4: ok = edited.deleteBlock(line, error); break;
      case 5: ok = edited.setWord(line, "morph", error); break;
      case 6: ok = edited.insertBlock(end / 3, end / 3 + 500.0 / 3, "fade", error); break;
      case 7: ok = edited.insertTime(end / 2, amount < 0 ? -amount : amount, error); break;
      case 8: ok = edited.removeTime(end / 4, amount < 0 ? -amount : amount, error); break;
      case 9: ok = edited.setTempo(60 + size % 200, static_cast<int64_t>(size % 1000), error); break;
      case 10: ok = edited.pasteTime(end / 4, end / 2, end / 2 + amount, error); break;
      case 11: ok = edited.addMark(end / 2, "fuzz_" + std::to_string(size), error); break;
    }
    if (!ok) {
      check(edited.text() == text);
      continue;
    }
    Document again;
    check(again.parse(edited.text(), "fuzz", error));
    check(again.text() == edited.text());
  }
  return 0;
}
