#include "studio/server.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <map>
#include <mutex>
#include <thread>

#include <httplib.h>
#include <nlohmann/json.hpp>

#include "base/printable.h"
#include "media/files.h"
#include "media/pending.h"
#include "studio/music.h"
#include "studio/render.h"
#include "timeline/document.h"

namespace kandu {

using nlohmann::json;

namespace {

std::string jsonText(const json &j) { return j.dump(-1, ' ', false, json::error_handler_t::replace); }

bool sameSecret(const std::string &given, const std::string &secret) {
  if (given.size() != secret.size()) return false;
  unsigned char diff = 0;  // every byte looked at, however early they differ
  for (size_t i = 0; i < given.size(); ++i) diff |= static_cast<unsigned char>(given[i] ^ secret[i]);
  return diff == 0;
}

bool freshSecret(std::string &secret) {
  unsigned char bytes[16];
  int fd = open("/dev/urandom", O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  const bool ok = read(fd, bytes, sizeof bytes) == static_cast<ssize_t>(sizeof bytes);
  close(fd);
  static const char kHex[] = "0123456789abcdef";
  for (unsigned char b : bytes) secret += {kHex[b >> 4], kHex[b & 15]};
  return ok;
}

const char *contentType(const std::string &path) {
  static const std::pair<const char *, const char *> kTypes[] = {
      {".html", "text/html; charset=utf-8"}, {".js", "text/javascript; charset=utf-8"},
      {".css", "text/css; charset=utf-8"},   {".wasm", "application/wasm"},
      {".png", "image/png"},                 {".svg", "image/svg+xml"},
  };
  for (const auto &[ending, type] : kTypes) {
    const size_t n = std::strlen(ending);
    if (path.size() > n && path.compare(path.size() - n, n, ending) == 0) return type;
  }
  return nullptr;
}

// The page's files: regular files (no links) of the kinds above, two folders deep at most.
void listPages(const std::string &dir, const std::string &prefix, int depth, std::map<std::string, std::string> &out) {
  DIR *d = opendir(dir.c_str());
  if (!d) return;
  while (dirent *e = readdir(d)) {
    const std::string name = e->d_name;
    if (name.empty() || name[0] == '.') continue;
    const std::string path = dir + "/" + name;
    struct stat st{};
    if (lstat(path.c_str(), &st) != 0) continue;
    if (S_ISDIR(st.st_mode) && depth > 0) listPages(path, prefix + name + "/", depth - 1, out);
    if (S_ISREG(st.st_mode) && contentType(name)) out[prefix + name] = path;
  }
  closedir(d);
}

std::string directoryOf(const std::string &path) {
  const size_t slash = path.rfind('/');
  return slash == std::string::npos ? "." : path.substr(0, slash == 0 ? 1 : slash);
}

}  // namespace

std::string parserRefusal(int status) {
  switch (status) {
    case 400: return "a malformed request";
    case 413: return "a body over 1 MiB";
    case 414: return "an address over 8192 bytes";
    case 431: return "headers too large";
    default: return "refused (HTTP " + std::to_string(status) + ")";
  }
}

std::string contentVersion(const std::string &bytes) {
  uint64_t h = 14695981039346656037ull;
  for (unsigned char c : bytes) h = (h ^ c) * 1099511628211ull;
  char text[20];
  std::snprintf(text, sizeof text, "v%016llx", static_cast<unsigned long long>(h));
  return text;
}

std::string studioCookieName(int port) { return "kandu-studio-" + std::to_string(port); }

bool cookieHas(const std::string &header, const std::string &name, const std::string &value) {
  size_t at = 0;
  while (at < header.size()) {
    size_t end = header.find(';', at);
    if (end == std::string::npos) end = header.size();
    std::string pair = header.substr(at, end - at);
    const size_t first = pair.find_first_not_of(' ');
    pair = first == std::string::npos ? "" : pair.substr(first);
    const size_t eq = pair.find('=');
    if (eq != std::string::npos && pair.compare(0, eq, name) == 0 && eq == name.size() &&
        sameSecret(pair.substr(eq + 1), value))
      return true;
    at = end + 1;
  }
  return false;
}

bool ownHost(const std::string &host, int port) {
  const std::string p = ":" + std::to_string(port);
  return host == "127.0.0.1" + p || host == "localhost" + p;
}

bool ownOrigin(const std::string &origin, int port) {
  return ownHost(origin.rfind("http://", 0) == 0 ? origin.substr(7) : std::string(), port);
}

bool safeRelativePath(const std::string &path) {
  if (path.empty() || path[0] == '/' || path.find('\\') != std::string::npos || path.find('\0') != std::string::npos)
    return false;
  size_t at = 0;
  while (at <= path.size()) {
    size_t end = path.find('/', at);
    if (end == std::string::npos) end = path.size();
    const std::string part = path.substr(at, end - at);
    if (part.empty() || part == "." || part == "..") return false;
    at = end + 1;
  }
  return true;
}

struct Studio::Impl {
  explicit Impl(StudioLink &l) : link(l), render(l) {}

