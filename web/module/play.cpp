// kandu's host in a web page: the intro's sources compiled to WebAssembly and linked in, driven
// frame by frame with the same per-block protocol, capture clock, transport and timeline library
// as kandu-player. The pages call these functions through web/page/module.js; the picture goes to
// the page's WebGL canvas.
#include <GL/gl.h>
#include <emscripten.h>
#include <emscripten/html5.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "base/printable.h"
#include "player/host_frame.h"
#include "timeline/capture_plan.h"
#include "timeline/demo_beat.h"
#include "timeline/document.h"
#include "timeline/timeline.h"
#include "timeline/transport.h"
#include "web/module/api.h"
#include "web/module/page.h"

extern "C" {
void InitDLL(int);
void FreeDLL(int);
void setTimeDLL(const char *);
void getBlockInfo(const char *);
void ExecuteDLL(const char *);
}

namespace {

using namespace kandu;

Timeline gTimeline;
std::string gError, gText;
uint32_t gHostTime = 0;
bool gStarted = false;
std::vector<float> gBeat;
std::unique_ptr<Transport> gTransport;
bool gLooping = false;  // the editor's loop range is on: an edit keeps it
const int kWidth = 1024, kHeight = 768;

void drawAt(int64_t ms, int width, int height) {
  HostCalls calls;
  calls.setTimeDLL = setTimeDLL;
  calls.getBlockInfo = getBlockInfo;
  calls.ExecuteDLL = ExecuteDLL;
  gHostTime = static_cast<uint32_t>(ms);
  drawHostFrame(calls, gTimeline, ms, width, height, static_cast<double>(kWidth) / kHeight);
  glFlush();  // the GL layer draws what it has collected
}

}  // namespace

namespace kandu {

void playTimeline(const Timeline &timeline) {
  gTimeline = timeline;
  if (gTransport && !gLooping) gTransport->setEnd(gTimeline.duration());
}

void setPageError(const std::string &error) { gError = error; }

}  // namespace kandu

namespace {

// The timeline's bytes as the page read them, `length` of them, parsed as kandu-player parses a
// file (a NUL byte, a byte-order mark and all). Over the player's limit only the length is looked
// at, and `bytes` may be null (the page does not copy what would be refused). Null with length 0:
// the built-in demo.
bool readPageTimeline(const char *bytes, double length, const char *source, Timeline &timeline) {
  const std::string name = source ? source : "timeline";
  if (!bytes && length == 0) {
    timeline = builtInTimeline();
    return true;
  }
  if (!(length >= 0 && length <= static_cast<double>(kMaxTimelineBytes)) || !bytes) {
    gError = timelineTooLarge(printable(name));
    return false;
  }
  return parseTimeline(std::string(bytes, static_cast<size_t>(length)), name, timeline, gError);
}

}  // namespace

// The plug-in's clock: the time of the frame being drawn, as kandu-player's capture clock.
extern "C" uint32_t kandu_host_time_ms(void) { return gHostTime; }

// The largest timeline the page hands over, in bytes: the player's limit on a file.
double kandu_web_max_timeline_bytes() { return static_cast<double>(kMaxTimelineBytes); }

// Opens the WebGL context on the canvas `canvas` names (a CSS selector, "#picture" on the player's
// page), reads the timeline (see readPageTimeline) and initialises the intro. 0 when ready; else 1
// and kandu_web_error() says why.
int kandu_web_start(const char *bytes, double length, const char *source, const char *canvas) {
  if (gStarted) return 0;
  if (!readPageTimeline(bytes, length, source, gTimeline)) return 1;
  EmscriptenWebGLContextAttributes attributes;
  emscripten_webgl_init_context_attributes(&attributes);
  attributes.alpha = false;
  attributes.depth = true;
  attributes.stencil = false;
  attributes.antialias = false;
  attributes.preserveDrawingBuffer = true;  // a still must stay readable
  attributes.majorVersion = 1;
  EMSCRIPTEN_WEBGL_CONTEXT_HANDLE context =
      emscripten_webgl_create_context(canvas && *canvas ? canvas : "#picture", &attributes);
  if (context <= 0 || emscripten_webgl_make_context_current(context) != EMSCRIPTEN_RESULT_SUCCESS) {
    gError = "this browser cannot open a WebGL context";
    return 1;
  }
  InitDLL(0);
  // The page plays on in a loop.
  gTransport = std::make_unique<Transport>(0, gTimeline.duration(), true);
  gStarted = true;
  return 0;
}

const char *kandu_web_error() { return gError.c_str(); }
// The built-in demo as written, with its tempo, repeats and comments.
const char *kandu_web_builtin() { return builtInTimelineText(); }
const char *kandu_version() { return KANDU_VERSION; }
double kandu_web_duration() { return static_cast<double>(gTimeline.duration()); }

