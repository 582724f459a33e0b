#include "platform/config_files.h"

#include <cerrno>
#include <fstream>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "fakes/scratch_dir.h"
#include "support/files.h"

namespace kerfo::platform {
namespace {

// The real calls, each written down as "<call> <file name>" in order; `failing` (a call's
// name) fails once with `failErrno` instead of running.
class RecordingCalls : public FileCalls {
public:
    std::vector<std::string> calls;
    std::optional<std::string> failing;
    int failErrno = EIO;

    int open(const char* path, int flags, unsigned mode) override {
        if (fails("open")) return -1;
        const int fd = FileCalls::open(path, flags, mode);
        if (fd >= 0) m_names[fd] = std::filesystem::path(path).filename().string();
        calls.push_back("open " + name(fd));
        return fd;
    }
    long write(int fd, const char* data, std::size_t size) override {
        calls.push_back("write " + name(fd));
        if (fails("write")) return -1;
        return FileCalls::write(fd, data, size);
    }
    int fsync(int fd) override {
        calls.push_back("fsync " + name(fd));
        if (fails("fsync")) return -1;
        return FileCalls::fsync(fd);
    }
    int close(int fd) override {
        calls.push_back("close " + name(fd));
        const int result = FileCalls::close(fd);
        return fails("close") ? -1 : result;
    }
    int rename(const char* from, const char* to) override {
        calls.push_back("rename " + std::filesystem::path(from).filename().string());
        if (fails("rename")) return -1;
        return FileCalls::rename(from, to);
    }

    // Where `call` stands in the record; -1 when it is not there.
    long indexOf(const std::string& call) const {
        for (std::size_t i = 0; i < calls.size(); ++i) {
            if (calls[i] == call) return static_cast<long>(i);
        }
        return -1;
    }

private:
    bool fails(const std::string& call) {
        if (failing != call) return false;
        failing.reset();
        errno = failErrno;
        return true;
    }
    std::string name(int fd) const {
        const auto it = m_names.find(fd);
        return it == m_names.end() ? "?" : it->second;
    }
    std::map<int, std::string> m_names;
};

// A crash right after the rename must find the new bytes on the disk, and a crash after
// the call returned must find the rename itself there.
TEST(ReplaceFile, SyncsTheDataBeforeTheRenameAndTheFolderAfterIt) {
    test::ScratchDir dir;
    const auto folder = dir.path() / "kerfo";
    std::filesystem::create_directory(folder);
    RecordingCalls calls;
    ASSERT_TRUE(replaceFile(folder / "settings.ini", folder / "settings.ini.tmp", "[k]\n", calls));
    const long lastWrite = calls.indexOf("write settings.ini.tmp");
    const long dataSync = calls.indexOf("fsync settings.ini.tmp");
    const long rename = calls.indexOf("rename settings.ini.tmp");
    const long folderSync = calls.indexOf("fsync kerfo");
    ASSERT_GE(lastWrite, 0);
    EXPECT_GT(dataSync, lastWrite);
    EXPECT_GT(rename, dataSync);
    EXPECT_GT(folderSync, rename);
    EXPECT_EQ(dir.listing(), "kerfo ");
}

// Whichever call fails, its error is reported, the old file stands as it was and the
// temporary file is gone.
TEST(ReplaceFile, AFailedStepKeepsTheOldFileAndLeavesNoTemporary) {
    const std::vector<std::pair<std::string, int>> failures{
        {"open", EACCES}, {"write", ENOSPC}, {"fsync", EIO}, {"close", EIO}, {"rename", EXDEV}};
    for (const auto& [call, err] : failures) {
        SCOPED_TRACE(call);
        test::ScratchDir dir;
        const std::string path = dir.write("settings.ini", "old");
        RecordingCalls calls;
        calls.failing = call;
        calls.failErrno = err;
        const Status status = replaceFile(path, dir / "settings.ini.tmp", "new", calls);
        ASSERT_FALSE(status);
        EXPECT_EQ(status.error().number(), fromErrno(err));
        EXPECT_EQ(dir.listing(), "settings.ini ");
        EXPECT_EQ(test::readFile(path), "old");
    }
}

}  // namespace
}  // namespace kerfo::platform
