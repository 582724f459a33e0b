// The file layer: every file access of the core goes through FileSystem, so the jobs
// work the same on every platform and tests can inject faults (a disk that fills up
// after N bytes, a rename that fails, ...). A call that can fail returns a Result or a
// Status carrying the RuntimeError with the runtime's number for the operating system's
// error; none raises.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/error.h"

namespace kerfo::platform {

// What a path names: by stat(), links followed; by entry(), the name itself, so that a
// symbolic link is one.
enum class FileType { kRegular, kDirectory, kSymbolicLink, kOther };

struct FileInfo {
    FileType type = FileType::kRegular;
    std::uint64_t size = 0;
    // The permission bits (rwx for owner, group, others); 0666 where there are none.
    unsigned permissions = 0666;
    // How many names the file has (hard links); 1 where the system keeps no count.
    std::uint64_t links = 1;
};

// Which file a name or a handle leads to: device and inode on POSIX, volume serial number
// and file index on Windows. Two names for one file (a case-insensitive folder, a hard
// link) have one identity.
struct FileIdentity {
    std::uint64_t volume = 0;
    std::uint64_t index = 0;
    friend bool operator==(const FileIdentity&, const FileIdentity&) = default;
};

// What tells that a file changed under a job: its identity, size, link count, and
// modification and change times (nanoseconds; the change time is 0 where the system
// keeps none).
struct FileStamp {
    FileIdentity identity;
    std::uint64_t size = 0;
    std::uint64_t links = 1;
    std::int64_t modified = 0;
    std::int64_t changed = 0;
    friend bool operator==(const FileStamp&, const FileStamp&) = default;
};

// Who may use a file: owner, group, the mode with its setuid, setgid and sticky bits, and
// the extended attributes (POSIX ACLs among them) as name and raw value. Windows keeps
// the read-only bit as the mode (0444 or 0666) and the owner and DACL as one attribute.
struct FileAccess {
    std::uint32_t owner = 0;
    std::uint32_t group = 0;
    unsigned mode = 0600;
    std::vector<std::pair<std::string, std::string>> attributes;
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
    // Reads up to `size` bytes; gives how many, 0 only at the end of the file.
    virtual Result<std::size_t> read(char* buffer, std::size_t size) = 0;
    // Writes all `size` bytes, or fails (a short write is a full disk: 61).
    virtual Status write(const char* data, std::size_t size) = 0;
    // Forces the written bytes onto the storage; fails with the error the system reports.
    virtual Status sync() = 0;
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
    virtual Status setPermissions(unsigned permissions) = 0;
    // The open file's identity, size and times, from the handle (not the name). Fails
    // when the system cannot say.
    virtual Result<FileStamp> stamp() = 0;
    // Owner, group, mode and extended attributes of the open file; fails when the
    // system cannot say.
    virtual Result<FileAccess> access() = 0;
    // Closes the file; fails with a write error the system reports only now.
    virtual Status close() = 0;
};

// The file a job replaces, as openSource gives it: held against other jobs, and watched
// for writers, whose bytes would go into a file that is about to be removed.
class SourceFile : public File {
public:
    // Fails with 55 when another process has the file open for writing now, or opened it
    // for writing at any moment since openSource (a write lease on Linux tells; where no
    // lease can be had, the open files of the processes this one may look at).
    virtual Status checkNoWriter() = 0;
};

// A file being written that no other program can find: on Linux it has no name at all
// until commit() (O_TMPFILE), elsewhere a private temporary name that is removed when the
// object dies, or by a signal handler when the process is interrupted (on Windows it is
// marked for deletion until the commit, so it goes with a killed process too). Either
// way, destroying it uncommitted leaves nothing behind.
class NewFile : public File {
public:
    // A second handle on the new file, with its own position, for reading back what was
    // written so far.
    virtual Result<std::unique_ptr<File>> openReadBack() = 0;
    // Gives the new file the original's owner, group, mode and extended attributes as far
    // as this process may; where the owner or group cannot be kept, takes away the rights
    // they had rather than grant them to someone else. Fails when even the mode cannot
    // be set.
    virtual Status applyAccess(const FileAccess& original) = 0;
    // Gives the complete, synced file the name `path` (in the folder it was created in,
    // even if that folder was renamed meanwhile). Never replaces anything: a file of that
    // name fails with 58, and the new file stays nameless.
    virtual Status commit(const std::string& path) = 0;
    // Puts the complete, synced file in place of `path`, which must still lead to
    // `original`, the job's open source: replaces it atomically where the system can, and
    // fails with 55 (nothing replaced) when the name leads elsewhere by now or another
    // process opened the source for writing. May close `original` (Windows replaces no
    // open file). After a failed commit the new file is done with: nothing can be
    // committed from it.
    virtual Status commitOver(const std::string& path, SourceFile& original) = 0;
    // Removes `path`, a name in the new file's folder, only while it still leads to the
    // file `expected`: fails with 55 (nothing removed) when it leads to another file by
    // now, 53 when nothing is there.
    virtual Status removeBeside(const std::string& path, const FileIdentity& expected) = 0;
};

class FileSystem {
public:
    virtual ~FileSystem() = default;

    // Type, size, permission bits and link count of `path`, links followed; nullopt when
    // this process sees no file there (nothing there, or a folder on the way it may not
    // look into).
    virtual std::optional<FileInfo> stat(const std::string& path) = 0;
    // The same of the name `path` itself: a symbolic link (or a Windows reparse point) is
    // kSymbolicLink, a dangling one included; nullopt when there is no such name.
    virtual std::optional<FileInfo> entry(const std::string& path) = 0;
    // The classic attribute value of `path` (read-only, hidden, system bits); fails when
    // the path cannot be examined.
    virtual Result<int> attributes(const std::string& path) = 0;
    // For a symbolic link, the full path of the file it finally leads to, to name it to
    // the user; any other path (or one that cannot be resolved) unchanged.
    virtual std::string resolve(const std::string& path) = 0;

