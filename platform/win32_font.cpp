// Glyph bitmaps from a GDI font into display lists (wglUseFontBitmapsA).
#include <windows.h>

#include "platform/platform.h"

namespace KanduPlatform {

bool buildFontBitmaps(void *drawable, const char *face, int height, int weight, bool italic, int first, int count,
                      unsigned listBase) {
  HDC dc = static_cast<HDC>(drawable);
  if (!dc) return false;
  HFONT font = CreateFontA(height, 0, 0, 0, weight, italic ? TRUE : FALSE, FALSE, FALSE, ANSI_CHARSET, OUT_TT_PRECIS,
                           CLIP_DEFAULT_PRECIS, ANTIALIASED_QUALITY, DEFAULT_PITCH | FF_DONTCARE, face);
  if (!font) return false;
  HGDIOBJ previous = SelectObject(dc, font);
  BOOL built = wglUseFontBitmapsA(dc, static_cast<DWORD>(first), static_cast<DWORD>(count), listBase);
  SelectObject(dc, previous);
  DeleteObject(font);
  return built != FALSE;
}

}  // namespace KanduPlatform
