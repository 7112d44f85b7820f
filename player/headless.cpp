#include "player/headless.h"

#include <EGL/egl.h>
#include <EGL/eglext.h>
#include <GL/gl.h>

namespace kandu {

HeadlessContext::~HeadlessContext() { release(); }

bool HeadlessContext::create(int width, int height, Api api, std::string &error) {
  const bool es = api == Api::GLES2;
  auto getPlatformDisplay =
      reinterpret_cast<PFNEGLGETPLATFORMDISPLAYEXTPROC>(eglGetProcAddress("eglGetPlatformDisplayEXT"));
  EGLDisplay display = EGL_NO_DISPLAY;
  if (getPlatformDisplay) display = getPlatformDisplay(EGL_PLATFORM_SURFACELESS_MESA, EGL_DEFAULT_DISPLAY, nullptr);
  if (display == EGL_NO_DISPLAY) {
    error = "no EGL surfaceless display (is Mesa's libegl-mesa0 installed?)";
    return false;
  }
  EGLint major = 0, minor = 0;
  if (!eglInitialize(display, &major, &minor)) {
    error = "eglInitialize failed";
    return false;
  }
  display_ = display;
  const EGLint attributes[] = {EGL_SURFACE_TYPE, EGL_PBUFFER_BIT, EGL_RENDERABLE_TYPE,
                               es ? EGL_OPENGL_ES2_BIT : EGL_OPENGL_BIT,
                               EGL_RED_SIZE, 8, EGL_GREEN_SIZE, 8, EGL_BLUE_SIZE, 8, EGL_ALPHA_SIZE, 8,
                               EGL_DEPTH_SIZE, 24, EGL_NONE};
  EGLConfig config = nullptr;
  EGLint count = 0;
  if (!eglChooseConfig(display, attributes, &config, 1, &count) || count < 1) {
    error = std::string("no EGL config with RGBA8, depth 24 and ") + (es ? "OpenGL ES 2" : "desktop OpenGL");
    return false;
  }
  if (!eglBindAPI(es ? EGL_OPENGL_ES_API : EGL_OPENGL_API)) {
    error = std::string("EGL cannot bind ") + (es ? "OpenGL ES" : "desktop OpenGL");
    return false;
  }
  const EGLint esVersion[] = {EGL_CONTEXT_CLIENT_VERSION, 2, EGL_NONE};
  context_ = eglCreateContext(display, config, EGL_NO_CONTEXT, es ? esVersion : nullptr);
  if (context_ == EGL_NO_CONTEXT) {
    error = "eglCreateContext failed";
    return false;
  }
  const EGLint size[] = {EGL_WIDTH, width, EGL_HEIGHT, height, EGL_NONE};
  surface_ = eglCreatePbufferSurface(display, config, size);
  if (surface_ == EGL_NO_SURFACE) {
    error = "eglCreatePbufferSurface failed";
    return false;
  }
  if (!eglMakeCurrent(display, surface_, surface_, context_)) {
    error = "eglMakeCurrent failed";
    return false;
  }
  return true;
}

void HeadlessContext::release() {
  if (!display_) return;
  eglMakeCurrent(display_, EGL_NO_SURFACE, EGL_NO_SURFACE, EGL_NO_CONTEXT);
  if (surface_) eglDestroySurface(display_, surface_);
  if (context_) eglDestroyContext(display_, context_);
  eglTerminate(display_);
  display_ = context_ = surface_ = nullptr;
}

std::string HeadlessContext::renderer() const {
  const char *name = reinterpret_cast<const char *>(glGetString(GL_RENDERER));
  return name ? name : "";
}

}  // namespace kandu
