// Reading a file-layer outcome in a test.
#pragma once

#include "platform/error.h"

namespace kerfo::test {

// The runtime's number a Result or Status failed with; 0 when it succeeded.
template <typename Outcome>
int errorOf(const Outcome& outcome) {
    return outcome ? 0 : outcome.error().code();
}

}  // namespace kerfo::test
