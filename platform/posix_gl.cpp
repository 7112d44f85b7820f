// GL entry points by name: EGL when an EGL context is current, else GLX.
#include "platform/platform.h"

#include <EGL/egl.h>
#include <GL/glx.h>

namespace KanduPlatform {

GLProc getGLProcAddress(const char *name) {
  if (eglGetCurrentContext() != EGL_NO_CONTEXT)
    return reinterpret_cast<GLProc>(eglGetProcAddress(name));
  return reinterpret_cast<GLProc>(glXGetProcAddressARB(reinterpret_cast<const GLubyte *>(name)));
}

void *currentDrawable() {
  if (EGLContext egl = eglGetCurrentContext(); egl != EGL_NO_CONTEXT) return egl;
  if (GLXContext glx = glXGetCurrentContext()) return glx;
  return nullptr;
}

}  // namespace KanduPlatform
