// The platform under the web build's GL layer when it runs natively for its tests: an OpenGL ES 2
// context on Mesa stands in for the browser's WebGL. Like the page, it gives no system fonts and
// runs on the host's frame clock; rand here is glibc's own, the sequence the page's copy reproduces.
#include <EGL/egl.h>

#include <cstdio>
#include <cstdlib>

#include "platform/platform.h"
#include "tests/weblayer/platform.h"

namespace {
uint32_t gHostTime = 0;
}  // namespace

void setWebLayerHostTime(uint32_t ms) { gHostTime = ms; }
void reseedWebLayerRandom() { std::srand(1); }

namespace KanduPlatform {
GLProc getGLProcAddress(const char *) { return nullptr; }  // render targets are not drawn into
void *currentDrawable() {
  EGLContext context = eglGetCurrentContext();
  return context == EGL_NO_CONTEXT ? nullptr : context;
}
void showBlockingNotice(const char *caption, const char *text) { std::fprintf(stderr, "%s: %s\n", caption, text); }
void raiseTimerResolution() {}
uint32_t timeMs() { return gHostTime; }
bool buildFontBitmaps(void *, const char *, int, int, bool, int, int, unsigned) { return false; }
}  // namespace KanduPlatform