// A still's moment as the page's ?at= gives it (`length` bytes), taken exactly as kandu-player
// takes --at: a whole number of milliseconds within the timeline. -1 when it is not, and
// kandu_web_error() says why.
double kandu_web_still_at(const char *bytes, double length) {
  int64_t at = 0;
  // Past the page's limit only the length comes (see kanduWithBytes): no time is that long.
  const std::string text = bytes ? std::string(bytes, static_cast<size_t>(length))
                                 : "(" + std::to_string(static_cast<int64_t>(length)) + " bytes)";
  if (!parseMilliseconds("?at", text, at, gError) || !checkStillAt(gTimeline, "?at", at, gError)) {
    gError = printable(gError);
    return -1;
  }
  return static_cast<double>(at);
}

// One frame of play at `ms`, the full canvas.
void kandu_web_frame(double ms) {
  if (gStarted) drawAt(static_cast<int64_t>(ms), kWidth, kHeight);
}

// The still at `ms` as kandu-player still --at draws it: every earlier frame of a 60 fps capture
// in a small corner first (the water steps once per frame), then the frame itself.
void kandu_web_still(double ms) {
  if (!gStarted) return;
  const int64_t at = static_cast<int64_t>(ms);
  const CaptureRange preroll = stillPreroll(at, 60);
  for (int64_t k = 0, count = preroll.frameCount(); k < count; ++k)
    drawAt(preroll.frameTime(k), kPrerollWidth, kPrerollHeight);
  drawAt(at, kWidth, kHeight);
}

// The transport, as the player's keys drive it: key 0 Space, 1 Left, 2 Right, 3 Home. 1 when the
// position jumped (the sound must follow), else 0.
int kandu_web_key(int key) {
  if (!gTransport || key < 0 || key > 3) return 0;
  return gTransport->press(static_cast<Transport::Key>(key)) ? 1 : 0;
}
int kandu_web_paused() { return gTransport && gTransport->paused() ? 1 : 0; }
// Moves the clock on: to the sound's position when `soundMs` >= 0, else by the page's own clock.
// Then draws the frame; 1 when play wrapped to the start (the sound must start again), else 0.
int kandu_web_tick(double soundMs, double elapsedMs) {
  if (!gTransport) return 0;
  if (soundMs >= 0)
    gTransport->follow(soundMs);
  else
    gTransport->advance(elapsedMs);
  const bool wrapped = gTransport->checkEnd() == Transport::End::Wrapped;
  drawAt(gTransport->positionMs(), kWidth, kHeight);
  return wrapped ? 1 : 0;
}
double kandu_web_position() { return gTransport ? gTransport->position() : 0.0; }
void kandu_web_seek(double ms) {
  if (gTransport) gTransport->seek(ms);
}
void kandu_web_set_paused(int paused) {
  if (gTransport) gTransport->setPaused(paused != 0);
}
// Plays [from, to) over and over (the editor's loop range); `on` 0 plays the whole timeline once.
void kandu_web_set_loop(double from, double to, int on) {
  if (!gTransport) return;
  gLooping = on != 0;
  if (on)
    gTransport->setRange(static_cast<int64_t>(from), static_cast<int64_t>(to), true);
  else
    gTransport->setRange(0, gTimeline.duration(), false);
}

// "m:ss.mmm (paused) — words" at the transport's position, as the player's window title shows it.
const char *kandu_web_title() {
  gText = gTransport ? titleText(gTimeline, *gTransport) : std::string();
  return gText.c_str();
}

// The words playing at `ms`, as the player's window title shows them ("-" for none).
const char *kandu_web_words(double ms) {
  gText = activeWords(gTimeline, static_cast<int64_t>(ms));
  return gText.c_str();
}

// The contact sheet's moments in milliseconds.
const double *kandu_web_moments(int *count) {
  static std::vector<double> moments;
  moments.clear();
  for (const SheetShot &shot : planSheet(gTimeline, 60).shots) moments.push_back(static_cast<double>(shot.timeMs));
  *count = static_cast<int>(moments.size());
  return moments.data();
}

// The soundtrack: the music the timeline names (its path, for the page to fetch; "" for none)
// and, for the built-in demo, its beat made in code (48 kHz stereo, interleaved).
const char *kandu_web_music() { return gTimeline.music.c_str(); }
const float *kandu_web_beat(int *frames) {
  gBeat = gTimeline.source == kBuiltInSource ? demoBeat(gTimeline) : std::vector<float>();
  *frames = static_cast<int>(gBeat.size() / kBeatChannels);
  return gBeat.data();
}
