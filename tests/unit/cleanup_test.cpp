// What the crash cleanup removes: the tracked files, and of a frame directory the frames written so
// far (frame_000000.png on), its audio.wav and the directory when that leaves it empty.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <string>
#include <vector>

#include "media/cleanup.h"
#include "tests/support/process.h"

using namespace kandu;

namespace {
bool exists(const std::string &path) {
  struct stat st{};
  return stat(path.c_str(), &st) == 0;
}
}  // namespace

TEST(Cleanup, RemovesTheFramesWrittenByTheirNamesAndTheirSound) {
  Workspace ws;
  mkdir(ws.path("frames").c_str(), 0755);
  const char *names[] = {"frame_000000.png", "frame_000001.png", "frame_000009.png", "frame_000010.png",
                         "frame_000011.png", "audio.wav"};
  for (int k = 2; k < 9; ++k) ws.write("frames/frame_00000" + std::to_string(k) + ".png", "x");
  for (const char *name : names) ws.write(std::string("frames/") + name, "x");
  cleanup::trackFrameDir(ws.path("frames"));
  cleanup::setFramesWritten(12);
  cleanup::removeUnfinished();
  EXPECT_FALSE(exists(ws.path("frames")));
  cleanup::untrackFrameDir(ws.path("frames"));

  // Three of five written: the two not yet written are not the cleanup's, so the directory stays.
  mkdir(ws.path("part").c_str(), 0755);
  for (const char *name : {"frame_000000.png", "frame_000001.png", "frame_000002.png", "frame_000003.png",
                           "frame_000004.png", "audio.wav"})
    ws.write(std::string("part/") + name, "x");
  cleanup::trackFrameDir(ws.path("part"));
  cleanup::setFramesWritten(3);
  cleanup::removeUnfinished();
  EXPECT_EQ(ws.list("part"), (std::vector<std::string>{"frame_000003.png", "frame_000004.png"}));
  cleanup::untrackFrameDir(ws.path("part"));
}

TEST(Cleanup, RemovesOnlyTheFilesStillTracked) {
  Workspace ws;
  const std::string video = ws.write(".a.mp4.kandu-1", "v"), sound = ws.write(".a.wav.kandu-2", "s");
  cleanup::trackFile(video);
  cleanup::trackFile(sound);
  cleanup::untrackFile(video);  // committed: it is the user's now
  cleanup::removeUnfinished();
  EXPECT_TRUE(exists(video));
  EXPECT_FALSE(exists(sound));
  cleanup::untrackFile(sound);
}

// Each untrack forgets what it names and nothing else: a frame directory committed (or another
// directory's untrack) leaves a file still being written tracked, and an encoder that finished
// does not forget a newer one.
TEST(Cleanup, EachRegistrationIsForgottenByItsOwnUntrack) {
  Workspace ws;
  const std::string wav = ws.write(".a.wav.kandu-3", "s");
  mkdir(ws.path("frames").c_str(), 0755);
  ws.write("frames/frame_000000.png", "x");
  cleanup::trackFile(wav);
  cleanup::trackFrameDir(ws.path("frames"));
  cleanup::setFramesWritten(1);
  cleanup::untrackFrameDir(ws.path("other"));
  cleanup::untrackChild(12345);
  cleanup::removeUnfinished();
  EXPECT_FALSE(exists(ws.path("frames")));
  EXPECT_FALSE(exists(wav));
  const std::string again = ws.write(".b.wav.kandu-4", "s");
  cleanup::trackFile(again);
  cleanup::untrackFrameDir(ws.path("frames"));  // committed
  cleanup::removeUnfinished();
  EXPECT_FALSE(exists(again)) << "the file was forgotten with the directory";
  cleanup::untrackFile(wav);
  cleanup::untrackFile(again);
}
