#include "cipher/classic_random.h"

#include <bit>

namespace kerfo::cipher {
namespace {

// One generator per process, as in the runtime this mirrors; only the GUI thread or
// the command-line tool's single thread ever touches it.
std::uint32_t g_seed = kInitialSeed;

}  // namespace

float randomNext(std::uint32_t& seed, float x) {
    if (x < 0.0f) {
        const auto u = std::bit_cast<std::uint32_t>(x);
        seed = (u + (u >> 24)) & kSeedMask;
    }
    if (x != 0.0f) {
        seed = nextSeed(seed);
    }
    return static_cast<float>(seed) / 16777216.0f;
}

void randomize(std::uint32_t& seed, float y) {
    const auto bits = std::bit_cast<std::uint64_t>(static_cast<double>(y));
    const auto h = static_cast<std::int32_t>(bits >> 32);
    const auto mixed = static_cast<std::uint32_t>((h & 0xFFFF) ^ (h >> 16));
    seed = ((seed & 0xFF0000FFu) | (mixed << 8)) & kSeedMask;
}

float rtcRandomNext(float x) {
    return randomNext(g_seed, x);
}

void rtcRandomize(float y) {
    randomize(g_seed, y);
}

std::uint32_t randomSeed() { return g_seed; }

void setRandomSeed(std::uint32_t seed) { g_seed = seed & kSeedMask; }

}  // namespace kerfo::cipher
