#include "studio/link.h"

#include <algorithm>

#include <utility>

namespace kandu {

void TransportMove::merge(const TransportMove &later) {
  if (later.setPlaying) setPlaying = true, playing = later.playing;
  if (later.setPosition) setPosition = true, positionMs = later.positionMs;
  if (later.setLoop) setLoop = true, loopFrom = later.loopFrom, loopTo = later.loopTo;
}

void StudioLink::setDraft(uint64_t revision, std::string text) {
  std::lock_guard<std::mutex> lock(mutex_);
  // A request that arrives late (the server answers on several threads) never undoes a newer text.
  if (revision <= draftRevision_) return;
  draftRevision_ = revision;
  draft_ = std::move(text);
  framesAtDraft_ = window_.frames;
}

bool StudioLink::takeDraft(uint64_t &revision, std::string &text) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (draftRevision_ == takenRevision_) return false;
  revision = takenRevision_ = draftRevision_;
  text = draft_;
  return true;
}

void StudioLink::requestMove(const TransportMove &move) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (!moved_) move_ = TransportMove{};
  move_.merge(move);
  moved_ = true;
}

bool StudioLink::takeMove(TransportMove &move) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (!moved_) return false;
  move = move_;
  moved_ = false;
  return true;
}

void StudioLink::windowOpened(bool open) {
  std::lock_guard<std::mutex> lock(mutex_);
  window_.open = open;
  if (!open) window_.fps = 0, frameTimes_.clear();
}

void StudioLink::drewFrame(uint64_t revision, double positionMs, bool playing, std::chrono::steady_clock::time_point now) {
  std::lock_guard<std::mutex> lock(mutex_);
  ++window_.frames;
  if (revision != window_.revision && revision == draftRevision_)
    window_.framesToDraw = static_cast<int64_t>(window_.frames - framesAtDraft_);
  window_.revision = revision;
  window_.positionMs = positionMs;
  window_.playing = playing;
  frameTimes_.push_back(now);
  while (!frameTimes_.empty() && now - frameTimes_.front() > std::chrono::seconds(1)) frameTimes_.pop_front();
  window_.fps = static_cast<double>(frameTimes_.size());
}

WindowReport StudioLink::window() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return window_;
}

uint64_t StudioLink::publish(const std::string &name, const std::string &data) {
  std::lock_guard<std::mutex> lock(mutex_);
  events_.push_back({nextId_, name, data});
  if (events_.size() > 256) events_.pop_front();
  changed_.notify_all();
  return nextId_++;
}

bool StudioLink::nextEvents(uint64_t &cursor, std::vector<StudioEvent> &out, std::chrono::milliseconds wait) {
  std::unique_lock<std::mutex> lock(mutex_);
  changed_.wait_for(lock, wait, [&] { return closed_ || nextId_ - 1 > cursor; });
  if (closed_) return false;
  for (const StudioEvent &e : events_)
    if (e.id > cursor) out.push_back(e);
  cursor = nextId_ - 1;
  return true;
}

uint64_t StudioLink::streamStart(const std::string &lastEventIdHeader) const {
  const uint64_t last = lastEventId();
  const std::string &h = lastEventIdHeader;
  if (h.empty() || h.size() >= 16 || h.find_first_not_of("0123456789") != std::string::npos) return last;
  return std::min<uint64_t>(last, std::stoull(h));
}

uint64_t StudioLink::lastEventId() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return nextId_ - 1;
}

void StudioLink::close() {
  std::lock_guard<std::mutex> lock(mutex_);
  closed_ = true;
  changed_.notify_all();
}

bool StudioLink::closed() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return closed_;
}

}  // namespace kandu
