// Keyframe tracks and the event list.
//
// A track maps a time (in practice the block progress) to a cVector3 by straight-line
// interpolation between keys added in increasing time order. Evaluation caches the segment it
// used, and past the last key it extends the last segment it used.
#pragma once

#include <cstdint>

#include "intro/types.h"

struct cKeyframe {
  float time = 0.0f;
  cVector3 value;
};

class cKeyframeTrack {
 public:
  cKeyframeTrack() = default;
  cKeyframeTrack(const cKeyframeTrack &) = delete;
  cKeyframeTrack &operator=(const cKeyframeTrack &) = delete;
  ~cKeyframeTrack() { delete[] keys; }

  const char *name = nullptr;  // first field: the registry key
  cKeyframe *keys = nullptr;
  int32_t keyCount = 0;
  int32_t nextKey = 1;
  int32_t prevKey = 0;
};

void addKey(cKeyframeTrack &track, cVector3 value, float time);
cVector3 evaluate(cKeyframeTrack &track, float t);
float evaluateScalar(cKeyframeTrack &track, float t);

struct cEvent {
  int32_t start = 0;
  int32_t end = 0;
  const char *name = nullptr;
};

class cEventList {
 public:
  cEventList();  // raises the timer resolution to 1 ms for the rest of the process
  cEventList(const cEventList &) = delete;
  cEventList &operator=(const cEventList &) = delete;
  ~cEventList() { delete[] items; }

  cEvent **items = nullptr;
  int32_t count = 0;
  int32_t latestEndCache = -1;
};

void addEvent(cEventList &list, int32_t start, int32_t end, const char *name);
int32_t latestEnd(cEventList &list);
