#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <limits>

#include "host/params.h"
#include "intro/types.h"

using Kandu::cParamStream;

TEST(ParamStream, IndexedReadsAlwaysStartFromTheBeginning) {
  cParamStream p;
  p.loadParams("10,20,30");
  EXPECT_EQ(p.getIntParam(2), 30);
  EXPECT_EQ(p.getIntParam(0), 10);
  EXPECT_EQ(p.getIntParam(3), 0);
  EXPECT_EQ(p.getIntParam(1), 20);
}

TEST(ParamStream, MissingFieldsReadAsDefaults) {
  cParamStream p;
  p.loadParams("1000");
  EXPECT_EQ(p.getFloatParam(1), 0.0f);
  EXPECT_EQ(p.getStringParam(1), "");
  p.loadParams("");
  EXPECT_EQ(p.getIntParam(0), 0);
  EXPECT_EQ(p.getFloatParam(0), 0.0f);
  EXPECT_EQ(p.getStringParam(0), "");
  EXPECT_EQ(p.nextIntParam(), 0);
  p.loadParams(nullptr);
  EXPECT_EQ(p.getStringParam(0), "");
}

TEST(ParamStream, EmptyLeadingFieldAndBlanks) {
  cParamStream p;
  p.loadParams(",5");
  EXPECT_EQ(p.getIntParam(0), 0);
  EXPECT_EQ(p.getStringParam(0), "");
  EXPECT_EQ(p.getIntParam(1), 5);
  p.loadParams("   ,  42  ");
  EXPECT_EQ(p.getIntParam(0), 0);
  EXPECT_EQ(p.getIntParam(1), 42);
}

TEST(ParamStream, ConversionsStopWhereTheValueEnds) {
  cParamStream p;
  p.loadParams("12.7,abc,two words,-3e2x");
  EXPECT_EQ(p.getIntParam(0), 12);
  EXPECT_FLOAT_EQ(p.getFloatParam(0), 12.7f);
  EXPECT_EQ(p.getIntParam(1), 0);
  EXPECT_EQ(p.getStringParam(2), "two");
  EXPECT_FLOAT_EQ(p.getFloatParam(3), -300.0f);
}

TEST(ParamStream, NextIntReadsFieldZeroAfterALoadAndThenMovesOn) {
  cParamStream p;
  p.loadParams("7,8");
  EXPECT_EQ(p.nextIntParam(), 7);
  EXPECT_EQ(p.nextIntParam(), 8);
  EXPECT_EQ(p.nextIntParam(), 0);
}

TEST(ParamStream, LeftoversOfOneReadNeverReachTheNext) {
  cParamStream p;
  p.loadParams("5 junk,9");
  EXPECT_EQ(p.getIntParam(0), 5);
  EXPECT_EQ(p.getIntParam(1), 9);
  p.loadParams("x");
  EXPECT_EQ(p.getIntParam(0), 0);
  p.loadParams("3");
  EXPECT_EQ(p.getIntParam(0), 3);
}

TEST(ParamStream, FailedExtractionsKeepTheDefault) {
  // Out of range, or ending inside an exponent: the standard extraction fails and the field reads
  // as 0, never as the saturated limit or a partial value.
  cParamStream p;
  p.loadParams("99999999999,-99999999999,3000000000,1e40,-1e40,1e,1.5e,5e+,1e5");
  EXPECT_EQ(p.getIntParam(0), 0);
  EXPECT_EQ(p.getIntParam(1), 0);
  EXPECT_EQ(p.getIntParam(2), 0);
  EXPECT_EQ(p.getFloatParam(3), 0.0f);
  EXPECT_EQ(p.getFloatParam(4), 0.0f);
  EXPECT_EQ(p.getFloatParam(5), 0.0f);
  EXPECT_EQ(p.getFloatParam(6), 0.0f);
  EXPECT_EQ(p.getFloatParam(7), 0.0f);
  EXPECT_EQ(p.getFloatParam(8), 100000.0f);
  EXPECT_EQ(p.getIntParam(8), 1);
}

TEST(TruncToInt, TruncatesTowardZeroAndSaturates) {
  struct Case {
    double in;
    int32_t out;
  } cases[] = {{1000.9, 1000}, {-1.9, -1}, {0.0, 0}, {1e30, INT_MAX}, {-1e30, INT_MIN}, {2147483647.5, INT_MAX},
               {-2147483648.0, INT_MIN}, {std::numeric_limits<double>::infinity(), INT_MAX},
               {-std::numeric_limits<double>::infinity(), INT_MIN}, {std::nan(""), 0}};
  for (const Case &c : cases) EXPECT_EQ(Kandu::truncToInt(c.in), c.out) << c.in;
}
