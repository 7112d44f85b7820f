// Where the player finds what it ships with: the plug-in and the web pages. The same binary works
// in its build folder and installed under any prefix, because both are looked for relative to the
// player's own file; --plugin and --page still name them outright.
#pragma once

#include <functional>
#include <string>
#include <vector>

namespace kandu {

// The plug-ins the player would load, in the order it tries them, for a player in `playerDir`:
// beside it (the build folder), then the installed place (PREFIX/lib/kandu from PREFIX/bin).
std::vector<std::string> pluginCandidates(const std::string &playerDir);
// The folders of web pages, likewise: `web/` beside it, the web build beside the build folder,
// then the installed place (PREFIX/share/kandu/web).
std::vector<std::string> pageCandidates(const std::string &playerDir);

// The first candidate `exists` accepts; false with one line naming every place looked at and the
// option that names it outright.
bool findFirst(const std::vector<std::string> &candidates, const std::function<bool(const std::string &)> &exists,
               const std::string &what, const std::string &option, std::string &found, std::string &error);

// The two searches for the running player, on the disk: a plug-in is a regular file, a folder of
// pages holds editor.html and both modules (kandu.wasm, the player's; kandu-editor.wasm).
bool findPlugin(std::string &path, std::string &error);
bool findPages(std::string &dir, std::string &error);

}  // namespace kandu
