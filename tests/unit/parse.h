// Timelines written in a test, parsed as "t.timeline" (expected to parse) or "bad.timeline"
// (expected to fail, for its error).
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "timeline/document.h"
#include "timeline/timeline.h"

inline kandu::Timeline parse(const std::string &text) {
  kandu::Timeline t;
  std::string error;
  EXPECT_TRUE(kandu::parseTimeline(text, "t.timeline", t, error)) << error;
  return t;
}

inline std::string parseError(const std::string &text) {
  kandu::Timeline t;
  std::string error;
  EXPECT_FALSE(kandu::parseTimeline(text, "bad.timeline", t, error)) << text;
  return error;
}
