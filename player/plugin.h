// The plug-in as a host sees it: a shared library with six exports, loaded with dlopen.
#pragma once

#include <string>

#include "timeline/timeline.h"

namespace kandu {

class Plugin {
 public:
  typedef void (*TextExport)(const char *);
  typedef void (*ValueExport)(int);

  ~Plugin();
  // Loads the library and resolves all six exports by name; false with a one-line reason.
  bool load(const std::string &path, std::string &error);
  void unload();

  ValueExport InitDLL = nullptr;
  ValueExport FreeDLL = nullptr;
  ValueExport AssignController = nullptr;
  TextExport setTimeDLL = nullptr;
  TextExport getBlockInfo = nullptr;
  TextExport ExecuteDLL = nullptr;

 private:
  void *handle_ = nullptr;
};

// The running player's own file ("" when it cannot be told), and the directory it lies in.
std::string playerPath();
std::string playerDirectory();

// One host frame (player/host_frame.h), with the crash handler told which export runs.
void renderFrame(const Plugin &plugin, const Timeline &timeline, int64_t timeMs, int width, int height, double aspect);

// InitDLL(0) and FreeDLL(0), with the crash handler told which export runs.
void initPlugin(const Plugin &plugin);
void freePlugin(const Plugin &plugin);

// The capture clock the plug-in reads through kandu_host_time_ms.
void setHostTime(uint32_t ms);
void useRealHostTime();
uint32_t hostTimeMs();

}  // namespace kandu
