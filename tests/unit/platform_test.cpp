// The POSIX platform layer without a GL context, and the web page's copy of glibc's rand.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <thread>

#include "platform/glibc_random.h"
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

// The web page draws the water's kicks from this copy; on Linux they come from the C library
// itself, which must give the very same numbers: unseeded, and after srand with seeds that glibc
// treats specially (0 acts as 1) or that do not fit an int.
TEST(Platform, TheWebPagesRandomSequenceIsTheCLibrarys) {
  KanduPlatform::GlibcRandom unseeded;
  std::srand(1);
  for (int i = 0; i < 10000; ++i) ASSERT_EQ(unseeded.next(), std::rand()) << "draw " << i;
  for (unsigned seed : {0u, 42u, 3000000000u}) {
    KanduPlatform::GlibcRandom seeded(seed);
    std::srand(seed);
    for (int i = 0; i < 1000; ++i) ASSERT_EQ(seeded.next(), std::rand()) << "seed " << seed << ", draw " << i;
  }
  std::srand(1);  // leaves the C library as a fresh process has it
}
