// Reading back the file a job writes, on a helper thread: what it catches (a file shorter
// or longer than what was written, a damaged header or body) and that a good file's
// checksum is the plain text's, however the writes were cut.
#include "filejobs/read_back.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <utility>

#include "cipher/cipher.h"
#include "cipher/classic_random.h"
#include "job_support.h"
#include "platform/error.h"
#include "support/results.h"

namespace kerfo::filejobs {
namespace {

// A file held in memory that a test appends to while the helper reads it.
class GrowingFile final : public platform::File {
public:
    struct Content {
        std::mutex mutex;
        std::string bytes;
        // Reads from this offset on fail, as a handle the system revoked would.
        std::optional<std::size_t> failReadsAt;
    };
    explicit GrowingFile(std::shared_ptr<Content> content) : m_content(std::move(content)) {}

    platform::Result<std::size_t> read(char* buffer, std::size_t size) override {
        std::lock_guard<std::mutex> lock(m_content->mutex);
        if (m_content->failReadsAt && m_pos >= *m_content->failReadsAt) {
            return platform::RuntimeError(platform::ErrorNumber::kPermissionDenied);
        }
        const std::size_t n = std::min(size, m_content->bytes.size() - m_pos);
        std::memcpy(buffer, m_content->bytes.data() + m_pos, n);
        m_pos += n;
        return n;
    }
    platform::Status write(const char*, std::size_t) override { return {}; }
    platform::Status sync() override { return {}; }
    platform::Status setPermissions(unsigned) override { return {}; }
    // The read-back never asks who a file is; a check that starts to must not pass here.
    platform::Result<platform::FileStamp> stamp() override {
        return platform::RuntimeError(platform::ErrorNumber::kDeviceIo);
    }
    platform::Result<platform::FileAccess> access() override {
        return platform::RuntimeError(platform::ErrorNumber::kDeviceIo);
    }
    platform::Status close() override { return {}; }

private:
    std::shared_ptr<Content> m_content;
    std::size_t m_pos = 0;
};

Checksum checksumOf(const std::string& bytes) {
    Checksum sum;
    sum.update(bytes.data(), bytes.size());
    return sum;
}

// Appends `bytes` in pieces of `piece` and reports each one, as a job's writes would;
// `reported` may differ from the file's true growth to imitate a faulty layer. Stops at
// the first failure the read-back reports.
class Writer {
public:
    explicit Writer(ReadBackCheck& check, std::optional<std::size_t> failReadsAt = std::nullopt)
        : m_content(std::make_shared<GrowingFile::Content>()),
          m_readBack(std::make_unique<GrowingFile>(m_content), check) {
        m_content->failReadsAt = failReadsAt;
    }

