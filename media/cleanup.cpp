#include "media/cleanup.h"

#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <cstring>

namespace kandu::cleanup {
namespace {

std::atomic<int64_t> gFramesWritten{0};
std::atomic<pid_t> gChild{0};
// Fixed buffers: removeUnfinished may run in a signal handler.
char gFiles[2][4096];
char gFrameDir[4096];

void copyInto(char (&buffer)[4096], const std::string &text) {
  size_t n = text.size() < sizeof buffer - 1 ? text.size() : 0;  // a longer path is never tracked
  std::memcpy(buffer, text.data(), n);
  buffer[n] = '\0';
}

// "DIR/frame_000042.png" built without snprintf, which is not safe in a signal handler.
void removeFrames(const char *dir, int64_t count) {
  char path[4096 + 32];
  size_t length = std::strlen(dir);
  std::memcpy(path, dir, length);
  for (int64_t k = 0; k < count; ++k) {
    char *p = path + length;
    std::memcpy(p, "/frame_", 7);
    p += 7;
    int64_t v = k;
    for (int i = 5; i >= 0; --i, v /= 10) p[i] = static_cast<char>('0' + v % 10);
    std::memcpy(p + 6, ".png", 5);
    unlink(path);
  }
  std::memcpy(path + length, "/audio.wav", 11);
  unlink(path);
  rmdir(dir);
}

}  // namespace

void trackFile(const std::string &path) {
  for (auto &file : gFiles)
    if (!file[0]) return copyInto(file, path);
}
void untrackFile(const std::string &path) {
  for (auto &file : gFiles)
    if (path == file) file[0] = '\0';
}
void trackFrameDir(const std::string &dir) {
  gFramesWritten = 0;
  copyInto(gFrameDir, dir);
}
void untrackFrameDir(const std::string &dir) {
  if (dir != gFrameDir) return;
  gFrameDir[0] = '\0';
  gFramesWritten = 0;
}
void setFramesWritten(int64_t frames) { gFramesWritten = frames; }
void trackChild(pid_t pid) { gChild = pid; }
void untrackChild(pid_t pid) {
  pid_t tracked = pid;
  gChild.compare_exchange_strong(tracked, 0);
}

void stopChild() {
  if (pid_t child = gChild.load(); child > 0) kill(child, SIGKILL);
}

void removeUnfinished() {
  stopChild();
  for (char *file : gFiles)
    if (file[0]) unlink(file);
  if (gFrameDir[0]) removeFrames(gFrameDir, gFramesWritten.load());
}

}  // namespace kandu::cleanup
