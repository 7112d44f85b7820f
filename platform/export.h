// The calling convention and visibility of the plug-in's six exports.
#pragma once

#if defined(_WIN32) && !defined(_WIN64)
#define KANDU_CALL __stdcall
#else
#define KANDU_CALL
#endif

#if defined(_WIN32)
#define KANDU_EXPORT extern "C"
#else
#define KANDU_EXPORT extern "C" __attribute__((visibility("default")))
#endif

// A second exported name for an existing export. On Windows the module-definition file exports the
// alias; elsewhere the linker makes it a second symbol for the same function.
#if defined(_WIN32)
#define KANDU_EXPORT_ALIAS(aliasName, target, params)
#else
#define KANDU_EXPORT_ALIAS(aliasName, target, params) \
  KANDU_EXPORT void KANDU_CALL aliasName params __attribute__((alias(#target)));
#endif