    platform::Status write(const std::string& bytes, std::size_t piece,
                           std::uint64_t extraReported = 0) {
        for (std::size_t at = 0; at < bytes.size(); at += piece) {
            const std::string part = bytes.substr(at, piece);
            {
                std::lock_guard<std::mutex> lock(m_content->mutex);
                m_content->bytes += part;
            }
            m_total += part.size();
            KERFO_TRY(m_readBack.written(m_total + extraReported));
        }
        return {};
    }
    void appendUnreported(const std::string& bytes) {
        std::lock_guard<std::mutex> lock(m_content->mutex);
        m_content->bytes += bytes;
    }
    platform::Result<Checksum> finish(std::uint64_t extraReported = 0) {
        return m_readBack.finish(m_total + extraReported);
    }

private:
    std::shared_ptr<GrowingFile::Content> m_content;
    ConcurrentReadBack m_readBack;
    std::uint64_t m_total = 0;
};

TEST(ReadBack, PlainFileChecksumDoesNotDependOnHowWritesWereCut) {
    const std::string bytes = test::randomBytes(3'000'001, 3);
    for (const std::size_t piece : {std::size_t{1} << 20, std::size_t{4093}, bytes.size()}) {
        PlainCheck check;
        Writer writer(check);
        ASSERT_TRUE(writer.write(bytes, piece));
        EXPECT_TRUE(writer.finish().value() == checksumOf(bytes)) << "pieces of " << piece;
    }
}

TEST(ReadBack, FileShorterOrLongerThanWrittenIsAnError) {
    const std::string bytes = test::randomBytes(700'000, 4);
    {
        SCOPED_TRACE("a write the file does not hold");
        PlainCheck check;
        Writer writer(check);
        // The helper may catch it while the writer writes, or at the end.
        const platform::Status written = writer.write(bytes, 65536, 10);
        EXPECT_EQ(written ? test::errorOf(writer.finish(10)) : test::errorOf(written), 57);
    }
    {
        SCOPED_TRACE("bytes no write put there");
        PlainCheck check;
        Writer writer(check);
        ASSERT_TRUE(writer.write(bytes, 65536));
        writer.appendUnreported("x");
        EXPECT_EQ(test::errorOf(writer.finish()), 57);
    }
}

// A read of the second handle that fails, on the helper thread or at the end, is the
// error the writer gets, never a file taken for checked.
TEST(ReadBack, FailedReadBackIsTheWritersError) {
    const std::string bytes = test::randomBytes(700'000, 8);
    for (const std::size_t failAt : {std::size_t{0}, std::size_t{300'000}, bytes.size()}) {
        SCOPED_TRACE(failAt);
        PlainCheck check;
        Writer writer(check, failAt);
        const platform::Status written = writer.write(bytes, 65536);
        EXPECT_EQ(written ? test::errorOf(writer.finish()) : test::errorOf(written), 70);
    }
}

// An encrypted file as the jobs write it, made here with the whole-text cipher.
struct Encrypted {
    std::string headerLine;
    std::string file;
};

Encrypted encryptWhole(const std::string& plain) {
    const std::string header = "[Kerfod]ABCDEFGHIJKLMNOP";
    cipher::Cipher c;
    c.KeyString(header);
    c.Text(plain);
    c.DoXor();
    c.Stretch();
    const std::string body = c.Text();
    Encrypted e{header + "\r\n", header + "\r\n"};
    for (std::size_t at = 0; at < body.size(); at += 70) e.file += body.substr(at, 70) + "\r\n";
    return e;
}

// Runs an EncryptedCheck over `file`, cut into `piece`s.
platform::Result<Checksum> checkEncrypted(const Encrypted& e, const std::string& file,
                                          std::size_t piece) {
    EncryptedCheck check(e.headerLine);
    Writer writer(check);
    KERFO_TRY(writer.write(file, piece));
    return writer.finish();
}

TEST(ReadBack, EncryptedFileDecryptsToThePlainChecksum) {
    // Byte by byte over a short file (a header split across reads), in pieces over a long one.
    for (const auto& [size, piece] : {std::pair<std::size_t, std::size_t>{1000, 1}, {1'000'000, 71},
                                      {1'000'000, 300'000}}) {
        const std::string plain = test::randomBytes(size, 5);
        const Encrypted e = encryptWhole(plain);
        EXPECT_TRUE(checkEncrypted(e, e.file, piece).value() == checksumOf(plain))
            << "pieces of " << piece;
    }
}

TEST(ReadBack, DamagedEncryptedFileIsCaught) {
    const std::string plain = test::randomBytes(200'000, 6);
    const Encrypted e = encryptWhole(plain);
    struct Case {
        const char* what;
        std::size_t at;
        char replacement;
        int error;
    };
    const Case cases[] = {
        {"header", 3, 'x', 57},
        {"header line end", e.headerLine.size() - 1, 'x', 57},
        {"body out of range", e.headerLine.size() + 100, '~', 5},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::string file = e.file;
        file[c.at] = c.replacement;
        EXPECT_EQ(test::errorOf(checkEncrypted(e, file, 65536)), c.error);
    }
}

TEST(ReadBack, EncryptedCheckLeavesTheSharedGeneratorAlone) {
    const Encrypted e = encryptWhole(test::randomBytes(10'000, 7));
    const std::uint32_t before = cipher::randomSeed();
    EncryptedCheck check(e.headerLine);
    check.consume(e.file.data(), e.file.size());
    check.finish();
    EXPECT_EQ(cipher::randomSeed(), before);
}

}  // namespace
}  // namespace kerfo::filejobs
