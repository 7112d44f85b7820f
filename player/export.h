// kandu-player export: a demo as one HTML file that plays from the disk with no network: the player's
// page, the module (compressed), the timeline and its music inside it. Binary parts are stored as
// they are, in a page read as windows-1252 (every byte a character of its own), with the few bytes
// the HTML parser would change or end on escaped; the page's loader reads them back, inflates the
// module and hands everything to the page in place of its fetches.
#pragma once

#include <string>
#include <vector>

#include "player/options.h"

namespace kandu {

// The bytes as the page holds them: 0x00, 0x0D, '<' and the escape 0x1B itself written as 0x1B
// followed by the byte XOR 0x40; every other byte as it is.
std::string packBytes(const std::string &bytes);
// A file name as the page's parts carry it: its UTF-8 bytes percent-encoded but for letters, digits
// and "-_.~", so that it survives the page being read as windows-1252 and decodeURIComponent gives
// it back whole, whatever its script and punctuation.
std::string percentEncoded(const std::string &name);
// One classic script from ES modules given in dependency order: their import lines dropped and
// their exports made plain declarations (the page's modules import by name and share no names).
std::string bundleModules(const std::vector<std::string> &sources);
// Whether Chromium and Firefox both play music of this file's kind as it is (by its extension).
bool browsersPlay(const std::string &path);

// kandu-player export TIMELINE [--out demo.html] [--page DIR]: its exit status.
int runExport(const Options &options);

}  // namespace kandu
