#include "player/readback.h"

#include <GL/gl.h>
#include <GL/glext.h>

namespace kandu {

RawFrame readRawFrame(int width, int height) {
  RawFrame frame;
  frame.width = width;
  frame.height = height;
  frame.bgra.resize(static_cast<size_t>(width) * height * 4);
  glPixelStorei(GL_PACK_ALIGNMENT, 4);
  glReadPixels(0, 0, width, height, GL_BGRA, GL_UNSIGNED_BYTE, frame.bgra.data());
  return frame;
}

Image readFramebuffer(int width, int height) { return toImage(readRawFrame(width, height)); }

}  // namespace kandu
