// Offline capture: frame-exact rendering at a fixed frame rate, to video, PNG frames, a still or a
// contact sheet. The plug-in's clock follows the frame times, so captures are reproducible.
#pragma once

#include <cstddef>
#include <string>

#include "player/audio.h"
#include "player/frame.h"
#include "player/options.h"
#include "player/plugin.h"
#include "player/timeline.h"

// Checks a capture or play request against the timeline before any work: the range and --at
// within the timeline (a --to past its end is cut there, with a message), the output's kind, and
// for a video ffmpeg on PATH and an even frame size. False with a one-line message (exit status 2).
bool checkRequest(const Timeline &timeline, Options &options, std::string &error);

// The contact sheet shows at most this many drawing blocks (16 rows of 4).
const size_t kMaxSheetThumbnails = 64;

// Each returns the process exit status: 0, 1 with a message on stderr, or -1 when SIGINT or
// SIGTERM stopped it (the output removed, nothing else said).
// A video carries `audio` (cut to the range) as AAC; PNG frames get it as DIR/audio.wav. Empty: silent.
int runRender(const Plugin &plugin, const Timeline &timeline, const Options &options, const Audio &audio);
int runStill(const Plugin &plugin, const Timeline &timeline, const Options &options);
int runSheet(const Plugin &plugin, const Timeline &timeline, const Options &options);

// Whether an executable named `name` is on PATH.
bool onPath(const std::string &name);
// Creates the directories above `path` (mkdir -p of its parent).
bool makeParentDirs(const std::string &path);
