#include "media/encoder.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "base/printable.h"
#include "media/cleanup.h"

extern char **environ;

namespace kandu {

std::string videoFormatFor(const std::string &path) {
  size_t dot = path.rfind('.');
  size_t slash = path.rfind('/');
  if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return "";
  std::string ext = path.substr(dot + 1);
  for (char &c : ext) c = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
  if (ext == "mp4" || ext == "m4v") return "mp4";
  if (ext == "mov") return "mov";
  if (ext == "mkv") return "matroska";
  return "";
}

Encoder::~Encoder() {
  if (pid_ > 0) kill();
  std::string ignored;
  finish(ignored);
}

bool onPath(const std::string &name) {
  const char *path = getenv("PATH");
  std::string dirs = path ? path : "/usr/bin:/bin";
  size_t start = 0;
  while (start <= dirs.size()) {
    size_t colon = dirs.find(':', start);
    std::string dir = dirs.substr(start, colon == std::string::npos ? std::string::npos : colon - start);
    if (!dir.empty() && access((dir + "/" + name).c_str(), X_OK) == 0) return true;
    if (colon == std::string::npos) break;
    start = colon + 1;
  }
  return false;
}

bool Encoder::start(const std::string &path, const std::string &format, int width, int height, int fps,
                    const std::string &wav, std::string &error) {
  // In ffmpeg's order: the inputs (the frames on the pipe, then the sound), then the output's
  // options, then the output.
  std::vector<std::string> args = {"ffmpeg", "-hide_banner", "-nostdin", "-loglevel", "error", "-y",
                                   "-f", "rawvideo", "-pix_fmt", "yuv420p",
                                   "-s", std::to_string(width) + "x" + std::to_string(height),
                                   "-framerate", std::to_string(fps), "-i", "pipe:0"};
  auto add = [&](std::initializer_list<std::string> more) { args.insert(args.end(), more); };
  // The sound, already cut to the capture's range: sample 0 plays with frame 0.
  if (!wav.empty()) add({"-i", "file:" + wav});
  add({"-c:v", "libx264", "-preset", "ultrafast", "-threads", "3", "-crf", "18",
       // The frames come converted with BT.601 in limited range: say so.
       "-colorspace", "smpte170m", "-color_primaries", "smpte170m", "-color_trc", "smpte170m", "-color_range", "tv"});
  if (!wav.empty()) add({"-map", "0:v", "-map", "1:a", "-c:a", "aac", "-b:a", "192k"});
  if (format != "matroska") add({"-movflags", "+faststart"});
  add({"-f", format, "file:" + path});
  std::vector<char *> argv;
  for (std::string &a : args) argv.push_back(a.data());
  argv.push_back(nullptr);

  int in[2], err[2];
  if (pipe2(in, O_CLOEXEC) != 0) {
    error = std::string("cannot make a pipe: ") + std::strerror(errno);
    return false;
  }
  if (pipe2(err, O_CLOEXEC) != 0) {
    error = std::string("cannot make a pipe: ") + std::strerror(errno);
    close(in[0]);
    close(in[1]);
    return false;
  }
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, in[0], STDIN_FILENO);
  posix_spawn_file_actions_adddup2(&actions, err[1], STDERR_FILENO);
  posix_spawnattr_t attributes;
  posix_spawnattr_init(&attributes);
  // Its own process group, and the default dispositions: the player ignores SIGPIPE.
  sigset_t defaults;
  sigemptyset(&defaults);
  sigaddset(&defaults, SIGPIPE);
  sigaddset(&defaults, SIGINT);
  sigaddset(&defaults, SIGTERM);
  posix_spawnattr_setsigdefault(&attributes, &defaults);
  posix_spawnattr_setpgroup(&attributes, 0);
  posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETPGROUP | POSIX_SPAWN_SETSIGDEF);
  int spawned = posix_spawnp(&pid_, "ffmpeg", &actions, &attributes, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  posix_spawnattr_destroy(&attributes);
  close(in[0]);
  close(err[1]);
  if (spawned != 0) {
    pid_ = -1;
    close(in[1]);
    close(err[0]);
    error = std::string("cannot start ffmpeg: ") + std::strerror(spawned);
    return false;
  }
  cleanup::trackChild(pid_);
  // x264 shares the machine with the renderer; rendering comes first.
  setpriority(PRIO_PROCESS, static_cast<id_t>(pid_), 10);
  input_ = in[1];
  errors_ = err[0];
  reader_ = std::thread([this] {
    std::string line;
    char buffer[1024];
    ssize_t n;
    while ((n = read(errors_, buffer, sizeof buffer)) > 0 || (n < 0 && errno == EINTR)) {
      for (ssize_t i = 0; i < n; ++i) {
        if (buffer[i] == '\n' || buffer[i] == '\r') {
          if (!line.empty()) {
            std::lock_guard<std::mutex> lock(mutex_);
            lastLine_ = line;
          }
          line.clear();
        } else if (line.size() < 400) {
          line += buffer[i];
        }
      }
    }
    if (!line.empty()) {
      std::lock_guard<std::mutex> lock(mutex_);
      lastLine_ = line;
    }
  });
  return true;
}

bool Encoder::write(const void *data, size_t size) {
  const char *p = static_cast<const char *>(data);
  while (size > 0) {
    ssize_t n = ::write(input_, p, size);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    p += n;
    size -= static_cast<size_t>(n);
  }
  return true;
}

bool Encoder::finish(std::string &error) {
  if (input_ >= 0) close(input_);
  input_ = -1;
  if (pid_ <= 0) return false;
  int status = 0;
  while (waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
  }
  cleanup::untrackChild(pid_);
  pid_ = -1;
  if (reader_.joinable()) reader_.join();
  if (errors_ >= 0) close(errors_);
  errors_ = -1;
  if (WIFEXITED(status) && WEXITSTATUS(status) == 0) return true;
  error = WIFEXITED(status) ? "ffmpeg failed with exit status " + std::to_string(WEXITSTATUS(status))
                            : "ffmpeg was ended by signal " + std::to_string(WTERMSIG(status));
  std::lock_guard<std::mutex> lock(mutex_);
  if (!lastLine_.empty()) error += ": " + printable(lastLine_);
  return false;
}

void Encoder::kill() {
  if (pid_ > 0) ::kill(pid_, SIGKILL);
}

}  // namespace kandu
