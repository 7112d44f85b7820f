// A GL context without a display: EGL on Mesa's surfaceless platform with a pbuffer to draw into.
#pragma once

#include <string>

namespace kandu {

class HeadlessContext {
 public:
  HeadlessContext() = default;
  HeadlessContext(const HeadlessContext &) = delete;
  HeadlessContext &operator=(const HeadlessContext &) = delete;
  ~HeadlessContext();

  enum class Api { DesktopGL, GLES2 };
  // Creates a context (desktop: compatibility profile; GLES2: OpenGL ES 2, what WebGL is) with a
  // width × height RGBA pbuffer and 24-bit depth, and makes it current. On failure returns false
  // with the reason.
  bool create(int width, int height, Api api, std::string &error);
  bool create(int width, int height, std::string &error) { return create(width, height, Api::DesktopGL, error); }
  void release();
  std::string renderer() const;

 private:
  void *display_ = nullptr;
  void *context_ = nullptr;
  void *surface_ = nullptr;
};

}  // namespace kandu