  StudioLink &link;
  StudioSetup setup;
  httplib::Server server;
  std::thread serving, watching;
  std::string secret;
  int port = 0;
  std::map<std::string, std::string> pages;  // address → file
  std::mutex fileMutex;
  std::string knownVersion;  // of the file as the studio last read or wrote it
  StudioMusic music;
  StudioRender render;
  std::atomic<bool> stopping{false};

  std::string name() const { return setup.timelinePath.substr(setup.timelinePath.rfind('/') + 1); }

  // The file's bytes and version ("none", with no bytes, while it does not exist).
  bool readFile(std::string &bytes, std::string &version, std::string &error) {
    bytes.clear();
    struct stat st{};
    if (stat(setup.timelinePath.c_str(), &st) != 0 && errno == ENOENT) {
      version = "none";
      return true;
    }
    if (!readRegularFile(setup.timelinePath, "timeline", kMaxTimelineBytes, bytes, error)) return false;
    version = contentVersion(bytes);
    return true;
  }

  // The music a text names, as a path from here ("" for none, or a text that does not parse).
  std::string musicOf(const std::string &text) {
    Timeline timeline;
    std::string error;
    if (text.empty() || !parseTimeline(text, setup.timelinePath, timeline, error) || timeline.music.empty()) return "";
    if (timeline.music[0] == '/') return timeline.music;
    return directoryOf(setup.timelinePath) + "/" + timeline.music;
  }

  static void refuse(httplib::Response &res, int status, const std::string &why) {
    res.status = status;
    res.set_content(why + "\n", "text/plain; charset=utf-8");
    res.set_header("X-Kandu-Error", printable(why.substr(0, 300)));  // for the log (the body may go compressed)
  }

  httplib::Server::HandlerResponse gate(const httplib::Request &req, httplib::Response &res) {
    if (!ownHost(req.get_header_value("Host"), port)) {
      refuse(res, 403, "the studio answers only at 127.0.0.1:" + std::to_string(port));
      return httplib::Server::HandlerResponse::Handled;
    }
    const bool keyed = cookieHas(req.get_header_value("Cookie"), studioCookieName(port), secret) ||
                       sameSecret(req.get_header_value("X-Kandu-Key"), secret) ||
                       (req.has_param("key") && sameSecret(req.get_param_value("key"), secret));
    if (!keyed) {
      refuse(res, 403, "no studio secret: open the address kandu-player edit printed");
      return httplib::Server::HandlerResponse::Handled;
    }
    const bool reads = req.method == "GET" || req.method == "HEAD";
    if (!reads && !ownOrigin(req.get_header_value("Origin"), port)) {
      refuse(res, 403, "a write from another origin");
      return httplib::Server::HandlerResponse::Handled;
    }
    // A body without a length would be read whole before its size is known: refused unread, and
    // the connection closed rather than its rest read as the next request.
    if (!reads && req.has_header("Transfer-Encoding")) {
      refuse(res, 413, "a body must come with its Content-Length (at most 1 MiB), not in chunks");
      res.set_header("Connection", "close");
      return httplib::Server::HandlerResponse::Handled;
    }
    return httplib::Server::HandlerResponse::Unhandled;
  }