    // The identity of the file `path` leads to (links followed); nullopt when this process
    // sees no file there, as for stat().
    virtual std::optional<FileIdentity> identity(const std::string& path) = 0;

    // True when `a` and `b` are spellings of one directory entry: the same path, or two
    // spellings of one name in one folder that a case-insensitive file system lists only
    // once. Two hard links to one file are two entries: false.
    virtual bool sameEntry(const std::string& a, const std::string& b) = 0;

    // Opens an existing regular file for reading. Anything else (a FIFO, a device, a
    // directory) is refused without blocking (75); otherwise fails with the system's error.
    virtual Result<std::unique_ptr<File>> openRead(const std::string& path) = 0;
    // Opens the file a job replaces, as openRead, and holds it for the job until the
    // handle closes: an advisory lock and a read lease on POSIX, on Windows a lock that
    // other jobs test and a share mode that lets no one write. Another job holding it, or
    // another process that has it open for writing, fails with 55, and on Windows so does
    // a program that holds it without sharing its deletion.
    virtual Result<std::unique_ptr<SourceFile>> openSource(const std::string& path) = 0;
    // Creates a new, private (owner-only) file in `directory` that no one can find until
    // it is committed (see NewFile); fails when the folder takes no new file.
    virtual Result<std::unique_ptr<NewFile>> createNew(const std::string& directory) = 0;
    // Removes what a job killed before it could clean up left in `directory`: files under
    // a temporary name that no one but Kerfo makes and that no live job holds, whatever
    // their age, and the empty placeholder such a job had put under its output name.
    // Every start runs it in its file's folder. Best effort, never fails.
    virtual void removeStaleTemps(const std::string& directory) noexcept = 0;
};

// Hands every call of File to the file `target()` returns: the base of the layers that
// change a call or two (count the bytes read, fail on demand, keep a descriptor of their
// own), so that a call added to File later is passed on rather than forgotten.
template <typename Interface>
class FileForwarder : public Interface {
public:
    Result<std::size_t> read(char* buffer, std::size_t size) override {
        return target().read(buffer, size);
    }
    Status write(const char* data, std::size_t size) override { return target().write(data, size); }
    Status sync() override { return target().sync(); }
    void syncInBackground() noexcept override { target().syncInBackground(); }
    void dropCached(std::uint64_t offset, std::uint64_t length) noexcept override {
        target().dropCached(offset, length);
    }
    Status setPermissions(unsigned permissions) override {
        return target().setPermissions(permissions);
    }
    Result<FileStamp> stamp() override { return target().stamp(); }
    Result<FileAccess> access() override { return target().access(); }
    Status close() override { return target().close(); }

protected:
    virtual File& target() = 0;
};

// A file that hands every call to `inner`.
class ForwardingFile : public FileForwarder<File> {
public:
    explicit ForwardingFile(std::unique_ptr<File> inner) : m_inner(std::move(inner)) {}

protected:
    File& target() override { return *m_inner; }

private:
    std::unique_ptr<File> m_inner;
};

// A source file that hands every call to `inner`.
class ForwardingSourceFile : public FileForwarder<SourceFile> {
public:
    explicit ForwardingSourceFile(std::unique_ptr<SourceFile> inner) : m_inner(std::move(inner)) {}
    Status checkNoWriter() override { return m_inner->checkNoWriter(); }

protected:
    File& target() override { return *m_inner; }

private:
    std::unique_ptr<SourceFile> m_inner;
};

// A file system that hands every call to `inner`; see FileForwarder.
class ForwardingFileSystem : public FileSystem {
public:
    explicit ForwardingFileSystem(FileSystem& inner) : m_inner(inner) {}
    std::optional<FileInfo> stat(const std::string& path) override { return m_inner.stat(path); }
    std::optional<FileInfo> entry(const std::string& path) override { return m_inner.entry(path); }
    Result<int> attributes(const std::string& path) override { return m_inner.attributes(path); }
    std::string resolve(const std::string& path) override { return m_inner.resolve(path); }
    std::optional<FileIdentity> identity(const std::string& path) override { return m_inner.identity(path); }
    bool sameEntry(const std::string& a, const std::string& b) override {
        return m_inner.sameEntry(a, b);
    }
    Result<std::unique_ptr<File>> openRead(const std::string& path) override {
        return m_inner.openRead(path);
    }
    Result<std::unique_ptr<SourceFile>> openSource(const std::string& path) override {
        return m_inner.openSource(path);
    }
    Result<std::unique_ptr<NewFile>> createNew(const std::string& directory) override {
        return m_inner.createNew(directory);
    }
    void removeStaleTemps(const std::string& directory) noexcept override {
        m_inner.removeStaleTemps(directory);
    }

private:
    FileSystem& m_inner;
};

// The operating system's file system.
FileSystem& realFileSystem();

// The directory part of `path` ("." when it has none), by the platform's separators.
std::string directoryOf(const std::string& path);
// The name part of `path` (after the last separator).
std::string nameOf(const std::string& path);

// A fresh name for a temporary file: ".kerfo-", sixteen random hex digits, "-", eight hex
// digits derived from them, ".tmp". The derived part lets a later run tell Kerfo's own
// leftovers from a user's file that merely starts the same way.
std::string temporaryName();
// True only for a name temporaryName() could have made.
bool isTemporaryName(std::string_view name);

}  // namespace kerfo::platform
