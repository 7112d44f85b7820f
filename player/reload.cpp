#include "player/reload.h"

#include <sys/stat.h>

#include "player/messages.h"

TimelineWatcher::TimelineWatcher(std::string path) : path_(std::move(path)) { last_ = stamp(); }

TimelineWatcher::Stamp TimelineWatcher::stamp() const {
  Stamp s;
  struct stat st{};
  if (!path_.empty() && stat(path_.c_str(), &st) == 0) {
    s.modified = st.st_mtim;
    s.size = st.st_size;
  }
  return s;
}

bool TimelineWatcher::poll(Timeline &timeline) {
  if (path_.empty()) return false;
  auto now = std::chrono::steady_clock::now();
  if (now - lastLook_ < std::chrono::milliseconds(250)) return false;
  lastLook_ = now;
  Stamp current = stamp();
  if (!(current != last_)) return false;
  last_ = current;
  Timeline reloaded;
  std::string why;
  if (!loadTimeline(path_, reloaded, why)) {
    if (why != error_) complain(why + " (still playing the previous timeline)");
    error_ = why;
    return false;
  }
  if (!error_.empty()) complain("reloaded " + printable(path_));
  error_.clear();
  timeline = std::move(reloaded);
  return true;
}