  void routes();
  void save(const httplib::Request &req, httplib::Response &res);
  void events(const httplib::Request &req, httplib::Response &res);
  void transport(const httplib::Request &req, httplib::Response &res);
  void sendMusic(httplib::Response &res);
  void watchDisk();
};

void Studio::Impl::routes() {
  using httplib::Request;
  using httplib::Response;
  server.Get("/", [this](const Request &req, Response &res) {
    // The first load: the secret goes into a cookie for this port, and out of the address bar.
    if (req.has_param("key"))
      res.set_header("Set-Cookie", studioCookieName(port) + "=" + secret + "; Path=/; HttpOnly; SameSite=Strict");
    res.status = 303;
    res.set_header("Location", "/editor.html?studio=" + std::to_string(kStudioProtocol));
  });
  server.Get("/api/studio", [this](const Request &, Response &res) {
    std::string bytes, version, error;
    std::lock_guard<std::mutex> lock(fileMutex);
    if (!readFile(bytes, version, error)) return refuse(res, 500, error);
    res.set_content(jsonText({{"protocol", kStudioProtocol}, {"name", name()}, {"version", version},
                              {"window", setup.withWindow}, {"music", !music.path().empty()}}),
                    "application/json");
  });
  server.Get("/api/timeline", [this](const Request &, Response &res) {
    std::string bytes, version, error;
    std::lock_guard<std::mutex> lock(fileMutex);
    if (!readFile(bytes, version, error)) return refuse(res, 500, error);
    knownVersion = version;
    res.set_header("X-Kandu-Version", version);
    res.set_header("Cache-Control", "no-store");
    res.set_content(bytes, "text/plain; charset=utf-8");
  });
  server.Put("/api/timeline", [this](const Request &req, Response &res) { save(req, res); });
  server.Post("/api/draft", [this](const Request &req, Response &res) {
    const std::string revision = req.get_header_value("X-Kandu-Revision");
    uint64_t n = 0;
    if (revision.empty() || revision.size() > 18 || revision.find_first_not_of("0123456789") != std::string::npos ||
        (n = std::stoull(revision)) == 0)
      return refuse(res, 400, "a draft needs X-Kandu-Revision, a whole number from 1");
    Timeline timeline;
    std::string error;
    if (!parseTimeline(req.body, setup.timelinePath, timeline, error)) return refuse(res, 422, error);
    music.use(musicOf(req.body));
    link.setDraft(n, req.body);
    res.status = 204;
  });
  server.Post("/api/transport", [this](const Request &req, Response &res) { transport(req, res); });
  server.Get("/api/status", [this](const Request &, Response &res) {
    const WindowReport w = link.window();
    std::string bytes, version, error;
    {
      std::lock_guard<std::mutex> lock(fileMutex);
      if (!readFile(bytes, version, error)) version = "";
    }
    res.set_header("Cache-Control", "no-store");
    res.set_content(jsonText({{"protocol", kStudioProtocol},
                              {"version", version},
                              {"window", {{"open", w.open}, {"revision", w.revision}, {"positionMs", w.positionMs},
                                          {"playing", w.playing}, {"fps", w.fps}, {"frames", w.frames},
                                          {"framesToDraw", w.framesToDraw}}}}),
                    "application/json");
  });
  server.Get("/api/events", [this](const Request &req, Response &res) { events(req, res); });
  server.Get("/api/peaks", [this](const Request &, Response &res) {
    std::shared_ptr<const DecodedMusic> m = music.get(std::chrono::seconds(30));
    if (!m) return refuse(res, 404, "no music");
    if (!m->ok) return refuse(res, 422, m->error);
    // As far as the music is decoded: the page asks again until X-Kandu-Complete is 1.
    res.set_header("X-Kandu-Complete", m->complete ? "1" : "0");
    res.set_header("X-Kandu-Rate", std::to_string(kAudioRate));
    res.set_header("X-Kandu-Per", std::to_string(kPeakFrames));
    res.set_header("X-Kandu-Frames", std::to_string(m->frames));
    res.set_header("Cache-Control", "no-store");
    res.set_content(std::string(reinterpret_cast<const char *>(m->peaks.data()), m->peaks.size() * sizeof(float)),
                    "application/octet-stream");
  });
  server.Get("/music", [this](const Request &, Response &res) { sendMusic(res); });
  // A render to MP4, or an export as one HTML file, of the saved timeline, beside it.
  auto produce = [this](Response &res, const char *ending, const std::string &pageDir) {
    std::string bytes, version, error;
    {
      std::lock_guard<std::mutex> lock(fileMutex);
      if (!readFile(bytes, version, error)) return refuse(res, 500, error);
    }
    if (version == "none") return refuse(res, 409, "save the timeline first: the render is of the saved file");
    std::string out = setup.timelinePath;
    const size_t dot = out.rfind('.');
    if (dot != std::string::npos && dot > out.rfind('/') + 1) out.resize(dot);
    out += ending;
    if (!render.start(setup.playerPath, setup.pluginPath, setup.timelinePath, out, error, pageDir))
      return refuse(res, 409, error);
    res.status = 202;
    res.set_content(render.stateJson(), "application/json");
  };
  server.Post("/api/render", [produce](const Request &, Response &res) { produce(res, ".mp4", ""); });
  server.Post("/api/export", [this, produce](const Request &, Response &res) { produce(res, ".html", setup.pageDir); });
  server.Get("/api/render", [this](const Request &, Response &res) {
    res.set_content(render.stateJson(), "application/json");
  });
  server.Delete("/api/render", [this](const Request &, Response &res) {
    render.cancel();
    res.status = 204;
  });
  server.Get(R"(/render/([^/]+))", [this](const Request &req, Response &res) {
    const std::string path = render.finished();
    if (path.empty() || req.matches[1] != path.substr(path.rfind('/') + 1)) return refuse(res, 404, "no such video");
    auto file = std::make_shared<std::FILE *>(std::fopen(path.c_str(), "rb"));
    struct stat st{};
    if (!*file || fstat(fileno(*file), &st) != 0) return refuse(res, 404, "no such video");
    const bool html = path.size() > 5 && path.compare(path.size() - 5, 5, ".html") == 0;
    res.set_content_provider(
        static_cast<size_t>(st.st_size), html ? "text/html" : "video/mp4",
        [file](size_t offset, size_t length, httplib::DataSink &sink) {
          char buffer[65536];
          if (std::fseek(*file, static_cast<long>(offset), SEEK_SET) != 0) return false;
          const size_t n = std::fread(buffer, 1, std::min(length, sizeof buffer), *file);
          return n > 0 && sink.write(buffer, n);
        },
        [file](bool) { std::fclose(*file); });
  });
  // The page's own files, by their exact names: nothing else on the disk is reachable.
  server.Get(R"(/(.+))", [this](const Request &req, Response &res) {
    const std::string path = req.path.substr(1);
    if (!safeRelativePath(path)) return refuse(res, 400, "not a page's address");
    auto page = pages.find(path);
    if (page == pages.end()) return refuse(res, 404, "no such page");
    std::string bytes, error;
    std::FILE *file = std::fopen(page->second.c_str(), "rb");
    if (!file) return refuse(res, 404, "no such page");
    char buffer[65536];
    size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, file)) > 0) bytes.append(buffer, n);
    std::fclose(file);
    res.set_header("Cache-Control", "no-cache");
    res.set_content(bytes, contentType(path));
  });
}

