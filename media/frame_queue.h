// Frames on their way to a sink: the render thread pushes, a worker thread writes, so that
// encoding overlaps the next frames' rendering. The queue holds at most kQueueBytes of frames
// (and always room for one), whatever the frame size.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>
#include <string>
#include <thread>

#include "media/image.h"

namespace kandu {

// Where captured frames go. write() runs on the worker thread.
class FrameSink {
 public:
  virtual ~FrameSink() = default;
  virtual bool write(int64_t index, const RawFrame &frame, std::string &error) = 0;
};

class FrameQueue {
 public:
  static const size_t kQueueBytes = 64u << 20;

  FrameQueue(FrameSink &sink, size_t frameBytes);
  ~FrameQueue();

  // Waits for room; false once the sink failed, or when `stop()` says to give up waiting.
  template <typename Stop> bool push(int64_t index, RawFrame &&frame, Stop stop) {
    std::unique_lock<std::mutex> lock(mutex_);
    while (queue_.size() >= capacity_ && !failed_)
      if (space_.wait_for(lock, std::chrono::milliseconds(50)) == std::cv_status::timeout && stop()) return false;
    if (failed_) return false;
    queue_.push_back({index, std::move(frame)});
    ready_.notify_one();
    return true;
  }
  // Waits until the worker has taken every queued frame, or drops what is still queued once
  // `stop()` says to give up (looked at every 50 ms).
  template <typename Stop> void drain(Stop stop) {
    std::unique_lock<std::mutex> lock(mutex_);
    while (!queue_.empty() && !failed_)
      if (space_.wait_for(lock, std::chrono::milliseconds(50)) == std::cv_status::timeout && stop()) {
        queue_.clear();
        return;
      }
  }
  // Lets the worker write what is queued and waits for it; false with the sink's error when it
  // failed.
  bool close(std::string &error);
  // Drops what is queued (the capture is abandoned) and waits for the worker.
  void abandon();
  size_t capacity() const { return capacity_; }

 private:
  void run();

  FrameSink &sink_;
  size_t capacity_;
  std::mutex mutex_;
  std::condition_variable ready_, space_;
  std::deque<std::pair<int64_t, RawFrame>> queue_;
  bool closed_ = false;
  bool failed_ = false;
  std::string error_;
  std::thread worker_;
};

}  // namespace kandu
