// What a host draws for a capture, a still and a contact sheet, worked out from the timeline alone,
// so that the player and the web page draw the same frames at the same times.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "timeline/timeline.h"

namespace kandu {

struct CaptureRange {
  int64_t from = 0;
  int64_t to = 0;
  int fps = 60;

  // ceil((to - from) × fps / 1000) frames; frame k at from + k × 1000 / fps (whole milliseconds).
  int64_t frameCount() const;
  int64_t frameTime(int64_t k) const;
};

// A moment as `--from`, `--to` and `--at` take it and the page's ?at= does too: a whole number of
// milliseconds, digits only, from 0 to 2147483647. False with the reason, which begins with `name`
// and quotes `text` as given, its first 64 bytes (whoever shows it makes it printable).
bool parseMilliseconds(const std::string &name, const std::string &text, int64_t &ms, std::string &error);
// A still's moment lies within the timeline, its end included; false with the reason.
bool checkStillAt(const Timeline &timeline, const std::string &name, int64_t atMs, std::string &error);

// The range of a render or play: -1 for `from` is the timeline's start, -1 for `to` its end.
CaptureRange captureRange(const Timeline &timeline, int64_t from, int64_t to, int fps);

// Frames before a still, from the start of the timeline, are drawn into this small corner without
// read-back: the water steps once per frame and must have stepped as often as in a full render.
const int kPrerollWidth = 64;
const int kPrerollHeight = 48;
// The frames a still at `atMs` needs drawn first: those of a capture from 0 before `atMs`.
CaptureRange stillPreroll(int64_t atMs, int fps);

// The contact sheet: for each drawing block, in file order, the first frame at or after its
// mid-point; at most kMaxSheetThumbnails of them.
const size_t kMaxSheetThumbnails = 64;
struct SheetShot {
  const Block *block;
  int64_t frame;
  int64_t timeMs;
};
struct SheetPlan {
  std::vector<SheetShot> shots;
  size_t drawingBlocks = 0;  // how many there were, shown or not
  int64_t lastFrame = 0;
};
SheetPlan planSheet(const Timeline &timeline, int fps);

// "m:ss.mmm", as the window title and the sheet's captions show a moment.
std::string clockText(int64_t ms);

}  // namespace kandu
