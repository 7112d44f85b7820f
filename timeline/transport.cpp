#include "timeline/transport.h"

#include <algorithm>

#include "timeline/capture_plan.h"

namespace kandu {

Transport::Transport(int64_t from, int64_t to, bool loop)
    : from_(from), to_(to), loop_(loop), position_(static_cast<double>(from)) {}

bool Transport::press(Key key) {
  const double kSeekMs = 5000;
  switch (key) {
    case Key::PlayPause: paused_ = !paused_; return false;
    case Key::Back: position_ = std::max<double>(from_, position_ - kSeekMs); return true;
    case Key::Forward: position_ = std::min<double>(to_ - 1, position_ + kSeekMs); return true;
    case Key::Home: position_ = static_cast<double>(from_); return true;
  }
  return false;
}

void Transport::setRange(int64_t from, int64_t to, bool loop) {
  from_ = from;
  to_ = std::max(to, from + 1);
  loop_ = loop;
  if (position_ < static_cast<double>(from_) || position_ >= static_cast<double>(to_))
    position_ = static_cast<double>(from_);
}

// An empty range (a timeline without blocks or music) keeps the position at its start.
void Transport::seek(double ms) { position_ = std::max<double>(from_, std::min<double>(ms, to_ - 1)); }

void Transport::advance(double elapsedMs) {
  if (!paused_) position_ += elapsedMs;
}

Transport::End Transport::checkEnd() {
  if (position_ < static_cast<double>(to_)) return End::Playing;
  if (!loop_) return End::Finished;
  position_ = static_cast<double>(from_);
  return End::Wrapped;
}

std::string activeWords(const Timeline &timeline, int64_t ms) {
  std::string words;
  for (const BlockCall &c : scheduleAt(timeline, ms)) words += (words.empty() ? "" : " ") + c.block->word;
  return words.empty() ? "-" : words;
}

std::string titleText(const Timeline &timeline, const Transport &transport) {
  return clockText(transport.positionMs()) + (transport.paused() ? " (paused)" : "") + " — " +
         activeWords(timeline, transport.positionMs());
}

}  // namespace kandu
