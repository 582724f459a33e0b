#include "platform/file_system.h"

#ifndef _WIN32
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

#include <filesystem>
#include <set>

#include <gtest/gtest.h>

#include "fakes/scratch_dir.h"
#include "platform/error.h"
#include "support/results.h"
#include "support/vectors.h"

namespace kerfo::platform {
namespace {

TEST(DirectoryOf, SplitsAtTheLastSeparator) {
    EXPECT_EQ(directoryOf("/home/u/notes.txt"), "/home/u");
    EXPECT_EQ(directoryOf("/notes.txt"), "/");
    EXPECT_EQ(directoryOf("notes.txt"), ".");
    EXPECT_EQ(directoryOf("d/notes.txt"), "d");
}

// POSIX permissions, FIFOs and links; Windows has its own cases (file_system_win_test.cpp).
#ifndef _WIN32
class RealFiles : public ::testing::Test {
protected:
    test::ScratchDir dir;
    FileSystem& files = realFileSystem();
};

// A new file is invisible until committed, private, and written, synced and read back
// through its own handles; destroyed uncommitted it leaves nothing.
TEST_F(RealFiles, NewFilesStayInvisibleUntilCommitted) {
    {
        const auto file = files.createNew(dir.path().string()).value();
        ASSERT_TRUE(file->write("hello", 5));
        EXPECT_EQ(dir.listing(), "");
        EXPECT_EQ(file->stamp()->size, 5u);
        EXPECT_EQ(file->access()->mode, 0600u);
    }
    EXPECT_EQ(dir.listing(), "");
    const auto file = files.createNew(dir.path().string()).value();
    ASSERT_TRUE(file->write("hello", 5));
    const auto back = file->openReadBack().value();
    char buffer[16];
    EXPECT_EQ(back->read(buffer, sizeof buffer).value(), 5u);
    EXPECT_EQ(back->read(buffer, sizeof buffer).value(), 0u);
    FileAccess access;
    access.owner = static_cast<std::uint32_t>(::geteuid());
    access.group = static_cast<std::uint32_t>(::getegid());
    access.mode = 0640;
    ASSERT_TRUE(file->applyAccess(access));
    ASSERT_TRUE(file->sync());
    ASSERT_TRUE(file->close());
    ASSERT_TRUE(file->commit(dir / "a.txt"));
    EXPECT_EQ(test::readFile(dir / "a.txt"), "hello");
    EXPECT_EQ(std::filesystem::status(dir / "a.txt").permissions(), std::filesystem::perms(0640));
    EXPECT_EQ(files.identity(dir / "a.txt"), file->stamp()->identity);
}

// The source is held for one job at a time.
TEST_F(RealFiles, SourceIsHeldForOneJob) {
    const std::string path = dir.write("doc.txt", "x");
    const auto first = files.openSource(path);
    ASSERT_TRUE(first);
    EXPECT_EQ(test::errorOf(files.openSource(path)), 55) << "opened twice";
    EXPECT_EQ(test::errorOf(files.openRead(path)), 0);
}

TEST_F(RealFiles, OpenReadRefusesAnythingButARegularFile) {
    const std::string fifo = dir / "fifo";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0644), 0);
    // Would block forever if the FIFO were opened the ordinary way.
    for (const auto& path : {fifo, dir.path().string()}) {
        EXPECT_EQ(test::errorOf(files.openRead(path)), 75) << path;
    }
    EXPECT_EQ(test::errorOf(files.openRead(dir / "missing")), 53);
    EXPECT_EQ(files.stat(fifo)->type, FileType::kOther);
    EXPECT_FALSE(files.stat(dir / "missing"));
}

TEST_F(RealFiles, ResolveFollowsOnlyLinks) {
    const std::string b = dir.write("b", "old and longer");
    std::filesystem::create_symlink(b, dir / "link");
    EXPECT_EQ(files.resolve(dir / "link"), std::filesystem::canonical(b).string());
    EXPECT_EQ(files.resolve("relative/name.txt"), "relative/name.txt");
    EXPECT_EQ(files.identity(dir / "link"), files.identity(b));
    EXPECT_FALSE(files.identity(dir / "missing"));
}
#endif  // !_WIN32

}  // namespace
}  // namespace kerfo::platform
