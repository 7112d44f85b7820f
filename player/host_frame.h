// One frame of the per-block protocol, as every kandu host draws it: kandu-player and the web page
// both draw through this, so that a still in the browser is the still the player writes.
#pragma once

#include <cstdint>

#include "timeline/timeline.h"

namespace kandu {

// The three per-block exports, and who to tell which one is about to run (null: nobody; told
// null when the frame is done).
struct HostCalls {
  void (*setTimeDLL)(const char *) = nullptr;
  void (*getBlockInfo)(const char *) = nullptr;
  void (*ExecuteDLL)(const char *) = nullptr;
  void (*entering)(const char *exportName) = nullptr;
};

// Viewport, clear, projection, and for every active block in file order the modelview reset and
// the three calls. `width` × `height` is the viewport; the picture's aspect stays that of the
// output so that a small pre-roll viewport draws the same scene.
void drawHostFrame(const HostCalls &calls, const Timeline &timeline, int64_t timeMs, int width, int height,
                   double aspect);

}  // namespace kandu
