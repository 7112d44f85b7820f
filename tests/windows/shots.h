// The frames both test hosts draw, the Windows one through kandu.dll and the Linux one through
// libkandu.so, so that their pictures and the read-back texture can be compared.
#pragma once

#include <GL/gl.h>
#include <GL/glu.h>

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace Shots {

const int kWidth = 1024;
const int kHeight = 768;

struct Shot {
  const char *word;
  float progress;
};

// Every drawing effect at a progress inside its block, each drawn twice (the first call sets the
// camera the second applies), in this order in one process.
const Shot kShots[] = {{"water_thing", 0.3f}, {"jumping_bars", 0.4f}, {"jumping_bars2", 0.6f},
                       {"cube_thing", 0.15f},  {"morph", 0.45f},       {"cube_field", 0.5f}};

// The result texture of the intro's texture stack: the fifth texture name, after the four layers.
const GLuint kResultTexture = 5;

template <typename TextExport>
void hostFrame(TextExport setTime, TextExport blockInfo, TextExport execute, const char *word, float progress) {
  glViewport(0, 0, kWidth, kHeight);
  glMatrixMode(GL_PROJECTION);
  glLoadIdentity();
  gluPerspective(45.0, double(kWidth) / kHeight, 0.5, 1000.0);
  glMatrixMode(GL_MODELVIEW);
  glLoadIdentity();
  glEnable(GL_DEPTH_TEST);
  glDepthFunc(GL_LEQUAL);
  glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
  std::string time = std::to_string(10000 + int(progress * 1000 + 0.5f));
  setTime(time.c_str());
  blockInfo("10000,11000");
  execute(word);
  glFinish();
}

// Top row first, RGB.
inline std::vector<uint8_t> readPicture() {
  std::vector<uint8_t> raw(size_t(kWidth) * kHeight * 3), picture(raw.size());
  glPixelStorei(GL_PACK_ALIGNMENT, 1);
  glReadPixels(0, 0, kWidth, kHeight, GL_RGB, GL_UNSIGNED_BYTE, raw.data());
  for (int y = 0; y < kHeight; ++y)
    for (int i = 0; i < kWidth * 3; ++i) picture[size_t(y) * kWidth * 3 + i] = raw[size_t(kHeight - 1 - y) * kWidth * 3 + i];
  return picture;
}

inline std::vector<uint8_t> readResultTexture() {
  std::vector<uint8_t> texels(128 * 128 * 4);
  glBindTexture(GL_TEXTURE_2D, kResultTexture);
  glGetTexImage(GL_TEXTURE_2D, 0, GL_RGBA, GL_UNSIGNED_BYTE, texels.data());
  return texels;
}

inline bool writeFile(const std::string &path, const std::vector<uint8_t> &bytes, const std::string &header = "") {
  FILE *f = std::fopen(path.c_str(), "wb");
  if (!f) return false;
  bool ok = std::fwrite(header.data(), 1, header.size(), f) == header.size() &&
            std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
  return std::fclose(f) == 0 && ok;
}

inline std::string ppmHeader() { return "P6\n" + std::to_string(kWidth) + " " + std::to_string(kHeight) + "\n255\n"; }

inline int litPixels(const std::vector<uint8_t> &rgb) {
  int lit = 0;
  for (size_t i = 0; i + 2 < rgb.size(); i += 3)
    if (rgb[i] > 8 || rgb[i + 1] > 8 || rgb[i + 2] > 8) ++lit;
  return lit;
}

}  // namespace Shots
