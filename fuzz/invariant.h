// How a fuzz target reports a broken invariant: a line libFuzzer keeps in its log, then
// an abort, which libFuzzer records as a crash with the input that caused it.
#pragma once

#include <cstdlib>

namespace kerfo::fuzz {

[[noreturn]] inline void broken(const char* what) {
    __builtin_printf("invariant broken: %s\n", what);
    std::abort();
}

}  // namespace kerfo::fuzz
