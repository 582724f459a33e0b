// The file layer on Windows: attribute bits as Windows keeps them, UTF-8 names, file
// identity, and replacement with Windows' rules for read-only and open files.
#include "platform/file_system.h"

#include <filesystem>

#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <gtest/gtest.h>

#include "fakes/scratch_dir.h"
#include "fakes/wine.h"
#include "platform/error.h"
#include "support/results.h"
#include "support/vectors.h"

namespace kerfo::platform {
namespace {

using test::errorOf;

std::wstring wide(const std::string& path) {
    return std::filesystem::u8path(path).wstring();
}

TEST(DirectoryOfOnWindows, SplitsAtEitherSeparatorAndKeepsTheDriveRoot) {
    EXPECT_EQ(directoryOf("C:\\dir\\a.txt"), "C:\\dir");
    EXPECT_EQ(directoryOf("C:\\a.txt"), "C:\\");
    EXPECT_EQ(directoryOf("C:/dir/a.txt"), "C:/dir");
    EXPECT_EQ(directoryOf("a.txt"), ".");
}

class WinFiles : public ::testing::Test {
protected:
    test::ScratchDir dir;
    FileSystem& files = realFileSystem();

    void setAttributes(const std::string& path, DWORD value) {
        ASSERT_TRUE(SetFileAttributesW(wide(path).c_str(), value)) << path << " " << value;
    }
    void TearDown() override {
        // Read-only files would survive the scratch directory's removal.
        for (const auto& entry : std::filesystem::directory_iterator(dir.path())) {
            SetFileAttributesW(entry.path().wstring().c_str(), FILE_ATTRIBUTE_NORMAL);
        }
    }
};

TEST_F(WinFiles, AttributesAreTheBitsWindowsKeeps) {
    const std::string path = dir.write("a.txt", "x");
    // Wine reports every regular file as ready for archiving; Windows keeps what was set.
    const DWORD always = test::runningOnWine() ? FILE_ATTRIBUTE_ARCHIVE : 0;
    for (const DWORD value : {1u, 2u, 3u, 4u, 5u, 6u, 7u, 32u, 33u, 34u, 35u, 36u, 39u}) {
        setAttributes(path, value);
        EXPECT_EQ(files.attributes(path).value(), static_cast<int>(value | always));
    }
    // "No attributes" is kept as FILE_ATTRIBUTE_NORMAL, which no table entry names.
    setAttributes(path, 0);
    EXPECT_EQ(files.attributes(path).value() & 0x37, static_cast<int>(always));
    EXPECT_EQ(files.attributes(dir.path().string()).value() & kAttrDirectory, kAttrDirectory);
    EXPECT_EQ(errorOf(files.attributes(dir / "missing.txt")), 53);
}

// UTF-8 names reach the wide calls, in a short folder and in one whose path is far longer
// than the 260 characters of the plain Win32 form.
TEST_F(WinFiles, Utf8NamesAndLongPathsReachTheWideCalls) {
    const std::string name = "gr\xC3\xBC\xC3\x9F \xE2\x82\xAC.txt";  // "grüß €.txt"
    std::string deep = dir.path().string();
    for (int i = 0; i < 3; ++i) {
        deep += "\\" + std::string(100, static_cast<char>('a' + i));
        ASSERT_TRUE(CreateDirectoryW(wide("\\\\?\\" + deep).c_str(), nullptr)) << deep.size();
    }
    for (const std::string& folder : {dir.path().string(), deep}) {
        const std::string path = folder + "\\" + name;
        const auto out = files.createNew(folder).value();
        ASSERT_TRUE(out->write("euro", 4));
        ASSERT_TRUE(out->sync());
        ASSERT_TRUE(out->close());
        ASSERT_TRUE(out->commit(path)) << path.size();
        const auto info = files.stat(path);
        ASSERT_TRUE(info) << path.size();
        EXPECT_EQ(info->type, FileType::kRegular);
        EXPECT_EQ(info->size, 4u);
        char buffer[8];
        EXPECT_EQ(files.openSource(path).value()->read(buffer, sizeof buffer).value(), 4u);
        const auto other = files.createNew(folder).value();
        ASSERT_TRUE(other->close());
        EXPECT_TRUE(other->removeBeside(path, *files.identity(path)));
        EXPECT_FALSE(files.stat(path)) << path.size();
    }
}

// What a killed job left is swept by the next start in that folder: Kerfo's own
// temporaries that no process holds, whatever their age, and nothing else: not one a live
// job is writing, a user's file named nearly so, a folder, or a file with another name.
TEST_F(WinFiles, SweepRemovesOnlyKerfosOwnUnheldTemporaries) {
    const std::string left = dir.write(temporaryName(), "plain text a killed job left");
    const std::string users = ".kerfo-0123456789abcdef-01234567.tmp";
    ASSERT_FALSE(isTemporaryName(users));
    dir.write(users, "a user's file");
    const std::string folder = temporaryName();
    std::filesystem::create_directory(dir.path() / folder);
    const std::string linked = dir.write(temporaryName(), "also named otherwise");
    ASSERT_TRUE(CreateHardLinkW(wide(dir / "other.txt").c_str(), wide(linked).c_str(), nullptr));
    const auto live = files.createNew(dir.path().string()).value();
    ASSERT_TRUE(live->write("being written", 13));
    const std::string before = dir.listing();

    files.removeStaleTemps(dir.path().string());
    EXPECT_FALSE(std::filesystem::exists(left));
    std::string expected = before;
    expected.erase(expected.find(nameOf(left)), nameOf(left).size() + 1);
    EXPECT_EQ(dir.listing(), expected);

    ASSERT_TRUE(live->sync());
    ASSERT_TRUE(live->close());
    ASSERT_TRUE(live->commit(dir / "done.txt"));
    EXPECT_EQ(test::readFile(dir / "done.txt"), "being written");
}

TEST_F(WinFiles, NewFilesLeaveNothingUnlessCommitted) {
    for (int i = 0; i < 10; ++i) {
        const auto file = files.createNew(dir.path().string()).value();
        ASSERT_TRUE(file->write("x", 1));
    }
    EXPECT_EQ(dir.listing(), "");
    EXPECT_EQ(errorOf(files.openRead(dir.path().string())), 75);
    EXPECT_EQ(errorOf(files.openRead(dir / "missing")), 53);
    EXPECT_EQ(files.stat(dir.path().string())->type, FileType::kDirectory);
}

// Every way of putting a new file in place refuses to destroy what it did not read, and
// what Windows itself protects (read-only, held open) stays as it is.
TEST_F(WinFiles, CommitAndRemovalNeverTouchAnotherFile) {
    const std::string taken = dir.write("taken.kfo", "someone's");
    const std::string source = dir.write("source.txt", "read by the job");
    const std::string other = dir.write("other.txt", "not read");
    const FileIdentity sourceId = *files.identity(source);
    EXPECT_EQ(files.identity(dir / "SOURCE.TXT"), sourceId) << "one file, two spellings";
    EXPECT_NE(files.identity(other), sourceId);
    {
        const auto file = files.createNew(dir.path().string()).value();
        ASSERT_TRUE(file->write("new", 3));
        ASSERT_TRUE(file->close());
        EXPECT_EQ(errorOf(file->commit(taken)), 58);
        EXPECT_EQ(errorOf(file->commitOver(other, *files.openSource(source).value())), 55);
        EXPECT_EQ(errorOf(file->removeBeside(other, sourceId)), 55);
        setAttributes(source, FILE_ATTRIBUTE_READONLY);
        EXPECT_EQ(errorOf(file->removeBeside(source, sourceId)), 70);
        setAttributes(source, FILE_ATTRIBUTE_NORMAL);
        // Opened the way most programs open a file: others may read, not delete or rename.
        // No job gets it as its source, so nothing is ever put over it.
        const HANDLE held = CreateFileW(wide(source).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                        OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
        ASSERT_NE(held, INVALID_HANDLE_VALUE);
        EXPECT_EQ(errorOf(files.openSource(source)), 55);
        CloseHandle(held);
    }
    EXPECT_EQ(dir.listing(), "other.txt source.txt taken.kfo ");
    EXPECT_EQ(test::readFile(taken), "someone's");
    EXPECT_EQ(test::readFile(source), "read by the job");
    const auto file = files.createNew(dir.path().string()).value();
    ASSERT_TRUE(file->write("new", 3));
    ASSERT_TRUE(file->close());
    ASSERT_TRUE(file->commitOver(source, *files.openSource(source).value()));
    EXPECT_EQ(test::readFile(source), "new");
    EXPECT_EQ(dir.listing(), "other.txt source.txt taken.kfo ");
}

// One job at a time, and none while another program writes the file.
TEST_F(WinFiles, SourceIsHeldForOneJob) {
    const std::string path = dir.write("doc.txt", "x");
    {
        const auto first = files.openSource(path);
        ASSERT_TRUE(first);
        EXPECT_EQ(errorOf(files.openSource(path)), 55);
        char buffer[4];
        EXPECT_EQ(files.openRead(path).value()->read(buffer, sizeof buffer).value(), 1u)
            << "readers are welcome";
    }
    const HANDLE writer = CreateFileW(wide(path).c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                      OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(writer, INVALID_HANDLE_VALUE);
    EXPECT_EQ(errorOf(files.openSource(path)), 55);
    CloseHandle(writer);
    EXPECT_EQ(errorOf(files.openSource(path)), 0);
}

}  // namespace
}  // namespace kerfo::platform
