// kandu-player edit, driven over HTTP as a page and as an attacker would: the secret, the Host and
// Origin checks, the page's files and nothing else, atomic saves against a version, changes on the
// disk heard, and the music and its peaks as the page gets them. (No display here: the window's part
// runs in the browser tests.)
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cmath>
#include <cstring>
#include <filesystem>
#include <atomic>
#include <fstream>
#include <mutex>
#include <thread>

#include <gtest/gtest.h>
#include <httplib.h>

#include "tests/support/process.h"

namespace {

// A page directory of our own, so that what is served is known byte for byte.
struct StudioRun {
  Workspace ws;
  std::string timeline, log, address, key;
  int port = 0;
  pid_t pid = -1;

  explicit StudioRun(const std::string &text, bool create = true) {
    std::filesystem::create_directories(ws.path("page/editor"));
    ws.write("page/editor.html", "<!doctype html>editor");
    ws.write("page/kandu.wasm", std::string("\0asm", 4));
    ws.write("page/kandu-editor.wasm", std::string("\0asm", 4));
    ws.write("page/editor/main.js", "export {};");
    // The player's page as export reads it.
    ws.write("page/index.html", "<!doctype html>\n<html><head><meta charset=\"utf-8\"><title>kandu</title></head>\n"
                                "<body>\n<canvas id=\"picture\"></canvas>\n<script src=\"kandu.js\"></script>\n</body></html>\n");
    for (const char *js : {"page/kandu.js", "page/module.js", "page/stage.js", "page/player.js"}) ws.write(js, "// js\n");
    ws.write("outside.txt", "private");
    std::filesystem::create_symlink(ws.path("outside.txt"), ws.path("page/leak.js"));
    timeline = ws.path("song/demo.timeline");
    std::filesystem::create_directories(ws.path("song"));
    if (create) ws.write("song/demo.timeline", text);
    log = ws.path("studio.log");
    pid = startPlayer({"edit", timeline, "--page", ws.path("page"), "--no-browser"}, log,
                      {"DISPLAY=", "WAYLAND_DISPLAY="});
    waitFor([&] { return fileContent(log).find('\n') != std::string::npos; }, 20);
    address = fileContent(log).substr(0, fileContent(log).find('\n'));
    const size_t colon = address.rfind(':'), slash = address.find('/', colon);
    if (colon != std::string::npos && slash != std::string::npos) port = std::stoi(address.substr(colon + 1, slash - colon - 1));
    key = address.substr(address.find("key=") + 4);
  }
  ~StudioRun() { endProgram(pid, 0); }

