#include "player/export.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>
#include <zlib.h>

#include <cctype>
#include <cstdio>
#include <cstdlib>

#include "base/printable.h"
#include "media/pending.h"
#include "player/messages.h"
#include "player/timeline_file.h"
#include "timeline/document.h"

extern char **environ;

namespace kandu {

namespace {

bool readFile(const std::string &path, std::string &out) {
  std::FILE *f = std::fopen(path.c_str(), "rb");
  if (!f) return false;
  char buffer[65536];
  size_t n;
  out.clear();
  while ((n = std::fread(buffer, 1, sizeof buffer, f)) > 0) out.append(buffer, n);
  const bool ok = !std::ferror(f);
  std::fclose(f);
  return ok;
}

// zlib's deflate, as the page's DecompressionStream('deflate') reads it.
std::string deflated(const std::string &bytes) {
  uLongf size = compressBound(static_cast<uLong>(bytes.size()));
  std::string out(size, '\0');
  if (compress2(reinterpret_cast<Bytef *>(out.data()), &size, reinterpret_cast<const Bytef *>(bytes.data()),
                static_cast<uLong>(bytes.size()), 9) != Z_OK)
    return {};
  out.resize(size);
  return out;
}

std::string lowerExtension(const std::string &path) {
  const size_t slash = path.rfind('/'), dot = path.rfind('.');
  if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return "";
  std::string e = path.substr(dot + 1);
  for (char &c : e) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return e;
}

// The music as Opus in Ogg by ffmpeg (run without a shell), into `out`.
bool reencode(const std::string &music, std::string &out, std::string &error) {
  char dir[] = "/tmp/kandu-export-XXXXXX";
  if (!mkdtemp(dir)) {
    error = "cannot make a temporary directory";
    return false;
  }
  const std::string target = std::string(dir) + "/music.ogg";
  std::vector<std::string> args = {"ffmpeg", "-v", "error", "-nostdin", "-y", "-i", music, "-vn",
                                   "-c:a", "libopus", "-b:a", "160k", target};
  std::vector<char *> argv;
  for (std::string &a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  pid_t pid = -1;
  int status = -1;
  const bool ran = posix_spawnp(&pid, "ffmpeg", nullptr, nullptr, argv.data(), environ) == 0 &&
                   waitpid(pid, &status, 0) == pid && WIFEXITED(status) && WEXITSTATUS(status) == 0;
  const bool read = ran && readFile(target, out);
  unlink(target.c_str());
  rmdir(dir);
  if (!read) error = printable(music) + ": ffmpeg could not re-encode it to Opus for the browsers";
  return read;
}


// Reads the parts back, inflates the module and the page, and starts them with fetch() answering
// the timeline's and the music's names from inside the file. ASCII only: the page is read as
// windows-1252.
const char kLoader[] = R"JS(
(async () => {
  const high = [0x20AC, 0x81, 0x201A, 0x192, 0x201E, 0x2026, 0x2020, 0x2021, 0x2C6, 0x2030, 0x160, 0x2039,
                0x152, 0x8D, 0x17D, 0x8F, 0x90, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                0x2DC, 0x2122, 0x161, 0x203A, 0x153, 0x9D, 0x17E, 0x178];
  const back = new Map(high.map((c, i) => [c, 0x80 + i]));
  const part = (id) => {
    const el = document.getElementById(id), text = el.textContent, out = new Uint8Array(text.length);
    let n = 0;
    for (let i = 0; i < text.length; ++i) {
      let c = text.charCodeAt(i);
      if (c >= 0x80 && back.has(c)) c = back.get(c);
      if (c === 0x1B) c = text.charCodeAt(++i) ^ 0x40;
      out[n++] = c;
    }
    el.textContent = '';
    return { name: decodeURIComponent(el.dataset.name || ''), bytes: out.subarray(0, n), deflated: 'deflated' in el.dataset };
  };
  const inflate = async (bytes) => new Uint8Array(await new Response(
      new Blob([bytes]).stream().pipeThrough(new DecompressionStream('deflate'))).arrayBuffer());
  const script = (bytes) => new Promise((resolve, reject) => {
    const s = document.createElement('script');
    s.src = URL.createObjectURL(new Blob([bytes], { type: 'text/javascript;charset=utf-8' }));
    s.onload = resolve;
    s.onerror = () => reject(new Error('a part of the page did not load'));
    document.body.appendChild(s);
  });
  try {
    const embedded = {};
    for (const id of ['kandu-timeline', 'kandu-music']) {
      if (!document.getElementById(id)) continue;
      const p = part(id);
      embedded[p.name] = p.deflated ? await inflate(p.bytes) : p.bytes;
    }
    window.kanduDefaultTimeline = decodeURIComponent(document.getElementById('kandu-timeline').dataset.name);
    window.kanduModuleOptions = { wasmBinary: await inflate(part('kandu-wasm').bytes) };
    const realFetch = window.fetch.bind(window);
    window.fetch = (url, options) => {
      const name = decodeURIComponent(String(url && url.url ? url.url : url).split(/[?#]/)[0].split('/').pop());
      return name in embedded ? Promise.resolve(new Response(embedded[name])) : realFetch(url, options);
    };
    await script(await inflate(part('kandu-js').bytes));
    await script(await inflate(part('kandu-page').bytes));
  } catch (e) {
    document.getElementById('error').textContent = String(e.message || e);
    document.title = 'kandu - error';
  }
})();
)JS";

}  // namespace

std::string percentEncoded(const std::string &name) {
  static const char kHex[] = "0123456789ABCDEF";
  std::string out;
  for (unsigned char c : name) {
    if (std::isalnum(c) || c == '-' || c == '_' || c == '.' || c == '~') {
      out += static_cast<char>(c);
    } else {
      out += '%';
      out += kHex[c >> 4];
      out += kHex[c & 15];
    }
  }
  return out;
}

std::string packBytes(const std::string &bytes) {
  std::string out;
  out.reserve(bytes.size() + bytes.size() / 50);
  for (unsigned char c : bytes) {
    if (c == 0x00 || c == 0x0D || c == '<' || c == 0x1B) {
      out += '\x1B';
      out += static_cast<char>(c ^ 0x40);
    } else {
      out += static_cast<char>(c);
    }
  }
  return out;
}

std::string bundleModules(const std::vector<std::string> &sources) {
  std::string out;
  for (const std::string &source : sources) {
    for (size_t at = 0; at < source.size();) {
      size_t end = source.find('\n', at);
      if (end == std::string::npos) end = source.size();
      const std::string line = source.substr(at, end - at);
      at = end + 1;
      if (line.rfind("import ", 0) == 0) continue;
      out += (line.rfind("export ", 0) == 0 ? line.substr(7) : line) + "\n";
    }
  }
  return out;
}

bool browsersPlay(const std::string &path) {
  const std::string e = lowerExtension(path);
  for (const char *played : {"mp3", "ogg", "oga", "opus", "wav", "flac", "m4a", "aac", "webm"})
    if (e == played) return true;
  return false;
}

int runExport(const Options &o) {
  std::string error, text;
  Timeline timeline;
  if (!readTimelineFile(o.timelinePath, text, error) || !parseTimeline(text, o.timelinePath, timeline, error)) {
    complain(error);
    return 2;
  }
  std::string target = o.outPath;
  if (target.empty()) {
    const size_t dot = o.timelinePath.rfind('.'), slash = o.timelinePath.rfind('/');
    target = (dot != std::string::npos && (slash == std::string::npos || dot > slash + 1) ? o.timelinePath.substr(0, dot)
                                                                                          : o.timelinePath) + ".html";
  }
  if (!checkFileTarget(target, error)) {
    complain(error);
    return 2;
  }
  const std::string &dir = o.pageDir;
  std::string index, kanduJs, wasm;
  std::vector<std::string> modules(3);
  const char *names[] = {"module.js", "stage.js", "player.js"};
  bool read = readFile(dir + "/index.html", index) && readFile(dir + "/kandu.js", kanduJs) &&
              readFile(dir + "/kandu.wasm", wasm);
  for (int i = 0; i < 3; ++i) read = read && readFile(dir + "/" + names[i], modules[static_cast<size_t>(i)]);
  if (!read) {
    complain(printable(dir) + ": not the player's pages (build them with scripts/web-demo.sh --build-only, or give --page DIR)");
    return 2;
  }
  // The music as the timeline names it (its name is how the page asks for it).
  std::string music, musicName;
  if (!timeline.music.empty()) {
    Timeline resolved = timeline;
    resolveMusic(o.timelinePath, resolved);
    musicName = timeline.music.substr(timeline.music.rfind('/') + 1);
    if (browsersPlay(resolved.music) ? !readFile(resolved.music, music) : !reencode(resolved.music, music, error)) {
      complain(error.empty() ? printable(resolved.music) + ": cannot read the music" : error);
      return 1;
    }
  }
  const std::string name = o.timelinePath.substr(o.timelinePath.rfind('/') + 1);
  // The page's own head (its title and style) and body, with the parts in place of its scripts.
  const size_t headEnd = index.find("</head>"), bodyStart = index.find("<body>"), scripts = index.find("<script");
  if (headEnd == std::string::npos || bodyStart == std::string::npos || scripts == std::string::npos) {
    complain(printable(dir) + "/index.html: not the player's page");
    return 2;
  }
  std::string head = index.substr(0, headEnd);
  const size_t charset = head.find("<meta charset=\"utf-8\">");
  if (charset != std::string::npos) head.replace(charset, 22, "<meta charset=\"windows-1252\">");
  std::string html = head + "</head>\n" + index.substr(bodyStart, scripts - bodyStart);
  // Each part as a script element; returns the size of its text in the page.
  auto embed = [&](const std::string &id, const std::string &dataName, const std::string &bytes, bool deflate = false) {
    const std::string packed = packBytes(bytes);
    html += "<script type=\"application/x-kandu\" id=\"" + id + "\"" +
            (dataName.empty() ? std::string() : " data-name=\"" + percentEncoded(dataName) + "\"") +
            (deflate ? " data-deflated" : "") + ">" + packed + "</script>\n";
    return packed.size();
  };
  embed("kandu-wasm", "", deflated(wasm));
  embed("kandu-js", "", deflated(kanduJs));
  embed("kandu-page", "", deflated(bundleModules(modules)));
  embed("kandu-timeline", name, text);
  // Music that deflates (PCM: WAV, and its many zero bytes each escaped in two) goes deflated;
  // music already compressed goes as it is.
  size_t musicInPage = 0;
  bool musicDeflated = false;
  if (!musicName.empty()) {
    const std::string squeezed = deflated(music);
    musicDeflated = !squeezed.empty() && squeezed.size() < music.size() - music.size() / 20;
    musicInPage = embed("kandu-music", musicName, musicDeflated ? squeezed : music, musicDeflated);
  }
  html += "<script>" + std::string(kLoader) + "</script>\n</body>\n</html>\n";

  if (!writeWholeFile(target, html, error)) {
    complain(error);
    return 1;
  }
  // The music's share as it lies in the page: deflated, a WAV of 1.4 MB may take 10 KB of it.
  std::string report = "wrote " + printable(target) + " (" + std::to_string(html.size() / 1024) + " KB";
  if (!musicName.empty()) {
    report += ", the music " + std::to_string(musicInPage / 1024) + " KB of it";
    if (!browsersPlay(timeline.music)) report += ", re-encoded to Opus";
    if (musicDeflated) report += ", deflated from " + std::to_string(music.size() / 1024) + " KB";
  }
  complain(report + ")");
  return 0;
}

}  // namespace kandu
