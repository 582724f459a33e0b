// The few file operations a per-user settings file needs, on systems where the settings
// are a file rather than the registry. A call that can fail returns its error, which the
// settings store turns into its own codes.
#pragma once

#include <cstddef>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

#include "platform/error.h"

namespace kerfo::platform {

// The user's configuration folder: $XDG_CONFIG_HOME when it is an absolute path, else
// $HOME/.config, else .config in the home folder of the user's account entry; empty when
// none of these is known. Read from the environment at the time of the call.
std::filesystem::path userConfigHome();

// Makes `directory` and every missing folder above it, new ones private to the user
// (0700). Fails with the error of the step that failed (76 when something else has that
// name).
Status makePrivateDirectories(const std::filesystem::path& directory);

// The text of `path`, read whole, when it is a regular file of at most `limit` bytes;
// nothing when there is no such file to read (missing, not a regular file, larger than the
// limit, or not readable for lack of permission). Fails on a passing failure (an I/O
// error, out of file handles), after which the file may read fine again. Never blocks,
// even when a FIFO stands at `path`.
Result<std::optional<std::string>> readSmallFile(const std::filesystem::path& path,
                                                 std::size_t limit);

// The system calls behind replaceFile, one function each, so that tests can record their
// order (a sync dropped before the rename is invisible otherwise) or fail one of them.
// Each returns what the system call returns and leaves errno as it does.
class FileCalls {
public:
    virtual ~FileCalls() = default;
    virtual int open(const char* path, int flags, unsigned mode);
    virtual long write(int fd, const char* data, std::size_t size);
    virtual int fsync(int fd);
    virtual int close(int fd);
    virtual int rename(const char* from, const char* to);
    virtual int unlink(const char* path);
};

// The real system calls.
FileCalls& systemFileCalls();

// Replaces `path` by a file holding `text`, so that readers see either the old file or
// the new one, also after a crash: writes `temp` (private to the user), syncs it, renames
// it over `path` and syncs the folder. Fails with the error of the step that failed;
// then `temp` is removed and `path` is as it was.
Status replaceFile(const std::filesystem::path& path, const std::filesystem::path& temp,
                   std::string_view text, FileCalls& calls = systemFileCalls());

// An exclusive advisory lock on the file `path` (made, private to the user, when missing),
// held from construction for as long as the object lives; cooperating processes wait for
// one another, and the system drops the lock of a process that dies.
class ExclusiveFileLock {
public:
    explicit ExclusiveFileLock(const std::filesystem::path& path);
    ~ExclusiveFileLock();
    ExclusiveFileLock(const ExclusiveFileLock&) = delete;
    ExclusiveFileLock& operator=(const ExclusiveFileLock&) = delete;

    // Success while the lock is held, else why it could not be taken.
    const Status& status() const { return m_status; }

private:
    int m_fd = -1;
    Status m_status;
};

}  // namespace kerfo::platform
