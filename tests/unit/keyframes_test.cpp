#include <gtest/gtest.h>

#include "intro/keyframes.h"

namespace {
void expectVector(cVector3 v, float x, float y, float z) {
  EXPECT_FLOAT_EQ(v.x, x);
  EXPECT_FLOAT_EQ(v.y, y);
  EXPECT_FLOAT_EQ(v.z, z);
}

void keyThree(cKeyframeTrack &t) {
  addKey(t, makeVector(0, 0, 0), 0.0f);
  addKey(t, makeVector(400, 1, 0), 0.5f);
  addKey(t, makeVector(700, 0, 0), 1.0f);
}
}  // namespace

TEST(Keyframes, InterpolatesBetweenTheKeysAroundT) {
  cKeyframeTrack t;
  keyThree(t);
  expectVector(evaluate(t, 0.25f), 200, 0.5f, 0);
  expectVector(evaluate(t, 0.5f), 400, 1, 0);
  expectVector(evaluate(t, 0.75f), 550, 0.5f, 0);
  expectVector(evaluate(t, 1.0f), 700, 0, 0);
}

TEST(Keyframes, PastTheLastKeyExtendsTheSegmentUsedLast) {
  cKeyframeTrack t;
  keyThree(t);
  evaluate(t, 0.75f);
  expectVector(evaluate(t, 1.5f), 1000, -1, 0);
  // The cached segment, not the last one: after t = 0.25 the first segment runs on to t = 1.5.
  evaluate(t, 0.25f);
  expectVector(evaluate(t, 1.5f), 1200, 3, 0);

  cKeyframeTrack fresh;
  addKey(fresh, makeVector(0, 0, 0), 0);
  addKey(fresh, makeVector(100, 0, 0), 1);
  expectVector(evaluate(fresh, 2.0f), 200, 0, 0);
}

TEST(Keyframes, AtOrBeforeTheFirstKeyHoldsItsValue) {
  cKeyframeTrack t;
  keyThree(t);
  evaluate(t, 0.75f);
  expectVector(evaluate(t, 0.0f), 0, 0, 0);
  expectVector(evaluate(t, -3.0f), 0, 0, 0);
  EXPECT_EQ(t.prevKey, 1);  // the cache is not disturbed
}

TEST(Keyframes, EmptyAndSingleKeyTracks) {
  cKeyframeTrack empty;
  expectVector(evaluate(empty, 0.5f), 0, 0, 0);
  EXPECT_EQ(evaluateScalar(empty, 0.5f), 0.0f);
  EXPECT_EQ(empty.nextKey, 1);
  cKeyframeTrack one;
  addKey(one, makeVector(3, 4, 5), 0.2f);
  expectVector(evaluate(one, 0.9f), 3, 4, 5);
  EXPECT_EQ(evaluateScalar(one, 0.9f), 3.0f);
}

TEST(Keyframes, KeysAtOneTimeDoNotDivideByZero) {
  cKeyframeTrack t;
  addKey(t, makeVector(1, 1, 1), 0);
  addKey(t, makeVector(2, 2, 2), 0.5f);
  addKey(t, makeVector(9, 9, 9), 0.5f);
  cVector3 v = evaluate(t, 0.5f);
  EXPECT_FLOAT_EQ(v.x, 2.0f);
  evaluate(t, 0.25f);
  t.prevKey = 1, t.nextKey = 2;
  EXPECT_FLOAT_EQ(evaluate(t, 0.7f).x, 9.0f);
}

TEST(Keyframes, ScalarIsTheFirstComponent) {
  cKeyframeTrack t;
  addKey(t, makeVector(0, 5, 5), 0);
  addKey(t, makeVector(1, 7, 7), 1);
  EXPECT_FLOAT_EQ(evaluateScalar(t, 0.3f), 0.3f);
}

TEST(Keyframes, KeysStayInCallOrder) {
  cKeyframeTrack t;
  addKey(t, makeVector(1, 0, 0), 0.7f);
  addKey(t, makeVector(2, 0, 0), 0.1f);
  ASSERT_EQ(t.keyCount, 2);
  EXPECT_EQ(t.keys[0].time, 0.7f);
  EXPECT_EQ(t.keys[1].time, 0.1f);
}

TEST(Events, LatestEndIsComputedOnceFromAllEvents) {
  cEventList events;
  EXPECT_EQ(latestEnd(events), -1);
  addEvent(events, 0, 30000, "jumping_bars");
  addEvent(events, 1000, 1020, "rotate");
  addEvent(events, 3000, 3020, "rotate");
  addEvent(events, 5000, 5020, "rotate");
  EXPECT_EQ(latestEnd(events), 30000);
  addEvent(events, 0, 90000, "late");
  EXPECT_EQ(latestEnd(events), 30000);
  EXPECT_EQ(events.count, 5);
  EXPECT_EQ(events.items[1]->start, 1000);
}

TEST(Events, EventsEndingAtMinusOneLeaveTheCacheOpen) {
  cEventList events;
  addEvent(events, -10, -5, "a");
  EXPECT_EQ(latestEnd(events), -1);
  addEvent(events, 0, 7, "b");
  EXPECT_EQ(latestEnd(events), 7);
}

TEST(Utilities, LerpAndFriends) {
  EXPECT_EQ(lerp(2, 4, 0.5f), 3.0f);
  EXPECT_EQ(lerp(2, 4, 1.5f), 5.0f);
  EXPECT_EQ(square(-3.0f), 9.0f);
  EXPECT_FLOAT_EQ(cosFloat(0), 1.0f);
  EXPECT_FLOAT_EQ(sinFloat(1.5707963f), 1.0f);
}
