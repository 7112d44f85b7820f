// The multimedia timer, unless the host executable supplies its own time.
#include <windows.h>
#include <mmsystem.h>

#include "platform/platform.h"

namespace KanduPlatform {

namespace {
typedef uint32_t(__cdecl *HostClock)();

HostClock hostClock() {
  // A capturing host exports kandu_host_time_ms so that real-time effects follow its frame clock.
  static HostClock clock =
      reinterpret_cast<HostClock>(reinterpret_cast<void *>(GetProcAddress(GetModuleHandleA(nullptr), "kandu_host_time_ms")));
  return clock;
}
}  // namespace

void raiseTimerResolution() { timeBeginPeriod(1); }

uint32_t timeMs() {
  if (HostClock clock = hostClock()) return clock();
  return timeGetTime();
}

}  // namespace KanduPlatform
