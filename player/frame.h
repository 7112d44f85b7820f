// What every kandu host does the same way: one frame of the per-block protocol, and the capture
// clock's frame times. kandu-player and the web page both draw through these, so that a still in
// the browser is the still the player writes.
#pragma once

#include <cstdint>

#include "player/timeline.h"

struct CaptureRange {
  int64_t from = 0;
  int64_t to = 0;
  int fps = 60;

  // ceil((to - from) × fps / 1000) frames; frame k at from + k × 1000 / fps (whole milliseconds).
  int64_t frameCount() const;
  int64_t frameTime(int64_t k) const;
};

// Frames before a still, from the start of the timeline, are drawn into this small corner without
// read-back: the water steps once per frame and must have stepped as often as in a full render.
const int kPrerollWidth = 64;
const int kPrerollHeight = 48;

// The three per-block exports, and who to tell which one is about to run (null: nobody; told
// null when the frame is done).
struct HostCalls {
  void (*setTimeDLL)(const char *) = nullptr;
  void (*getBlockInfo)(const char *) = nullptr;
  void (*ExecuteDLL)(const char *) = nullptr;
  void (*entering)(const char *exportName) = nullptr;
};

// One host frame: viewport, clear, projection, and for every active block in file order the
// modelview reset and the three calls. `width` × `height` is the viewport; the picture's aspect
// stays that of the output so that a small pre-roll viewport draws the same scene.
void drawHostFrame(const HostCalls &calls, const Timeline &timeline, int64_t timeMs, int width, int height,
                   double aspect);
