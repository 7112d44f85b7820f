// Live reload for play: the timeline file and the music file are looked at a few times a second;
// when one has changed it is read again and replaces what is playing. A file that no longer reads
// keeps the previous one playing and its error on show until the file is fixed.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <ctime>
#include <future>
#include <string>

#include <memory>

#include "media/audio.h"
#include "timeline/timeline.h"

namespace kandu {

const std::chrono::milliseconds kLookEvery{250};

// Tells when a file's modification time (to the nanosecond) or size changed, looking at most every
// `lookEvery`.
class FileWatcher {
 public:
  // `path` empty: nothing to watch.
  explicit FileWatcher(std::string path = "", std::chrono::milliseconds lookEvery = kLookEvery);
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
  std::chrono::milliseconds lookEvery_;
  Stamp last_;
  std::chrono::steady_clock::time_point lastLook_{};
};

class TimelineWatcher {
 public:
  // `path` empty: nothing to watch (the built-in demo).
  explicit TimelineWatcher(std::string path, std::chrono::milliseconds lookEvery = kLookEvery)
      : file_(std::move(path), lookEvery) {}

  // True when `timeline` was replaced.
  bool poll(Timeline &timeline);
  // The error of the last reload that failed, or "" while the file parses.
  const std::string &error() const { return error_; }

 private:
  FileWatcher file_;
  std::string error_;
};

// Music is opened on a thread of its own, so that the drawing never waits on a music file however
// slow it is to open; poll() hands over what it opened once it is done.
class MusicWatcher {
 public:
  explicit MusicWatcher(std::string path, std::chrono::milliseconds lookEvery = kLookEvery)
      : file_(std::move(path), lookEvery) {}
  MusicWatcher(const MusicWatcher &) = delete;
  MusicWatcher &operator=(const MusicWatcher &) = delete;
  ~MusicWatcher();

  // True when `music` was replaced (null: no music any more): the file changed, or `path` names
  // another one, and its opening has finished. Only opening the file happens off the drawing
  // thread; it is decoded as it plays.
  bool poll(const std::string &path, std::unique_ptr<AudioSource> &music);
  const std::string &error() const { return error_; }
  // True while a file is being opened (tests wait for the quiet after it).
  bool opening() const { return opening_.valid(); }

 private:
  struct Opened {
    std::string path;
    std::unique_ptr<AudioSource> music;
    std::string error;
    bool ok = false;
  };
  void startOpening(const std::string &path);

  FileWatcher file_;
  std::string error_;
  std::future<Opened> opening_;
  bool again_ = false;  // the file changed while it was being opened: open it once more
};

}  // namespace kandu
