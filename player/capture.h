// Offline capture: frame-exact rendering at a fixed frame rate, to video, PNG frames, a still or a
// contact sheet. The plug-in's clock follows the frame times, so captures are reproducible.
#pragma once

#include <string>

#include "player/options.h"
#include "player/plugin.h"
#include "player/timeline.h"

struct CaptureRange {
  int64_t from = 0;
  int64_t to = 0;
  int fps = 60;

  // ceil((to - from) × fps / 1000) frames; frame k at from + k × 1000 / fps (whole milliseconds).
  int64_t frameCount() const;
  int64_t frameTime(int64_t k) const;
};

// Each returns the process exit status (0, or 1 with a message on stderr).
int runRender(const Plugin &plugin, const Timeline &timeline, const Options &options);
int runStill(const Plugin &plugin, const Timeline &timeline, const Options &options);
int runSheet(const Plugin &plugin, const Timeline &timeline, const Options &options);

// Whether an executable named `name` is on PATH.
bool onPath(const std::string &name);
// Creates the directories above `path` (mkdir -p of its parent).
bool makeParentDirs(const std::string &path);
