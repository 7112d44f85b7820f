// GL entry points and the current drawable through WGL.
#include <windows.h>

#include "platform/platform.h"

namespace KanduPlatform {

GLProc getGLProcAddress(const char *name) { return reinterpret_cast<GLProc>(wglGetProcAddress(name)); }

void *currentDrawable() { return wglGetCurrentDC(); }

}  // namespace KanduPlatform