  httplib::Client client() const {
    httplib::Client c("127.0.0.1", port);
    c.set_read_timeout(20, 0);
    return c;
  }
  httplib::Headers keyed(httplib::Headers more = {}) const {
    more.emplace("X-Kandu-Key", key);
    return more;
  }
  httplib::Headers writing(httplib::Headers more = {}) const {
    more.emplace("Origin", "http://127.0.0.1:" + std::to_string(port));
    return keyed(std::move(more));
  }
  std::string version() const {
    auto r = client().Get("/api/timeline", keyed());
    return r ? r->get_header_value("X-Kandu-Version") : "";
  }
  // What a raw socket gets back for `bytes` sent as they are ("" when the studio closed on it).
  std::string raw(const std::string &bytes, bool halfClose = false) const {
    int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(static_cast<uint16_t>(port));
    to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    std::string answer;
    if (connect(fd, reinterpret_cast<sockaddr *>(&to), sizeof to) == 0) {
      (void)!write(fd, bytes.data(), bytes.size());
      if (halfClose) shutdown(fd, SHUT_WR);
      char buffer[4096];
      ssize_t n;
      // The status line and the headers are all that is looked at: no waiting for the connection to end.
      while (answer.find("\r\n\r\n") == std::string::npos && (n = read(fd, buffer, sizeof buffer)) > 0)
        answer.append(buffer, static_cast<size_t>(n));
    }
    close(fd);
    return answer;
  }
};

const char kText[] = "tempo 120\n0 4 water\n";

TEST(Studio, OnlyThisRunsPageGetsInAndOnlyToItsFiles) {
  StudioRun s(kText);
  ASSERT_GT(s.port, 0) << fileContent(s.log);
  EXPECT_EQ(s.address.rfind("http://127.0.0.1:", 0), 0u) << s.address;
  EXPECT_EQ(s.key.size(), 32u);

  // The address printed: the secret goes into a cookie and out of the address bar.
  auto first = s.client().Get(("/?key=" + s.key).c_str());
  ASSERT_TRUE(first);
  EXPECT_EQ(first->status, 303);
  EXPECT_EQ(first->get_header_value("Location"), "/editor.html?studio=1");
  const std::string cookie = first->get_header_value("Set-Cookie");
  EXPECT_EQ(cookie.rfind("kandu-studio-" + std::to_string(s.port) + "=" + s.key + ";", 0), 0u) << cookie;
  auto page = s.client().Get("/editor.html", {{"Cookie", "other=1; kandu-studio-" + std::to_string(s.port) + "=" + s.key}});
  ASSERT_TRUE(page);
  EXPECT_EQ(page->status, 200);
  EXPECT_EQ(page->body, "<!doctype html>editor");
  EXPECT_EQ(page->get_header_value("Content-Type"), "text/html; charset=utf-8");
  EXPECT_EQ(s.client().Get("/editor/main.js", s.keyed())->body, "export {};");

  // No secret, a wrong one, or one for another port's cookie.
  EXPECT_EQ(s.client().Get("/editor.html")->status, 403);
  EXPECT_EQ(s.client().Get("/api/timeline", {{"X-Kandu-Key", std::string(32, '0')}})->status, 403);
  std::string nearly = s.key;
  nearly.back() = nearly.back() == '0' ? '1' : '0';
  EXPECT_EQ(s.client().Get("/api/timeline", {{"X-Kandu-Key", nearly}})->status, 403);
  EXPECT_EQ(s.client().Get("/api/timeline", {{"Cookie", "kandu-studio-1=" + s.key}})->status, 403);
  // A page elsewhere that rebinds its name to 127.0.0.1 sends its own Host.
  auto rebound = s.client().Get("/api/timeline", s.keyed({{"Host", "evil.example:" + std::to_string(s.port)}}));
  EXPECT_EQ(rebound->status, 403);
  EXPECT_EQ(rebound->body.find("water"), std::string::npos);
  EXPECT_EQ(s.client().Get("/api/timeline", s.keyed({{"Host", "127.0.0.1:1"}}))->status, 403);
  EXPECT_EQ(s.client().Get("/api/timeline", s.keyed({{"Host", "localhost:" + std::to_string(s.port)}}))->status, 200);

  // Writes need the studio's own Origin as well.
  const std::string before = fileContent(s.timeline);
  const std::string v = s.version();
  for (const httplib::Headers &h : {s.keyed({{"X-Kandu-Base", v}}),
                                    s.keyed({{"X-Kandu-Base", v}, {"Origin", "http://evil.example"}}),
                                    s.keyed({{"X-Kandu-Base", v}, {"Origin", "http://127.0.0.1:1"}})}) {
    auto r = s.client().Put("/api/timeline", h, "0 8 morph\n", "text/plain");
    ASSERT_TRUE(r);
    EXPECT_EQ(r->status, 403);
  }
  EXPECT_EQ(s.client().Post("/api/draft", s.keyed({{"X-Kandu-Revision", "1"}}), kText, "text/plain")->status, 403);
  EXPECT_EQ(fileContent(s.timeline), before);

  // Only the page's own files: no way up, no absolute path, no link out, no listing.
  EXPECT_EQ(s.raw("GET /../outside.txt HTTP/1.1\r\nHost: 127.0.0.1:" + std::to_string(s.port) + "\r\nX-Kandu-Key: " +
                  s.key + "\r\nConnection: close\r\n\r\n").substr(0, 12), "HTTP/1.1 400");
  EXPECT_EQ(s.raw("GET /editor/%2e%2e/%2e%2e/outside.txt HTTP/1.1\r\nHost: 127.0.0.1:" + std::to_string(s.port) +
                  "\r\nX-Kandu-Key: " + s.key + "\r\nConnection: close\r\n\r\n").substr(0, 12), "HTTP/1.1 400");
  EXPECT_EQ(s.client().Get("//etc/passwd", s.keyed())->status, 400);
  EXPECT_EQ(s.client().Get("/leak.js", s.keyed())->status, 404);
  EXPECT_EQ(s.client().Get("/editor/", s.keyed())->status, 400);
  EXPECT_EQ(s.client().Get("/editor", s.keyed())->status, 404);
  EXPECT_EQ(s.client().Get("/demo.timeline", s.keyed())->status, 404);

  // Malformed requests: a 4xx, a line in the log, and the studio still answers.
  EXPECT_EQ(s.raw("NOT HTTP AT ALL\r\n\r\n").substr(0, 12), "HTTP/1.1 400");
  const std::string tooLong = "PUT /api/timeline HTTP/1.1\r\nHost: 127.0.0.1:" + std::to_string(s.port) +
                              "\r\nX-Kandu-Key: " + s.key + "\r\nOrigin: http://127.0.0.1:" + std::to_string(s.port) +
                              "\r\nX-Kandu-Base: " + v + "\r\nContent-Length: 2000000\r\nConnection: close\r\n\r\n" +
                              std::string(2000000, '#');
  EXPECT_EQ(s.raw(tooLong).substr(0, 12), "HTTP/1.1 413");
  auto badRevision = s.client().Post("/api/draft", s.writing({{"X-Kandu-Revision", "soon"}}), kText, "text/plain");
  EXPECT_EQ(badRevision->status, 400);
  EXPECT_EQ(s.client().Post("/api/draft", s.writing({{"X-Kandu-Revision", "0"}}), kText, "text/plain")->status, 400);
  auto badTransport = s.client().Post("/api/transport?at=-5", s.writing(), "", "text/plain");
  EXPECT_EQ(badTransport->status, 400);
  EXPECT_EQ(fileContent(s.timeline), before);
  EXPECT_EQ(s.client().Get("/api/timeline", s.keyed())->body, kText);
  // The server logs a request after its answer has gone: the lines are waited for.
  const char *lines[] = {"studio: 403 GET /editor.html: no studio secret", "studio: 400 GET /../outside.txt",
                         "studio: 400 NOT -: a malformed request\n", "studio: 413 PUT /api/timeline: a body over 1 MiB\n"};
  std::string log;
  waitFor([&] {
    log = fileContent(s.log);
    for (const char *line : lines)
      if (log.find(line) == std::string::npos) return false;
    return true;
  }, 10);
  for (const char *line : lines) EXPECT_NE(log.find(line), std::string::npos) << line << "\n" << log;
  EXPECT_EQ(log.find(s.key, s.address.size()), std::string::npos) << "the secret is never logged";
  EXPECT_TRUE(programRunning(s.pid));
}

TEST(Studio, SavesAreAtomicAndRefusedOverAFileChangedOnDisk) {
  StudioRun s(kText);
  ASSERT_GT(s.port, 0) << fileContent(s.log);
  const std::string v = s.version();
  EXPECT_EQ(v, "v" + std::string("") + [] {
    uint64_t h = 14695981039346656037ull;  // FNV-1a of the file's bytes
    for (unsigned char c : std::string(kText)) h = (h ^ c) * 1099511628211ull;
    char text[17];
    std::snprintf(text, sizeof text, "%016llx", static_cast<unsigned long long>(h));
    return std::string(text);
  }());

  // A save killed half-way (the body cut short): the old file stays whole, nothing is left beside it.
  const std::string cut = "PUT /api/timeline HTTP/1.1\r\nHost: 127.0.0.1:" + std::to_string(s.port) +
                          "\r\nX-Kandu-Key: " + s.key + "\r\nOrigin: http://127.0.0.1:" + std::to_string(s.port) +
                          "\r\nX-Kandu-Base: " + v + "\r\nContent-Length: 100\r\n\r\ntempo 120\n0 4 morph\n";
  s.raw(cut, true);
  EXPECT_EQ(fileContent(s.timeline), kText);
  EXPECT_EQ(s.ws.list("song"), std::vector<std::string>{"demo.timeline"});

  // A text that does not parse is refused with its error; the file is unchanged.
  auto bad = s.client().Put("/api/timeline", s.writing({{"X-Kandu-Base", v}}), "0 4\n", "text/plain");
  EXPECT_EQ(bad->status, 422);
  EXPECT_NE(bad->body.find("demo.timeline:1:"), std::string::npos) << bad->body;

  // A save from the version on disk: written, with the new version.
  const std::string next = "tempo 120\n0 8 morph\n";
  auto saved = s.client().Put("/api/timeline", s.writing({{"X-Kandu-Base", v}}), next, "text/plain");
  ASSERT_EQ(saved->status, 200) << saved->body;
  EXPECT_EQ(fileContent(s.timeline), next);
  const std::string v2 = s.version();
  EXPECT_NE(v2, v);
  EXPECT_NE(saved->body.find(v2), std::string::npos);
  EXPECT_EQ(s.ws.list("song"), std::vector<std::string>{"demo.timeline"});

  // Another program changes the file: the pages hear it, and a save from the old version is refused.
  httplib::Client events = s.client();
  std::string heard;
  std::mutex heardMutex;
  std::atomic<bool> giveUp{false};
  std::thread listener([&] {
    events.Get("/api/events", s.keyed(), [&](const char *data, size_t n) {
      std::lock_guard<std::mutex> lock(heardMutex);
      heard.append(data, n);
      return heard.find("event: disk") == std::string::npos && !giveUp;
    });
  });
  auto heardDisk = [&] {
    std::lock_guard<std::mutex> lock(heardMutex);
    return heard.find("event: disk") != std::string::npos;
  };
  // The studio's own save is heard as "saved", never as a change on disk.
  auto heardSaved = [&] {
    std::lock_guard<std::mutex> lock(heardMutex);
    return heard.find("event: saved") != std::string::npos;
  };
  std::string v3;
  ASSERT_TRUE(waitFor([&] {
    // Saved again until heard: the listener may connect after the first save.
    auto again = s.client().Put("/api/timeline", s.writing({{"X-Kandu-Base", s.version()}}),
                                v3.empty() ? "tempo 120\n0 9 morph\n" : "tempo 120\n0 10 morph\n", "text/plain");
    v3 = s.version();
    return again && again->status == 200 && waitFor(heardSaved, 1);
  }, 10)) << heard;
  // The watcher looks every 200 ms: a second is time enough for it to have seen the save.
  EXPECT_FALSE(waitFor(heardDisk, 1.0)) << heard;
  const std::string other = "tempo 90\n0 2 water\n";
  int writes = 0;
  const bool wasHeard = waitFor([&] {
    // Written again every second until heard: the listener may connect after the first write.
    if (writes++ % 50 == 0) std::ofstream(s.timeline, std::ios::binary) << other;
    return heardDisk();
  }, 10);
  giveUp = true;
  listener.join();
  ASSERT_TRUE(wasHeard) << heard;
  EXPECT_NE(heard.find(s.version()), std::string::npos) << heard;
  // The only change on disk heard is the outside one: the first "disk" event names its version.
  const size_t disk = heard.find("event: disk");
  EXPECT_EQ(heard.find(s.version(), disk), heard.find("data:", disk) + 18) << heard;
  auto stale = s.client().Put("/api/timeline", s.writing({{"X-Kandu-Base", v2}}), "0 1 morph\n", "text/plain");
  EXPECT_EQ(stale->status, 409);
  EXPECT_NE(stale->body.find(s.version()), std::string::npos);
  EXPECT_EQ(fileContent(s.timeline), other);
  // The refusal is in the log with its reason.
  const std::string refused = "studio: 409 PUT /api/timeline: demo.timeline has changed on disk since version " + v2;
  EXPECT_TRUE(waitFor([&] { return fileContent(s.log).find(refused) != std::string::npos; }, 10)) << fileContent(s.log);
}

namespace {
// The studio's high-water mark of resident memory, in KiB.
long peakKiB(pid_t pid) {
  const std::string status = fileContent("/proc/" + std::to_string(pid) + "/status");
  const size_t at = status.find("VmHWM:");
  return at == std::string::npos ? -1 : std::stol(status.substr(at + 6));
}
}  // namespace

// A body sent in chunks has no length to check first: it is refused unread, however long it is,
// and the connection closed. An address over 8 KiB gets 414. Both are in the log with a reason.
TEST(Studio, ABodyWithoutALengthIsRefusedUnreadAndALongAddressWith414) {
  StudioRun s(kText);
  const long before = peakKiB(s.pid);
  int fd = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in to{};
  to.sin_family = AF_INET;
  to.sin_port = htons(static_cast<uint16_t>(s.port));
  to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  ASSERT_EQ(connect(fd, reinterpret_cast<sockaddr *>(&to), sizeof to), 0);
  const std::string head = "PUT /api/timeline HTTP/1.1\r\nHost: 127.0.0.1:" + std::to_string(s.port) +
                           "\r\nX-Kandu-Key: " + s.key + "\r\nOrigin: http://127.0.0.1:" + std::to_string(s.port) +
                           "\r\nX-Kandu-Base: " + s.version() + "\r\nTransfer-Encoding: chunked\r\n\r\n";
  const std::string chunk = "10000\r\n" + std::string(65536, '#') + "\r\n";
  bool open = send(fd, head.data(), head.size(), MSG_NOSIGNAL) > 0;
  size_t sent = 0;
  for (int i = 0; i < 1024 && open; ++i, sent += 65536) open = send(fd, chunk.data(), chunk.size(), MSG_NOSIGNAL) > 0;
  if (open) send(fd, "0\r\n\r\n", 5, MSG_NOSIGNAL);
  std::string answer;
  char buffer[4096];
  ssize_t n;
  while (answer.find("\r\n\r\n") == std::string::npos && (n = read(fd, buffer, sizeof buffer)) > 0)
    answer.append(buffer, static_cast<size_t>(n));
  close(fd);
  EXPECT_EQ(answer.substr(0, 12), "HTTP/1.1 413") << answer;
  EXPECT_LT(sent, 64u << 20) << "the studio read the whole body";
  EXPECT_LT(peakKiB(s.pid) - before, 8 * 1024) << "the studio's peak memory grew";
  EXPECT_EQ(fileContent(s.timeline), kText);

  const std::string longAddress = "GET /" + std::string(10000, 'a') + " HTTP/1.1\r\nHost: 127.0.0.1:" +
                                  std::to_string(s.port) + "\r\nConnection: close\r\n\r\n";
  EXPECT_EQ(s.raw(longAddress).substr(0, 12), "HTTP/1.1 414");
  EXPECT_TRUE(waitFor([&] {
    const std::string log = fileContent(s.log);
    return log.find("studio: 414") != std::string::npos && log.find("studio: 413") != std::string::npos;
  }, 10));
  const std::string log = fileContent(s.log);
  EXPECT_NE(log.find("studio: 413 PUT /api/timeline: a body must come with its Content-Length (at most 1 MiB), not in "
                     "chunks\n"), std::string::npos) << log;
  EXPECT_NE(log.find("studio: 414 - -: an address over 8192 bytes\n"), std::string::npos) << log;
  EXPECT_TRUE(programRunning(s.pid));
}

TEST(Studio, ExportsTheSavedTimelineAsOnePage) {
  StudioRun s(kText);
  ASSERT_GT(s.port, 0) << fileContent(s.log);
  auto started = s.client().Post("/api/export", s.writing(), "", "text/plain");
  ASSERT_EQ(started->status, 202) << started->body;
  std::string state;
  ASSERT_TRUE(waitFor([&] {
    state = s.client().Get("/api/render", s.keyed())->body;
    return state.find("\"state\":\"running\"") == std::string::npos;
  }, 30)) << state;
  EXPECT_NE(state.find("\"state\":\"done\""), std::string::npos) << state;
  auto page = s.client().Get("/render/demo.html", s.keyed());
  ASSERT_EQ(page->status, 200);
  EXPECT_EQ(page->get_header_value("Content-Type"), "text/html");
  EXPECT_EQ(page->body.rfind("<!doctype html>", 0), 0u);
  EXPECT_NE(page->body.find("id=\"kandu-timeline\" data-name=\"demo.timeline\">tempo 120\n0 4 water\n</script>"),
            std::string::npos);
  EXPECT_EQ(fileContent(s.ws.path("song/demo.html")), page->body);
  EXPECT_EQ(s.client().Get("/render/other.html", s.keyed())->status, 404);
}

TEST(Studio, AMissingTimelineIsMadeByTheFirstSave) {
  StudioRun s("", false);
  ASSERT_GT(s.port, 0) << fileContent(s.log);
  auto empty = s.client().Get("/api/timeline", s.keyed());
  EXPECT_EQ(empty->status, 200);
  EXPECT_EQ(empty->body, "");
  EXPECT_EQ(empty->get_header_value("X-Kandu-Version"), "none");
  EXPECT_EQ(s.client().Put("/api/timeline", s.writing({{"X-Kandu-Base", "v0"}}), kText, "text/plain")->status, 409);
  EXPECT_FALSE(std::filesystem::exists(s.timeline));
  EXPECT_EQ(s.client().Put("/api/timeline", s.writing({{"X-Kandu-Base", "none"}}), kText, "text/plain")->status, 200);
  EXPECT_EQ(fileContent(s.timeline), kText);
}

// Music as the page gets it: the waveform's peaks worked out natively, and the sound as 16-bit WAV
// at 48 kHz whatever the file was, both checked against samples written by hand.
TEST(Studio, ServesTheMusicDecodedAndItsPeaks) {
  Workspace w;
  // 512 frames at 48 kHz, 16-bit stereo: 256 frames of (0.25, 0.25), then 256 of (-0.5, 0.0).
  std::string pcm;
  auto s16 = [&](int16_t v) { pcm += static_cast<char>(v & 0xff), pcm += static_cast<char>((v >> 8) & 0xff); };
  for (int i = 0; i < 256; ++i) s16(8192), s16(8192);
  for (int i = 0; i < 256; ++i) s16(-16384), s16(0);
  std::string wav = "RIFF";
  auto u32 = [&](uint32_t v) { for (int i = 0; i < 4; ++i) wav += static_cast<char>((v >> (8 * i)) & 0xff); };
  u32(36 + static_cast<uint32_t>(pcm.size()));
  wav += "WAVEfmt ";
  u32(16);
  wav += std::string("\1\0\2\0", 4);
  u32(48000);
  u32(48000 * 4);
  wav += std::string("\4\0\20\0", 4);
  wav += "data";
  u32(static_cast<uint32_t>(pcm.size()));
  wav += pcm;

  StudioRun s("music tune.wav\n0 10 water\n");
  std::ofstream(s.ws.path("song/tune.wav"), std::ios::binary) << wav;
  // The studio looked at the music when it started, before it was written: a save names it again.
  auto saved = s.client().Put("/api/timeline", s.writing({{"X-Kandu-Base", s.version()}}),
                              "music tune.wav\n0 20 water\n", "text/plain");
  ASSERT_EQ(saved->status, 200) << saved->body;

  auto peaks = s.client().Get("/api/peaks", s.keyed());
  ASSERT_EQ(peaks->status, 200) << peaks->body;
  EXPECT_EQ(peaks->get_header_value("X-Kandu-Rate"), "48000");
  EXPECT_EQ(peaks->get_header_value("X-Kandu-Per"), "256");
  EXPECT_EQ(peaks->get_header_value("X-Kandu-Frames"), "512");
  ASSERT_EQ(peaks->body.size(), 4 * sizeof(float));
  float p[4];
  std::memcpy(p, peaks->body.data(), sizeof p);
  // Each group's mean of the two channels: 0.25, then -0.25; each extreme counted from 0.
  EXPECT_FLOAT_EQ(p[0], 0.0f);
  EXPECT_NEAR(p[1], 0.25f, 1e-4);
  EXPECT_NEAR(p[2], -0.25f, 1e-4);
  EXPECT_FLOAT_EQ(p[3], 0.0f);

  auto music = s.client().Get("/music", s.keyed());
  ASSERT_EQ(music->status, 200);
  EXPECT_EQ(music->get_header_value("Content-Type"), "audio/wav");
  EXPECT_EQ(music->body, wav) << "48 kHz 16-bit stereo comes back sample for sample";
  // Part of it, as a media element asks.
  auto part = s.client().Get("/music", s.keyed({{"Range", "bytes=46-49"}}));
  EXPECT_EQ(part->status, 206);
  EXPECT_EQ(part->body, wav.substr(46, 4));
}

}  // namespace

