// platform — the few things the plug-in needs from the operating system.
//
// The intro talks to OpenGL directly, but a handful of services differ between Windows and the
// POSIX systems: fetching a GL entry point by name, a notice for the user, the
// multimedia timer, and glyph bitmaps for the bitmap fonts. Everything else in the library is
// portable and calls these functions; posix_*.cpp and win32_*.cpp implement them.
#pragma once

#include <cstdint>

namespace KanduPlatform {

typedef void (*GLProc)();

// Address of a GL entry point (wglGetProcAddress on Windows); null when the driver has none.
GLProc getGLProcAddress(const char *name);

// A notice for the user: on Windows a modal message box the user must acknowledge; on POSIX one
// line on standard error ("caption: text"), which blocks nothing. Shown on every call; callers
// that want it once keep their own flag.
void showBlockingNotice(const char *caption, const char *text);

// timeBeginPeriod(1): ask for a 1 ms timer resolution for the rest of the process.
void raiseTimerResolution();

// timeGetTime: milliseconds on a monotonic clock, 32 bits, wrapping. A host process that defines
// `uint32_t kandu_host_time_ms(void)` drives this clock (looked up once).
uint32_t timeMs();

// The drawable of the current GL context (wglGetCurrentDC); null when no context is current.
void *currentDrawable();

// Builds one glBitmap display list per character code first .. first + count - 1 into
// listBase + i, rasterised from the installed font that best matches the face name, cell height
// in pixels, weight (400 normal, 700 bold) and slant (wglUseFontBitmapsA after CreateFontA).
// Returns false, building nothing, when no font can be found.
bool buildFontBitmaps(void *drawable, const char *face, int height, int weight, bool italic,
                      int first, int count, unsigned listBase);

}  // namespace KanduPlatform