void Studio::Impl::save(const httplib::Request &req, httplib::Response &res) {
  const std::string base = req.get_header_value("X-Kandu-Base");
  if (base.empty()) return refuse(res, 400, "a save names the version it was edited from (X-Kandu-Base)");
  Timeline timeline;
  std::string error;
  if (!parseTimeline(req.body, setup.timelinePath, timeline, error)) return refuse(res, 422, error);
  std::lock_guard<std::mutex> lock(fileMutex);
  std::string bytes, version;
  if (!readFile(bytes, version, error)) return refuse(res, 500, error);
  if (version != base) {
    res.status = 409;
    res.set_content(jsonText({{"version", version}, {"error", name() + " has changed on disk"}}), "application/json");
    res.set_header("X-Kandu-Error", printable(name()) + " has changed on disk since version " + printable(base.substr(0, 40)));
    return;
  }
  // Written beside the file under a temporary name, then renamed over it: a failure at any point
  // leaves the old file whole.
  if (!writeWholeFile(setup.timelinePath, req.body, error)) return refuse(res, 500, "cannot save: " + error);
  knownVersion = contentVersion(req.body);
  music.use(musicOf(req.body));
  link.publish("saved", jsonText({{"version", knownVersion}, {"tab", req.get_header_value("X-Kandu-Tab")}}));
  res.set_content(jsonText({{"version", knownVersion}}), "application/json");
}

