#include "host/exports.h"

#include "host/effects.h"
#include "host/params.h"
#include "intro/testbed.h"
#include "intro/types.h"
#include "platform/platform.h"

namespace Kandu {

namespace {
// Constructed in this order at load and destroyed in reverse at unload: the intro first (its event
// list raises the timer resolution), then the parameter stream.
cTestBed gIntro;
cParamStream gParams;
HostState gState;
}  // namespace

const HostState &hostState() { return gState; }
cTestBed &theIntro() { return gIntro; }

void computeBlockProgress(HostState &state) {
  state.blockElapsed = truncToInt(static_cast<double>(state.currentTime) -
                                  static_cast<double>(static_cast<float>(state.blockStart)));
  double span = static_cast<double>(state.blockEnd) - static_cast<double>(static_cast<float>(state.blockStart));
  state.blockProgress = span == 0.0 ? 0.0f : static_cast<float>(state.blockElapsed / span);
}

}  // namespace Kandu

using namespace Kandu;

// Everything init builds goes to the current GL context; without one the upload would crash inside
// GLU, so InitDLL waits for a host that has made its context current.
KANDU_EXPORT void KANDU_CALL InitDLL(int) {
  if (!KanduPlatform::currentDrawable()) return;
  gIntro.init();
}

KANDU_EXPORT void KANDU_CALL FreeDLL(int) {}

// One function under two names.
KANDU_EXPORT_ALIAS(AssignController, FreeDLL, (int))

KANDU_EXPORT void KANDU_CALL setTimeDLL(const char *params) {
  gParams.loadParams(params);
  gState.currentTime = gParams.nextIntParam();
}

KANDU_EXPORT void KANDU_CALL getBlockInfo(const char *params) {
  gParams.loadParams(params);
  gState.blockStart = truncToInt(gParams.getFloatParam(0));
  gState.blockEnd = truncToInt(gParams.getFloatParam(1));
  computeBlockProgress(gState);
}

KANDU_EXPORT void KANDU_CALL ExecuteDLL(const char *params) {
  gParams.loadParams(params);
  std::string word = gParams.getStringParam(0);
  gIntro.frame(0, 0, effectForWord(word.c_str()), gState.blockProgress);
}
