// kandu-player edit: the studio. A web server on 127.0.0.1 for the editor's page, which saves the
// timeline to the disk through it, hears of changes on the disk and of other pages' saves, hands its
// text and its transport to the native window (through a StudioLink), gets the music decoded and its
// waveform's peaks worked out natively, and renders. Only a request carrying this run's secret, with
// the studio's own Host (and, for a write, its own Origin) is answered; see the README's protocol.
#pragma once

#include <memory>
#include <string>

#include "studio/link.h"

namespace kandu {

const int kStudioProtocol = 1;

struct StudioSetup {
  std::string timelinePath;  // need not exist yet: the first save creates it
  std::string pageDir;       // the editor's pages (editor.html, its modules, kandu.wasm)
  int port = 0;              // 0: a free one
  std::string playerPath;    // the kandu-player to render with
  std::string pluginPath;    // handed to the render
  bool withWindow = false;   // whether a native window follows the page (reported to pages)
};

// Why the HTTP parser refused a request it never handed to a handler, by its status, for the log.
std::string parserRefusal(int status);

// "v" + 16 hex digits: the FNV-1a hash of the bytes; "none" for a file that does not exist.
std::string contentVersion(const std::string &bytes);

// The secret's cookie and how a request may carry it: the cookie, an X-Kandu-Key header, or a
// ?key= parameter (scripts).
std::string studioCookieName(int port);
// Whether `cookieHeader` (a Cookie request header) holds `name`=`value`.
bool cookieHas(const std::string &cookieHeader, const std::string &name, const std::string &value);
// A Host or Origin header the studio on `port` answers: 127.0.0.1 or localhost at that port.
bool ownHost(const std::string &host, int port);
bool ownOrigin(const std::string &origin, int port);
// A request path for the page's files: relative, no "..", no empty or dot part, no backslash.
bool safeRelativePath(const std::string &path);

class Studio {
 public:
  explicit Studio(StudioLink &link);
  Studio(const Studio &) = delete;
  Studio &operator=(const Studio &) = delete;
  ~Studio();

  // Binds and starts serving; false with a one-line reason.
  bool start(const StudioSetup &setup, std::string &error);
  // http://127.0.0.1:PORT/?key=SECRET
  std::string address() const;
  int port() const;
  void stop();

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace kandu
