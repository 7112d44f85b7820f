#include "renderer/extensions.h"

#include <cstring>

#include "platform/platform.h"

namespace KanduGL {

PFNGLISRENDERBUFFEREXTPROC glIsRenderbufferEXT = nullptr;
PFNGLBINDRENDERBUFFEREXTPROC glBindRenderbufferEXT = nullptr;
PFNGLDELETERENDERBUFFERSEXTPROC glDeleteRenderbuffersEXT = nullptr;
PFNGLGENRENDERBUFFERSEXTPROC glGenRenderbuffersEXT = nullptr;
PFNGLRENDERBUFFERSTORAGEEXTPROC glRenderbufferStorageEXT = nullptr;
PFNGLGETRENDERBUFFERPARAMETERIVEXTPROC glGetRenderbufferParameterivEXT = nullptr;
PFNGLISFRAMEBUFFEREXTPROC glIsFramebufferEXT = nullptr;
PFNGLBINDFRAMEBUFFEREXTPROC glBindFramebufferEXT = nullptr;
PFNGLDELETEFRAMEBUFFERSEXTPROC glDeleteFramebuffersEXT = nullptr;
PFNGLGENFRAMEBUFFERSEXTPROC glGenFramebuffersEXT = nullptr;
PFNGLCHECKFRAMEBUFFERSTATUSEXTPROC glCheckFramebufferStatusEXT = nullptr;
PFNGLFRAMEBUFFERTEXTURE1DEXTPROC glFramebufferTexture1DEXT = nullptr;
PFNGLFRAMEBUFFERTEXTURE2DEXTPROC glFramebufferTexture2DEXT = nullptr;
PFNGLFRAMEBUFFERTEXTURE3DEXTPROC glFramebufferTexture3DEXT = nullptr;
PFNGLFRAMEBUFFERRENDERBUFFEREXTPROC glFramebufferRenderbufferEXT = nullptr;
PFNGLGETFRAMEBUFFERATTACHMENTPARAMETERIVEXTPROC glGetFramebufferAttachmentParameterivEXT = nullptr;
PFNGLGENERATEMIPMAPEXTPROC glGenerateMipmapEXT = nullptr;

}  // namespace KanduGL

namespace {
template <typename T> void fetch(T &pointer, const char *name) {
  pointer = reinterpret_cast<T>(KanduPlatform::getGLProcAddress(name));
}
}  // namespace

bool loadFramebufferExtension() {
  using namespace KanduGL;
  const char *extensions = reinterpret_cast<const char *>(glGetString(GL_EXTENSIONS));
  if (!extensions || !std::strstr(extensions, "EXT_framebuffer_object")) {
    KanduPlatform::showBlockingNotice("lol!", "Update your drivers!");
    return false;
  }
  fetch(glIsRenderbufferEXT, "glIsRenderbufferEXT");
  fetch(glBindRenderbufferEXT, "glBindRenderbufferEXT");
  fetch(glDeleteRenderbuffersEXT, "glDeleteRenderbuffersEXT");
  fetch(glGenRenderbuffersEXT, "glGenRenderbuffersEXT");
  fetch(glRenderbufferStorageEXT, "glRenderbufferStorageEXT");
  fetch(glGetRenderbufferParameterivEXT, "glGetRenderbufferParameterivEXT");
  fetch(glIsFramebufferEXT, "glIsFramebufferEXT");
  fetch(glBindFramebufferEXT, "glBindFramebufferEXT");
  fetch(glDeleteFramebuffersEXT, "glDeleteFramebuffersEXT");
  fetch(glGenFramebuffersEXT, "glGenFramebuffersEXT");
  fetch(glCheckFramebufferStatusEXT, "glCheckFramebufferStatusEXT");
  fetch(glFramebufferTexture1DEXT, "glFramebufferTexture1DEXT");
  fetch(glFramebufferTexture2DEXT, "glFramebufferTexture2DEXT");
  fetch(glFramebufferTexture3DEXT, "glFramebufferTexture3DEXT");
  fetch(glFramebufferRenderbufferEXT, "glFramebufferRenderbufferEXT");
  fetch(glGetFramebufferAttachmentParameterivEXT, "glGetFramebufferAttachmentParameterivEXT");
  fetch(glGenerateMipmapEXT, "glGenerateMipmapEXT");
  return true;
}
