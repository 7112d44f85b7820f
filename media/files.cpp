#include "media/files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "base/printable.h"

namespace kandu {

namespace {
std::string tooLarge(const std::string &path, const std::string &what, size_t maxBytes) {
  return printable(path) + ": the " + what + " is larger than " + std::to_string(maxBytes) + " bytes";
}
}  // namespace

bool readRegularFile(const std::string &path, const std::string &what, size_t maxBytes, std::string &text,
                     std::string &error) {
  // O_NONBLOCK: a FIFO must not hang the open; only a regular file of a sane size is read.
  int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) {
    error = printable(path) + ": cannot open the " + what + ": " + std::strerror(errno);
    return false;
  }
  struct stat st{};
  bool ok = fstat(fd, &st) == 0 && S_ISREG(st.st_mode);
  if (!ok) {
    error = printable(path) + ": the " + what + " is not a regular file";
  } else if (st.st_size > static_cast<off_t>(maxBytes)) {
    error = tooLarge(path, what, maxBytes);
    ok = false;
  } else {
    // Read at most one byte past the limit, in case the file grew since fstat.
    char buffer[65536];
    ssize_t n;
    while (ok && (n = read(fd, buffer, sizeof buffer)) != 0) {
      if (n < 0) {
        if (errno == EINTR || errno == EAGAIN) continue;
        error = printable(path) + ": cannot read the " + what + ": " + std::strerror(errno);
        ok = false;
      } else if (text.size() + static_cast<size_t>(n) > maxBytes) {
        error = tooLarge(path, what, maxBytes);
        ok = false;
      } else {
        text.append(buffer, static_cast<size_t>(n));
      }
    }
  }
  close(fd);
  return ok;
}

FileWatcher::FileWatcher(std::string path, std::chrono::milliseconds lookEvery)
    : path_(std::move(path)), lookEvery_(lookEvery) {
  last_ = stamp();
}

FileWatcher::Stamp FileWatcher::stamp() const {
  Stamp s;
  struct stat st{};
  if (!path_.empty() && stat(path_.c_str(), &st) == 0) {
    s.modified = st.st_mtim;
    s.size = st.st_size;
  }
  return s;
}

bool FileWatcher::retarget(const std::string &path) {
  if (path == path_) return false;
  path_ = path;
  last_ = stamp();
  return true;
}

bool FileWatcher::changed() {
  if (path_.empty()) return false;
  auto now = std::chrono::steady_clock::now();
  if (now - lastLook_ < lookEvery_) return false;
  lastLook_ = now;
  Stamp current = stamp();
  if (!(current != last_)) return false;
  last_ = current;
  return true;
}

}  // namespace kandu
