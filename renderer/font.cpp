#include <GL/gl.h>

#include "platform/platform.h"
#include "renderer/renderer.h"

namespace {
const int kFirstChar = 32;
const int kCharCount = 96;
}  // namespace

cFont::~cFont() {
  if (listBase != 0) glDeleteLists(listBase, kCharCount);
  if (secondListBase != 0) glDeleteLists(secondListBase, kCharCount);
}

// Two identical glyph sets are built; without a font or a GL context the lists stay empty and the
// font still counts as created.
void cFont::create(const char *face, int32_t fontHeight, uint8_t italic, uint8_t bold) {
  if (created) return;
  int weight = bold ? 700 : 400;
  height = fontHeight;
  deviceContext = KanduPlatform::currentDrawable();
  faceName = face;
  listBase = glGenLists(kCharCount);
  KanduPlatform::buildFontBitmaps(deviceContext, faceName, height, weight, italic != 0, kFirstChar, kCharCount,
                                  listBase);
  secondListBase = glGenLists(kCharCount);
  KanduPlatform::buildFontBitmaps(deviceContext, faceName, height, weight, italic != 0, kFirstChar, kCharCount,
                                  secondListBase);
  created = 1;
}

cFont *newFont(const char *name, int32_t height, uint8_t bold, uint8_t italic) {
  cFont *font = new cFont();
  font->name = name;
  font->create("Verdana", height, italic, bold);
  return font;
}
