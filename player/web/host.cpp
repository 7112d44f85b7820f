// kandu's host in a web page: the intro's sources compiled to WebAssembly and linked in, driven
// frame by frame with the same per-block protocol and capture clock as kandu-player. The page
// (index.html) calls these functions; the picture goes to the page's WebGL canvas.
#include <GL/gl.h>
#include <emscripten.h>
#include <emscripten/html5.h>

#include <cstdint>
#include <cstring>
#include <string>

#include "player/audio.h"
#include "player/frame.h"
#include "player/timeline.h"

extern "C" {
void InitDLL(int);
void FreeDLL(int);
void setTimeDLL(const char *);
void getBlockInfo(const char *);
void ExecuteDLL(const char *);
}

namespace {

Timeline gTimeline;
std::string gError, gText;
uint32_t gHostTime = 0;
bool gStarted = false;
Audio gSound;
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

extern "C" {

// The plug-in's clock: the time of the frame being drawn, as kandu-player's capture clock.
uint32_t kandu_host_time_ms(void) { return gHostTime; }

// Opens the WebGL context on the page's canvas, reads the timeline (empty: the built-in demo) and
// initialises the intro. 0 when ready; else 1 and kandu_web_error() says why.
EMSCRIPTEN_KEEPALIVE int kandu_web_start(const char *timelineText, const char *source) {
  if (gStarted) return 0;
  gTimeline = builtInTimeline();
  if (timelineText && *timelineText) {
    const std::string name = source ? source : "timeline";
    if (std::strlen(timelineText) > kMaxTimelineBytes) {  // the player's limit on a timeline file
      gError = name + ": the timeline is larger than " + std::to_string(kMaxTimelineBytes) + " bytes";
      return 1;
    }
    if (!parseTimeline(timelineText, name, gTimeline, gError)) return 1;
  }
  EmscriptenWebGLContextAttributes attributes;
  emscripten_webgl_init_context_attributes(&attributes);
  attributes.alpha = false;
  attributes.depth = true;
  attributes.stencil = false;
  attributes.antialias = false;
  attributes.preserveDrawingBuffer = true;  // a still must stay readable
  attributes.majorVersion = 1;
  EMSCRIPTEN_WEBGL_CONTEXT_HANDLE context = emscripten_webgl_create_context("#picture", &attributes);
  if (context <= 0 || emscripten_webgl_make_context_current(context) != EMSCRIPTEN_RESULT_SUCCESS) {
    gError = "this browser cannot open a WebGL context";
    return 1;
  }
  InitDLL(0);
  gStarted = true;
  return 0;
}

EMSCRIPTEN_KEEPALIVE const char *kandu_web_error() { return gError.c_str(); }
EMSCRIPTEN_KEEPALIVE double kandu_web_duration() { return static_cast<double>(gTimeline.duration()); }

// One frame of play at `ms`, the full canvas.
EMSCRIPTEN_KEEPALIVE void kandu_web_frame(double ms) {
  if (gStarted) drawAt(static_cast<int64_t>(ms), kWidth, kHeight);
}

// The still at `ms` as kandu-player still --at draws it: every earlier frame of a 60 fps capture
// in a small corner first (the water steps once per frame), then the frame itself.
EMSCRIPTEN_KEEPALIVE void kandu_web_still(double ms) {
  if (!gStarted) return;
  const int64_t at = static_cast<int64_t>(ms);
  CaptureRange range{0, at, 60};
  for (int64_t k = 0, count = range.frameCount(); k < count; ++k)
    drawAt(range.frameTime(k), kPrerollWidth, kPrerollHeight);
  drawAt(at, kWidth, kHeight);
}

// The words playing at `ms`, as the player's window title shows them ("-" for none).
EMSCRIPTEN_KEEPALIVE const char *kandu_web_words(double ms) {
  gText.clear();
  for (const BlockCall &c : scheduleAt(gTimeline, static_cast<int64_t>(ms))) gText += (gText.empty() ? "" : " ") + c.block->word;
  if (gText.empty()) gText = "-";
  return gText.c_str();
}

// The contact sheet's moments: for each drawing block the first 60 fps frame at or after its
// mid-point, in milliseconds, separated by spaces.
EMSCRIPTEN_KEEPALIVE const char *kandu_web_moments() {
  gText.clear();
  for (const Block &b : gTimeline.blocks) {
    if (!isDrawingWord(b.word)) continue;
    const int64_t frame = ((b.start + b.end) / 2 * 60 + 999) / 1000;
    gText += (gText.empty() ? "" : " ") + std::to_string(CaptureRange{0, 0, 60}.frameTime(frame));
  }
  return gText.c_str();
}

// The soundtrack: the music the timeline names (its path, for the page to fetch; "" for none)
// and, for the built-in demo, its beat made in code (48 kHz stereo, interleaved).
EMSCRIPTEN_KEEPALIVE const char *kandu_web_music() { return gTimeline.music.c_str(); }
EMSCRIPTEN_KEEPALIVE const float *kandu_web_beat(int *frames) {
  gSound = gTimeline.source == builtInTimeline().source ? synthesizeDemoTrack(gTimeline) : Audio();
  *frames = static_cast<int>(gSound.frames());
  return gSound.samples.data();
}

}  // extern "C"
