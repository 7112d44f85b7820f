// Reading a timeline file: only a regular file of at most kMaxTimelineBytes (a FIFO or a device
// never hangs or floods the player), with its music named relative to the file.
#pragma once

#include <string>

#include "timeline/timeline.h"

namespace kandu {

// The file's bytes; false with "PATH: reason".
bool readTimelineFile(const std::string &path, std::string &text, std::string &error);
// A timeline's music, named relative to the timeline file at `path`, as a path usable from here.
void resolveMusic(const std::string &path, Timeline &timeline);
// Reads and parses; `music` comes out as a path usable from here.
bool loadTimeline(const std::string &path, Timeline &out, std::string &error);

}  // namespace kandu
