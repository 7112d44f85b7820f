#include "media/pending.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <vector>

#include "base/printable.h"
#include "media/cleanup.h"

namespace kandu {

namespace {

std::string parentOf(const std::string &path) {
  size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

std::string baseOf(const std::string &path) {
  size_t slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

// A unique name beside `target`: ".NAME.kandu-XXXXXX" (mkstemp/mkdtemp fill in the X's).
std::vector<char> templateBeside(const std::string &target, const char *tag) {
  std::string name = parentOf(target) + "/." + baseOf(target) + tag + "XXXXXX";
  return std::vector<char>(name.begin(), name.end() + 1);
}

bool isFrameName(const char *name) {
  if (std::strcmp(name, "audio.wav") == 0) return true;
  if (std::strncmp(name, "frame_", 6) != 0) return false;
  for (int i = 6; i < 12; ++i)
    if (name[i] < '0' || name[i] > '9') return false;
  return std::strcmp(name + 12, ".png") == 0;
}

// Removes the frame files of a directory this player made, then the directory.
void removeFrameDir(const std::string &dir) {
  if (DIR *d = opendir(dir.c_str())) {
    while (dirent *e = readdir(d))
      if (isFrameName(e->d_name)) unlink((dir + "/" + e->d_name).c_str());
    closedir(d);
  }
  rmdir(dir.c_str());
}

bool makeDirs(const std::string &dir) {
  if (dir.empty()) return true;
  struct stat st{};
  if (stat(dir.c_str(), &st) == 0) return S_ISDIR(st.st_mode);
  size_t slash = dir.rfind('/');
  if (slash != std::string::npos && slash > 0 && !makeDirs(dir.substr(0, slash))) return false;
  return mkdir(dir.c_str(), 0777) == 0 || errno == EEXIST;
}

bool makeParentDirs(const std::string &path) {
  size_t slash = path.rfind('/');
  return slash == std::string::npos || makeDirs(path.substr(0, slash));
}

std::string reason(const std::string &what) { return printable(what) + ": " + std::strerror(errno); }

// Flushes a folder's entries (a rename into it) to the disk. Filesystems that cannot flush a folder
// say EINVAL; they have nothing more to flush.
bool flushFolder(const std::string &dir) {
  const int fd = open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return false;
  const bool flushed = fsync(fd) == 0 || errno == EINVAL;
  const int saved = errno;
  close(fd);
  errno = saved;
  return flushed;
}

// A file with other names (hard links) would be parted from them by a write that replaces it.
bool refuseHardLinks(const std::string &target, const struct stat &st, std::string &error) {
  if (!S_ISREG(st.st_mode) || st.st_nlink <= 1) return true;
  error = printable(target) + ": has " + std::to_string(st.st_nlink) +
          " names (hard links); writing replaces the file, which would leave the other names with the old "
          "bytes: give it a name of its own first (cp NAME NAME.new && mv NAME.new NAME)";
  return false;
}

}  // namespace

std::string frameFileName(int64_t k) {
  char name[32];
  std::snprintf(name, sizeof name, "frame_%06lld.png", static_cast<long long>(k));
  return name;
}

bool resolveWriteTarget(const std::string &target, std::string &real, std::string &error) {
  std::string path = target;
  for (int links = 0; links <= 40; ++links) {
    struct stat st{};
    if (lstat(path.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) {
      real = path;
      return true;
    }
    std::vector<char> to(static_cast<size_t>(st.st_size > 0 ? st.st_size : 4096) + 1);
    const ssize_t n = readlink(path.c_str(), to.data(), to.size());
    if (n < 0 || static_cast<size_t>(n) >= to.size()) {
      error = reason(path);
      return false;
    }
    const std::string next(to.data(), static_cast<size_t>(n));
    path = next[0] == '/' ? next : parentOf(path) + "/" + next;
  }
  errno = ELOOP;
  error = reason(target);
  return false;
}

bool checkFileTarget(const std::string &target, std::string &error) {
  std::string real;
  if (!resolveWriteTarget(target, real, error)) return false;
  struct stat st{};
  if (stat(real.c_str(), &st) != 0) return true;
  if (!S_ISREG(st.st_mode)) {
    error = printable(target) + ": exists and is not a regular file";
    return false;
  }
  return refuseHardLinks(target, st, error);
}

bool checkFrameDirTarget(const std::string &dir, std::string &error) {
  struct stat st{};
  if (stat(dir.c_str(), &st) != 0) return true;
  if (!S_ISDIR(st.st_mode)) {
    error = printable(dir) + ": exists and is not a directory";
    return false;
  }
  DIR *d = opendir(dir.c_str());
  if (!d) {
    error = reason(dir);
    return false;
  }
  bool onlyFrames = true;
  while (dirent *e = readdir(d))
    if (std::strcmp(e->d_name, ".") != 0 && std::strcmp(e->d_name, "..") != 0 && !isFrameName(e->d_name))
      onlyFrames = false;
  closedir(d);
  if (!onlyFrames) {
    error = printable(dir) + ": holds files other than frames; give a new or empty directory for --frames";
    return false;
  }
  return true;
}

PendingFile::~PendingFile() { discard(); }

bool PendingFile::create(const std::string &target, std::string &error) {
  // Through a symbolic link, the file it names is written (and the link kept): beside it, so that
  // the rename stays within its filesystem.
  std::string real;
  if (!resolveWriteTarget(target, real, error)) return false;
  struct stat existing{};
  const bool exists = stat(real.c_str(), &existing) == 0;
  if (exists && !refuseHardLinks(target, existing, error)) return false;
  if (!makeParentDirs(real)) {
    error = reason(parentOf(real));
    return false;
  }
  std::vector<char> name = templateBeside(real, ".kandu-");
  int fd = mkstemp(name.data());
  if (fd < 0) {
    error = reason(target);
    return false;
  }
  if (exists) {
    // The file keeps its permissions and, where this process may give it, its owner and group.
    fchmod(fd, existing.st_mode & 07777);
    if (fchown(fd, existing.st_uid, existing.st_gid) != 0) {
      const int groupOnly = fchown(fd, static_cast<uid_t>(-1), existing.st_gid);
      (void)groupOnly;  // neither is ours to give: the file is ours, as any new file would be
    }
  } else {
    // mkstemp makes the file private; a new output gets the permissions fopen would give it.
    mode_t mask = umask(0);
    umask(mask);
    fchmod(fd, 0666 & ~mask);
  }
  close(fd);
  shown_ = target;
  target_ = real;
  temp_ = name.data();
  cleanup::trackFile(temp_);
  return true;
}

bool PendingFile::commit(std::string &error) {
  // The bytes on the disk before the name points at them, and the new name on the disk before the
  // write is reported done: a power cut leaves the old file or the new one, whole.
  const int fd = open(temp_.c_str(), O_RDONLY | O_CLOEXEC);
  const bool flushed = fd >= 0 && fsync(fd) == 0;
  if (fd >= 0) close(fd);
  if (!flushed || rename(temp_.c_str(), target_.c_str()) != 0) {
    error = reason(shown_);
    discard();
    return false;
  }
  cleanup::untrackFile(temp_);
  temp_.clear();
  if (!flushFolder(parentOf(target_))) {
    error = printable(shown_) + ": written, but its folder could not be flushed to the disk: " + std::strerror(errno);
    return false;
  }
  return true;
}

void PendingFile::discard() {
  if (temp_.empty()) return;
  unlink(temp_.c_str());
  cleanup::untrackFile(temp_);
  temp_.clear();
}

PendingFrameDir::~PendingFrameDir() { discard(); }

bool PendingFrameDir::create(const std::string &target, std::string &error) {
  if (!makeParentDirs(target)) {
    error = reason(parentOf(target));
    return false;
  }
  std::vector<char> name = templateBeside(target, ".kandu-");
  if (!mkdtemp(name.data())) {
    error = reason(target);
    return false;
  }
  mode_t mask = umask(0);
  umask(mask);
  chmod(name.data(), 0777 & ~mask);
  target_ = target;
  temp_ = name.data();
  cleanup::trackFrameDir(temp_);
  return true;
}

std::string PendingFrameDir::framePath(int64_t k) const { return temp_ + "/" + frameFileName(k); }

void PendingFrameDir::setFramesWritten(int64_t frames) { cleanup::setFramesWritten(frames); }

bool PendingFrameDir::commit(std::string &error) {
  // A directory cannot be renamed over a non-empty one: move the old frames aside first.
  std::string old;
  struct stat st{};
  if (stat(target_.c_str(), &st) == 0) {
    std::vector<char> aside = templateBeside(target_, ".old-");
    bool made = mkdtemp(aside.data()) != nullptr;
    if (!made || rename(target_.c_str(), aside.data()) != 0) {
      error = reason(target_);
      if (made) rmdir(aside.data());
      discard();
      return false;
    }
    old = aside.data();
  }
  if (rename(temp_.c_str(), target_.c_str()) != 0) {
    error = reason(target_);
    if (!old.empty()) rename(old.c_str(), target_.c_str());
    discard();
    return false;
  }
  cleanup::untrackFrameDir(temp_);
  temp_.clear();
  if (!old.empty()) removeFrameDir(old);
  if (!flushFolder(parentOf(target_))) {
    error = printable(target_) + ": written, but its folder could not be flushed to the disk: " + std::strerror(errno);
    return false;
  }
  return true;
}

void PendingFrameDir::discard() {
  if (temp_.empty()) return;
  removeFrameDir(temp_);
  cleanup::untrackFrameDir(temp_);
  temp_.clear();
}

bool writeWholeFile(const std::string &target, const std::string &bytes, std::string &error) {
  PendingFile pending;
  if (!pending.create(target, error)) return false;
  int fd = open(pending.path().c_str(), O_WRONLY | O_CLOEXEC);
  bool ok = fd >= 0;
  for (size_t done = 0; ok && done < bytes.size();) {
    const ssize_t n = write(fd, bytes.data() + done, bytes.size() - done);
    if (n < 0 && errno == EINTR) continue;
    ok = n > 0;
    if (ok) done += static_cast<size_t>(n);
  }
  // Flushed to the disk by the commit, as every pending output is.
  if (fd >= 0) ok = close(fd) == 0 && ok;
  if (!ok) {
    error = reason(target);
    return false;
  }
  return pending.commit(error);
}

}  // namespace kandu
