// The process-wide pseudo-random generator of the classic BASIC runtime.
//
// Encrypted files can only be exchanged between builds whose generators give the
// same sequence, so this is bit-exact: a 24-bit linear congruential seed, reseeded
// from the bit pattern of single-precision numbers. One state per process, shared
// by every caller (every Cipher draws from it).
#pragma once

#include <cstdint>

namespace kerfo::cipher {

// The generator's seed when the process starts.
inline constexpr std::uint32_t kInitialSeed = 0x50000;
// One step of the generator: seed' = (seed * kMultiplier + kIncrement) mod 2^24.
inline constexpr std::uint32_t kMultiplier = 0x43FD43FD;
inline constexpr std::uint32_t kIncrement = 0xC39EC3;
inline constexpr std::uint32_t kSeedMask = 0xFFFFFF;

// Advances `seed` by one step (pure; used by the fast keystream paths too).
constexpr std::uint32_t nextSeed(std::uint32_t seed) {
    return static_cast<std::uint32_t>(
        (static_cast<std::uint64_t>(seed) * kMultiplier + kIncrement) & kSeedMask);
}

// With x omitted (1) advances and returns the next value in [0, 1). A negative x first
// resets the seed from x's bit pattern alone; x == 0 (either sign) returns the current
// value without advancing.
float rtcRandomNext(float x = 1.0f);

// Reseeds from y: the new seed depends only on the old seed and y.
void rtcRandomize(float y);

// The same two operations on a seed of the caller's own instead of the process's.
float randomNext(std::uint32_t& seed, float x = 1.0f);
void randomize(std::uint32_t& seed, float y);

// The process's raw seed, for the keystream's fast paths and for tests.
std::uint32_t randomSeed();
void setRandomSeed(std::uint32_t seed);

}  // namespace kerfo::cipher
