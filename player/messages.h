// The player's one-line messages on standard error, "kandu-player: MESSAGE". Text that comes from
// files, the command line or other programs goes through printable() (base/printable.h) first, so
// that no terminal escape or NUL reaches the terminal.
#pragma once

#include <string>

namespace kandu {

// Something went wrong (or will be done differently from what was asked).
void complain(const std::string &message);
// What was done ("wrote out/kandu.mp4").
void note(const std::string &message);

}  // namespace kandu
