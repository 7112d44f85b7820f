// Programs the tests start (argument lists through posix_spawnp, never a shell), the X server their
// windows open on, a scratch workspace, and waiting on a condition with a deadline.
#pragma once

#include <sys/types.h>

#include <functional>
#include <string>
#include <vector>

#include "media/encoder.h"  // kandu::onPath: tests skip what the machine lacks

struct Outcome {
  int status = -1;  // the exit status, or 128 + the signal that ended it
  std::string output;  // standard output and standard error together
};

// Runs `args` (args[0] looked up on PATH) with `env` added to the environment, in the directory
// `cwd` (empty: this one), and waits.
Outcome runProgram(const std::vector<std::string> &args, const std::vector<std::string> &env = {},
                   const std::string &cwd = "");
// Starts `args` with standard output and error into the file `log` (or discarded when empty).
pid_t startProgram(const std::vector<std::string> &args, const std::string &log = "",
                   const std::vector<std::string> &env = {});
// kandu-player (the one built beside the tests) run with `args`, and started with them.
Outcome runPlayer(std::vector<std::string> args, const std::vector<std::string> &env = {}, const std::string &cwd = "");
pid_t startPlayer(std::vector<std::string> args, const std::string &log = "", const std::vector<std::string> &env = {});
// Waits for a started program; its status as in Outcome.
int waitProgram(pid_t pid);
bool programRunning(pid_t pid);
// Waits up to `seconds` for a started program to end by itself, then kills it; its status.
int endProgram(pid_t pid, int seconds);

// An X server (Xvfb) for the windows of one test, on a display of its own; stopped at the end.
class XServer {
 public:
  XServer();
  ~XServer();
  XServer(const XServer &) = delete;
  XServer &operator=(const XServer &) = delete;
  bool running() const { return pid_ > 0; }
  // "DISPLAY=:N" followed by `more`, for the programs that use it.
  std::vector<std::string> env(std::vector<std::string> more = {}) const;
  // The title of the window whose name starts with "kandu" ("" when there is none).
  std::string kanduTitle() const;
  // Presses `key` (an X key name: "space", "Right", "q") in the kandu window.
  void press(const std::string &key) const;

 private:
  void start();
  std::string display_;
  pid_t pid_ = -1;
};

// The words of `text`, split at blanks (for commands written as one line).
std::vector<std::string> words(const std::string &text);

// A scratch directory, removed with everything in it at the end of the test.
class Workspace {
 public:
  Workspace();
  ~Workspace();
  Workspace(const Workspace &) = delete;
  Workspace &operator=(const Workspace &) = delete;
  std::string path(const std::string &name) const { return dir_ + "/" + name; }
  // Writes `text` into the file `name` and returns its path.
  std::string write(const std::string &name, const std::string &text) const;
  // The names in the directory `name` ("" for the workspace itself), sorted.
  std::vector<std::string> list(const std::string &name = "") const;

 private:
  std::string dir_;
};

// Polls `done` every 20 ms until it holds or `seconds` have passed; whether it held. Tests that
// involve real time wait on what they need this way, never on a fixed sleep.
bool waitFor(const std::function<bool()> &done, double seconds);

// The whole content of a file ("" when it cannot be read).
std::string fileContent(const std::string &path);
