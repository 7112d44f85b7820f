// The notice: a plug-in in a headless host has no desktop to block, so it is one line on standard
// error, written every time it is asked for (the caller decides how often that is).
#include "platform/platform.h"

#include <cstdio>

namespace KanduPlatform {

void showBlockingNotice(const char *caption, const char *text) {
  std::fprintf(stderr, "%s: %s\n", caption ? caption : "", text ? text : "");
  std::fflush(stderr);
}

}  // namespace KanduPlatform
