// What the studio's server threads and the native window share: the page's text for the window to
// draw, the transport both sides move, what the window drew last, and the events every open page
// hears. All of it behind one mutex; nothing here waits on the window or on a page.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>
#include <string>
#include <vector>

namespace kandu {

// A change of the transport asked for by the page (each part optional) or made in the window.
struct TransportMove {
  bool setPlaying = false, playing = false;
  bool setPosition = false;
  double positionMs = 0;
  bool setLoop = false;
  int64_t loopFrom = 0, loopTo = 0;  // loopTo <= loopFrom: no loop
  // Later parts win over earlier ones, part by part.
  void merge(const TransportMove &later);
};

struct WindowReport {
  bool open = false;
  uint64_t revision = 0;   // the page's text drawn (0: the file as it was loaded)
  double positionMs = 0;
  bool playing = false;
  double fps = 0;          // frames drawn over the last second
  uint64_t frames = 0;
  // Frames the window drew between the page's last text arriving and its first frame of it
  // (1: drawn by the next frame); -1 until a text was drawn.
  int64_t framesToDraw = -1;
};

struct StudioEvent {
  uint64_t id = 0;
  std::string name;  // "saved", "disk", "transport", "render"
  std::string data;  // JSON
};

class StudioLink {
 public:
  // The page's text, drawn by the window however far behind it is (only the newest counts).
  void setDraft(uint64_t revision, std::string text);
  // True with the newest text when one came since the last take.
  bool takeDraft(uint64_t &revision, std::string &text);

  void requestMove(const TransportMove &move);
  bool takeMove(TransportMove &move);

  // The window, once per frame drawn; `now` counts frames per second.
  void windowOpened(bool open);
  void drewFrame(uint64_t revision, double positionMs, bool playing, std::chrono::steady_clock::time_point now);
  WindowReport window() const;

  // Events for the pages: each gets the next id; the last 256 are kept for pages that reconnect.
  uint64_t publish(const std::string &name, const std::string &data);
  // The events after `cursor` (cursor moves on), waiting up to `wait` for one; false once closed.
  bool nextEvents(uint64_t &cursor, std::vector<StudioEvent> &out, std::chrono::milliseconds wait);
  uint64_t lastEventId() const;
  // Where a page's stream starts: after the event it names (its Last-Event-ID, given when it
  // reconnects), so that it gets what it missed once; after the last one for a page that names
  // none, or an id this studio never gave (a studio that ran before), or anything but a number.
  uint64_t streamStart(const std::string &lastEventIdHeader) const;
  // Ends every wait: the studio is closing.
  void close();
  bool closed() const;

 private:
  mutable std::mutex mutex_;
  std::condition_variable changed_;
  uint64_t draftRevision_ = 0, takenRevision_ = 0;
  uint64_t framesAtDraft_ = 0;  // the window's frame count when the newest text arrived
  std::string draft_;
  TransportMove move_;
  bool moved_ = false;
  WindowReport window_;
  std::deque<std::chrono::steady_clock::time_point> frameTimes_;
  std::deque<StudioEvent> events_;
  uint64_t nextId_ = 1;
  bool closed_ = false;
};

}  // namespace kandu
