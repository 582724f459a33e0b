#include "cipher/transform.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "cipher/cipher.h"
#include "platform/error.h"
#include "cipher/classic_random.h"
#include "support/files.h"

namespace kerfo::cipher {
namespace {

constexpr std::string_view kHeader = "[Kerfod]SALTsaltDIGESTdi";

using test::randomBytes;

// The body lines as the whole-text Cipher and the line writer make them: lines of 70
// characters with CR LF, and always at least one line.
std::string referenceBody(const std::string& plain) {
    Cipher c;
    c.KeyString(kHeader);
    c.Text(plain);
    c.DoXor();
    c.Stretch();
    const std::string& body = c.Text();
    std::string lines;
    std::size_t off = 0;
    do {
        lines += body.substr(off, kBodyLineLength);
        lines += "\r\n";
        off += kBodyLineLength;
    } while (off < body.size());
    return lines;
}

std::string referencePlain(std::string body) {
    std::erase_if(body, [](char ch) { return ch == '\r' || ch == '\n'; });
    Cipher c;
    c.KeyString(kHeader);
    c.Text(std::move(body));
    c.Shrink();
    c.DoXor();
    return c.takeText();
}

// Chunk sizes to cut an input into: fixed, or pseudo-random from 1 to `maxChunk`.
std::vector<std::size_t> cuts(std::size_t total, std::size_t maxChunk, std::uint32_t seed) {
    std::mt19937 gen(seed);
    std::vector<std::size_t> sizes;
    while (total > 0) {
        const std::size_t n = std::min<std::size_t>(total, 1 + gen() % maxChunk);
        sizes.push_back(n);
        total -= n;
    }
    return sizes;
}

std::string encryptInChunks(std::string_view plain, const std::vector<std::size_t>& sizes) {
    EncryptTransform t(keyState(kHeader));
    std::string out;
    std::size_t off = 0;
    for (std::size_t n : sizes) {
        std::string buffer(EncryptTransform::maxOutput(n), '\0');
        const std::size_t written = t.update(plain.substr(off, n), buffer.data());
        EXPECT_LE(written, buffer.size());
        out.append(buffer.data(), written);
        off += n;
    }
    char tail[EncryptTransform::kMaxFinishOutput];
    out.append(tail, t.finish(tail));
    return out;
}

std::string decryptInChunks(std::string_view body, const std::vector<std::size_t>& sizes,
                            BodyCheck check = BodyCheck::kLikeShrink) {
    DecryptTransform t(keyState(kHeader), check);
    std::string out;
    std::size_t off = 0;
    for (std::size_t n : sizes) {
        std::string buffer(DecryptTransform::maxOutput(n), '\0');
        const std::size_t written = t.update(body.substr(off, n), buffer.data());
        EXPECT_LE(written, buffer.size());
        out.append(buffer.data(), written);
        off += n;
    }
    char tail[DecryptTransform::kMaxFinishOutput];
    out.append(tail, t.finish(tail));
    return out;
}

TEST(TransformTest, EncryptMatchesTheWholeTextCipherForEveryLength) {
    const std::string all = randomBytes(4096, 1);
    for (std::size_t n = 0; n <= 4096; ++n) {
        const std::string plain = all.substr(0, n);
        const std::string want = referenceBody(plain);
        ASSERT_EQ(encryptInChunks(plain, {n}), want) << n;
        ASSERT_EQ(encryptInChunks(plain, cuts(n, 100, static_cast<std::uint32_t>(n))), want) << n;
    }
}

TEST(TransformTest, DecryptUndoesEncryptForEveryLength) {
    const std::string all = randomBytes(4096, 2);
    for (std::size_t n = 1; n <= 4096; ++n) {
        const std::string plain = all.substr(0, n);
        const std::string body = referenceBody(plain);
        ASSERT_EQ(decryptInChunks(body, {body.size()}), plain) << n;
        ASSERT_EQ(decryptInChunks(body, cuts(body.size(), 150, static_cast<std::uint32_t>(n))), plain)
            << n;
    }
}

// Large inputs in chunks of every kind of size; the transforms run on their own copy of
// the keyed state and leave the process-wide generator where it was.
TEST(TransformTest, LargeInputsInRandomChunksMatchTheWholeTextCipher) {
    const std::string plain = randomBytes((5u << 20) + 11, 3);
    const std::string body = referenceBody(plain);
    for (std::size_t maxChunk : {1000u, 70000u, 3000000u}) {
        cipher::setRandomSeed(0x123456);
        ASSERT_EQ(encryptInChunks(plain, cuts(plain.size(), maxChunk, 9)), body) << maxChunk;
        ASSERT_EQ(decryptInChunks(body, cuts(body.size(), maxChunk, 10)), plain) << maxChunk;
        EXPECT_EQ(cipher::randomSeed(), 0x123456u);
    }
}

// Lines of other lengths, lone CR or LF, blank lines: every line end is dropped and the
// rest is the body, as the whole-text cipher shrinks it.
TEST(TransformTest, DecryptJoinsIrregularLinesLikeTheWholeText) {
    const std::string plain = randomBytes(200000, 4);
    std::string body = referenceBody(plain);
    std::erase_if(body, [](char ch) { return ch == '\r' || ch == '\n'; });
    std::mt19937 gen(5);
    std::string irregular;
    for (std::size_t i = 0; i < body.size(); ++i) {
        irregular += body[i];
        switch (gen() % 97) {
            case 0: irregular += "\r"; break;
            case 1: irregular += "\n"; break;
            case 2: irregular += "\r\n\r\n"; break;
            case 3: irregular += "\n\r"; break;
            default: break;
        }
    }
    EXPECT_EQ(decryptInChunks(irregular, cuts(irregular.size(), 90000, 6)), plain);
    // Lines of 70 whose CR LF sits one place off still come out right.
    std::string shifted = referenceBody(plain);
    shifted.insert(shifted.begin(), '\n');
    EXPECT_EQ(decryptInChunks(shifted, {shifted.size()}), plain);
}

// Characters above the range and a high-bits character below it are not refused: the
// output is whatever the whole-text cipher makes of them.
TEST(TransformTest, DecryptOfOddCharactersMatchesTheWholeText) {
    std::string body = referenceBody(randomBytes(100000, 7));
    body[1000] = '~';
    body[5003] = '\x7f';
    std::erase_if(body, [](char ch) { return ch == '\r' || ch == '\n'; });
    body[4003] = '!';  // a high-bits position (the fourth of its group)
    EXPECT_EQ(decryptInChunks(body, cuts(body.size(), 5000, 8)), referencePlain(body));
}

platform::ErrorNumber decryptError(std::string_view body,
                                   BodyCheck check = BodyCheck::kLikeShrink) {
    try {
        decryptInChunks(body, cuts(body.size(), 3000, 11), check);
    } catch (const platform::RuntimeError& e) {
        return e.number();
    }
    return platform::ErrorNumber::kNone;
}

TEST(TransformTest, DecryptRefusesWhatTheWholeTextShrinkRefuses) {
    std::string body = referenceBody(randomBytes(100000, 12));
    EXPECT_EQ(decryptError(""), platform::ErrorNumber::kInvalidCall);
    EXPECT_EQ(decryptError("\r\n"), platform::ErrorNumber::kInvalidCall);
    // Data positions (not the fourth of a group), counted in the file with its CR LF.
    for (std::size_t pos : {std::size_t{0}, std::size_t{72 * 1000 + 1}, std::size_t{72 * 1388 + 2}}) {
        std::string bad = body;
        bad[pos] = ':';
        EXPECT_EQ(decryptError(bad), platform::ErrorNumber::kInvalidCall) << pos;
    }
    EXPECT_EQ(decryptError(body), platform::ErrorNumber::kNone);
}

// The written form admits only 59..122 and no lone character after the last group.
TEST(TransformTest, WrittenFormCheckRefusesWhatNoEncryptionWrites) {
    const std::string plain = randomBytes(100000, 13);
    const std::string body = referenceBody(plain);
    EXPECT_EQ(decryptInChunks(body, cuts(body.size(), 7000, 14), BodyCheck::kWrittenForm), plain);
    EXPECT_EQ(decryptError("\r\n", BodyCheck::kWrittenForm), platform::ErrorNumber::kInvalidCall);
    for (char odd : {'{', ':', '\x7f', '\0'}) {
        for (std::size_t pos : {std::size_t{3}, std::size_t{50000}, body.size() - 3}) {
            std::string bad = body;
            bad[pos] = odd;
            EXPECT_EQ(decryptError(bad, BodyCheck::kWrittenForm), platform::ErrorNumber::kInvalidCall)
                << pos << int(odd);
        }
    }
    // 133334 characters (2 after the last whole group): three more leave a lone one.
    EXPECT_EQ(decryptError(body + "AAA", BodyCheck::kWrittenForm), platform::ErrorNumber::kInvalidCall);
    EXPECT_EQ(decryptError(body + "AA", BodyCheck::kWrittenForm), platform::ErrorNumber::kNone);
}

}  // namespace
}  // namespace kerfo::cipher
