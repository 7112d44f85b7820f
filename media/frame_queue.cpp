#include "media/frame_queue.h"

#include <new>

namespace kandu {

FrameQueue::FrameQueue(FrameSink &sink, size_t frameBytes)
    : sink_(sink), capacity_(frameBytes >= kQueueBytes ? 1 : kQueueBytes / frameBytes), worker_([this] { run(); }) {}

FrameQueue::~FrameQueue() { abandon(); }

bool FrameQueue::close(std::string &error) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    closed_ = true;
    ready_.notify_one();
  }
  if (worker_.joinable()) worker_.join();
  if (failed_) error = error_;
  return !failed_;
}

void FrameQueue::abandon() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    queue_.clear();
    closed_ = true;
    ready_.notify_one();
  }
  if (worker_.joinable()) worker_.join();
}

void FrameQueue::run() {
  for (;;) {
    std::pair<int64_t, RawFrame> item;
    {
      std::unique_lock<std::mutex> lock(mutex_);
      ready_.wait(lock, [this] { return !queue_.empty() || closed_; });
      if (queue_.empty() || failed_) break;
      item = std::move(queue_.front());
      queue_.pop_front();
      space_.notify_one();
    }
    std::string why;
    bool ok = false;
    try {
      ok = sink_.write(item.first, item.second, why);
    } catch (const std::bad_alloc &) {
      why = "out of memory";
    }
    if (!ok) {
      std::lock_guard<std::mutex> lock(mutex_);
      failed_ = true;
      error_ = why;
      queue_.clear();
      space_.notify_all();
      break;
    }
  }
}

}  // namespace kandu
