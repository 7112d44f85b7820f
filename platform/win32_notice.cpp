// The blocking notice: a modal message box without an owner window.
#include <windows.h>

#include "platform/platform.h"

namespace KanduPlatform {

void showBlockingNotice(const char *caption, const char *text) {
  MessageBoxA(nullptr, text, caption, MB_OK | MB_ICONEXCLAMATION);
}

}  // namespace KanduPlatform
