#include "player/locations.h"

#include <sys/stat.h>

#include "base/printable.h"
#include "player/plugin.h"

// Set by the build from its install layout; these defaults are GNUInstallDirs' own.
#ifndef KANDU_PLUGIN_FROM_BIN
#define KANDU_PLUGIN_FROM_BIN "../lib/kandu"
#endif
#ifndef KANDU_PAGES_FROM_BIN
#define KANDU_PAGES_FROM_BIN "../share/kandu/web"
#endif

namespace kandu {

std::vector<std::string> pluginCandidates(const std::string &playerDir) {
  return {playerDir + "/libkandu.so", playerDir + "/" KANDU_PLUGIN_FROM_BIN "/libkandu.so"};
}

std::vector<std::string> pageCandidates(const std::string &playerDir) {
  return {playerDir + "/web", playerDir + "/../build-web", playerDir + "/" KANDU_PAGES_FROM_BIN};
}

bool findFirst(const std::vector<std::string> &candidates, const std::function<bool(const std::string &)> &exists,
               const std::string &what, const std::string &option, std::string &found, std::string &error) {
  std::string looked;
  for (const std::string &c : candidates) {
    if (exists(c)) {
      found = c;
      return true;
    }
    looked += (looked.empty() ? "" : ", ") + printable(c);
  }
  error = "cannot find " + what + " (looked at " + looked + "); give " + option;
  return false;
}

namespace {
bool isRegular(const std::string &path) {
  struct stat st{};
  return stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}
}  // namespace

bool findPlugin(std::string &path, std::string &error) {
  return findFirst(pluginCandidates(playerDirectory()), isRegular, "the plug-in", "--plugin PATH", path, error);
}

bool findPages(std::string &dir, std::string &error) {
  auto pages = [](const std::string &d) {
    return isRegular(d + "/editor.html") && isRegular(d + "/kandu.wasm") && isRegular(d + "/kandu-editor.wasm");
  };
  return findFirst(pageCandidates(playerDirectory()), pages,
                   "the web pages (an installed kandu has them, or build them with scripts/web-demo.sh --build-only)",
                   "--page DIR", dir, error);
}

}  // namespace kandu
