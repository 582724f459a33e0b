// The file layer on Windows: attribute bits as Windows keeps them, UTF-8 names, and
// replacement with Windows' rules for read-only and open files.
#include "platform/file_system.h"

#include <filesystem>
#include <functional>
#include <set>

#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <gtest/gtest.h>

#include "fakes/scratch_dir.h"
#include "fakes/wine.h"
#include "platform/error.h"
#include "support/vectors.h"

namespace kerfo::platform {
namespace {

std::wstring wide(const std::string& path) { return std::filesystem::u8path(path).wstring(); }

int errorOf(const std::function<void()>& call) {
    try {
        call();
    } catch (const RuntimeError& e) {
        return e.code();
    }
    return 0;
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
        EXPECT_EQ(files.attributes(path), static_cast<int>(value | always));
    }
    // "No attributes" is kept as FILE_ATTRIBUTE_NORMAL, which no table entry names.
    setAttributes(path, 0);
    EXPECT_EQ(files.attributes(path) & 0x37, static_cast<int>(always));
    EXPECT_EQ(files.attributes(dir.path().string()) & kAttrDirectory, kAttrDirectory);
    EXPECT_EQ(errorOf([&] { files.attributes(dir / "missing.txt"); }), 53);
}

TEST_F(WinFiles, Utf8NamesReachTheWideCalls) {
    const std::string name = "gr\xC3\xBC\xC3\x9F \xE2\x82\xAC.txt";  // "grüß €.txt"
    const auto utf8 = (dir.path() / std::filesystem::u8path(name)).u8string();
    const std::string path(utf8.begin(), utf8.end());
    {
        std::string temp;
        const auto out = files.createTemp(dir.path().string(), temp);
        out->write("euro", 4);
        out->sync();
        out->close();
        files.rename(temp, path);
    }
    const auto info = files.stat(path);
    ASSERT_TRUE(info);
    EXPECT_EQ(info->type, FileType::kRegular);
    EXPECT_EQ(info->size, 4u);
    char buffer[8];
    EXPECT_EQ(files.openRead(path)->read(buffer, sizeof buffer), 4u);
    EXPECT_EQ(test::readFile(std::filesystem::u8path(path)), "euro");
    files.remove(path);
    EXPECT_FALSE(files.stat(path));
}

TEST_F(WinFiles, TemporaryFilesAreNewAndBesideTheTarget) {
    std::set<std::string> names;
    for (int i = 0; i < 10; ++i) {
        std::string path;
        const auto file = files.createTemp(dir.path().string(), path);
        EXPECT_EQ(directoryOf(path), dir.path().string());
        EXPECT_TRUE(names.insert(path).second) << path;
    }
}

TEST_F(WinFiles, RenameReplacesAnExistingFileAndADirectoryIsNoFile) {
    const std::string a = dir.write("a", "new");
    const std::string b = dir.write("b", "old and longer");
    files.rename(a, b);
    EXPECT_EQ(test::readFile(b), "new");
    EXPECT_FALSE(std::filesystem::exists(a));
    EXPECT_EQ(files.resolve(b), b);
    EXPECT_EQ(errorOf([&] { files.openRead(dir.path().string()); }), 75);
    EXPECT_EQ(errorOf([&] { files.openRead(dir / "missing"); }), 53);
    EXPECT_EQ(files.stat(dir.path().string())->type, FileType::kDirectory);
}

TEST_F(WinFiles, ReadOnlyFileCannotBeDeleted) {
    const std::string locked = dir.write("ro.txt", "keep me");
    setAttributes(locked, FILE_ATTRIBUTE_READONLY);
    EXPECT_EQ(errorOf([&] { files.remove(locked); }), 70);
    EXPECT_EQ(test::readFile(locked), "keep me");
    setAttributes(locked, FILE_ATTRIBUTE_NORMAL);
    files.remove(locked);
    EXPECT_FALSE(files.stat(locked));
}

TEST_F(WinFiles, NameHeldOpenByAnotherProgramCannotBeReplaced) {
    const std::string target = dir.write("held.kfo", "held");
    const std::string other = dir.write("new.kfo", "new");
    // Opened the way most programs open a file: others may read, not delete or rename.
    const HANDLE held = CreateFileW(wide(target).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                    OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);
    EXPECT_EQ(errorOf([&] { files.rename(other, target); }), 70);
    EXPECT_EQ(errorOf([&] { files.remove(target); }), 70);
    CloseHandle(held);
    EXPECT_EQ(test::readFile(target), "held");
    files.rename(other, target);
    EXPECT_EQ(test::readFile(target), "new");
}

}  // namespace
}  // namespace kerfo::platform
