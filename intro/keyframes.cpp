#include "intro/keyframes.h"

#include "platform/platform.h"

void addKey(cKeyframeTrack &track, cVector3 value, float time) {
  cKeyframe *grown = new cKeyframe[static_cast<size_t>(track.keyCount) + 1];
  for (int32_t i = 0; i < track.keyCount; ++i) grown[i] = track.keys[i];
  grown[track.keyCount].time = time;
  grown[track.keyCount].value = value;
  delete[] track.keys;
  track.keys = grown;
  ++track.keyCount;
}

namespace {
// Finds the segment for t, updating the cache. Returns false when the track's first key (or only
// key) is the answer: at or before the first key the curve holds its start value.
bool selectSegment(cKeyframeTrack &track, float t) {
  if (track.keyCount < 2) return false;
  for (int32_t i = 0; i < track.keyCount; ++i) {
    if (track.keys[i].time >= t) {
      if (i == 0) return false;
      track.nextKey = i;
      track.prevKey = i - 1;
      return true;
    }
  }
  return true;  // past the last key: extend the segment used last
}

float segmentFraction(const cKeyframeTrack &track, float t) {
  const cKeyframe &a = track.keys[track.prevKey];
  const cKeyframe &b = track.keys[track.nextKey];
  double span = static_cast<double>(b.time) - a.time;
  if (span == 0.0) return 1.0f;  // two keys at one time: take the later key
  return static_cast<float>((static_cast<double>(t) - a.time) / span);
}
}  // namespace

cVector3 evaluate(cKeyframeTrack &track, float t) {
  if (track.keyCount < 1) return cVector3{};
  if (!selectSegment(track, t)) return track.keys[0].value;
  const cVector3 &a = track.keys[track.prevKey].value;
  const cVector3 &b = track.keys[track.nextKey].value;
  float f = segmentFraction(track, t);
  return makeVector(lerp(a.x, b.x, f), lerp(a.y, b.y, f), lerp(a.z, b.z, f));
}

float evaluateScalar(cKeyframeTrack &track, float t) {
  if (track.keyCount < 1) return 0.0f;
  if (!selectSegment(track, t)) return track.keys[0].value.x;
  float f = segmentFraction(track, t);
  return lerp(track.keys[track.prevKey].value.x, track.keys[track.nextKey].value.x, f);
}

cEventList::cEventList() { KanduPlatform::raiseTimerResolution(); }

void addEvent(cEventList &list, int32_t start, int32_t end, const char *name) {
  cEvent *event = new cEvent{start, end, name};
  cEvent **grown = new cEvent *[static_cast<size_t>(list.count) + 1];
  for (int32_t i = 0; i < list.count; ++i) grown[i] = list.items[i];
  grown[list.count] = event;
  delete[] list.items;
  list.items = grown;
  ++list.count;
}

int32_t latestEnd(cEventList &list) {
  if (list.latestEndCache != -1) return list.latestEndCache;
  if (list.count == 0) return -1;
  for (int32_t i = 0; i < list.count; ++i)
    if (list.items[i]->end > list.latestEndCache) list.latestEndCache = list.items[i]->end;
  return list.latestEndCache;
}
