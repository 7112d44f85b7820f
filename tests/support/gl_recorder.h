// A test-only recording layer: the test binary defines the GL entry points the plug-in calls,
// records each call with its arguments and forwards it to the real driver. Calls GLU makes inside
// its own functions are not recorded (only the GLU call itself is).
#pragma once

#include <string>
#include <vector>

struct GLCall {
  std::string name;
  std::vector<double> args;
};

namespace Recorder {
void start();
std::vector<GLCall> stop();
// Answers glGetString(GL_EXTENSIONS) without the framebuffer-object extension while set.
void hideFramebufferExtension(bool hide);
// Returns no address for this entry point while set (empty: none hidden).
void hideProc(const std::string &name);

// Helpers over a recording.
std::vector<GLCall> named(const std::vector<GLCall> &calls, const std::string &name);
std::vector<std::string> names(const std::vector<GLCall> &calls);
int count(const std::vector<GLCall> &calls, const std::string &name);
}  // namespace Recorder
