#include "studio/render.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <vector>

#include <nlohmann/json.hpp>

#include "base/printable.h"

extern char **environ;

namespace kandu {

int renderPercent(const std::string &line) {
  if (line.rfind("render", 0) != 0) return -1;
  const size_t percent = line.find('%');
  if (percent == std::string::npos) return -1;
  size_t start = percent;
  while (start > 0 && line[start - 1] >= '0' && line[start - 1] <= '9') --start;
  if (start == percent || percent - start > 3) return -1;
  const int value = std::stoi(line.substr(start, percent - start));
  return value <= 100 ? value : -1;
}

StudioRender::~StudioRender() {
  cancel();
  if (watcher_.joinable()) watcher_.join();
}

bool StudioRender::start(const std::string &player, const std::string &plugin, const std::string &timeline,
                         const std::string &out, std::string &error, const std::string &pageDir) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (child_ > 0) {
    error = "a render is running";
    return false;
  }
  if (watcher_.joinable()) watcher_.join();  // the last one has ended: its watcher is done
  int pipeFds[2];
  if (pipe2(pipeFds, O_CLOEXEC) != 0) {
    error = std::string("cannot start the render: ") + std::strerror(errno);
    return false;
  }
  std::vector<std::string> args = {player, pageDir.empty() ? "render" : "export", timeline, "--out", out};
  if (!pageDir.empty()) args.insert(args.end(), {"--page", pageDir});
  if (!plugin.empty() && pageDir.empty()) args.insert(args.end(), {"--plugin", plugin});
  std::vector<char *> argv;
  for (std::string &a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_adddup2(&actions, pipeFds[1], 2);
  pid_t pid = -1;
  const int failed = posix_spawn(&pid, player.c_str(), &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  close(pipeFds[1]);
  if (failed) {
    close(pipeFds[0]);
    error = "cannot start " + printable(player) + ": " + std::strerror(failed);
    return false;
  }
  child_ = pid;
  cancelled_ = false;
  state_ = "running";
  percent_ = 0;
  message_.clear();
  path_ = out;
  output_ = out.substr(out.rfind('/') + 1);
  publishLocked();
  watcher_ = std::thread(&StudioRender::watch, this, pipeFds[0]);
  return true;
}

void StudioRender::watch(int fd) {
  std::string line;
  char buffer[4096];
  for (;;) {
    const ssize_t n = read(fd, buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    for (ssize_t i = 0; i < n; ++i) {
      if (buffer[i] != '\n' && buffer[i] != '\r') {
        if (line.size() < 1000) line += buffer[i];
        continue;
      }
      if (line.empty()) continue;
      std::lock_guard<std::mutex> lock(mutex_);
      const int percent = renderPercent(line);
      if (percent >= 0 && percent != percent_) {
        percent_ = percent;
        publishLocked();
      } else if (percent < 0) {
        message_ = printable(line);
      }
      line.clear();
    }
  }
  close(fd);
  int status = 0;
  pid_t pid;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    pid = child_;
  }
  while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  std::lock_guard<std::mutex> lock(mutex_);
  child_ = -1;
  if (cancelled_) {
    state_ = "cancelled";
    message_ = "cancelled; nothing was written";
  } else if (WIFEXITED(status) && WEXITSTATUS(status) == 0) {
    state_ = "done";
    percent_ = 100;
  } else {
    state_ = "failed";
  }
  publishLocked();
}

void StudioRender::cancel() {
  std::lock_guard<std::mutex> lock(mutex_);
  if (child_ <= 0) return;
  cancelled_ = true;
  kill(child_, SIGTERM);
}

std::string StudioRender::stateJson() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return nlohmann::json{{"state", state_}, {"percent", percent_}, {"output", output_}, {"message", message_}}.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
}

std::string StudioRender::finished() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return state_ == "done" ? path_ : "";
}

void StudioRender::publishLocked() {
  link_.publish("render", nlohmann::json{{"state", state_}, {"percent", percent_}, {"output", output_},
                                         {"message", message_}}.dump(-1, ' ', false,
                                                                     nlohmann::json::error_handler_t::replace));
}

}  // namespace kandu
