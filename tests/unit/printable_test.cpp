#include <gtest/gtest.h>

#include <string>

#include "base/printable.h"

using namespace kandu;
using namespace std::string_literals;

// Names in any script are shown as they are; what would move, hide or garble the text around it on
// a terminal or in a title is escaped byte by byte, and so is every byte that is not UTF-8.
TEST(Printable, ValidUtf8AsItIsControlsAndBrokenBytesEscaped) {
  struct Case {
    std::string in, out;
  } cases[] = {
      {"chanson-été.ogg", "chanson-été.ogg"},
      {"日本語 песня #1 & 100% 'a'.flac", "日本語 песня #1 & 100% 'a'.flac"},
      {"\xf0\x9f\x8e\xb5.wav", "\xf0\x9f\x8e\xb5.wav"},                 // U+1F3B5, four bytes
      {"a\\b", "a\\\\b"},
      {"\x1b[31mred\x00x"s, "\\x1b[31mred\\x00x"},                     // C0 controls
      {"del\x7f", "del\\x7f"},
      {"c1\xc2\x85", "c1\\xc2\\x85"},                                  // U+0085, a C1 control
      {"evil\xe2\x80\xaegpj.exe", "evil\\xe2\\x80\\xaegpj.exe"},       // U+202E turns what follows around
      {"\xe2\x81\xa6x\xe2\x81\xa9", "\\xe2\\x81\\xa6x\\xe2\\x81\\xa9"}, // U+2066 .. U+2069, isolates
      {"\xef\xbb\xbf" "0", "\\xef\\xbb\\xbf0"},                        // U+FEFF, invisible
      {"\xe9t\xe9", "\\xe9t\\xe9"},                                    // Latin-1, not UTF-8
      {"\xc0\xaf", "\\xc0\\xaf"},                                      // an overlong '/'
      {"\xed\xa0\x80", "\\xed\\xa0\\x80"},                             // a surrogate
      {"\xf4\x90\x80\x80", "\\xf4\\x90\\x80\\x80"},                    // past U+10FFFF
      {"cut\xe2\x82", "cut\\xe2\\x82"},                                // a sequence cut short
      {"\xe2\x82z", "\\xe2\\x82z"},                                    // ... or broken by ASCII
      {"\xa9", "\\xa9"},                                               // a lone continuation byte
  };
  for (const Case &c : cases) EXPECT_EQ(printable(c.in), c.out) << c.out;
}
