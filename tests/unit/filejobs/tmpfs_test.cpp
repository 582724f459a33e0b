// The jobs on a real, small file system: one that fills up and one mounted read-only.
// Needs the right to mount (root in CI); skipped with a message elsewhere.
#include <sys/mount.h>

#include <cerrno>
#include <cstring>

#include <gtest/gtest.h>

#include "filejobs/gate.h"
#include "filejobs/jobs.h"
#include "job_support.h"

namespace kerfo::filejobs {
namespace {

using test::readFile;

class SmallFileSystem : public ::testing::Test {
protected:
    void SetUp() override {
        mountPoint = dir / "mnt";
        std::filesystem::create_directory(mountPoint);
        // 64 KiB: room for a 30 000-byte file but not for it and its encrypted form.
        if (::mount("tmpfs", mountPoint.c_str(), "tmpfs", 0, "size=64k,mode=0755") != 0) {
            GTEST_SKIP() << "cannot mount a tmpfs here (" << std::strerror(errno)
                         << "); run as root to test a full and a read-only file system";
        }
        mounted = true;
    }
    void TearDown() override {
        if (mounted) ::umount2(mountPoint.c_str(), MNT_DETACH);
    }
    std::string listing() const {
        std::string names;
        for (const auto& e : std::filesystem::directory_iterator(mountPoint)) {
            names += e.path().filename().string() + " ";
        }
        return names;
    }

    test::ScratchDir dir;
    std::string mountPoint;
    bool mounted = false;
};

TEST_F(SmallFileSystem, FullDiskLeavesTheOriginalBothWays) {
    const std::string plain = test::randomBytes(30000, 3);
    const std::string path = mountPoint + "/big.txt";
    std::ofstream(path, std::ios::binary) << plain;
    const auto enc = Encrypt(path, "pw", test::fixedSalt());
    ASSERT_EQ(enc.status, JobStatus::kFailed);
    EXPECT_EQ(enc.error->code(), 61);
    EXPECT_EQ(readFile(path), plain);
    EXPECT_EQ(listing(), "big.txt ");

    // The encrypted file made elsewhere, brought in with a filler that uses up the room.
    const std::string outside = dir.write("big.txt", plain);
    const auto made = Encrypt(outside, "pw", test::fixedSalt());
    ASSERT_EQ(made.status, JobStatus::kDone);
    std::filesystem::remove(path);
    const std::string encrypted = readFile(made.newPath);
    std::filesystem::copy_file(made.newPath, mountPoint + "/big.kfo");
    std::ofstream(mountPoint + "/filler", std::ios::binary) << std::string(16000, 'f');
    const auto dec = Decrypt(mountPoint + "/big.kfo", "pw");
    ASSERT_EQ(dec.status, JobStatus::kFailed);
    EXPECT_EQ(dec.error->code(), 61);
    EXPECT_EQ(readFile(mountPoint + "/big.kfo"), encrypted);
    EXPECT_FALSE(std::filesystem::exists(mountPoint + "/big.txt"));
}

TEST_F(SmallFileSystem, ReadOnlyMountIsRefusedByTheGateAndTheJob) {
    const std::string path = mountPoint + "/note.txt";
    std::ofstream(path, std::ios::binary) << "a note";
    ASSERT_EQ(::mount(nullptr, mountPoint.c_str(), nullptr, MS_REMOUNT | MS_RDONLY, nullptr), 0)
        << std::strerror(errno);
    const auto gate = checkAll(path);
    ASSERT_TRUE(gate.refusal);
    EXPECT_EQ(gate.refusal->text, path + " is Read-only:\r\nchange this file attribute and try again.");
    const auto enc = Encrypt(path, "pw", test::fixedSalt());
    ASSERT_EQ(enc.status, JobStatus::kFailed);
    EXPECT_EQ(enc.error->code(), 70);
    EXPECT_EQ(readFile(path), "a note");
    EXPECT_EQ(listing(), "note.txt ");
}

}  // namespace
}  // namespace kerfo::filejobs
