// The keystream: one byte per generator step, taken from the shared generator.
#pragma once

#include <cstddef>

namespace kerfo::cipher {

// XORs data[0..size) with the next `size` keystream bytes (byte = seed >> 16 after each
// step, which is floor(rtcRandomNext() * 256) exactly) and leaves the shared generator
// `size` steps further on, as that many rtcRandomNext() calls would.
void xorKeystream(unsigned char* data, std::size_t size);

}  // namespace kerfo::cipher
