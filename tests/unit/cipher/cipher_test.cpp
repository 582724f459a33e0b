#include "cipher/cipher.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "platform/error.h"
#include "cipher/classic_random.h"
#include "support/vectors.h"

namespace kerfo::cipher {
namespace {

using platform::ErrorNumber;
using platform::RuntimeError;

ErrorNumber errorOf(auto&& action) {
    try {
        action();
    } catch (const RuntimeError& e) {
        return e.number();
    }
    return ErrorNumber::kNone;
}

std::string allBytes() {
    std::string s;
    for (int i = 0; i < 256; ++i) s.push_back(static_cast<char>(i));
    return s;
}

TEST(CipherTest, ReproducesTheSharedKeyingVectors) {
    const auto rows = test::readTsv("keying.tsv");
    ASSERT_FALSE(rows.empty());
    for (const auto& row : rows) {
        Cipher c;
        c.KeyString(test::fromHex(row[0]));
        EXPECT_EQ(cipher::randomSeed(), std::stoul(row[1], nullptr, 16)) << row[0];
        c.Text(std::string(32, '\0'));
        c.DoXor();
        EXPECT_EQ(test::toHex(c.Text()), row[2]) << row[0];
    }
}

// The keyed state as a value: the same seed as the shared keying, for every vector key and
// the longest key, without touching the process-wide generator; longer keys overflow.
TEST(CipherTest, KeyStateIsTheSharedKeyingWithoutTheSharedGenerator) {
    const std::string longest(kMaxKeyLength, 'k');
    Cipher c;
    c.KeyString(longest);
    std::vector<std::pair<std::string, std::uint32_t>> cases{{longest, cipher::randomSeed()}};
    for (const auto& row : test::readTsv("keying.tsv")) {
        cases.emplace_back(test::fromHex(row[0]), std::stoul(row[1], nullptr, 16));
    }
    ASSERT_GT(cases.size(), 1u);
    for (const auto& [key, seed] : cases) {
        cipher::setRandomSeed(0x123456);
        EXPECT_EQ(keyState(key).seed, seed) << key.size();
        EXPECT_EQ(cipher::randomSeed(), 0x123456u) << key.size();
    }
    EXPECT_EQ(errorOf([] { keyState(std::string(kMaxKeyLength + 1, 'k')); }),
              ErrorNumber::kOverflow);
}

TEST(CipherTest, SameKeyTwiceRestoresTheText) {
    const std::string plain = allBytes() + "\r\n\0tail";
    Cipher c;
    c.KeyString("secret");
    c.Text(plain);
    c.DoXor();
    EXPECT_NE(c.Text(), plain);
    c.KeyString("secret");
    c.DoXor();
    EXPECT_EQ(c.Text(), plain);
}

TEST(CipherTest, SecondXorWithoutRekeyingContinuesTheStream) {
    Cipher c;
    c.KeyString("k");
    c.Text("abcdef");
    c.DoXor();
    c.DoXor();
    EXPECT_NE(c.Text(), "abcdef");
}

TEST(CipherTest, EveryEmptyKeyGivesTheSameStream) {
    Cipher a;
    cipher::setRandomSeed(0x777777);
    a.KeyString("");
    EXPECT_EQ(cipher::randomSeed(), 0x938F86u);
    a.Text(std::string(8, 'x'));
    a.DoXor();
    Cipher b;
    b.KeyString("");
    b.Text(std::string(8, 'x'));
    b.DoXor();
    EXPECT_EQ(a.Text(), b.Text());
}

// The generator belongs to the process: keying a second object moves the first one's stream.
TEST(CipherTest, ObjectsShareTheGenerator) {
    Cipher first;
    first.KeyString("one");
    first.Text("zzzz");
    Cipher alone;
    alone.KeyString("one");
    alone.Text("zzzz");
    alone.DoXor();

    first.KeyString("one");
    Cipher second;
    second.KeyString("two");
    first.DoXor();
    EXPECT_NE(first.Text(), alone.Text());
}

TEST(CipherTest, KeyingLeavesTheTextAndTextLeavesTheGenerator) {
    Cipher c;
    c.Text("keep");
    c.KeyString("key");
    EXPECT_EQ(c.Text(), "keep");
    const auto seed = cipher::randomSeed();
    c.Text("other");
    EXPECT_EQ(cipher::randomSeed(), seed);
}

TEST(CipherTest, KeyLengthLimitIsThatOfASixteenBitLoop) {
    Cipher c;
    EXPECT_EQ(errorOf([&] { c.KeyString(std::string(32766, 'k')); }), ErrorNumber::kNone);
    const auto keyedByLongestKey = cipher::randomSeed();

    // 32767 characters are all applied before the index overflows.
    cipher::setRandomSeed(0);
    EXPECT_EQ(errorOf([&] { c.KeyString(std::string(32767, 'k')); }), ErrorNumber::kOverflow);
    EXPECT_NE(cipher::randomSeed(), keyedByLongestKey);

    // Longer keys overflow before the generator is touched.
    cipher::setRandomSeed(0x123456);
    EXPECT_EQ(errorOf([&] { c.KeyString(std::string(32768, 'k')); }), ErrorNumber::kOverflow);
    EXPECT_EQ(cipher::randomSeed(), 0x123456u);
}

TEST(CipherTest, ByteEqualToItsStreamByteBecomesZero) {
    Cipher c;
    c.KeyString("a");
    c.Text(std::string(1, '\0'));
    c.DoXor();
    const char streamByte = c.Text()[0];
    c.KeyString("a");
    c.Text(std::string(1, streamByte));
    c.DoXor();
    EXPECT_EQ(c.Text(), std::string(1, '\0'));
}

TEST(CipherTest, ShrinkFailuresLeaveTheTextAsItWas) {
    Cipher c;
    c.Text("");
    EXPECT_EQ(errorOf([&] { c.Shrink(); }), ErrorNumber::kInvalidCall);
    c.Text("ab:d");  // ':' is code 58, one below the printable range
    EXPECT_EQ(errorOf([&] { c.Shrink(); }), ErrorNumber::kInvalidCall);
    EXPECT_EQ(c.Text(), "ab:d");
}

}  // namespace
}  // namespace kerfo::cipher