void Studio::Impl::transport(const httplib::Request &req, httplib::Response &res) {
  TransportMove move;
  auto number = [&](const char *name, double &value) {
    if (!req.has_param(name)) return true;
    const std::string text = req.get_param_value(name);
    char *end = nullptr;
    value = std::strtod(text.c_str(), &end);
    return !text.empty() && end && *end == 0 && std::isfinite(value) && value >= 0 && value <= kMaxTimelineMs;
  };
  double at = 0, from = 0, to = 0;
  bool ok = number("at", at) && number("loopFrom", from) && number("loopTo", to);
  if (req.has_param("playing")) {
    const std::string p = req.get_param_value("playing");
    ok = ok && (p == "0" || p == "1");
    move.setPlaying = true;
    move.playing = p == "1";
  }
  if (!ok) return refuse(res, 400, "transport wants playing=0|1, at=MS, loopFrom=MS&loopTo=MS");
  if (req.has_param("at")) move.setPosition = true, move.positionMs = at;
  if (req.has_param("loopFrom") || req.has_param("loopTo")) {
    move.setLoop = true;
    move.loopFrom = static_cast<int64_t>(from);
    move.loopTo = static_cast<int64_t>(to);
  }
  link.requestMove(move);
  // Other pages on this studio follow too; the page that asked knows itself by its tab.
  link.publish("transport", jsonText({{"playing", move.setPlaying ? json(move.playing) : json(nullptr)},
                                      {"positionMs", move.setPosition ? json(move.positionMs) : json(nullptr)},
                                      {"tab", req.get_header_value("X-Kandu-Tab")}}));
  res.status = 204;
}

void Studio::Impl::events(const httplib::Request &req, httplib::Response &res) {
  const uint64_t cursor = link.streamStart(req.get_header_value("Last-Event-ID"));
  res.set_header("Cache-Control", "no-store");
  auto at = std::make_shared<uint64_t>(cursor);
  res.set_chunked_content_provider("text/event-stream", [this, at](size_t, httplib::DataSink &sink) {
    std::vector<StudioEvent> events;
    if (stopping || !link.nextEvents(*at, events, std::chrono::seconds(5))) {
      sink.done();
      return false;
    }
    std::string text;
    for (const StudioEvent &e : events)
      text += "id: " + std::to_string(e.id) + "\nevent: " + e.name + "\ndata: " + e.data + "\n\n";
    if (text.empty()) text = ": still here\n\n";  // finds a page that has gone
    return sink.write(text.data(), text.size());
  });
}

void Studio::Impl::sendMusic(httplib::Response &res) {
  std::shared_ptr<const DecodedMusic> m = music.get(std::chrono::seconds(60), true);
  if (!m) return refuse(res, 404, "no music");
  if (!m->ok) return refuse(res, 422, m->error);
  if (!m->complete) return refuse(res, 503, "the music is still being decoded");
  std::unique_ptr<AudioSource> opened;
  std::string error;
  if (!openMusic(m->path, opened, error)) return refuse(res, 422, error);
  std::shared_ptr<AudioSource> source(std::move(opened));
  const int64_t frames = m->frames;
  res.set_header("Cache-Control", "no-store");
  res.set_content_provider(wavHeader(frames).size() + static_cast<size_t>(frames) * 4, "audio/wav",
                           [source, frames](size_t offset, size_t length, httplib::DataSink &sink) {
                             std::string bytes, why;
                             if (!wavBytes(*source, frames, offset, length, bytes, why) || bytes.empty()) return false;
                             return sink.write(bytes.data(), bytes.size());
                           });
}

