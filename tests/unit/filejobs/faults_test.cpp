// Failures injected through the file layer: whatever fails, the original stays as it
// was, no temporary file is left, and nothing stands under the new name.
#include <gtest/gtest.h>

#include "fakes/faulty_file_system.h"
#include "filejobs/jobs.h"
#include "filejobs/messages.h"
#include "job_support.h"

#ifndef EDQUOT
#define EDQUOT ENOSPC  // no quotas in the C library here; both are a full disk (61)
#endif

namespace kerfo::filejobs {
namespace {

using Op = test::FaultyFileSystem::Op;
using test::readFile;

constexpr std::size_t kPlainSize = 2'000'003;  // several chunks each way

std::uint64_t encryptedSize(std::uint64_t n) {
    const std::uint64_t body = n + (n + 2) / 3;
    return 26 + body + 2 * ((body + 69) / 70);
}

class Faults : public ::testing::Test {
protected:
    void SetUp() override {
        plain = test::randomBytes(kPlainSize, 7);
        plainPath = dir.write("doc.txt", plain);
        const auto enc = Encrypt(plainPath, "pw", test::fixedSalt());
        ASSERT_EQ(enc.status, JobStatus::kDone);
        encrypted = readFile(enc.newPath);
        encryptedPath = enc.newPath;
        std::filesystem::remove(encryptedPath);
    }

    // Runs one job on a fresh original through `files` and checks that it failed
    // with `error` and left only the original, byte for byte; a decryption's report ends
    // with `cause` when one is given.
    void expectIntact(bool encrypt, test::FaultyFileSystem& files, int error,
                      std::string_view cause = {}) {
        JobContext context = test::fixedSalt();
        context.files = &files;
        const std::string& path = encrypt ? plainPath : encryptedPath;
        const std::string& content = encrypt ? plain : encrypted;
        dir.write(encrypt ? "doc.txt" : "doc.kfo", content);
        const auto result = encrypt ? Encrypt(path, "pw", context) : Decrypt(path, "pw", context);
        ASSERT_EQ(result.status, JobStatus::kFailed);
        ASSERT_TRUE(result.error);
        EXPECT_EQ(result.error->code(), error);
        EXPECT_EQ(readFile(path), content);
        EXPECT_EQ(dir.listing(), encrypt ? "doc.txt " : "doc.kfo ");
        if (!encrypt && !cause.empty()) {
            const std::string report = decryptErrorReport(result, path).text;
            EXPECT_EQ(report.substr(report.find("\r\nProbable cause")), "\r\n" + std::string(cause))
                << report;
        }
        std::filesystem::remove(path);
    }

