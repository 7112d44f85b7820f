// The POSIX platform layer without a GL context.
#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "platform/platform.h"

TEST(Platform, NoticeIsOneLineOnStandardErrorPerCall) {
  testing::internal::CaptureStderr();
  KanduPlatform::showBlockingNotice("lol!", "Update your drivers!");
  KanduPlatform::showBlockingNotice("lol!", "Update your drivers!");
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "lol!: Update your drivers!\nlol!: Update your drivers!\n");
}

TEST(Platform, MillisecondClockRunsForwardWithoutAHostClock) {
  KanduPlatform::raiseTimerResolution();
  uint32_t before = KanduPlatform::timeMs();
  std::this_thread::sleep_for(std::chrono::milliseconds(30));
  uint32_t elapsed = KanduPlatform::timeMs() - before;  // unsigned: right across a wrap too
  EXPECT_GE(elapsed, 25u);
  EXPECT_LT(elapsed, 5000u);
}

TEST(Platform, NoGLContextMeansNoDrawableAndNoGlyphs) {
  EXPECT_EQ(KanduPlatform::currentDrawable(), nullptr);
  EXPECT_FALSE(KanduPlatform::buildFontBitmaps(nullptr, "Arial", 24, 400, false, 32, 96, 1));
}
