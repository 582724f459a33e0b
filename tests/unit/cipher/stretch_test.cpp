#include "cipher/stretch.h"

#include <gtest/gtest.h>

#include <cstdint>

#include "cipher/cipher.h"
#include "platform/error.h"
#include "support/vectors.h"

namespace kerfo::cipher {
namespace {

std::string stretched(const std::string& in) {
    Cipher c;
    c.Text(in);
    c.Stretch();
    return c.Text();
}

std::string shrunk(const std::string& in) {
    Cipher c;
    c.Text(in);
    c.Shrink();
    return c.Text();
}

TEST(StretchTest, ReproducesTheSharedStretchVectors) {
    const auto rows = test::readTsv("stretch.tsv");
    ASSERT_FALSE(rows.empty());
    for (const auto& row : rows) {
        const std::string in = test::fromHex(row[0]);
        EXPECT_EQ(test::toHex(stretched(in)), row[1]) << row[0];
        EXPECT_EQ(shrunk(test::fromHex(row[1])), in) << row[0];
    }
}

TEST(StretchTest, LengthsGrowByAThird) {
    EXPECT_EQ(stretched("a").size(), 2u);
    EXPECT_EQ(stretched("ab").size(), 3u);
    EXPECT_EQ(stretched("abc").size(), 4u);
    EXPECT_EQ(stretched("abcd").size(), 6u);
    EXPECT_EQ(stretched("480317").size(), 8u);
    EXPECT_EQ(stretched(""), "");
}

// Every length 1..300, every byte value in every position of a group, and the
// result stays within the printable range.
TEST(StretchTest, ShrinkUndoesStretchForEveryLengthAndByte) {
    for (std::size_t n = 1; n <= 300; ++n) {
        for (int shift = 0; shift < 3; ++shift) {
            std::string in(n, '\0');
            for (std::size_t i = 0; i < n; ++i) in[i] = static_cast<char>((i * 97 + shift * 85) & 255);
            const std::string out = stretched(in);
            ASSERT_EQ(out.size(), stretchedLength(n));
            for (unsigned char ch : out) ASSERT_TRUE(ch >= 59 && ch <= 122) << n;
            ASSERT_EQ(shrunk(out), in) << n;
        }
    }
    for (int code : {0, 63, 64, 127, 128, 191, 192, 255}) {
        for (std::size_t pos = 0; pos < 3; ++pos) {
            std::string in = "xyz";
            in[pos] = static_cast<char>(code);
            EXPECT_EQ(shrunk(stretched(in)), in) << code;
        }
    }
}

TEST(StretchTest, OneCharacterShrinksToEmpty) { EXPECT_EQ(shrunk(";"), ""); }

// A character above 122 is not refused: it decodes to some byte, as the format's reader did.
TEST(StretchTest, CharactersAboveTheRangeShrinkWithoutError) {
    EXPECT_NO_THROW(shrunk("{{{{"));
}

// Piecewise stretching in whole groups gives the same text as stretching at once.
TEST(StretchTest, WholeGroupsStretchAndShrinkPiecewise) {
    std::string in(3000, '\0');
    for (std::size_t i = 0; i < in.size(); ++i) in[i] = static_cast<char>(i * 31);
    std::string whole(stretchedLength(in.size()), ' ');
    stretchInto(in, whole.data());
    std::string pieces(whole.size(), ' ');
    stretchInto(std::string_view(in).substr(0, 1500), pieces.data());
    stretchInto(std::string_view(in).substr(1500), pieces.data() + 2000);
    EXPECT_EQ(pieces, whole);

    std::string back(in.size(), ' ');
    ASSERT_TRUE(shrinkInto(std::string_view(whole).substr(0, 2000), back.data()));
    ASSERT_TRUE(shrinkInto(std::string_view(whole).substr(2000), back.data() + 1500));
    EXPECT_EQ(back, in);
}

}  // namespace
}  // namespace kerfo::cipher

namespace kerfo::cipher {
namespace {

std::string patterned(std::size_t n, unsigned salt) {
    std::string s(n, '\0');
    std::uint32_t x = 0x9E3779B9u ^ salt;
    for (auto& ch : s) {
        x = x * 1664525u + 1013904223u;
        ch = static_cast<char>(x >> 24);
    }
    return s;
}

// Stretch and Shrink work within the text's own storage in chunks; texts longer than a
// chunk, ending anywhere in a group, must come out as the out-of-place encoding gives.
TEST(StretchTest, InPlaceMatchesOutOfPlaceAcrossChunks) {
    for (std::size_t n : {49151u, 49152u, 49153u, 98304u + 2u, 200000u}) {
        const std::string in = patterned(n, static_cast<unsigned>(n));
        std::string expected(stretchedLength(n), ' ');
        stretchInto(in, expected.data());
        const std::string out = stretched(in);
        ASSERT_EQ(out, expected) << n;
        ASSERT_EQ(shrunk(out), in) << n;
    }
}

// A refused character far into a long text still leaves the whole text as it was.
TEST(StretchTest, RefusedShrinkOfALongTextLeavesItUnchanged) {
    std::string body = stretched(patterned(150000, 7));
    body[170001] = ':';  // a data position (not a multiple of four, counted from 1)
    Cipher c;
    c.Text(body);
    EXPECT_THROW(c.Shrink(), platform::RuntimeError);
    EXPECT_EQ(c.Text(), body);
}

}  // namespace
}  // namespace kerfo::cipher
