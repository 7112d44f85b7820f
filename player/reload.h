// Live reload for play: the timeline file is looked at a few times a second; when it has changed
// it is parsed again, and the new timeline replaces the playing one. A file that no longer parses
// keeps the previous timeline playing and its FILE:LINE error on show until the file is fixed.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <ctime>
#include <string>

#include "player/timeline.h"

class TimelineWatcher {
 public:
  // `path` empty: nothing to watch (the built-in demo).
  explicit TimelineWatcher(std::string path);

  // True when `timeline` was replaced. Looks at the file at most every 250 ms.
  bool poll(Timeline &timeline);
  // The error of the last reload that failed, or "" while the file parses.
  const std::string &error() const { return error_; }

 private:
  struct Stamp {
    timespec modified{};
    off_t size = -1;
    bool operator!=(const Stamp &o) const {
      return modified.tv_sec != o.modified.tv_sec || modified.tv_nsec != o.modified.tv_nsec || size != o.size;
    }
  };
  Stamp stamp() const;

  std::string path_;
  Stamp last_;
  std::chrono::steady_clock::time_point lastLook_{};
  std::string error_;
};
