// Unfinished outputs, registered while they are being written so that whoever ends the process
// abnormally (a crash, a stop signal) can remove them: up to two files (the video and its sound),
// or a directory of numbered frames of which so many have been written (and its audio.wav), and an
// encoder process to stop. The writers only register; removeUnfinished() is safe to call from a
// signal handler (no heap, no locks).
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <string>

namespace kandu::cleanup {

// Each registration is undone by its own untrack, which forgets only what it names: a frame
// directory committed does not forget a file or an encoder still being written.
void trackFile(const std::string &path);
void untrackFile(const std::string &path);
void trackFrameDir(const std::string &dir);
void untrackFrameDir(const std::string &dir);
void setFramesWritten(int64_t frames);
void trackChild(pid_t pid);
void untrackChild(pid_t pid);

// Kills the tracked child and removes the tracked files and frames.
void removeUnfinished();
// Kills the tracked child only (an encoder whose output is being given up), so that nothing waits
// on it any more; the writers remove their files themselves.
void stopChild();

}  // namespace kandu::cleanup
