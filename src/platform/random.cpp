#include "platform/random.h"

#include <bit>

namespace kerfo::platform {
namespace {

// One generator per process, as in the runtime this mirrors; only the GUI thread or
// the command-line tool's single thread ever touches it.
std::uint32_t g_seed = kInitialSeed;

}  // namespace

float rtcRandomNext(float x) {
    if (x < 0.0f) {
        const auto u = std::bit_cast<std::uint32_t>(x);
        g_seed = (u + (u >> 24)) & kSeedMask;
    }
    if (x != 0.0f) {
        g_seed = nextSeed(g_seed);
    }
    return static_cast<float>(g_seed) / 16777216.0f;
}

void rtcRandomize(float y) {
    const auto bits = std::bit_cast<std::uint64_t>(static_cast<double>(y));
    const auto h = static_cast<std::int32_t>(bits >> 32);
    const auto mixed = static_cast<std::uint32_t>((h & 0xFFFF) ^ (h >> 16));
    g_seed = ((g_seed & 0xFF0000FFu) | (mixed << 8)) & kSeedMask;
}

std::uint32_t randomSeed() { return g_seed; }

void setRandomSeed(std::uint32_t seed) { g_seed = seed & kSeedMask; }

}  // namespace kerfo::platform
