// The studio's rules that need no server: who gets in, which paths are pages, the file's version,
// render's progress, the WAV the page gets, and what the window takes from the link.
#include <gtest/gtest.h>

#include <cstring>

#include "studio/server.h"
#include "studio/link.h"
#include "studio/music.h"
#include "studio/render.h"

namespace kandu {
namespace {

TEST(StudioRules, HostOriginCookieAndPaths) {
  EXPECT_TRUE(ownHost("127.0.0.1:8080", 8080));
  EXPECT_TRUE(ownHost("localhost:8080", 8080));
  for (const char *host : {"127.0.0.1", "127.0.0.1:80", "127.0.0.1:8080.evil.example", "evil.example:8080",
                           "localhost.evil.example:8080", "[::1]:8080", ""})
    EXPECT_FALSE(ownHost(host, 8080)) << host;
  EXPECT_TRUE(ownOrigin("http://127.0.0.1:8080", 8080));
  EXPECT_TRUE(ownOrigin("http://localhost:8080", 8080));
  for (const char *origin : {"https://127.0.0.1:8080", "http://127.0.0.1:8081", "null", "127.0.0.1:8080", ""})
    EXPECT_FALSE(ownOrigin(origin, 8080)) << origin;

  EXPECT_TRUE(cookieHas("a=1; kandu-studio-9=s3cret; b=2", "kandu-studio-9", "s3cret"));
  EXPECT_TRUE(cookieHas("kandu-studio-9=s3cret", "kandu-studio-9", "s3cret"));
  EXPECT_FALSE(cookieHas("kandu-studio-9=s3cre", "kandu-studio-9", "s3cret"));
  EXPECT_FALSE(cookieHas("kandu-studio-9=s3cretX", "kandu-studio-9", "s3cret"));
  EXPECT_FALSE(cookieHas("kandu-studio-9=s3cres", "kandu-studio-9", "s3cret"));  // only the last differs
  EXPECT_FALSE(cookieHas("kandu-studio-9=t3cret", "kandu-studio-9", "s3cret"));  // only the first
  EXPECT_FALSE(cookieHas("xkandu-studio-9=s3cret", "kandu-studio-9", "s3cret"));
  EXPECT_FALSE(cookieHas("kandu-studio-90=s3cret", "kandu-studio-9", "s3cret"));
  EXPECT_FALSE(cookieHas("", "kandu-studio-9", "s3cret"));
  EXPECT_EQ(studioCookieName(4711), "kandu-studio-4711");

  for (const char *ok : {"editor.html", "editor/main.js", "a/b/c.css"}) EXPECT_TRUE(safeRelativePath(ok)) << ok;
  for (const char *bad : {"", "/etc/passwd", "../x", "editor/../../x", "editor/..", "./editor.html", "editor//x",
                          "editor/", "a\\..\\b", ".."})
    EXPECT_FALSE(safeRelativePath(bad)) << bad;
  EXPECT_FALSE(safeRelativePath(std::string("editor.html\0/../x", 17)));
}

TEST(StudioRules, VersionAndRenderProgress) {
  // FNV-1a 64 of "" is its offset basis; of "a", 0xaf63dc4c8601ec8c (the published test vector).
  EXPECT_EQ(contentVersion(""), "vcbf29ce484222325");
  EXPECT_EQ(contentVersion("a"), "vaf63dc4c8601ec8c");
  EXPECT_NE(contentVersion("0 1 water\n"), contentVersion("0 1 water\r\n"));

  EXPECT_EQ(renderPercent("render: frame 30/120 (25%), 60.0 fps"), 25);
  EXPECT_EQ(renderPercent("render [#####     ]  50% 60/120 frames   30.0 fps    2 s left "), 50);
  EXPECT_EQ(renderPercent("render: frame 120/120 (100%), 60.0 fps"), 100);
  EXPECT_EQ(renderPercent("pre-roll: frame 60/600 (10%), 60.0 fps"), -1);
  EXPECT_EQ(renderPercent("render: wrote out.mp4"), -1);
  EXPECT_EQ(renderPercent("render: 1000%"), -1);
  EXPECT_EQ(renderPercent("render: 99999999999999999999%"), -1);  // no number read past three digits
}

TEST(StudioRules, WavBytesAndPeaksOfKnownSamples) {
  // Three frames: (1, -1), (0.5, 0), (-2 clipped to -1, 0.25).
  SampleBuffer music({1.0f, -1.0f, 0.5f, 0.0f, -2.0f, 0.25f});
  std::string all, error;
  ASSERT_TRUE(wavBytes(music, 3, 0, 1000, all, error)) << error;
  ASSERT_EQ(all.size(), 44u + 12u);
  EXPECT_EQ(all.substr(0, 4), "RIFF");
  EXPECT_EQ(all.substr(36, 4), "data");
  EXPECT_EQ(static_cast<unsigned char>(all[40]), 12u);  // data bytes
  EXPECT_EQ(static_cast<unsigned char>(all[24]) | static_cast<unsigned char>(all[25]) << 8, 48000 & 0xffff);
  const int16_t expected[] = {32767, -32767, 16384, 0, -32767, 8192};  // lround(v * 32767)
  int16_t got[6];
  std::memcpy(got, all.data() + 44, sizeof got);
  for (int i = 0; i < 6; ++i) EXPECT_EQ(got[i], expected[i]) << i;
  // Any slice, as a range request asks: the same bytes.
  for (size_t offset : {0u, 3u, 43u, 44u, 45u, 51u, 55u}) {
    std::string part;
    ASSERT_TRUE(wavBytes(music, 3, offset, 5, part, error));
    // A call returns the header's part alone when it starts in the header: ask on until the end.
    std::string joined = part;
    while (joined.size() < std::min<size_t>(5, all.size() - offset) && !part.empty()) {
      ASSERT_TRUE(wavBytes(music, 3, offset + joined.size(), 5 - joined.size(), part, error));
      joined += part;
    }
    EXPECT_EQ(joined, all.substr(offset, 5)) << offset;
  }

  // Peaks: the mean of the channels over each 256 frames, extremes counted from 0.
  std::vector<float> stereo(2 * 300);
  for (int i = 0; i < 300; ++i) stereo[2 * i] = stereo[2 * i + 1] = i < 256 ? 0.5f : -0.25f;
  stereo[2 * 10] = -1.0f;  // frame 10: mean (-1 + 0.5) / 2
  std::vector<float> peaks;
  appendPeaks(stereo.data(), 300, peaks);
  EXPECT_EQ(peaks, (std::vector<float>{-0.25f, 0.5f, -0.25f, 0.0f}));
}

TEST(StudioRules, TheWindowTakesTheNewestTextAndTheMergedMoves) {
  StudioLink link;
  uint64_t revision = 0;
  std::string text;
  EXPECT_FALSE(link.takeDraft(revision, text));
  link.setDraft(5, "five");
  link.setDraft(3, "three, late");  // an older request answered after a newer one
  ASSERT_TRUE(link.takeDraft(revision, text));
  EXPECT_EQ(revision, 5u);
  EXPECT_EQ(text, "five");
  link.setDraft(6, "six");
  link.setDraft(7, "seven");
  ASSERT_TRUE(link.takeDraft(revision, text));
  EXPECT_EQ(revision, 7u);
  EXPECT_EQ(text, "seven");
  EXPECT_FALSE(link.takeDraft(revision, text));

  TransportMove a, b, got;
  a.setPlaying = true, a.playing = true, a.setPosition = true, a.positionMs = 100;
  b.setPosition = true, b.positionMs = 250;
  link.requestMove(a);
  link.requestMove(b);
  ASSERT_TRUE(link.takeMove(got));
  EXPECT_TRUE(got.setPlaying && got.playing);
  EXPECT_EQ(got.positionMs, 250);
  EXPECT_FALSE(got.setLoop);
  EXPECT_FALSE(link.takeMove(got));

  uint64_t cursor = link.lastEventId();
  link.publish("saved", "{}");
  link.publish("disk", "{\"version\":\"v1\"}");
  std::vector<StudioEvent> events;
  ASSERT_TRUE(link.nextEvents(cursor, events, std::chrono::milliseconds(0)));
  ASSERT_EQ(events.size(), 2u);
  EXPECT_EQ(events[1].name, "disk");
  EXPECT_EQ(cursor, events[1].id);
  events.clear();
  link.close();
  EXPECT_FALSE(link.nextEvents(cursor, events, std::chrono::seconds(5)));

  const auto t0 = std::chrono::steady_clock::time_point{} + std::chrono::seconds(100);
  for (int i = 0; i < 90; ++i) link.drewFrame(9, 1000 + i, true, t0 + std::chrono::milliseconds(i * 20));
  EXPECT_EQ(link.window().fps, 51);  // the frames of the last second: 1.78 s to 0.78 s, 20 ms apart
  EXPECT_EQ(link.window().revision, 9u);
  // A text arriving after frame 90 and first drawn in frame 92: two frames to draw it.
  StudioLink fresh;
  for (int i = 0; i < 90; ++i) fresh.drewFrame(0, 0, false, t0);
  fresh.setDraft(11, "eleven");
  fresh.drewFrame(0, 0, false, t0);
  EXPECT_EQ(fresh.window().framesToDraw, -1);
  fresh.drewFrame(11, 0, false, t0);
  fresh.drewFrame(11, 0, false, t0);
  EXPECT_EQ(fresh.window().framesToDraw, 2);
}

}  // namespace
}  // namespace kandu

