// The studio's rules that need no server: who gets in, which paths are pages, the file's version,
// render's progress, the WAV the page gets, and what the window takes from the link.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cstdio>
#include <cstring>
#include <vector>

#include "studio/server.h"
#include "studio/link.h"
#include "studio/music.h"
#include "studio/render.h"
#include "tests/support/process.h"

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

  // A stream starts after the event a reconnecting page names, never past the last one.
  EXPECT_EQ(link.streamStart(""), 0u);
  EXPECT_EQ(link.streamStart("5"), 0u);
  uint64_t cursor = link.lastEventId();
  link.publish("saved", "{}");
  link.publish("disk", "{\"version\":\"v1\"}");
  std::vector<StudioEvent> events;
  ASSERT_TRUE(link.nextEvents(cursor, events, std::chrono::milliseconds(0)));
  ASSERT_EQ(events.size(), 2u);
  EXPECT_EQ(events[1].name, "disk");
  EXPECT_EQ(cursor, events[1].id);
  link.publish("saved", "{}");  // ids 1, 2 and 3
  EXPECT_EQ(link.streamStart("1"), 1u);
  EXPECT_EQ(link.streamStart("3"), 3u);
  EXPECT_EQ(link.streamStart("99"), 3u);  // from a studio that ran before
  EXPECT_EQ(link.streamStart(""), 3u);
  EXPECT_EQ(link.streamStart("-1"), 3u);
  EXPECT_EQ(link.streamStart("2x"), 3u);
  EXPECT_EQ(link.streamStart("1234567890123456"), 3u);
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

// A render's end as the pages hear it, from a stand-in player (a script) that prints what the
// real one prints: each new percentage once, then done (100, the video's path), failed (with the
// player's last words) or cancelled (nothing written); an export gets export's arguments.
TEST(StudioRules, TheRenderReportsItsEndDoneFailedOrCancelled) {
  Workspace ws;
  // Each stand-in waits for its NAME.go (30 s at most) before it says anything: a second render
  // asked for meanwhile finds the first running, however late a busy machine runs the test.
  auto fake = [&](const std::string &name, const std::string &body) {
    const std::string gate = "i=0; while [ ! -e \"$0.go\" ] && [ $i -lt 3000 ]; do sleep 0.01; i=$((i + 1)); done\n";
    const std::string path = ws.write(name, "#!/bin/sh\n" + gate + body);
    chmod(path.c_str(), 0755);
    return path;
  };
  const std::string ok = fake("ok.sh", "echo \"$@\" > \"$0.args\"\n"
                                       "printf 'render: frame 1/4 (25%%), 9.0 fps\\nrender: frame 2/4 (50%%), 9.0 fps\\n"
                                       "render: frame 2/4 (50%%), 9.0 fps\\nkandu-player: wrote 4 frames\\n' >&2\n");
  const std::string bad = fake("bad.sh", "printf 'render: frame 1/4 (25%%), 9.0 fps\\n"
                                         "kandu-player: out.mp4: No space left on device\\n' >&2\nexit 1\n");
  const std::string slow = fake("slow.sh", "printf 'render: frame 1/4 (25%%), 9.0 fps\\n' >&2\nexec sleep 30\n");

  auto run = [&](const std::string &player, const std::string &pageDir, bool cancel, std::vector<std::string> &states) {
    StudioLink link;
    StudioRender render(link);
    std::string error;
    EXPECT_TRUE(render.start(player, "p.so", "t.timeline", ws.path("out/v.mp4"), error, pageDir)) << error;
    std::string again;
    EXPECT_FALSE(render.start(player, "", "t.timeline", ws.path("w.mp4"), again));
    EXPECT_EQ(again, "a render is running");
    ws.write(player.substr(player.rfind('/') + 1) + ".go", "");
    if (cancel) {
      EXPECT_TRUE(waitFor([&] { return render.stateJson().find("\"percent\":25") != std::string::npos; }, 10));
      render.cancel();
    }
    EXPECT_TRUE(waitFor([&] { return render.stateJson().find("running") == std::string::npos; }, 20));
    uint64_t cursor = 0;
    std::vector<StudioEvent> events;
    link.nextEvents(cursor, events, std::chrono::milliseconds(0));
    for (const StudioEvent &e : events) states.push_back(e.data);
    std::remove((player + ".go").c_str());
    return render.finished();
  };
  std::vector<std::string> states;
  EXPECT_EQ(run(ok, "", false, states), ws.path("out/v.mp4"));
  const std::string running = "{\"message\":\"\",\"output\":\"v.mp4\",\"percent\":";
  EXPECT_EQ(states, (std::vector<std::string>{running + "0,\"state\":\"running\"}", running + "25,\"state\":\"running\"}",
                                                running + "50,\"state\":\"running\"}",
                                                "{\"message\":\"kandu-player: wrote 4 frames\",\"output\":\"v.mp4\","
                                                "\"percent\":100,\"state\":\"done\"}"}));
  EXPECT_EQ(fileContent(ok + ".args"), "render t.timeline --out " + ws.path("out/v.mp4") + " --plugin p.so\n");

  states.clear();
  EXPECT_EQ(run(bad, "", false, states), "");
  ASSERT_FALSE(states.empty());
  EXPECT_EQ(states.back(), "{\"message\":\"kandu-player: out.mp4: No space left on device\",\"output\":\"v.mp4\","
                           "\"percent\":25,\"state\":\"failed\"}");

  states.clear();
  EXPECT_EQ(run(slow, "", true, states), "");
  ASSERT_FALSE(states.empty());
  EXPECT_EQ(states.back(), "{\"message\":\"cancelled; nothing was written\",\"output\":\"v.mp4\","
                           "\"percent\":25,\"state\":\"cancelled\"}");

  states.clear();
  EXPECT_EQ(run(ok, ws.path("pages"), false, states), ws.path("out/v.mp4"));
  EXPECT_EQ(fileContent(ok + ".args"), "export t.timeline --out " + ws.path("out/v.mp4") + " --page " + ws.path("pages") + "\n");
}

}  // namespace
}  // namespace kandu

