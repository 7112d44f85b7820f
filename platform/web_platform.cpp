// The platform in a web page: GL entry points for render targets from WebGL, the notice on the
// browser's console, the host page's clock, no system fonts (the intro draws no text), and the
// C library's random sequence as glibc gives it, so that the water ripples as on Linux.
#include "platform/platform.h"

#include <GLES2/gl2.h>
#include <emscripten.h>
#include <emscripten/html5.h>

#include <cstring>

#include "platform/glibc_random.h"

extern "C" uint32_t kandu_host_time_ms(void);  // the web host's frame clock

namespace KanduPlatform {

namespace {

void renderbufferStorage(GLenum target, GLenum format, GLsizei width, GLsizei height) {
  // WebGL 1 has 16-bit depth renderbuffers only.
  const GLenum kDepth24 = 0x81A6, kDepth = 0x1902;
  if (format == kDepth24 || format == kDepth) format = GL_DEPTH_COMPONENT16;
  glRenderbufferStorage(target, format, width, height);
}

struct Entry {
  const char *name;
  GLProc proc;
};

#define KANDU_ENTRY(ext, web) {ext, reinterpret_cast<GLProc>(&web)}
const Entry kEntries[] = {
    KANDU_ENTRY("glIsRenderbufferEXT", glIsRenderbuffer),
    KANDU_ENTRY("glBindRenderbufferEXT", glBindRenderbuffer),
    KANDU_ENTRY("glDeleteRenderbuffersEXT", glDeleteRenderbuffers),
    KANDU_ENTRY("glGenRenderbuffersEXT", glGenRenderbuffers),
    KANDU_ENTRY("glRenderbufferStorageEXT", renderbufferStorage),
    KANDU_ENTRY("glGetRenderbufferParameterivEXT", glGetRenderbufferParameteriv),
    KANDU_ENTRY("glIsFramebufferEXT", glIsFramebuffer),
    KANDU_ENTRY("glBindFramebufferEXT", glBindFramebuffer),
    KANDU_ENTRY("glDeleteFramebuffersEXT", glDeleteFramebuffers),
    KANDU_ENTRY("glGenFramebuffersEXT", glGenFramebuffers),
    KANDU_ENTRY("glCheckFramebufferStatusEXT", glCheckFramebufferStatus),
    KANDU_ENTRY("glFramebufferTexture2DEXT", glFramebufferTexture2D),
    KANDU_ENTRY("glFramebufferRenderbufferEXT", glFramebufferRenderbuffer),
    KANDU_ENTRY("glGetFramebufferAttachmentParameterivEXT", glGetFramebufferAttachmentParameteriv),
    KANDU_ENTRY("glGenerateMipmapEXT", glGenerateMipmap),
};
#undef KANDU_ENTRY

}  // namespace

GLProc getGLProcAddress(const char *name) {
  if (!name) return nullptr;
  for (const Entry &e : kEntries)
    if (std::strcmp(e.name, name) == 0) return e.proc;
  return nullptr;  // 1D and 3D texture attachments: WebGL has none
}

void *currentDrawable() {
  EMSCRIPTEN_WEBGL_CONTEXT_HANDLE context = emscripten_webgl_get_current_context();
  return context ? reinterpret_cast<void *>(static_cast<uintptr_t>(context)) : nullptr;
}

void showBlockingNotice(const char *caption, const char *text) {
  EM_ASM({ console.warn(UTF8ToString($0) + ": " + UTF8ToString($1)); }, caption ? caption : "", text ? text : "");
}

void raiseTimerResolution() {}

uint32_t timeMs() { return kandu_host_time_ms(); }

bool buildFontBitmaps(void *, const char *, int, int, bool, int, int, unsigned) { return false; }

}  // namespace KanduPlatform

// The C library's rand and srand for the page: these take the place of the browser C library's own
// (which has another sequence), so that the water ripples as on Linux.
namespace {
KanduPlatform::GlibcRandom &random() {
  static KanduPlatform::GlibcRandom generator;
  return generator;
}
}  // namespace

extern "C" int rand(void) { return random().next(); }
extern "C" void srand(unsigned seed) { random().reseed(seed); }
