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
#include "media/files.h"
#include "timeline/timeline.h"

namespace kandu {

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
