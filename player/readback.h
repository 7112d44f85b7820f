// Reading the picture back from GL.
#pragma once

#include "media/image.h"

namespace kandu {

// The current read buffer as GL hands it out fastest: BGRA, bottom row first.
RawFrame readRawFrame(int width, int height);
// The current read buffer as a top-row-first RGB image.
Image readFramebuffer(int width, int height);

}  // namespace kandu
