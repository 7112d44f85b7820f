#include <gtest/gtest.h>

#include <set>

#include "player/capture.h"
#include "player/locations.h"

using namespace kandu;

// The installed layout seen from PREFIX/bin: the plug-in in PREFIX/lib/kandu, the pages in
// PREFIX/share/kandu/web; the build folder's own places come first.
TEST(Locations, TheBuildFolderFirstThenTheInstalledPlaces) {
  EXPECT_EQ(pluginCandidates("/opt/k/bin"),
            (std::vector<std::string>{"/opt/k/bin/libkandu.so", "/opt/k/bin/../lib/kandu/libkandu.so"}));
  EXPECT_EQ(pageCandidates("/opt/k/bin"), (std::vector<std::string>{"/opt/k/bin/web", "/opt/k/bin/../build-web",
                                                                      "/opt/k/bin/../share/kandu/web"}));
}

// The first that exists wins; when none does, the message names every place looked at, each as a
// message shows a name (control bytes escaped), and the option that names it outright.
TEST(Locations, FindsTheFirstOrSaysWhereItLooked) {
  std::string found, error;
  std::set<std::string> there = {"/b", "/c"};
  auto exists = [&](const std::string &p) { return there.count(p) > 0; };
  ASSERT_TRUE(findFirst({"/a", "/b", "/c"}, exists, "the thing", "--thing X", found, error));
  EXPECT_EQ(found, "/b");
  there.clear();
  EXPECT_FALSE(findFirst({"/a", "/b\x1b"}, exists, "the thing", "--thing X", found, error));
  EXPECT_EQ(error, "cannot find the thing (looked at /a, /b\\x1b); give --thing X");
}

// Parts split the frames as evenly as whole frames allow, in order, without a gap or an overlap:
// 10 frames in 3 parts are 3, 3 and 4 (frames 0-2, 3-5, 6-9); no parts is all of them.
TEST(Locations, PartsOfARenderCoverItsFramesOnce) {
  const PartFrames expected[] = {{0, 3}, {3, 6}, {6, 10}};
  for (int i = 1; i <= 3; ++i) {
    const PartFrames p = partFrames(10, i, 3);
    EXPECT_EQ(p.begin, expected[i - 1].begin) << "part " << i;
    EXPECT_EQ(p.end, expected[i - 1].end) << "part " << i;
  }
  EXPECT_EQ(partFrames(10, 0, 0).begin, 0);
  EXPECT_EQ(partFrames(10, 0, 0).end, 10);
  // More parts than frames: some are empty (the player refuses those), none is lost.
  EXPECT_EQ(partFrames(2, 1, 3).end - partFrames(2, 1, 3).begin, 0);
  EXPECT_EQ(partFrames(2, 3, 3).end, 2);
  // A long capture: an hour at 60 fps in 7 parts, the last ending on the last frame.
  EXPECT_EQ(partFrames(216000, 7, 7).end, 216000);
  EXPECT_EQ(partFrames(216000, 4, 7).begin, 92571);
}
