#include "tests/support/process.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cerrno>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>


extern char **environ;

namespace {
std::vector<std::string> environment(const std::vector<std::string> &extra) {
  std::vector<std::string> env(extra);
  for (char **e = environ; *e; ++e) {
    std::string entry(*e);
    std::string name = entry.substr(0, entry.find('='));
    bool overridden = false;
    for (const std::string &x : extra) overridden = overridden || x.rfind(name + "=", 0) == 0;
    if (!overridden) env.push_back(entry);
  }
  return env;
}

std::vector<char *> pointers(std::vector<std::string> &strings) {
  std::vector<char *> p;
  for (std::string &s : strings) p.push_back(s.data());
  p.push_back(nullptr);
  return p;
}

pid_t spawn(const std::vector<std::string> &args, int outFd, const std::vector<std::string> &env,
            const std::string &cwd = "") {
  std::vector<std::string> a(args), e = environment(env);
  std::vector<char *> argv = pointers(a), envp = pointers(e);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
  if (outFd >= 0) {
    posix_spawn_file_actions_adddup2(&actions, outFd, STDOUT_FILENO);
    posix_spawn_file_actions_adddup2(&actions, outFd, STDERR_FILENO);
  }
  if (!cwd.empty()) posix_spawn_file_actions_addchdir_np(&actions, cwd.c_str());
  pid_t pid = -1;
  if (posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), envp.data()) != 0) pid = -1;
  posix_spawn_file_actions_destroy(&actions);
  return pid;
}
}  // namespace

int waitProgram(pid_t pid) {
  int status = 0;
  if (pid <= 0) return -1;
  while (waitpid(pid, &status, 0) < 0)
    if (errno != EINTR) return -1;
  return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

bool programRunning(pid_t pid) {
  int status = 0;
  return pid > 0 && waitpid(pid, &status, WNOHANG) == 0;
}

int endProgram(pid_t pid, int seconds) {
  int status = 0;
  pid_t done = 0;
  if (waitFor([&] { return (done = waitpid(pid, &status, WNOHANG)) != 0 && !(done < 0 && errno == EINTR); }, seconds)) {
    if (done != pid) return -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  }
  kill(pid, SIGKILL);
  return waitProgram(pid);
}

XServer::XServer() {
  // A busy machine can lose a server on its way up: try again, three times at most.
  for (int attempt = 0; attempt < 3 && pid_ <= 0; ++attempt) start();
}

// Xvfb picks a free display itself and writes its number on fd 3 once it takes connections, so
// that servers of tests running side by side never collide; then it must answer a client.
void XServer::start() {
  int fds[2];
  if (pipe2(fds, O_CLOEXEC) != 0) return;
  // -noreset: by default the server starts over whenever its last client leaves, and a client
  // that connects meanwhile (the player, just after a probe) is refused.
  std::vector<std::string> args = {"Xvfb", "-displayfd", "3", "-noreset", "-screen", "0", "1280x1024x24",
                                   "-nolisten", "tcp"};
  std::vector<std::string> e = environment({});
  std::vector<char *> argv = pointers(args), envp = pointers(e);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_adddup2(&actions, fds[1], 3);
  pid_t pid = -1;
  if (posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), envp.data()) != 0) pid = -1;
  posix_spawn_file_actions_destroy(&actions);
  close(fds[1]);
  std::string number;
  bool told = pid > 0 && waitFor([&] {
    pollfd p{fds[0], POLLIN, 0};
    char c;
    while (poll(&p, 1, 0) > 0 && read(fds[0], &c, 1) == 1) {
      if (c == '\n') return true;
      number += c;
    }
    return !programRunning(pid);
  }, 30) && !number.empty();
  close(fds[0]);
  display_ = ":" + number;
  pid_ = pid;
  if (told && waitFor([&] { return runProgram({"xdotool", "getdisplaygeometry"}, env()).status == 0 || !programRunning(pid); }, 30) &&
      programRunning(pid))
    return;
  if (pid > 0) kill(pid, SIGKILL), waitProgram(pid);
  pid_ = -1;
}

XServer::~XServer() {
  if (pid_ <= 0) return;
  kill(pid_, SIGTERM);
  waitProgram(pid_);
}

std::vector<std::string> XServer::env(std::vector<std::string> more) const {
  more.insert(more.begin(), "DISPLAY=" + display_);
  return more;
}

std::string XServer::kanduTitle() const {
  Outcome r = runProgram({"xdotool", "search", "--name", "^kandu", "getwindowname"}, env());
  return r.status == 0 ? r.output : "";
}

void XServer::press(const std::string &key) const {
  runProgram({"xdotool", "search", "--name", "^kandu", "windowfocus", "key", key}, env());
}

Outcome runProgram(const std::vector<std::string> &args, const std::vector<std::string> &env, const std::string &cwd) {
  Outcome result;
  int fds[2];
  if (pipe2(fds, O_CLOEXEC) != 0) return result;
  pid_t pid = spawn(args, fds[1], env, cwd);
  close(fds[1]);
  // A program that hangs is ended after two minutes, so that a test fails instead of waiting on.
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::minutes(2);
  char buffer[4096];
  for (;;) {
    pollfd p{fds[0], POLLIN, 0};
    int ready = poll(&p, 1, 100);
    if (ready < 0 && errno != EINTR) break;
    if (ready > 0) {
      ssize_t n = read(fds[0], buffer, sizeof buffer);
      if (n == 0 || (n < 0 && errno != EINTR)) break;
      if (n > 0) result.output.append(buffer, static_cast<size_t>(n));
    }
    if (std::chrono::steady_clock::now() > deadline) {
      kill(pid, SIGKILL);
      result.output += "\n(ended after two minutes)";
      break;
    }
  }
  close(fds[0]);
  result.status = waitProgram(pid);
  return result;
}

pid_t startProgram(const std::vector<std::string> &args, const std::string &log, const std::vector<std::string> &env) {
  int fd = open(log.empty() ? "/dev/null" : log.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  pid_t pid = spawn(args, fd, env);
  if (fd >= 0) close(fd);
  return pid;
}

std::vector<std::string> words(const std::string &text) {
  std::istringstream in(text);
  std::vector<std::string> out;
  for (std::string w; in >> w;) out.push_back(w);
  return out;
}

Workspace::Workspace() {
  char pattern[] = "/tmp/kandu-cli-XXXXXX";
  dir_ = mkdtemp(pattern);
}

Workspace::~Workspace() {
  std::error_code ignored;
  std::filesystem::remove_all(dir_, ignored);
}

std::string Workspace::write(const std::string &name, const std::string &text) const {
  std::ofstream(path(name), std::ios::binary) << text;
  return path(name);
}

std::vector<std::string> Workspace::list(const std::string &name) const {
  std::vector<std::string> names;
  std::error_code error;
  for (const auto &entry : std::filesystem::directory_iterator(name.empty() ? dir_ : path(name), error))
    names.push_back(entry.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

std::string fileContent(const std::string &path) {
  std::ifstream in(path, std::ios::binary);
  return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

Outcome runPlayer(std::vector<std::string> args, const std::vector<std::string> &env, const std::string &cwd) {
  args.insert(args.begin(), KANDU_PLAYER);
  return runProgram(args, env, cwd);
}

pid_t startPlayer(std::vector<std::string> args, const std::string &log, const std::vector<std::string> &env) {
  args.insert(args.begin(), KANDU_PLAYER);
  return startProgram(args, log, env);
}

bool waitFor(const std::function<bool()> &done, double seconds) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
  while (!done()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    usleep(20000);
  }
  return true;
}
