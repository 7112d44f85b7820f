// Live reload for play: the timeline file and the music file are looked at a few times a second;
// when one has changed it is read again and replaces what is playing. A file that no longer reads
// keeps the previous one playing and its error on show until the file is fixed.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <ctime>
#include <string>

#include <memory>

#include "media/audio.h"
#include "timeline/timeline.h"

namespace kandu {

// Tells when a file's modification time or size changed, looking at most every 250 ms.
class FileWatcher {
 public:
  // `path` empty: nothing to watch.
  explicit FileWatcher(std::string path = "");
  const std::string &path() const { return path_; }
  // Watches another file from now on (a reloaded timeline names other music); true when the path
  // differs from the one watched.
  bool retarget(const std::string &path);
  bool changed();

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
};

class TimelineWatcher {
 public:
  // `path` empty: nothing to watch (the built-in demo).
  explicit TimelineWatcher(std::string path) : file_(std::move(path)) {}

  // True when `timeline` was replaced.
  bool poll(Timeline &timeline);
  // The error of the last reload that failed, or "" while the file parses.
  const std::string &error() const { return error_; }

 private:
  FileWatcher file_;
  std::string error_;
};

class MusicWatcher {
 public:
  explicit MusicWatcher(std::string path) : file_(std::move(path)) {}

  // True when `music` was replaced (null: no music any more): the file changed, or `path` names
  // another one. Only opening the file happens here; it is decoded as it plays.
  bool poll(const std::string &path, std::unique_ptr<AudioSource> &music);
  const std::string &error() const { return error_; }

 private:
  FileWatcher file_;
  std::string error_;
};

}  // namespace kandu
