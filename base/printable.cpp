#include "base/printable.h"

#include <cstdint>

namespace kandu {

namespace {

// The length of the well-formed UTF-8 sequence at `s` (1 to 4) and its code point, or 0 when the
// bytes there are not UTF-8: a stray continuation byte, a sequence cut short, an overlong form, a
// surrogate or a code point past U+10FFFF.
size_t decode(const unsigned char *s, size_t left, uint32_t &cp) {
  const unsigned char c = s[0];
  size_t n;
  uint32_t min;
  if (c < 0x80) {
    cp = c;
    return 1;
  } else if (c >= 0xC2 && c <= 0xDF) {
    n = 2, min = 0x80, cp = c & 0x1F;
  } else if (c >= 0xE0 && c <= 0xEF) {
    n = 3, min = 0x800, cp = c & 0x0F;
  } else if (c >= 0xF0 && c <= 0xF4) {
    n = 4, min = 0x10000, cp = c & 0x07;
  } else {
    return 0;
  }
  if (left < n) return 0;
  for (size_t i = 1; i < n; ++i) {
    if ((s[i] & 0xC0) != 0x80) return 0;
    cp = (cp << 6) | (s[i] & 0x3F);
  }
  if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return 0;
  return n;
}

// Characters that move or hide what follows them on a terminal or in a title: the C0 and C1
// controls, DEL, and the invisible format characters, Unicode's bidirectional controls among them
// (a name holding U+202E would show its end reversed).
bool hidden(uint32_t cp) {
  return cp < 0x20 || (cp >= 0x7F && cp <= 0x9F) || cp == 0x061C || (cp >= 0x200B && cp <= 0x200F) ||
         (cp >= 0x2028 && cp <= 0x202E) || (cp >= 0x2060 && cp <= 0x2064) || (cp >= 0x2066 && cp <= 0x2069) ||
         cp == 0xFEFF || (cp >= 0xFFF9 && cp <= 0xFFFB);
}

}  // namespace

std::string printable(const std::string &text) {
  static const char kHex[] = "0123456789abcdef";
  std::string out;
  out.reserve(text.size());
  const auto *bytes = reinterpret_cast<const unsigned char *>(text.data());
  for (size_t at = 0; at < text.size();) {
    uint32_t cp = 0;
    const size_t n = decode(bytes + at, text.size() - at, cp);
    if (n > 0 && bytes[at] == '\\') {
      out += "\\\\";
    } else if (n > 0 && !hidden(cp)) {
      out.append(text, at, n);
    } else {
      // Each byte of a hidden character, or the one byte that is not UTF-8, as \xNN.
      for (size_t i = 0; i < (n > 0 ? n : 1); ++i) {
        out += "\\x";
        out += kHex[bytes[at + i] >> 4];
        out += kHex[bytes[at + i] & 15];
      }
    }
    at += n > 0 ? n : 1;
  }
  return out;
}

}  // namespace kandu
