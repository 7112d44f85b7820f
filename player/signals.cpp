#include "player/signals.h"

#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <cstring>

#include "media/audio.h"
#include "media/cleanup.h"

namespace kandu::signals {
namespace {

volatile sig_atomic_t gStop = 0;
std::atomic<const char *> gExport{nullptr};
// A fixed buffer: the crash handler may use neither the heap nor locks.
char gPlugin[1024];

void say(const char *text) {
  ssize_t ignored = write(STDERR_FILENO, text, std::strlen(text));
  (void)ignored;
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
  cleanup::removeUnfinished();
  signal(sig, SIG_DFL);
  raise(sig);
}

void onStop(int sig) {
  gStop = sig;
  interruptMusic();  // a music file being decoded gives up too
  // The encoder's output is given up: nothing may wait on it (the frames still queued for it,
  // its last frames being encoded).
  cleanup::stopChild();
}

}  // namespace

void install() {
  signal(SIGPIPE, SIG_IGN);
  // Past a file-size limit a write fails with EFBIG and is reported like a full disk, instead of
  // the signal ending the player with its temporary files left behind.
  signal(SIGXFSZ, SIG_IGN);
  struct sigaction crash{};
  crash.sa_handler = onCrash;
  sigemptyset(&crash.sa_mask);
  crash.sa_flags = SA_RESETHAND | SA_NODEFER;
  for (int sig : {SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGABRT}) sigaction(sig, &crash, nullptr);
  // No SA_RESTART: a system call that waits (a read, a wait for a child) returns at the signal.
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

}  // namespace kandu::signals
