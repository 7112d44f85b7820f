#include "timeline/capture_plan.h"

#include <algorithm>
#include <cstdio>

namespace kandu {

int64_t CaptureRange::frameCount() const { return ((to - from) * fps + 999) / 1000; }
int64_t CaptureRange::frameTime(int64_t k) const { return from + k * 1000 / fps; }

bool parseMilliseconds(const std::string &name, const std::string &text, int64_t &ms, std::string &error) {
  bool digits = !text.empty() && text.size() <= 12;
  for (char c : text) digits = digits && c >= '0' && c <= '9';
  const int64_t value = digits ? std::stoll(text) : -1;
  if (value < 0 || value > 2147483647) {
    // Only so much of it is quoted: anything longer is no time anyway.
    const size_t kQuoted = 64;
    error = name + " wants a time in milliseconds, not '" + text.substr(0, kQuoted) +
            (text.size() > kQuoted ? "...'" : "'");
    return false;
  }
  ms = value;
  return true;
}

bool checkStillAt(const Timeline &timeline, const std::string &name, int64_t atMs, std::string &error) {
  const int64_t end = timeline.duration();
  if (atMs <= end) return true;
  error = name + " " + std::to_string(atMs) + " is past the timeline's end (" + std::to_string(end) + " ms)";
  return false;
}

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
