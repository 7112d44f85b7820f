// The multimedia timer: a monotonic millisecond clock, unless the host supplies its own time.
#include "platform/platform.h"

#include <dlfcn.h>
#include <time.h>

namespace KanduPlatform {

namespace {
typedef uint32_t (*HostClock)();

HostClock hostClock() {
  // A capturing host defines kandu_host_time_ms so that real-time effects follow its frame clock.
  static HostClock clock = reinterpret_cast<HostClock>(dlsym(RTLD_DEFAULT, "kandu_host_time_ms"));
  return clock;
}
}  // namespace

void raiseTimerResolution() {}  // the POSIX monotonic clock already has millisecond resolution

uint32_t timeMs() {
  if (HostClock clock = hostClock()) return clock();
  timespec now{};
  clock_gettime(CLOCK_MONOTONIC, &now);
  uint64_t ms = static_cast<uint64_t>(now.tv_sec) * 1000u + static_cast<uint64_t>(now.tv_nsec) / 1000000u;
  return static_cast<uint32_t>(ms);  // wraps like timeGetTime
}

}  // namespace KanduPlatform
