// libFuzzer: the six exports as a hostile host calls them, in a real (headless) GL context. The
// input is three lines: the texts for setTimeDLL, getBlockInfo and ExecuteDLL.
#include <GL/gl.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "host/exports.h"
#include "player/headless.h"

using namespace kandu;

extern "C" int LLVMFuzzerInitialize(int *, char ***) {
  static HeadlessContext context;
  std::string why;
  if (!context.create(64, 48, why)) {
    std::fprintf(stderr, "exports_fuzz: %s\n", why.c_str());
    std::abort();
  }
  InitDLL(0);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  std::string input(reinterpret_cast<const char *>(data), size), parts[3];
  size_t start = 0;
  for (int i = 0; i < 3; ++i) {
    size_t end = input.find('\n', start);
    parts[i] = input.substr(start, end == std::string::npos ? std::string::npos : end - start);
    if (end == std::string::npos) break;
    start = end + 1;
  }
  glMatrixMode(GL_MODELVIEW);
  glLoadIdentity();
  setTimeDLL(parts[0].c_str());
  getBlockInfo(parts[1].c_str());
  ExecuteDLL(parts[2].c_str());
  FreeDLL(static_cast<int>(size));
  AssignController(-static_cast<int>(size));
  while (glGetError() != GL_NO_ERROR) {
  }
  return 0;
}
