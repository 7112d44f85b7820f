#include "player/timeline_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "base/printable.h"
#include "timeline/document.h"

namespace kandu {

bool readTimelineFile(const std::string &path, std::string &text, std::string &error) {
  // O_NONBLOCK: a FIFO must not hang the open; only a regular file of a sane size is read.
  int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) {
    error = printable(path) + ": cannot open the timeline: " + std::strerror(errno);
    return false;
  }
  struct stat st{};
  bool ok = fstat(fd, &st) == 0 && S_ISREG(st.st_mode);
  if (!ok) {
    error = printable(path) + ": the timeline is not a regular file";
  } else if (st.st_size > static_cast<off_t>(kMaxTimelineBytes)) {
    error = timelineTooLarge(printable(path));
    ok = false;
  } else {
    // Read at most one byte past the limit, in case the file grew since fstat.
    char buffer[65536];
    ssize_t n;
    while (ok && (n = read(fd, buffer, sizeof buffer)) != 0) {
      if (n < 0) {
        if (errno == EINTR || errno == EAGAIN) continue;
        error = printable(path) + ": cannot read the timeline: " + std::strerror(errno);
        ok = false;
      } else if (text.size() + static_cast<size_t>(n) > kMaxTimelineBytes) {
        error = timelineTooLarge(printable(path));
        ok = false;
      } else {
        text.append(buffer, static_cast<size_t>(n));
      }
    }
  }
  close(fd);
  return ok;
}

bool loadTimeline(const std::string &path, Timeline &out, std::string &error) {
  std::string text;
  if (!readTimelineFile(path, text, error) || !parseTimeline(text, path, out, error)) return false;
  resolveMusic(path, out);
  return true;
}

void resolveMusic(const std::string &path, Timeline &timeline) {
  size_t slash = path.rfind('/');
  if (!timeline.music.empty() && timeline.music[0] != '/' && slash != std::string::npos)
    timeline.music = path.substr(0, slash + 1) + timeline.music;
}

}  // namespace kandu
