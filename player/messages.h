// One-line messages on standard error. Text that comes from files, the command line or other
// programs goes through printable() first, so that no terminal escape or NUL reaches the terminal.
#pragma once

#include <string>

// `text` with every byte outside printable ASCII written as \xNN (and the backslash as \\).
std::string printable(const std::string &text);

// "kandu-player: MESSAGE" and a newline on standard error.
void complain(const std::string &message);
