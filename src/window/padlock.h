// The two 32 x 32 grey padlock pictures of the Encrypt and Decrypt buttons, drawn in code
// so that every window can make them without image files.
#pragma once

#include <array>
#include <cstdint>

namespace kerfo::window {

enum class Padlock { kClosed, kOpen };

inline constexpr int kPadlockSize = 32;

// Row by row from the top, each pixel 0xAARRGGBB with straight (not premultiplied) alpha;
// anti-aliased edges, fully transparent outside the lock.
std::array<std::uint32_t, kPadlockSize * kPadlockSize> padlockPixels(Padlock kind);

}  // namespace kerfo::window
