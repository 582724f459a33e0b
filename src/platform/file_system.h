// The file layer: every file access of the core goes through FileSystem, so the jobs
// work the same on every platform and tests can inject faults (a disk that fills up
// after N bytes, a rename that fails, ...). Every call either succeeds or throws
// platform::RuntimeError with the runtime's number for the operating system's error.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

namespace kerfo::platform {

// What a path names, links followed.
enum class FileType { kRegular, kDirectory, kOther };

struct FileInfo {
    FileType type = FileType::kRegular;
    std::uint64_t size = 0;
    // The permission bits (rwx for owner, group, others); 0666 where there are none.
    unsigned permissions = 0666;
};

// The classic attribute bits.
inline constexpr int kAttrReadOnly = 1;
inline constexpr int kAttrHidden = 2;
inline constexpr int kAttrSystem = 4;
inline constexpr int kAttrDirectory = 16;
inline constexpr int kAttrArchive = 32;

// An open file. Closed by the destructor at the latest; close() reports a failing close.
class File {
public:
    virtual ~File() = default;
    // Reads up to `size` bytes; returns how many, 0 only at the end of the file.
    virtual std::size_t read(char* buffer, std::size_t size) = 0;
    // Writes all `size` bytes or throws (a short write is a full disk: 61).
    virtual void write(const char* data, std::size_t size) = 0;
    // Forces the written bytes onto the storage.
    virtual void sync() = 0;
    // Starts making everything written so far durable in the background and returns
    // without waiting, so that the storage works while the job computes the rest and the
    // final sync() has little left to do. Only a hint: does nothing where the platform
    // offers no such thing; sync() waits for it and reports any error it met.
    virtual void syncInBackground() noexcept {}
    // Tells the system that bytes [offset, offset + length) will not be read again, so
    // that it drops them from its cache now, while the job waits for the disk anyway,
    // rather than when the file is removed. Only a hint; never fails.
    virtual void dropCached(std::uint64_t offset, std::uint64_t length) noexcept {
        (void)offset;
        (void)length;
    }
    // Sets the permission bits of the open file (best effort where there are none).
    virtual void setPermissions(unsigned permissions) = 0;
    virtual void close() = 0;
};

class FileSystem {
public:
    virtual ~FileSystem() = default;

    // Type, size and permission bits of `path`; nullopt when nothing is there (or the
    // path cannot be examined at all).
    virtual std::optional<FileInfo> stat(const std::string& path) = 0;
    // The classic attribute value of `path` (read-only, hidden, system bits); throws when
    // the path cannot be examined.
    virtual int attributes(const std::string& path) = 0;
    // For a symbolic link, the full path of the file it leads to, so that a job replaces
    // the file itself rather than the link; any other path (or one that cannot be
    // resolved) unchanged.
    virtual std::string resolve(const std::string& path) = 0;

    // Opens an existing regular file for reading. Anything else (a FIFO, a device, a
    // directory) is refused without blocking (75).
    virtual std::unique_ptr<File> openRead(const std::string& path) = 0;
    // Creates a new, private (owner-only) file with a fresh name in `directory`, never
    // reusing an existing one; `createdPath` receives its path.
    virtual std::unique_ptr<File> createTemp(const std::string& directory,
                                             std::string& createdPath) = 0;
    // Renames `from` onto `to`, atomically replacing a file of that name.
    virtual void rename(const std::string& from, const std::string& to) = 0;
    virtual void remove(const std::string& path) = 0;
    // Removes the temporary files that jobs killed before they could clean up left in
    // `directory`: those no live process holds and that have not changed for a few
    // seconds. Best effort, never throws; where a platform cannot tell, it does nothing.
    virtual void removeStaleTemps(const std::string& directory) noexcept { (void)directory; }
    // Makes renames and removals in `directory` durable, as far as the platform can;
    // never throws, since the rename it follows has already taken effect.
    virtual void syncDirectory(const std::string& directory) noexcept = 0;
};

// The operating system's file system.
FileSystem& realFileSystem();

// The directory part of `path` ("." when it has none), by the platform's separators.
std::string directoryOf(const std::string& path);

}  // namespace kerfo::platform
