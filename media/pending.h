// All-or-nothing outputs: everything is written under a temporary name beside its target and
// renamed into place only when complete. Until then the target, and any earlier file there, stay
// untouched; a pending output that is not committed is removed when it goes out of scope, and the
// crash handler removes it too (media/cleanup.h).
#pragma once

#include <cstdint>
#include <string>

namespace kandu {

// Where a write to `target` lands: through symbolic links (a chain of them, relative or absolute,
// or one that names a file yet to be made) to the file they name; `target` itself otherwise. False
// for a loop of links.
bool resolveWriteTarget(const std::string &target, std::string &real, std::string &error);
// Checks before any work that `target` can be a file output: a regular file or none, through its
// links, and not one with other names (hard links), which replacing it would part from them.
bool checkFileTarget(const std::string &target, std::string &error);
// Checks that `dir` is new, or a directory holding nothing but numbered frames (frame_NNNNNN.png)
// and their audio.wav, so that replacing it loses nothing of the user's.
bool checkFrameDirTarget(const std::string &dir, std::string &error);

class PendingFile {
 public:
  PendingFile() = default;
  PendingFile(const PendingFile &) = delete;
  PendingFile &operator=(const PendingFile &) = delete;
  ~PendingFile();

  // Creates the parent directories and an empty DIR/.NAME.kandu-XXXXXX beside `target` (beside the
  // file it names, when it is a symbolic link), with the mode, owner and group of the file there.
  // Refuses a file with other hard links.
  bool create(const std::string &target, std::string &error);
  const std::string &path() const { return temp_; }
  // Flushes the finished file, renames it over the target and flushes the folder.
  bool commit(std::string &error);
  void discard();

 private:
  std::string shown_, target_, temp_;  // the name as given, the file it names, the file being written
};

class PendingFrameDir {
 public:
  PendingFrameDir() = default;
  PendingFrameDir(const PendingFrameDir &) = delete;
  PendingFrameDir &operator=(const PendingFrameDir &) = delete;
  ~PendingFrameDir();

  // Creates the parent directories and an empty directory beside `target` for the frames.
  bool create(const std::string &target, std::string &error);
  const std::string &path() const { return temp_; }
  // The frame k's file in the pending directory.
  std::string framePath(int64_t k) const;
  void setFramesWritten(int64_t frames);
  // Puts the new frames where the target was; the old frames are removed afterwards.
  bool commit(std::string &error);
  void discard();

 private:
  std::string target_, temp_;
};

// Writes `bytes` as `target` all-or-nothing (a temporary file beside it, flushed to the disk, then
// renamed), keeping the permissions of a file already there; false with "PATH: reason".
bool writeWholeFile(const std::string &target, const std::string &bytes, std::string &error);

// "frame_000042.png"
std::string frameFileName(int64_t k);

}  // namespace kandu
