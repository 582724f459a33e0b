// The target path as the file manager hands it over: the command line without the
// program's own name.
#pragma once

#include <string_view>

namespace kerfo::window {

// Everything after the program's name (a quoted name ends at its closing quote, a bare
// one at the first blank) and the blanks that follow it, unchanged: inner and trailing
// spaces are kept. When that is one quoted string (blanks may follow it), what is inside
// the quotes, as a shell or a launcher quotes a path with spaces. Empty when nothing
// follows the name.
std::wstring_view commandTail(std::wstring_view commandLine);

}  // namespace kerfo::window
