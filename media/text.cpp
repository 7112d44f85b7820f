#include "media/text.h"

#include <fontconfig/fontconfig.h>
#include <ft2build.h>
#include FT_FREETYPE_H

namespace kandu {

namespace {
std::string sansFontFile() {
  static std::string path = [] {
    std::string found;
    if (!FcInit()) return found;
    FcPattern *pattern = FcNameParse(reinterpret_cast<const FcChar8 *>("sans-serif:bold"));
    if (!pattern) return found;
    FcConfigSubstitute(nullptr, pattern, FcMatchPattern);
    FcDefaultSubstitute(pattern);
    FcResult result;
    FcPattern *match = FcFontMatch(nullptr, pattern, &result);
    FcChar8 *file = nullptr;
    if (match && FcPatternGetString(match, FC_FILE, 0, &file) == FcResultMatch) found = reinterpret_cast<char *>(file);
    if (match) FcPatternDestroy(match);
    FcPatternDestroy(pattern);
    return found;
  }();
  return path;
}
}  // namespace

bool drawText(Image &image, int x, int y, int pixelHeight, const std::string &text, const uint8_t rgb[3]) {
  std::string file = sansFontFile();
  FT_Library lib = nullptr;
  if (file.empty() || FT_Init_FreeType(&lib) != 0) return false;
  FT_Face face = nullptr;
  if (FT_New_Face(lib, file.c_str(), 0, &face) != 0) {
    FT_Done_FreeType(lib);
    return false;
  }
  FT_Set_Pixel_Sizes(face, 0, static_cast<FT_UInt>(pixelHeight));
  int penX = x;
  for (unsigned char c : text) {
    if (FT_Load_Char(face, c, FT_LOAD_RENDER) != 0) continue;
    const FT_GlyphSlot g = face->glyph;
    for (unsigned row = 0; row < g->bitmap.rows; ++row)
      for (unsigned col = 0; col < g->bitmap.width; ++col) {
        int px = penX + g->bitmap_left + static_cast<int>(col);
        int py = y - g->bitmap_top + static_cast<int>(row);
        if (px < 0 || py < 0 || px >= image.width || py >= image.height) continue;
        unsigned coverage = g->bitmap.buffer[row * static_cast<unsigned>(g->bitmap.pitch) + col];
        uint8_t *p = image.at(px, py);
        for (int k = 0; k < 3; ++k) p[k] = static_cast<uint8_t>((p[k] * (255 - coverage) + rgb[k] * coverage) / 255);
      }
    penX += static_cast<int>(g->advance.x >> 6);
  }
  FT_Done_Face(face);
  FT_Done_FreeType(lib);
  return true;
}

}  // namespace kandu