void Studio::Impl::watchDisk() {
  FileWatcher file(setup.timelinePath, std::chrono::milliseconds(200));
  while (!stopping) {
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    if (!file.changed()) continue;
    std::string bytes, version, error;
    std::lock_guard<std::mutex> lock(fileMutex);
    if (!readFile(bytes, version, error) || version == knownVersion) continue;
    knownVersion = version;
    link.publish("disk", jsonText({{"version", version}}));
  }
}

Studio::Studio(StudioLink &link) : impl_(std::make_unique<Impl>(link)) {}

Studio::~Studio() { stop(); }

bool Studio::start(const StudioSetup &setup, std::string &error) {
  Impl &s = *impl_;
  s.setup = setup;
  if (!freshSecret(s.secret)) {
    error = "cannot make the studio's secret (/dev/urandom)";
    return false;
  }
  listPages(setup.pageDir, "", 2, s.pages);
  if (!s.pages.count("editor.html") || !s.pages.count("kandu-editor.wasm")) {
    error = printable(setup.pageDir) + ": not the editor's pages (build them with scripts/web-demo.sh --build-only, "
            "or give --page DIR)";
    return false;
  }
  std::string bytes, version;
  if (!s.readFile(bytes, version, error)) return false;
  s.knownVersion = version;
  s.music.use(s.musicOf(bytes));

  s.server.new_task_queue = [] { return new httplib::ThreadPool(24); };
  s.server.set_payload_max_length(kMaxTimelineBytes);
  s.server.set_read_timeout(10, 0);
  s.server.set_pre_routing_handler(
      [&s](const httplib::Request &req, httplib::Response &res) { return s.gate(req, res); });
  s.server.set_exception_handler([](const httplib::Request &, httplib::Response &res, std::exception_ptr) {
    Impl::refuse(res, 500, "the studio failed on this request");
  });
  // One line per refused or failed request, never the secret.
  s.server.set_logger([](const httplib::Request &req, const httplib::Response &res) {
    if (res.status < 400) return;
    std::string why = res.get_header_value("X-Kandu-Error");
    // Refused by the HTTP parser before any handler: its reason by the status.
    if (why.empty()) why = parserRefusal(res.status);
    const std::string method = req.method.empty() ? "-" : printable(req.method.substr(0, 16));
    const std::string path = req.path.empty() ? "-" : printable(req.path.substr(0, 200));
    std::fprintf(stderr, "studio: %d %s %s: %s\n", res.status, method.c_str(), path.c_str(), why.c_str());
  });
  s.routes();
  s.port = setup.port ? (s.server.bind_to_port("127.0.0.1", setup.port) ? setup.port : -1)
                      : s.server.bind_to_any_port("127.0.0.1");
  if (s.port <= 0) {
    error = "cannot listen on 127.0.0.1" + (setup.port ? ":" + std::to_string(setup.port) : std::string()) + ": " +
            std::strerror(errno);
    return false;
  }
  s.serving = std::thread([&s] { s.server.listen_after_bind(); });
  s.watching = std::thread([&s] { s.watchDisk(); });
  return true;
}

std::string Studio::address() const {
  return "http://127.0.0.1:" + std::to_string(impl_->port) + "/?key=" + impl_->secret;
}

int Studio::port() const { return impl_->port; }

void Studio::stop() {
  Impl &s = *impl_;
  if (s.stopping.exchange(true)) return;
  s.link.close();
  s.render.cancel();
  s.server.stop();
  if (s.serving.joinable()) s.serving.join();
  if (s.watching.joinable()) s.watching.join();
}

}  // namespace kandu
