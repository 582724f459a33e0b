#include "platform/file_system.h"

#ifndef _WIN32
#include <fcntl.h>
#include <sys/stat.h>
#endif

#include <filesystem>
#include <set>

#include <gtest/gtest.h>

#include "fakes/scratch_dir.h"
#include "platform/error.h"
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

TEST_F(RealFiles, TemporaryFilesArePrivateAndNeverReused) {
    std::set<std::string> names;
    for (int i = 0; i < 20; ++i) {
        std::string path;
        const auto file = files.createTemp(dir.path().string(), path);
        EXPECT_EQ(directoryOf(path), dir.path().string());
        EXPECT_TRUE(names.insert(path).second) << path;
        EXPECT_EQ(std::filesystem::status(path).permissions(), std::filesystem::perms(0600));
    }
}

TEST_F(RealFiles, WriteSyncSetPermissionsAndReadBack) {
    std::string path;
    {
        const auto file = files.createTemp(dir.path().string(), path);
        file->write("hello", 5);
        file->sync();
        file->setPermissions(0640);
        file->close();
        file->close();  // a second close does nothing
    }
    EXPECT_EQ(std::filesystem::status(path).permissions(), std::filesystem::perms(0640));
    const auto in = files.openRead(path);
    char buffer[16];
    EXPECT_EQ(in->read(buffer, sizeof buffer), 5u);
    EXPECT_EQ(in->read(buffer, sizeof buffer), 0u);
    const auto info = files.stat(path);
    ASSERT_TRUE(info);
    EXPECT_EQ(info->type, FileType::kRegular);
    EXPECT_EQ(info->size, 5u);
    EXPECT_EQ(info->permissions, 0640u);
}

TEST_F(RealFiles, OpenReadRefusesAnythingButARegularFile) {
    const std::string fifo = dir / "fifo";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0644), 0);
    // Would block forever if the FIFO were opened the ordinary way.
    for (const auto& path : {fifo, dir.path().string()}) {
        try {
            files.openRead(path);
            FAIL() << path;
        } catch (const RuntimeError& e) {
            EXPECT_EQ(e.code(), 75) << path;
        }
    }
    try {
        files.openRead(dir / "missing");
        FAIL();
    } catch (const RuntimeError& e) {
        EXPECT_EQ(e.code(), 53);
    }
    EXPECT_EQ(files.stat(fifo)->type, FileType::kOther);
    EXPECT_FALSE(files.stat(dir / "missing"));
}

TEST_F(RealFiles, RenameReplacesAndResolveFollowsOnlyLinks) {
    const std::string a = dir.write("a", "new");
    const std::string b = dir.write("b", "old and longer");
    files.rename(a, b);
    EXPECT_EQ(test::readFile(b), "new");
    EXPECT_FALSE(std::filesystem::exists(a));

    std::filesystem::create_symlink(b, dir / "link");
    EXPECT_EQ(files.resolve(dir / "link"), std::filesystem::canonical(b).string());
    EXPECT_EQ(files.resolve("relative/name.txt"), "relative/name.txt");
    files.remove(b);
    try {
        files.remove(b);
        FAIL();
    } catch (const RuntimeError& e) {
        EXPECT_EQ(e.code(), 53);
    }
}
#endif  // !_WIN32

}  // namespace
}  // namespace kerfo::platform
