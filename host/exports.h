// The plug-in's interface to its host: six exported functions.
//
// Per frame and per active timeline block the host calls setTimeDLL("time"),
// getBlockInfo("start,end") and ExecuteDLL("effect word"); InitDLL builds the intro once with the
// host's GL context current. FreeDLL and AssignController do nothing.
#pragma once

#include <cstdint>

#include "platform/export.h"

KANDU_EXPORT void KANDU_CALL ExecuteDLL(const char *params);
KANDU_EXPORT void KANDU_CALL InitDLL(int ignored);
KANDU_EXPORT void KANDU_CALL FreeDLL(int ignored);
KANDU_EXPORT void KANDU_CALL setTimeDLL(const char *params);
KANDU_EXPORT void KANDU_CALL AssignController(int ignored);
KANDU_EXPORT void KANDU_CALL getBlockInfo(const char *params);

namespace Kandu {

class cTestBed;

// The host-state the exports keep between calls.
struct HostState {
  int32_t currentTime = 0;
  int32_t blockStart = 0;
  int32_t blockEnd = 0;
  int32_t blockElapsed = 0;
  float blockProgress = 0.0f;
};

const HostState &hostState();
cTestBed &theIntro();

// Recomputes elapsed time and progress from the bounds; an empty block gives progress 0.
void computeBlockProgress(HostState &state);

}  // namespace Kandu
