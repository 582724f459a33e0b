// Security properties of the file layer and the jobs: temporary files private, exclusive
// and locked; stale ones of dead jobs removed, live ones never; output names only ever
// from the target's own name, never from the file's content.
#include <sys/file.h>

#include "harness.h"
#include "platform/file_system.h"
#include "platform/secret.h"

namespace kerfo::reliability {
namespace {

TEST(Security, TemporaryFilesArePrivateExclusiveAndLocked) {
    test::ScratchDir dir;
    auto& files = platform::realFileSystem();
    std::string first, second;
    const auto a = files.createTemp(dir.path().string(), first);
    const auto b = files.createTemp(dir.path().string(), second);
    EXPECT_NE(first, second);
    struct stat st {};
    ASSERT_EQ(::stat(first.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
    // A running job's file is locked: the stale-file sweep must leave it alone.
    const int fd = ::open(first.c_str(), O_RDONLY);
    EXPECT_NE(::flock(fd, LOCK_EX | LOCK_NB), 0);
    ::close(fd);
    files.removeStaleTemps(dir.path().string());
    EXPECT_TRUE(exists(first));
}

TEST(Security, OnlyStaleUnlockedTemporaryFilesAreRemoved) {
    test::ScratchDir dir;
    const std::string stale = dir.write(".kerfo-AbC123", "left by a killed job");
    const std::string fresh = dir.write(".kerfo-XyZ789", "written a moment ago");
    const std::string other = dir.write(".kerfo-notes", "not a temporary name");
    const std::string user = dir.write("notes.kerfo-AbC123", "the user's");
    const auto old = std::filesystem::file_time_type::clock::now() - std::chrono::minutes(10);
    for (const auto& p : {stale, other, user}) std::filesystem::last_write_time(p, old);
    const std::string link = dir / ".kerfo-LnK000";
    std::filesystem::create_symlink(user, link);
    platform::realFileSystem().removeStaleTemps(dir.path().string());
    EXPECT_FALSE(exists(stale));
    EXPECT_TRUE(exists(fresh));
    EXPECT_TRUE(exists(other));
    EXPECT_TRUE(exists(user));
    EXPECT_TRUE(exists(link)) << "a link is never followed nor removed";
}

TEST(Security, OutputNameComesFromTheTargetNameOnly) {
    test::ScratchDir dir;
    test::ScratchDir elsewhere;
    // Content that looks like paths and names must stay content.
    const std::string plain = "../escape.txt\n" + (elsewhere / "x.txt") + "\n/etc/passwd\0.kfo";
    const std::string path = dir.write("doc.txt", plain);
    filejobs::JobContext context;
    context.saltSource = [] { return std::string("salt"); };
    ASSERT_EQ(filejobs::Encrypt(path, "pw", context).status, filejobs::JobStatus::kDone);
    ASSERT_EQ(filejobs::Decrypt(dir / "doc.kfo", "pw", context).status, filejobs::JobStatus::kDone);
    EXPECT_EQ(dir.listing(), "doc.txt ");
    EXPECT_EQ(elsewhere.listing(), "");
    EXPECT_EQ(readAll(path), plain);
}

TEST(Security, SecretStringGrowsWithoutLeavingCopies) {
    platform::SecretString secret("short");
    secret.append(std::string(100, 'p'));
    EXPECT_EQ(secret.str(), "short" + std::string(100, 'p'));
    std::string text = "password";
    platform::wipe(text);
    EXPECT_TRUE(text.empty());
}

}  // namespace
}  // namespace kerfo::reliability
