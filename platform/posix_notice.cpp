// The blocking notice: without a desktop to block, one line on standard error, once per process.
#include "platform/platform.h"

#include <cstdio>

namespace KanduPlatform {

void showBlockingNotice(const char *caption, const char *text) {
  static bool shown = false;
  if (shown) return;
  shown = true;
  std::fprintf(stderr, "%s: %s\n", caption ? caption : "", text ? text : "");
  std::fflush(stderr);
}

}  // namespace KanduPlatform
