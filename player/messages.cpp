#include "player/messages.h"

#include <cstdio>

namespace kandu {

namespace {
void say(const std::string &message) {
  std::fprintf(stderr, "kandu-player: %s\n", message.c_str());
  std::fflush(stderr);
}
}  // namespace

void complain(const std::string &message) { say(message); }
void note(const std::string &message) { say(message); }

}  // namespace kandu
