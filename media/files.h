// Files the hosts read and watch: a small file read whole only when it is a regular file within its
// limit (a FIFO or a device never hangs or floods the reader), and a watch that tells when a file
// changed on the disk.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <ctime>
#include <string>

namespace kandu {

// The bytes of the regular file at `path`, at most `maxBytes` of them; false with "PATH: reason",
// the file named as `what` ("PATH: the timeline is larger than 1048576 bytes").
bool readRegularFile(const std::string &path, const std::string &what, size_t maxBytes, std::string &text,
                     std::string &error);

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

}  // namespace kandu
