// Glyph bitmaps for the bitmap fonts, the way wglUseFontBitmapsA builds them: the face name is
// resolved by fontconfig, FreeType rasterises each character as a 1-bit bitmap, and one display
// list per character draws it with glBitmap and advances the raster position.
#include "platform/platform.h"

#include <GL/gl.h>
#include <fontconfig/fontconfig.h>
#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_OUTLINE_H
#include FT_SYNTHESIS_H

#include <string>
#include <vector>

namespace KanduPlatform {

namespace {

struct FontFile {
  std::string path;
  int index = 0;
  int weight = FC_WEIGHT_REGULAR;
  int slant = FC_SLANT_ROMAN;
};

bool findFont(const char *face, int height, int weight, bool italic, FontFile &out) {
  if (!FcInit()) return false;
  FcPattern *pattern = FcPatternCreate();
  if (!pattern) return false;
  FcPatternAddString(pattern, FC_FAMILY, reinterpret_cast<const FcChar8 *>(face ? face : "sans-serif"));
  FcPatternAddInteger(pattern, FC_WEIGHT, weight >= 700 ? FC_WEIGHT_BOLD : FC_WEIGHT_REGULAR);
  FcPatternAddInteger(pattern, FC_SLANT, italic ? FC_SLANT_ITALIC : FC_SLANT_ROMAN);
  FcPatternAddDouble(pattern, FC_PIXEL_SIZE, height > 0 ? height : 16);
  FcPatternAddBool(pattern, FC_SCALABLE, FcTrue);
  FcConfigSubstitute(nullptr, pattern, FcMatchPattern);
  FcDefaultSubstitute(pattern);
  FcResult result = FcResultNoMatch;
  FcPattern *match = FcFontMatch(nullptr, pattern, &result);
  FcPatternDestroy(pattern);
  if (!match) return false;
  FcChar8 *file = nullptr;
  bool found = FcPatternGetString(match, FC_FILE, 0, &file) == FcResultMatch && file;
  if (found) {
    out.path = reinterpret_cast<const char *>(file);
    FcPatternGetInteger(match, FC_INDEX, 0, &out.index);
    FcPatternGetInteger(match, FC_WEIGHT, 0, &out.weight);
    FcPatternGetInteger(match, FC_SLANT, 0, &out.slant);
  }
  FcPatternDestroy(match);
  return found;
}

FT_Library library() {
  static FT_Library lib = nullptr;
  static bool tried = false;
  if (!tried) {
    tried = true;
    if (FT_Init_FreeType(&lib) != 0) lib = nullptr;
  }
  return lib;
}

// glBitmap takes rows bottom-up, most significant bit first, byte-aligned here.
void compileGlyph(FT_GlyphSlot slot, unsigned list) {
  const FT_Bitmap &bm = slot->bitmap;
  int w = static_cast<int>(bm.width), h = static_cast<int>(bm.rows);
  int rowBytes = (w + 7) / 8;
  std::vector<GLubyte> bits(static_cast<size_t>(rowBytes) * static_cast<size_t>(h > 0 ? h : 0));
  for (int row = 0; row < h; ++row) {
    const unsigned char *src = bm.buffer + static_cast<long>(row) * bm.pitch;
    if (bm.pitch < 0) src = bm.buffer + static_cast<long>(h - 1 - row) * -bm.pitch;
    for (int b = 0; b < rowBytes; ++b) bits[static_cast<size_t>((h - 1 - row) * rowBytes + b)] = src[b];
  }
  glNewList(list, GL_COMPILE);
  glBitmap(w, h, static_cast<GLfloat>(-slot->bitmap_left), static_cast<GLfloat>(h - slot->bitmap_top),
           static_cast<GLfloat>(slot->advance.x) / 64.0f, 0.0f, bits.empty() ? nullptr : bits.data());
  glEndList();
}

}  // namespace

bool buildFontBitmaps(void *drawable, const char *face, int height, int weight, bool italic,
                      int first, int count, unsigned listBase) {
  if (!drawable || listBase == 0) return false;
  FontFile file;
  if (!findFont(face, height, weight, italic, file)) return false;
  FT_Library lib = library();
  FT_Face ftFace = nullptr;
  if (!lib || FT_New_Face(lib, file.path.c_str(), file.index, &ftFace) != 0) return false;

  // A positive height is the character cell (ascent plus descent), a negative one the em size.
  FT_Size_RequestRec request{};
  request.type = height >= 0 ? FT_SIZE_REQUEST_TYPE_CELL : FT_SIZE_REQUEST_TYPE_NOMINAL;
  request.height = static_cast<FT_Long>(height >= 0 ? height : -height) * 64;
  if (FT_Request_Size(ftFace, &request) != 0) {
    FT_Done_Face(ftFace);
    return false;
  }
  bool emboldenMissing = weight >= 700 && file.weight < FC_WEIGHT_BOLD;
  bool slantMissing = italic && file.slant == FC_SLANT_ROMAN;

  GLint saved[6];
  glGetIntegerv(GL_UNPACK_ALIGNMENT, &saved[0]);
  glGetIntegerv(GL_UNPACK_ROW_LENGTH, &saved[1]);
  glGetIntegerv(GL_UNPACK_SKIP_ROWS, &saved[2]);
  glGetIntegerv(GL_UNPACK_SKIP_PIXELS, &saved[3]);
  glGetIntegerv(GL_UNPACK_LSB_FIRST, &saved[4]);
  glGetIntegerv(GL_UNPACK_SWAP_BYTES, &saved[5]);
  glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
  glPixelStorei(GL_UNPACK_ROW_LENGTH, 0);
  glPixelStorei(GL_UNPACK_SKIP_ROWS, 0);
  glPixelStorei(GL_UNPACK_SKIP_PIXELS, 0);
  glPixelStorei(GL_UNPACK_LSB_FIRST, GL_FALSE);
  glPixelStorei(GL_UNPACK_SWAP_BYTES, GL_FALSE);

  for (int i = 0; i < count; ++i) {
    FT_ULong code = static_cast<FT_ULong>(first + i);
    if (FT_Load_Char(ftFace, code, FT_LOAD_NO_BITMAP | FT_LOAD_TARGET_MONO) != 0) continue;
    FT_GlyphSlot slot = ftFace->glyph;
    if (slot->format == FT_GLYPH_FORMAT_OUTLINE) {
      if (slantMissing) FT_GlyphSlot_Oblique(slot);
      if (emboldenMissing) FT_GlyphSlot_Embolden(slot);
    }
    if (FT_Render_Glyph(slot, FT_RENDER_MODE_MONO) != 0) continue;
    compileGlyph(slot, listBase + static_cast<unsigned>(i));
  }

  glPixelStorei(GL_UNPACK_ALIGNMENT, saved[0]);
  glPixelStorei(GL_UNPACK_ROW_LENGTH, saved[1]);
  glPixelStorei(GL_UNPACK_SKIP_ROWS, saved[2]);
  glPixelStorei(GL_UNPACK_SKIP_PIXELS, saved[3]);
  glPixelStorei(GL_UNPACK_LSB_FIRST, saved[4]);
  glPixelStorei(GL_UNPACK_SWAP_BYTES, saved[5]);
  FT_Done_Face(ftFace);
  return true;
}

}  // namespace KanduPlatform
