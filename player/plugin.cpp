#include "player/plugin.h"

#include <GL/gl.h>
#include <GL/glu.h>
#include <dlfcn.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <atomic>
#include <climits>
#include <cstdint>

#include "player/host_frame.h"
#include "base/printable.h"
#include "player/signals.h"

namespace kandu {
namespace {
std::atomic<uint32_t> gHostTime{0};
std::atomic<bool> gRealTime{false};

uint32_t monotonicMs() {
  timespec now{};
  clock_gettime(CLOCK_MONOTONIC, &now);
  return static_cast<uint32_t>(static_cast<uint64_t>(now.tv_sec) * 1000u + static_cast<uint64_t>(now.tv_nsec) / 1000000u);
}
}  // namespace

uint32_t hostTimeMs() { return gRealTime ? monotonicMs() : gHostTime.load(); }

void setHostTime(uint32_t ms) {
  gRealTime = false;
  gHostTime = ms;
}
void useRealHostTime() { gRealTime = true; }

Plugin::~Plugin() { unload(); }

bool Plugin::load(const std::string &path, std::string &error) {
  // The loader would wait on a FIFO for ever: a path to anything but a regular file is refused
  // first. (A bare name is looked up on the library path and left to the loader.)
  struct stat st{};
  if (path.find('/') != std::string::npos && stat(path.c_str(), &st) == 0 && !S_ISREG(st.st_mode)) {
    error = "cannot load the plug-in " + printable(path) + ": not a regular file";
    return false;
  }
  handle_ = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (!handle_) {
    const char *why = dlerror();
    error = "cannot load the plug-in " + printable(path) + ": " + printable(why ? why : "unknown error");
    return false;
  }
  struct Need {
    const char *name;
    void **slot;
  } needs[] = {
      {"InitDLL", reinterpret_cast<void **>(&InitDLL)},       {"FreeDLL", reinterpret_cast<void **>(&FreeDLL)},
      {"AssignController", reinterpret_cast<void **>(&AssignController)},
      {"setTimeDLL", reinterpret_cast<void **>(&setTimeDLL)}, {"getBlockInfo", reinterpret_cast<void **>(&getBlockInfo)},
      {"ExecuteDLL", reinterpret_cast<void **>(&ExecuteDLL)},
  };
  for (const Need &need : needs) {
    *need.slot = dlsym(handle_, need.name);
    if (!*need.slot) {
      error = printable(path) + " is not a kandu plug-in: it has no export " + need.name;
      unload();
      return false;
    }
  }
  return true;
}

void Plugin::unload() {
  if (handle_) dlclose(handle_);
  handle_ = nullptr;
}

std::string playerPath() {
  char buffer[PATH_MAX];
  ssize_t n = readlink("/proc/self/exe", buffer, sizeof buffer - 1);
  return n > 0 ? std::string(buffer, static_cast<size_t>(n)) : std::string();
}

std::string playerDirectory() {
  const std::string exe = playerPath();
  size_t slash = exe.rfind('/');
  return slash == std::string::npos ? std::string(".") : exe.substr(0, slash);
}

void renderFrame(const Plugin &plugin, const Timeline &timeline, int64_t timeMs, int width, int height, double aspect) {
  HostCalls calls;
  calls.setTimeDLL = plugin.setTimeDLL;
  calls.getBlockInfo = plugin.getBlockInfo;
  calls.ExecuteDLL = plugin.ExecuteDLL;
  calls.entering = [](const char *name) { signals::enterExport(name); };
  drawHostFrame(calls, timeline, timeMs, width, height, aspect);
}

void initPlugin(const Plugin &plugin) {
  signals::enterExport("InitDLL");
  plugin.InitDLL(0);
  signals::enterExport(nullptr);
}

void freePlugin(const Plugin &plugin) {
  signals::enterExport("FreeDLL");
  plugin.FreeDLL(0);
  signals::enterExport(nullptr);
}

}  // namespace kandu

// The plug-in's millisecond clock asks the host first: a capture makes time run at its frame rate.
extern "C" __attribute__((visibility("default"))) uint32_t kandu_host_time_ms(void) { return kandu::hostTimeMs(); }
