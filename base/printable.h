// Text from files, the command line or other programs, made safe for a terminal or a window
// title before it is shown: UTF-8 as it is, in any script, and as \xNN each byte of a control or
// invisible format character (the bidirectional controls among them) and each byte that is not
// UTF-8; the backslash as \\.
//
// The host side's one error convention: a function that can fail returns bool and takes
// `std::string &error` as its last argument, which it sets to one line ("FILE:LINE: why",
// "PATH: why") when it returns false.
#pragma once

#include <string>

namespace kandu {

std::string printable(const std::string &text);

}  // namespace kandu
