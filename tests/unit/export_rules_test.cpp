// The export's rules that need no browser: how the page holds bytes and names, the one script made
// of the modules, and which music browsers play as it is.
#include <gtest/gtest.h>

#include "player/export.h"

namespace kandu {
namespace {

TEST(ExportRules, BytesModulesAndWhichMusicStaysAsItIs) {
  // NUL, CR, '<' and the escape itself go as 0x1B and the byte XOR 0x40; all else as it is.
  EXPECT_EQ(packBytes(std::string("\x00\x0d<\x1b" "A\xff\x80\n", 8)),
            std::string("\x1b\x40\x1b\x4d\x1b\x7c\x1b\x5b" "A\xff\x80\n", 12));
  EXPECT_EQ(packBytes("</script>").find("</"), std::string::npos);
  // Names go percent-encoded, every byte but letters, digits and -_.~, as decodeURIComponent reads them.
  EXPECT_EQ(percentEncoded("chanson-été.ogg"), "chanson-%C3%A9t%C3%A9.ogg");
  EXPECT_EQ(percentEncoded("a \"b\" #1 & 100%'<x>.wav"), "a%20%22b%22%20%231%20%26%20100%25%27%3Cx%3E.wav");
  EXPECT_EQ(percentEncoded("~_-.Zz09"), "~_-.Zz09");

  EXPECT_EQ(bundleModules({"// a\nexport class A {}\nconst x = 1;\n",
                           "import { A } from './a.js';\nexport function b() { return new A(); }\n  export x;\n"}),
            "// a\nclass A {}\nconst x = 1;\nfunction b() { return new A(); }\n  export x;\n");

  for (const char *played : {"song.mp3", "a/b.OGG", "x.opus", "x.wav", "x.flac", "x.m4a"}) EXPECT_TRUE(browsersPlay(played)) << played;
  for (const char *not_ : {"song.aiff", "tune.mod", "x.wv", "noextension", "dir.wav/file", "x.xm"})
    EXPECT_FALSE(browsersPlay(not_)) << not_;
}

}  // namespace
}  // namespace kandu
