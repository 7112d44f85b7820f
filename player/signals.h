// What the player does when it is interrupted or when the plug-in crashes. What to remove then is
// registered by the writers themselves (media/cleanup.h).
//
// SIGINT and SIGTERM, in every command, only raise a flag (and interrupt any music being decoded):
// the capture loops and the play loop look at it, stop, remove what they had started and then end
// the process with the same signal (the shell reports 130 or 143). SIGPIPE is ignored, so that an
// encoder that died shows up as a failed write. A crash (SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGABRT)
// prints which plug-in export was running, removes the unfinished output, stops the encoder and
// ends the process with the same signal.
#pragma once

#include <cstdint>
#include <string>

namespace kandu::signals {

// Installs the crash handlers and the stop flag's, and ignores SIGPIPE.
void install();

// Non-zero (the signal's number) once SIGINT or SIGTERM arrived.
int stopRequested();
// Ends the process with the signal that asked it to stop.
[[noreturn]] void endWithStopSignal();

// The plug-in's path, for the crash message.
void setPluginPath(const std::string &path);
// The export that is running now (a constant string), or null between calls.
void enterExport(const char *name);

}  // namespace kandu::signals
