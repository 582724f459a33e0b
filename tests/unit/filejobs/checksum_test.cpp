#include "filejobs/checksum.h"

#include <gtest/gtest.h>

#include "job_support.h"

namespace kerfo::filejobs {
namespace {

Checksum of(const std::string& bytes, std::size_t piece) {
    Checksum sum;
    for (std::size_t i = 0; i < bytes.size(); i += piece) {
        sum.update(bytes.data() + i, std::min(piece, bytes.size() - i));
    }
    return sum;
}

TEST(Checksum, SameBytesSameSumHoweverSplit) {
    const std::string bytes = test::randomBytes(1000, 5);
    const Checksum whole = of(bytes, bytes.size());
    for (const std::size_t piece : {1u, 3u, 7u, 31u, 32u, 33u, 100u}) {
        EXPECT_TRUE(of(bytes, piece) == whole) << piece;
    }
}

TEST(Checksum, EveryFlippedBitLengthChangeAndSwapIsSeen) {
    const std::string bytes = test::randomBytes(100, 6);
    const Checksum whole = of(bytes, 100);
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        for (int bit = 0; bit < 8; ++bit) {
            std::string damaged = bytes;
            damaged[i] = static_cast<char>(damaged[i] ^ (1 << bit));
            ASSERT_TRUE(of(damaged, 100) != whole) << i << ":" << bit;
        }
    }
    EXPECT_TRUE(of(bytes.substr(0, 99), 99) != whole);
    EXPECT_TRUE(of(bytes + std::string(1, '\0'), 101) != whole);  // a trailing zero byte
    std::string swapped = bytes;
    std::swap(swapped[0], swapped[8]);  // two words of one stripe
    ASSERT_NE(swapped, bytes);
    EXPECT_TRUE(of(swapped, 100) != whole);
    EXPECT_TRUE(of(std::string(32, '\0'), 32) != of(std::string(), 1));
}

}  // namespace
}  // namespace kerfo::filejobs
