#include "timeline/capture_plan.h"

#include <algorithm>
#include <cstdio>

namespace kandu {

int64_t CaptureRange::frameCount() const { return ((to - from) * fps + 999) / 1000; }
int64_t CaptureRange::frameTime(int64_t k) const { return from + k * 1000 / fps; }

CaptureRange captureRange(const Timeline &timeline, int64_t from, int64_t to, int fps) {
  return CaptureRange{from >= 0 ? from : 0, to >= 0 ? to : timeline.duration(), fps};
}

CaptureRange stillPreroll(int64_t atMs, int fps) { return CaptureRange{0, atMs, fps}; }

SheetPlan planSheet(const Timeline &timeline, int fps) {
  SheetPlan plan;
  const CaptureRange range{0, timeline.duration(), fps};
  for (const Block &b : timeline.blocks) {
    if (!isDrawingWord(b.word)) continue;
    ++plan.drawingBlocks;
    if (plan.shots.size() == kMaxSheetThumbnails) continue;
    int64_t frame = ((b.start + b.end) / 2 * fps + 999) / 1000;
    plan.shots.push_back({&b, frame, range.frameTime(frame)});
    plan.lastFrame = std::max(plan.lastFrame, frame);
  }
  return plan;
}

std::string clockText(int64_t ms) {
  char text[40];
  std::snprintf(text, sizeof text, "%lld:%02lld.%03lld", static_cast<long long>(ms / 60000),
                static_cast<long long>(ms / 1000 % 60), static_cast<long long>(ms % 1000));
  return text;
}

}  // namespace kandu
