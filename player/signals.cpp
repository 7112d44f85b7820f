#include "player/signals.h"

#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <cstring>

namespace Signals {
namespace {

volatile sig_atomic_t gStop = 0;
std::atomic<const char *> gExport{nullptr};
std::atomic<int64_t> gFramesWritten{0};
std::atomic<pid_t> gChild{0};
// Fixed buffers: the crash handler may use neither the heap nor locks.
char gPlugin[1024];
char gFiles[2][4096];
char gFrameDir[4096];

void say(const char *text) {
  ssize_t ignored = write(STDERR_FILENO, text, std::strlen(text));
  (void)ignored;
}

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

void cleanUp() {
  if (pid_t child = gChild.load(); child > 0) kill(child, SIGKILL);
  for (char *file : gFiles)
    if (file[0]) unlink(file);
  if (gFrameDir[0]) removeFrames(gFrameDir, gFramesWritten.load());
}

const char *signalName(int sig) {
  switch (sig) {
    case SIGSEGV: return "SIGSEGV";
    case SIGBUS: return "SIGBUS";
    case SIGFPE: return "SIGFPE";
    case SIGILL: return "SIGILL";
    default: return "SIGABRT";
  }
}

void onCrash(int sig) {
  say("kandu-player: ");
  say(signalName(sig));
  if (const char *name = gExport.load()) {
    say(" in the plug-in's ");
    say(name);
    say(" (");
    say(gPlugin);
    say(")\n");
  } else {
    say(" in the player\n");
  }
  cleanUp();
  signal(sig, SIG_DFL);
  raise(sig);
}

void onStop(int sig) { gStop = sig; }

}  // namespace

void install(bool captureStops) {
  signal(SIGPIPE, SIG_IGN);
  struct sigaction crash{};
  crash.sa_handler = onCrash;
  sigemptyset(&crash.sa_mask);
  crash.sa_flags = SA_RESETHAND | SA_NODEFER;
  for (int sig : {SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGABRT}) sigaction(sig, &crash, nullptr);
  if (!captureStops) return;
  struct sigaction stop{};
  stop.sa_handler = onStop;
  sigemptyset(&stop.sa_mask);
  for (int sig : {SIGINT, SIGTERM}) sigaction(sig, &stop, nullptr);
}

int stopRequested() { return gStop; }

void endWithStopSignal() {
  int sig = gStop ? static_cast<int>(gStop) : SIGTERM;
  signal(sig, SIG_DFL);
  raise(sig);
  _exit(128 + sig);
}

void setPluginPath(const std::string &path) {
  size_t n = path.size() < sizeof gPlugin - 1 ? path.size() : sizeof gPlugin - 1;
  std::memcpy(gPlugin, path.data(), n);
  gPlugin[n] = '\0';
}

void enterExport(const char *name) { gExport = name; }

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
void setFramesWritten(int64_t frames) { gFramesWritten = frames; }
void trackChild(pid_t pid) { gChild = pid; }
void untrackAll() {
  for (auto &file : gFiles) file[0] = '\0';
  gFrameDir[0] = '\0';
  gChild = 0;
  gFramesWritten = 0;
}

}  // namespace Signals
