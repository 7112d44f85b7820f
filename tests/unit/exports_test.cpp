// The exports as a host calls them, without a GL context: time, block bounds, progress, the
// effect-word mapping and hostile parameter texts.
#include <gtest/gtest.h>

#include <string>

#include "host/effects.h"
#include "host/exports.h"
#include "host/params.h"
#include "intro/testbed.h"
#include "player/headless.h"

using namespace kandu;

using namespace Kandu;

namespace {
float progressFor(const char *time, const char *bounds) {
  setTimeDLL(time);
  getBlockInfo(bounds);
  return hostState().blockProgress;
}
}  // namespace

TEST(Exports, BlockProgressIsElapsedOverLengthUnclamped) {
  EXPECT_FLOAT_EQ(progressFor("1500", "1000,2000"), 0.5f);
  EXPECT_EQ(hostState().blockElapsed, 500);
  EXPECT_EQ(hostState().blockStart, 1000);
  EXPECT_EQ(hostState().blockEnd, 2000);
  EXPECT_FLOAT_EQ(progressFor("2500", "1000,2000"), 1.5f);
  EXPECT_FLOAT_EQ(progressFor("500", "1000,2000"), -0.5f);
  EXPECT_FLOAT_EQ(progressFor("1000", "1000,2000"), 0.0f);
  EXPECT_FLOAT_EQ(progressFor("2000", "1000,2000"), 1.0f);
}

TEST(Exports, FractionalBoundsAreTruncated) {
  EXPECT_FLOAT_EQ(progressFor("1500", "1000.9,2000.9"), 0.5f);
  EXPECT_EQ(hostState().blockStart, 1000);
  EXPECT_EQ(hostState().blockEnd, 2000);
}

TEST(Exports, EmptyBlockGivesProgressZero) {
  EXPECT_EQ(progressFor("1500", "1000,1000"), 0.0f);
  EXPECT_EQ(progressFor("0", ""), 0.0f);
}

TEST(Exports, HostileTextsAreHarmless) {
  const std::string huge(100000, '7');
  const char *texts[] = {nullptr, "", ",,,,", "abc", "1e30,-1e30", "-1e30,1e30", "99999999999,99999999999",
                         "nan,inf", "inf,nan", "-inf,1", "1e39,-1e39", huge.c_str(), "2147483647,-2147483648"};
  for (const char *text : texts) {
    setTimeDLL(text);
    getBlockInfo(text);
    ExecuteDLL(text);
    float p = hostState().blockProgress;
    EXPECT_TRUE(p == p) << "progress is NaN for " << (text ? std::string(text).substr(0, 40) : "null");
  }
  // Numbers the extraction cannot hold read as 0; floats that were read saturate on conversion.
  setTimeDLL("3000000000");
  EXPECT_EQ(hostState().currentTime, 0);
  setTimeDLL("1500");
  getBlockInfo("1e40,2000");
  EXPECT_EQ(hostState().blockStart, 0);
  EXPECT_FLOAT_EQ(hostState().blockProgress, 0.75f);
  getBlockInfo("-1e30,1e30");
  EXPECT_EQ(hostState().blockStart, INT32_MIN);
  EXPECT_EQ(hostState().blockEnd, INT32_MAX);
}

// The one test in this binary that makes a GL context, so the intro is uninitialised until here.
TEST(Exports, InitWaitsForACurrentContextAndExecuteBeforeItDrawsNothing) {
  ASSERT_FALSE(theIntro().initialised());
  pulses() = Pulses{};
  ExecuteDLL("light");
  ExecuteDLL("cube_thing");
  EXPECT_EQ(pulses().light, 0.0f);
  FreeDLL(5);
  AssignController(-1);
  InitDLL(0);  // no current context: nothing to build into, and no crash
  EXPECT_FALSE(theIntro().initialised());
  HeadlessContext context;
  std::string why;
  ASSERT_TRUE(context.create(64, 64, why)) << why;
  InitDLL(0);
  EXPECT_TRUE(theIntro().initialised());
  context.release();
}

TEST(EffectWords, MapToTheirConstantsByIdentity) {
  struct Case {
    const char *word;
    const char *effect;
  } cases[] = {{"cube_thing", kEffectCubeThing},       {"water_thing", kEffectWaterThing},
               {"jumping_bars", kEffectJumpingBars},   {"jumping_bars2", kEffectJumpingBars2},
               {"jumping_bars3", kEffectJumpingBars3}, {"morph", kEffectMorph},
               {"cube_field", kEffectCubeField},       {"vibrate", kEffectDistort},
               {"light", kEffectLight},                {"rotate", kEffectRotate},
               {"fade", kEffectFade},                  {"distort", kEffectNone},
               {"morph1", kEffectNone},                {"Morph", kEffectNone},
               {"", kEffectNone},                      {nullptr, kEffectNone}};
  for (const Case &c : cases) EXPECT_EQ(effectForWord(c.word), c.effect) << (c.word ? c.word : "null");
}

TEST(EffectWords, OnlyTheFirstWordOfFieldZeroCounts) {
  // ExecuteDLL reads field 0's first word: "  morph ,x" selects morph.
  cParamStream p;
  p.loadParams("  morph ,cube_thing");
  EXPECT_EQ(effectForWord(p.getStringParam(0).c_str()), kEffectMorph);
}

TEST(Exports, FreeAndAssignControllerAreOneFunction) {
  EXPECT_EQ(reinterpret_cast<void *>(&FreeDLL), reinterpret_cast<void *>(&AssignController));
}
