// Every kernel build this CPU can run against the one-step reference loops.
#include "cipher/kernels.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "support/files.h"

namespace kerfo::cipher::detail {
namespace {

// The shared pseudo-random bytes, as the kernels take them.
std::vector<unsigned char> randomBytes(std::size_t n, std::uint32_t seed) {
    const std::string s = kerfo::test::randomBytes(n, seed);
    return {s.begin(), s.end()};
}

// Printable characters 59..122, as a body holds them.
std::vector<unsigned char> bodyCharacters(std::size_t n, std::uint32_t seed) {
    auto v = randomBytes(n, seed);
    for (auto& b : v) b = static_cast<unsigned char>(59 + b % 64);
    return v;
}

class KernelsTest : public ::testing::TestWithParam<const Kernels*> {};

TEST_P(KernelsTest, KeystreamMatchesTheReferenceForEveryLengthAndSeed) {
    const Kernels& k = *GetParam();
    const auto in = randomBytes(4096 + 300, 1);
    for (std::uint32_t seed : {0u, 0x50000u, 0xFFFFFFu, 0x123456u}) {
        for (std::size_t n = 0; n <= 4096; ++n) {
            std::vector<unsigned char> want(n), got(n);
            const auto wantSeed = xorStreamReference(in.data(), want.data(), n, seed);
            const auto gotSeed = k.xorStream(in.data(), got.data(), n, seed);
            ASSERT_EQ(got, want) << k.name << " n=" << n << " seed=" << seed;
            ASSERT_EQ(gotSeed, wantSeed) << k.name << " n=" << n;
            ASSERT_EQ(advanceSeed(seed, n), wantSeed) << n;
        }
    }
}

TEST_P(KernelsTest, KeystreamWorksInPlaceAndOnLargeInputs) {
    const Kernels& k = *GetParam();
    const std::size_t n = (3u << 20) + 77;
    auto data = randomBytes(n, 2);
    std::vector<unsigned char> want(n);
    const auto wantSeed = xorStreamReference(data.data(), want.data(), n, 0xABCDEFu);
    EXPECT_EQ(k.xorStream(data.data(), data.data(), n, 0xABCDEFu), wantSeed);
    EXPECT_EQ(data, want);
}

TEST_P(KernelsTest, StretchAndShrinkMatchTheReferenceForEveryLength) {
    const Kernels& k = *GetParam();
    const auto in = randomBytes(3 * 4096, 3);
    for (std::size_t groups = 0; groups <= 4096 / 3 + 40; ++groups) {
        std::vector<char> want(4 * groups), got(4 * groups);
        stretchReference(in.data(), 3 * groups, want.data());
        k.stretchGroups(in.data(), groups, got.data());
        ASSERT_EQ(got, want) << k.name << " groups=" << groups;

        const auto* chars = reinterpret_cast<const unsigned char*>(want.data());
        std::vector<unsigned char> back(3 * groups);
        ASSERT_EQ(k.shrinkGroups(chars, groups, back.data()), groups) << k.name;
        ASSERT_EQ(back, std::vector<unsigned char>(in.begin(), in.begin() + 3 * groups));
    }
}

// Characters above 122 are not refused: the fast path must give the reference's bytes.
TEST_P(KernelsTest, ShrinkOfCharactersAboveTheRangeMatchesTheReference) {
    const Kernels& k = *GetParam();
    auto chars = randomBytes(4 * 5000, 4);
    for (auto& c : chars) c = static_cast<unsigned char>(59 + c % 197);
    std::vector<unsigned char> want(3 * 5000), got(3 * 5000);
    ASSERT_TRUE(shrinkReference(chars.data(), chars.size(), want.data()));
    ASSERT_EQ(k.shrinkGroups(chars.data(), 5000, got.data()), 5000u);
    EXPECT_EQ(got, want) << k.name;
}

// A character below 59 stops the fast shrink at or before its group, never after.
TEST_P(KernelsTest, ShrinkStopsBeforeACharacterBelowTheRange) {
    const Kernels& k = *GetParam();
    for (std::size_t bad : {0u, 5u, 63u, 64u, 1000u, 4095u}) {
        auto chars = bodyCharacters(4096, 5);
        chars[bad] = 58;
        std::vector<unsigned char> out(3 * 1024);
        const std::size_t done = k.shrinkGroups(chars.data(), 1024, out.data());
        EXPECT_LE(done, bad / 4) << k.name << " bad=" << bad;
    }
}

TEST_P(KernelsTest, BoundsFindTheSmallestAndLargestByteAnywhere) {
    const Kernels& k = *GetParam();
    EXPECT_EQ(k.bounds(nullptr, 0).low, 255u);
    EXPECT_EQ(k.bounds(nullptr, 0).high, 0u);
    const auto data = bodyCharacters(1000, 6);
    for (std::size_t pos : {0u, 31u, 32u, 63u, 64u, 500u, 999u}) {
        for (unsigned char odd : {13, 123, 0, 255}) {
            auto copy = data;
            copy[pos] = odd;
            const Bounds with = k.bounds(copy.data(), pos + 1);
            const Bounds without = k.bounds(copy.data(), pos);
            EXPECT_EQ(odd < 59 ? with.low : with.high, odd) << k.name << pos;
            EXPECT_GE(without.low, 59u) << k.name << pos;
            EXPECT_LE(without.high, 122u) << k.name << pos;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(AllKernels, KernelsTest, ::testing::ValuesIn(supportedKernels()),
                         [](const auto& info) { return std::string(info.param->name); });

}  // namespace
}  // namespace kerfo::cipher::detail
