// A plug-in with the six exports that writes down what its host does: for every ExecuteDLL, the
// texts of the setTimeDLL and getBlockInfo before it, its own text, whether the modelview was the
// identity, and the viewport's width; with KANDU_PROBE_CLOCK set, each line starts with the
// steady clock's milliseconds (to line frames up with the sound). It then dirties the modelview, as a real effect does, so that a host that forgot to
// reset it between blocks shows up. The log goes to the file named by KANDU_PROBE_LOG.
#include <GL/gl.h>

#include <time.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#define EXPORT extern "C" __attribute__((visibility("default")))

namespace {
std::string gTime = "-", gBounds = "-";
FILE *gLog = nullptr;
bool gClock = false;
}  // namespace

EXPORT void InitDLL(int) {
  if (const char *path = std::getenv("KANDU_PROBE_LOG")) gLog = std::fopen(path, "w");
  gClock = std::getenv("KANDU_PROBE_CLOCK") != nullptr;
}
EXPORT void FreeDLL(int) {
  if (gLog) std::fclose(gLog);
  gLog = nullptr;
}
EXPORT void AssignController(int) {}
EXPORT void setTimeDLL(const char *text) { gTime = text ? text : "(null)"; }
EXPORT void getBlockInfo(const char *text) { gBounds = text ? text : "(null)"; }
EXPORT void ExecuteDLL(const char *text) {
  GLfloat m[16];
  glGetFloatv(GL_MODELVIEW_MATRIX, m);
  bool identity = true;
  for (int i = 0; i < 16; ++i) identity = identity && m[i] == ((i % 5 == 0) ? 1.0f : 0.0f);
  GLint viewport[4];
  glGetIntegerv(GL_VIEWPORT, viewport);
  if (gLog && gClock) {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    std::fprintf(gLog, "%.3f ", static_cast<double>(now.tv_sec) * 1e3 + static_cast<double>(now.tv_nsec) / 1e6);
  }
  if (gLog)
    std::fprintf(gLog, "%s %s %s %s %d\n", gTime.c_str(), gBounds.c_str(), text, identity ? "identity" : "moved",
                 viewport[2]);
  gTime = gBounds = "-";
  glTranslatef(1, 2, 3);
}
