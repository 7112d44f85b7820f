// The player's rules that need no window or device: the sound's clock, and noticing edited files.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>

#include <memory>
#include <string>
#include <vector>

#include "player/audio_out.h"
#include "player/reload.h"
#include "player/song.h"
#include "tests/support/process.h"
#include "tests/unit/wav.h"

using namespace kandu;

// Buffers of 1024 frames at 48 kHz last 21.333 ms. With frame 49024 the next to hand over, the
// buffer playing began at frame 48000, 1000 ms; the clock moves on with the time since it was
// handed over, up to that buffer's length, and stands still while paused.
TEST(SoundClock, TheBufferPlayingPlusTheTimeSinceItWasHandedOver) {
  const double kBufferMs = 1024 * 1000.0 / 48000;
  EXPECT_DOUBLE_EQ(soundClockMs(49024, 1024, 0, false), 1000);
  EXPECT_DOUBLE_EQ(soundClockMs(49024, 1024, 10, false), 1010);
  EXPECT_DOUBLE_EQ(soundClockMs(49024, 1024, 30, false), 1000 + kBufferMs);
  EXPECT_DOUBLE_EQ(soundClockMs(49024, 1024, -3, false), 1000);
  EXPECT_DOUBLE_EQ(soundClockMs(49024, 1024, 10, true), 1000);
  EXPECT_DOUBLE_EQ(soundClockMs(1024, 1024, 5, false), 5);
  // Seeking or pausing at a moment hands over from there, one buffer on: 10.01 ms is frame 480.48,
  // so 480, and the clock then reads 10 ms.
  EXPECT_EQ(nextFrameAt(1000, 1024), 49024);
  EXPECT_EQ(nextFrameAt(10.01, 512), 480 + 512);
  EXPECT_DOUBLE_EQ(soundClockMs(nextFrameAt(10.01, 512), 512, 0, true), 10);
}

namespace {
void setModified(const std::string &path, time_t seconds, long nanoseconds) {
  const timespec times[2] = {{seconds, nanoseconds}, {seconds, nanoseconds}};
  ASSERT_EQ(utimensat(AT_FDCWD, path.c_str(), times, 0), 0);
}
}  // namespace

// An edit is seen by its modification time to the nanosecond or by its size: one that keeps the
// size within the same second is an edit too.
TEST(Reload, AnEditIsSeenByItsTimeToTheNanosecondOrItsSize) {
  Workspace ws;
  const std::string path = ws.write("a.timeline", "0 1000 morph\n");
  setModified(path, 1700000000, 100);
  FileWatcher watcher(path, std::chrono::milliseconds(0));
  EXPECT_FALSE(watcher.changed());
  setModified(path, 1700000000, 200);
  EXPECT_TRUE(watcher.changed());
  EXPECT_FALSE(watcher.changed());
  ws.write("a.timeline", "0 1000 morph\n# longer\n");
  setModified(path, 1700000000, 200);
  EXPECT_TRUE(watcher.changed());
  EXPECT_FALSE(FileWatcher("", std::chrono::milliseconds(0)).changed());
}

// An edited timeline of the same size replaces the one playing; one that does not parse keeps it,
// with its error, until it parses again.
TEST(Reload, TimelineEditsReplaceWhatPlaysOrKeepItWithTheError) {
  Workspace ws;
  const std::string path = ws.write("a.timeline", "0 1000 morph\n");
  setModified(path, 1700000000, 0);
  TimelineWatcher watcher(path, std::chrono::milliseconds(0));
  Timeline playing;
  EXPECT_FALSE(watcher.poll(playing));
  ws.write("a.timeline", "0 2000 morph\n");  // the same size
  setModified(path, 1700000000, 1);
  ASSERT_TRUE(watcher.poll(playing));
  ASSERT_EQ(playing.blocks.size(), 1u);
  EXPECT_EQ(playing.blocks[0].end, 2000);
  ws.write("a.timeline", "0 2000\n");
  setModified(path, 1700000000, 2);
  EXPECT_FALSE(watcher.poll(playing));
  EXPECT_EQ(watcher.error().rfind(path + ":1: expected 'START END WORD'", 0), 0u) << watcher.error();
  EXPECT_EQ(playing.blocks[0].end, 2000);
  ws.write("a.timeline", "0 3000 cube_thing\n");
  setModified(path, 1700000000, 3);
  ASSERT_TRUE(watcher.poll(playing));
  EXPECT_EQ(watcher.error(), "");
  EXPECT_EQ(playing.blocks[0].word, "cube_thing");
}

// A reloaded timeline that names other music: the watcher opens it (off this thread) and hands it
// over; a timeline without music leaves none.
TEST(Reload, MusicFollowsTheMusicTheTimelineNames) {
  Workspace ws;
  writeTestWav(ws.path("a.wav"), 48000, 2, std::vector<int16_t>(9600, 1000));
  writeTestWav(ws.path("b.wav"), 48000, 2, std::vector<int16_t>(9600, -1000));
  MusicWatcher watcher(ws.path("a.wav"), std::chrono::milliseconds(0));
  std::unique_ptr<AudioSource> music;
  EXPECT_FALSE(watcher.poll(ws.path("a.wav"), music));
  EXPECT_FALSE(music);
  ASSERT_TRUE(waitFor([&] { return watcher.poll(ws.path("b.wav"), music); }, 20));
  ASSERT_TRUE(music);
  std::vector<float> first(2);
  std::string error;
  ASSERT_TRUE(music->read(0, first.data(), 1, error)) << error;
  EXPECT_EQ(first[0], -1000.0f / 32768);  // b's samples, as they are at 48 kHz
  EXPECT_TRUE(watcher.poll("", music));
  EXPECT_FALSE(music);
  EXPECT_EQ(watcher.error(), "");
}

// How new names the music in the timeline it writes: its bare name when both lie in one folder (as
// the disk sees the folders: through links and "..", the music's own name kept, a link's too),
// else the music's absolute path; a folder that does not exist yet is not the music's.
TEST(NewTimeline, TheMusicNamedBareBesideItElseByItsAbsolutePath) {
  Workspace ws;
  ASSERT_EQ(mkdir(ws.path("songs").c_str(), 0755), 0);
  ASSERT_EQ(mkdir(ws.path("project").c_str(), 0755), 0);
  ws.write("songs/été.flac", "x");
  ASSERT_EQ(symlink("../songs/été.flac", ws.path("project/linked.flac").c_str()), 0);
  ASSERT_EQ(symlink(ws.path("songs").c_str(), ws.path("alias").c_str()), 0);
  char real[4096];
  ASSERT_NE(realpath(ws.path("").c_str(), real), nullptr);
  const std::string root = real;
  struct Case {
    std::string timeline, music, named;
  } cases[] = {
      {ws.path("songs/a.timeline"), ws.path("songs/été.flac"), "été.flac"},
      {ws.path("songs/a.timeline"), ws.path("project/../songs/été.flac"), "été.flac"},
      {ws.path("songs/a.timeline"), ws.path("alias/été.flac"), "été.flac"},
      {ws.path("project/a.timeline"), ws.path("project/linked.flac"), "linked.flac"},
      {ws.path("project/a.timeline"), ws.path("songs/été.flac"), root + "/songs/été.flac"},
      {ws.path("project/a.timeline"), ws.path("project/../songs/été.flac"), root + "/songs/été.flac"},
      {ws.path("project/sub/a.timeline"), ws.path("project/linked.flac"), root + "/project/linked.flac"},
  };
  for (const Case &c : cases) EXPECT_EQ(musicNameFrom(c.timeline, c.music), c.named) << c.timeline << " " << c.music;
}
