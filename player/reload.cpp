#include "player/reload.h"

#include <sys/stat.h>

#include "base/printable.h"
#include "player/messages.h"
#include "player/timeline_file.h"

namespace kandu {

namespace {

// Keeps the error of a failed reload on show, saying it once; says when the file reads again.
void noteReload(bool ok, const std::string &why, const std::string &path, const char *keeping, std::string &error) {
  if (!ok) {
    if (why != error) complain(why + " (still playing the previous " + keeping + ")");
    error = why;
    return;
  }
  if (!error.empty()) complain("reloaded " + printable(path));
  error.clear();
}

}  // namespace

bool TimelineWatcher::poll(Timeline &timeline) {
  if (!file_.changed()) return false;
  Timeline reloaded;
  std::string why;
  bool ok = loadTimeline(file_.path(), reloaded, why);
  noteReload(ok, why, file_.path(), "timeline", error_);
  if (ok) timeline = std::move(reloaded);
  return ok;
}

MusicWatcher::~MusicWatcher() {
  // An open in progress finishes on its own (a regular file's header; nothing blocks it); what it
  // opened is dropped.
  if (opening_.valid()) opening_.wait();
}

void MusicWatcher::startOpening(const std::string &path) {
  opening_ = std::async(std::launch::async, [path] {
    Opened opened;
    opened.path = path;
    opened.ok = openMusic(path, opened.music, opened.error);
    return opened;
  });
}

bool MusicWatcher::poll(const std::string &path, std::unique_ptr<AudioSource> &music) {
  const bool moved = file_.retarget(path);
  bool wanted = file_.changed() || moved;  // the music to play is not what plays
  if (opening_.valid()) {
    if (wanted) again_ = true;  // what is being opened is already out of date
    if (opening_.wait_for(std::chrono::seconds(0)) != std::future_status::ready) return false;
    Opened opened = opening_.get();
    if (!again_) {
      noteReload(opened.ok, opened.error, opened.path, "music", error_);
      if (opened.ok) music = std::move(opened.music);
      return opened.ok;
    }
    again_ = false;
    wanted = true;
  }
  if (!wanted) return false;
  if (!path.empty()) {
    startOpening(path);
    return false;
  }
  error_.clear();
  music.reset();
  return true;
}

}  // namespace kandu
