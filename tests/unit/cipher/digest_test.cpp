#include "cipher/digest.h"

#include <gtest/gtest.h>

#include "cipher/cipher.h"
#include "platform/error.h"
#include "support/vectors.h"

namespace kerfo::cipher {
namespace {

TEST(DigestTest, ReproducesTheSharedDigestVectors) {
    const auto rows = test::readTsv("digest.tsv");
    ASSERT_FALSE(rows.empty());
    for (const auto& row : rows) {
        const std::string digest = Hash(test::fromHex(row[0]));
        EXPECT_EQ(test::toHex(digest), row[1]) << row[0];
        EXPECT_EQ(digest, row[2]) << row[0];
    }
}

TEST(DigestTest, SameInputSameDigestWhateverCameBetween) {
    const std::string first = Hash("password");
    Cipher other;
    other.KeyString("something else");
    other.Text("text");
    other.DoXor();
    EXPECT_EQ(Hash("password"), first);
    EXPECT_NE(Hash("Password"), first);
}

TEST(DigestTest, EveryDigestIsEightPrintableCharacters) {
    for (const std::string& in :
         {std::string(), std::string("a"), std::string(1000, '\xff'), std::string(5, '\0')}) {
        const std::string d = Hash(in);
        ASSERT_EQ(d.size(), 8u);
        for (unsigned char ch : d) EXPECT_TRUE(ch >= 59 && ch <= 122);
    }
}

// The second key is four thirds of the first, so it reaches the 16-bit limit first.
TEST(DigestTest, LongInputOverflowsInTheSecondKeying) {
    // m + (m + 2) / 3 <= 32766 holds up to m = 24574, i.e. an input of 24568 characters.
    EXPECT_NO_THROW(Hash(std::string(24568, 'p')));
    try {
        Hash(std::string(24569, 'p'));
        FAIL() << "no overflow";
    } catch (const platform::RuntimeError& e) {
        EXPECT_EQ(e.code(), 6);
    }
}

}  // namespace
}  // namespace kerfo::cipher
