// A plug-in with the six exports whose ExecuteDLL crashes: what the player says and leaves behind
// when the plug-in it hosts dies.
#include <signal.h>

#define EXPORT extern "C" __attribute__((visibility("default")))

EXPORT void InitDLL(int) {}
EXPORT void FreeDLL(int) {}
EXPORT void AssignController(int) {}
EXPORT void setTimeDLL(const char *) {}
EXPORT void getBlockInfo(const char *) {}
EXPORT void ExecuteDLL(const char *) { raise(SIGSEGV); }