namespace {
// The events a page gets on /api/events sent with `lastEventId` ("" for none), until `enough` of
// them have come or `seconds` have passed: each as "ID EVENT".
std::vector<std::string> eventsSince(const StudioRun &s, const std::string &lastEventId, size_t enough, double seconds) {
  httplib::Client c = s.client();
  c.set_read_timeout(static_cast<time_t>(seconds) + 1, 0);
  httplib::Headers headers = s.keyed();
  if (!lastEventId.empty()) headers.emplace("Last-Event-ID", lastEventId);
  std::string heard;
  std::vector<std::string> events;
  const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(static_cast<int>(seconds * 1000));
  c.Get("/api/events", headers, [&](const char *data, size_t n) {
    heard.append(data, n);
    events.clear();
    for (size_t at = heard.find("id: "); at != std::string::npos; at = heard.find("\nid: ", at + 1)) {
      const size_t id = heard.find("id: ", at) + 4, name = heard.find("event: ", id) + 7;
      events.push_back(heard.substr(id, heard.find('\n', id) - id) + " " +
                       heard.substr(name, heard.find('\n', name) - name));
    }
    return events.size() < enough && std::chrono::steady_clock::now() < until;
  });
  return events;
}
}  // namespace

// A page that reconnects names the last event it got (the browser's Last-Event-ID): it gets the
// events it missed, once, and none it had; a new page gets only what comes after it connects.
TEST(Studio, APageThatReconnectsGetsWhatItMissedOnce) {
  StudioRun s(kText);
  auto save = [&](const std::string &text) {
    return s.client().Put("/api/timeline", s.writing({{"X-Kandu-Base", s.version()}, {"X-Kandu-Tab", "t"}}), text,
                          "text/plain")->status;
  };
  // Three saves before any page listens: ids 1, 2 and 3 (the studio's first events).
  ASSERT_EQ(save("0 1 morph\n"), 200);
  ASSERT_EQ(save("0 2 morph\n"), 200);
  ASSERT_EQ(save("0 3 morph\n"), 200);
  EXPECT_EQ(eventsSince(s, "1", 2, 5), (std::vector<std::string>{"2 saved", "3 saved"}));
  // Having had them all, an id from a studio that ran before (higher than any here), none, or one
  // that is no number: the first event heard is a new save, never one of the three again.
  int saves = 3;
  for (const char *last : {"3", "99", "", "not a number"}) {
    std::vector<std::string> heard;
    std::atomic<bool> done{false};
    std::thread listener([&] {
      heard = eventsSince(s, last, 1, 10);
      done = true;
    });
    // Saved again until heard: the listener may connect after a save.
    EXPECT_TRUE(waitFor([&] { return save("0 " + std::to_string(++saves) + " morph\n") == 200 && waitFor([&] { return done.load(); }, 0.5); }, 10));
    listener.join();
    ASSERT_EQ(heard.size(), 1u) << last;
    EXPECT_GT(std::stoi(heard[0]), 3) << last << ": " << heard[0];
    EXPECT_EQ(heard[0].substr(heard[0].find(' ')), " saved") << last;
  }
}
