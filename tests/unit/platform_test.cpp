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

// The clock moves at the rate of the steady clock: 30 ms of it take 25 ms or more of the steady
// clock (a busy machine may take longer, never less).
TEST(Platform, MillisecondClockRunsForwardWithoutAHostClock) {
  KanduPlatform::raiseTimerResolution();
  const uint32_t before = KanduPlatform::timeMs();
  const auto start = std::chrono::steady_clock::now(), deadline = start + std::chrono::seconds(10);
  uint32_t elapsed = 0;
  while ((elapsed = KanduPlatform::timeMs() - before) < 30 && std::chrono::steady_clock::now() < deadline)
    std::this_thread::yield();  // unsigned subtraction: right across a wrap too
  const auto steadyMs =
      std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start).count();
  EXPECT_GE(elapsed, 30u);
  EXPECT_GE(steadyMs, 25);
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
