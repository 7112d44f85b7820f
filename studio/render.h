// The studio's render: the saved timeline rendered to MP4 by kandu-player render (or exported as
// one HTML file by kandu-player export), a child process
// (started without a shell), whose progress lines become "render" events for the pages. Cancelled,
// the child is stopped as Ctrl+C stops it, and so leaves nothing half-written.
#pragma once

#include <sys/types.h>

#include <mutex>
#include <string>
#include <thread>

#include "studio/link.h"

namespace kandu {

// The percentage in a line of render's progress ("render: frame 30/120 (25%), 60.0 fps", or the
// terminal's bar "render [###   ]  25% ..."); -1 for any other line.
int renderPercent(const std::string &line);

class StudioRender {
 public:
  explicit StudioRender(StudioLink &link) : link_(link) {}
  StudioRender(const StudioRender &) = delete;
  StudioRender &operator=(const StudioRender &) = delete;
  ~StudioRender();

  // Renders `timeline` to `out` (or, with `pageDir`, exports it as one HTML file); false with the
  // reason when a render or an export runs already or cannot start.
  bool start(const std::string &player, const std::string &plugin, const std::string &timeline,
             const std::string &out, std::string &error, const std::string &pageDir = "");
  void cancel();
  // {"state": "idle|running|done|failed|cancelled", "percent": N, "output": NAME, "message": TEXT}
  std::string stateJson() const;
  // The finished video's path, "" until one is.
  std::string finished() const;

 private:
  void watch(int fd);
  void publishLocked();

  StudioLink &link_;
  mutable std::mutex mutex_;
  pid_t child_ = -1;
  bool cancelled_ = false;
  std::string state_ = "idle", output_, message_, path_;
  int percent_ = 0;
  std::thread watcher_;
};

}  // namespace kandu
