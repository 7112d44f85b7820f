// Play's transport: the position, pause, the keys that move it and what happens at the end. The
// player's window and the web page both drive one, so their keys agree: Space pauses, Left and
// Right seek 5 s, Home goes back to the start.
#pragma once

#include <cstdint>
#include <string>

#include "timeline/timeline.h"

namespace kandu {

class Transport {
 public:
  enum class Key { PlayPause, Back, Forward, Home };
  enum class End { Playing, Wrapped, Finished };

  Transport(int64_t from, int64_t to, bool loop);

  // True when the key moved the position (the sound must follow it).
  bool press(Key key);
  // The wall clock's milliseconds since the last frame, when no sound gives the clock.
  void advance(double elapsedMs);
  // The position of the sound being heard.
  void follow(double soundMs) { position_ = soundMs; }
  // At or past the end: back to the start when looping (Wrapped), else Finished.
  End checkEnd();
  // A reloaded timeline that plays to its end gets its new end.
  void setEnd(int64_t to) { to_ = to; }
  // Plays [from, to) from now on, looping or not (the editor's loop range); the position is kept
  // when it lies inside, else it goes to `from`.
  void setRange(int64_t from, int64_t to, bool loop);
  // Moves to `ms`, kept within [from, to).
  void seek(double ms);
  void setPaused(bool paused) { paused_ = paused; }

  double position() const { return position_; }
  int64_t positionMs() const { return static_cast<int64_t>(position_); }
  bool paused() const { return paused_; }

 private:
  int64_t from_, to_;
  bool loop_;
  double position_;
  bool paused_ = false;
};

// The words playing at `ms`, in file order, separated by spaces; "-" when nothing plays.
std::string activeWords(const Timeline &timeline, int64_t ms);
// "m:ss.mmm (paused) — word word": what a host shows while playing.
std::string titleText(const Timeline &timeline, const Transport &transport);

}  // namespace kandu
