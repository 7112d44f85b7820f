#include "player/host_frame.h"

#include <GL/gl.h>
#include <GL/glu.h>

namespace kandu {

void drawHostFrame(const HostCalls &calls, const Timeline &timeline, int64_t timeMs, int width, int height,
                   double aspect) {
  auto entering = [&](const char *name) {
    if (calls.entering) calls.entering(name);
  };
  glViewport(0, 0, width, height);
  glMatrixMode(GL_PROJECTION);
  glLoadIdentity();
  gluPerspective(45.0, aspect, 0.5, 1000.0);
  glMatrixMode(GL_MODELVIEW);
  glLoadIdentity();
  glEnable(GL_DEPTH_TEST);
  glDepthFunc(GL_LEQUAL);
  glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
  for (const BlockCall &call : scheduleAt(timeline, timeMs)) {
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    entering("setTimeDLL");
    calls.setTimeDLL(call.timeText.c_str());
    entering("getBlockInfo");
    calls.getBlockInfo(call.boundsText.c_str());
    entering("ExecuteDLL");
    calls.ExecuteDLL(call.effectText.c_str());
  }
  entering(nullptr);
}

}  // namespace kandu