    test::ScratchDir dir;
    std::string plain, plainPath, encrypted, encryptedPath;
};

TEST_F(Faults, DiskFullAtFirstMiddleAndLastWrite) {
    for (const bool encrypt : {true, false}) {
        const std::uint64_t total = encrypt ? encryptedSize(kPlainSize) : kPlainSize;
        for (const std::uint64_t limit : {std::uint64_t{0}, total / 2, total - 1}) {
            SCOPED_TRACE((encrypt ? "encrypt, limit " : "decrypt, limit ") + std::to_string(limit));
            test::FaultyFileSystem files;
            files.writeLimit = limit;
            expectIntact(encrypt, files, 61,
                         "Probable cause: the disk is full.\r\nThe file is unchanged.");
            EXPECT_EQ(files.newFiles, 1);
        }
    }
}

// Whatever fails, the original stays; decryption's report blames the file only where a
// read of it failed, and otherwise says what did.
TEST_F(Faults, EachFileOperationFailingLeavesTheOriginal) {
    struct Case {
        Op op;
        int callNumber;
        int err;
        int error;
        const char* cause;
    };
    constexpr const char* kUnchanged = "\r\nThe file is unchanged.";
    const std::string moved =
        std::string("Probable cause: the file was moved or removed meanwhile.") + kUnchanged;
    const std::string noWrite =
        std::string("Probable cause: Kerfo may not write in this folder.") + kUnchanged;
    const std::string failed =
        std::string("Probable cause: the disk failed to store the new file.") + kUnchanged;
    const std::string full = std::string("Probable cause: the disk is full.") + kUnchanged;
    const Case cases[] = {
        {Op::kOpenSource, 1, ENOENT, 53, moved.c_str()},   // the source vanished
        {Op::kCreateNew, 1, EACCES, 70, noWrite.c_str()},  // no right to write the directory
        {Op::kCreateNew, 1, EROFS, 70, noWrite.c_str()},   // read-only file system
        {Op::kSync, 1, EIO, 57, failed.c_str()},
        {Op::kApplyAccess, 1, EPERM, 70, noWrite.c_str()},
        {Op::kClose, 1, EDQUOT, 61, full.c_str()},    // a delayed write error
        {Op::kOpenRead, 1, EIO, 57, failed.c_str()},  // reading back for the check
        {Op::kCommit, 1, EXDEV, 57, failed.c_str()},
        {Op::kRead, 3, EIO, 57,
         "Probable cause: a tampered or corrupt file."},  // a bad sector of the source
    };
    for (const bool encrypt : {true, false}) {
        for (const auto& c : cases) {
            SCOPED_TRACE(std::string(encrypt ? "encrypt" : "decrypt") + " op " +
                         std::to_string(static_cast<int>(c.op)) + " call " +
                         std::to_string(c.callNumber));
            test::FaultyFileSystem files;
            files.failOp = c.op;
            files.failOnCall = c.callNumber;
            files.failErrno = c.err;
            expectIntact(encrypt, files, c.error, c.cause);
        }
    }
}

TEST_F(Faults, DamagedWriteIsCaughtByReadingBack) {
    for (const bool encrypt : {true, false}) {
        const std::uint64_t total = encrypt ? encryptedSize(kPlainSize) : kPlainSize;
        for (const std::uint64_t at : {std::uint64_t{3}, std::uint64_t{30}, total - 3}) {
            SCOPED_TRACE((encrypt ? "encrypt, byte " : "decrypt, byte ") + std::to_string(at));
            test::FaultyFileSystem files;
            files.corruptAt = at;
            // A damaged body character may leave the body's range (5) or decode wrongly (57).
            JobContext context = test::fixedSalt();
            context.files = &files;
            const std::string& path = encrypt ? plainPath : encryptedPath;
            dir.write(encrypt ? "doc.txt" : "doc.kfo", encrypt ? plain : encrypted);
            const auto result = encrypt ? Encrypt(path, "pw", context) : Decrypt(path, "pw", context);
            ASSERT_EQ(result.status, JobStatus::kFailed);
            EXPECT_TRUE(result.error->code() == 57 || result.error->code() == 5);
            EXPECT_EQ(dir.listing(), encrypt ? "doc.txt " : "doc.kfo ");
            std::filesystem::remove(path);
        }
    }
}

TEST_F(Faults, FailedRemovalAfterTheRenameKeepsBothFiles) {
    test::FaultyFileSystem files;
    files.failOp = Op::kRemove;
    files.failErrno = EBUSY;
    JobContext context = test::fixedSalt();
    context.files = &files;
    dir.write("doc.txt", plain);
    const auto result = Encrypt(plainPath, "pw", context);
    ASSERT_EQ(result.status, JobStatus::kFailed);
    EXPECT_EQ(result.error->code(), 75);
    EXPECT_EQ(result.newPath, encryptedPath);
    EXPECT_EQ(readFile(plainPath), plain);
    EXPECT_EQ(test::decodeWhole(readFile(encryptedPath)), plain);
    EXPECT_EQ(dir.listing(), "doc.kfo doc.txt ");
    // The user must hear that the plain text is still there, and where.
    EXPECT_EQ(encryptFailureMessage(result, plainPath).text,
              "Run-time error '75':\r\n\r\nPath/File access error\r\n\r\nThe new file " +
                  encryptedPath + " is complete, but " + plainPath +
                  " could not be removed: it still holds the plain text.");
}

}  // namespace
}  // namespace kerfo::filejobs
