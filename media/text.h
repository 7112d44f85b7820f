// Labels on images (the contact sheet), drawn with FreeType from an installed sans-serif font.
#pragma once

#include <string>

#include "media/image.h"

namespace kandu {

// Draws `text` with its baseline at (x, y) in the given colour; returns false (drawing nothing)
// when no font is installed.
bool drawText(Image &image, int x, int y, int pixelHeight, const std::string &text, const uint8_t rgb[3]);

}  // namespace kandu
