// The file layer on POSIX systems.
#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <ctime>
#include <string_view>

#include "platform/background_sync.h"
#include "platform/error.h"
#include "platform/file_system.h"

namespace kerfo::platform {
namespace {

[[noreturn]] void throwErrno(int err) { throw RuntimeError::fromErrno(err); }

// Makes a file's data durable (its size too, not every timestamp); 0 or the errno.
int syncData(int fd) {
#ifdef __linux__
    return ::fdatasync(fd) == 0 ? 0 : errno;
#else
    return ::fsync(fd) == 0 ? 0 : errno;
#endif
}

// Temporary files are this prefix and mkstemp's six characters.
constexpr std::string_view kTempPrefix = ".kerfo-";
constexpr std::size_t kTempNameLength = kTempPrefix.size() + 6;
// A temporary file unchanged for this long, and not locked, belongs to no running job:
// a job holds the lock while it writes and renames within moments of its last write.
constexpr std::time_t kStaleSeconds = 5;

class PosixFile final : public File {
public:
    explicit PosixFile(int fd) : m_fd(fd), m_background([fd] { return syncData(fd); }) {}
    ~PosixFile() override {
        m_background.finish();  // the helper must be done with the descriptor first
        if (m_fd >= 0) ::close(m_fd);
    }
    PosixFile(const PosixFile&) = delete;
    PosixFile& operator=(const PosixFile&) = delete;

    std::size_t read(char* buffer, std::size_t size) override {
        for (;;) {
            const ssize_t n = ::read(m_fd, buffer, size);
            if (n >= 0) return static_cast<std::size_t>(n);
            if (errno != EINTR) throwErrno(errno);
        }
    }

    void write(const char* data, std::size_t size) override {
        while (size > 0) {
            const ssize_t n = ::write(m_fd, data, size);
            if (n < 0) {
                if (errno == EINTR) continue;
                throwErrno(errno);
            }
            // A write that makes no progress means the device has no room left.
            if (n == 0) throwErrno(ENOSPC);
            data += n;
            size -= static_cast<std::size_t>(n);
        }
    }

    void sync() override {
        if (const int err = m_background.finish(); err != 0) throwErrno(err);
        if (::fsync(m_fd) != 0) throwErrno(errno);
    }

    void syncInBackground() noexcept override {
        if (m_fd >= 0) m_background.request();
    }

    void dropCached(std::uint64_t offset, std::uint64_t length) noexcept override {
#if defined(POSIX_FADV_DONTNEED)
        if (m_fd >= 0) {
            ::posix_fadvise(m_fd, static_cast<off_t>(offset), static_cast<off_t>(length),
                            POSIX_FADV_DONTNEED);
        }
#else
        (void)offset;
        (void)length;
#endif
    }

    void setPermissions(unsigned permissions) override {
        if (::fchmod(m_fd, static_cast<mode_t>(permissions)) != 0) throwErrno(errno);
    }

    void close() override {
        // A background sync that failed is reported here too, for a file closed unsynced.
        const int backgroundError = m_background.finish();
        const int fd = m_fd;
        m_fd = -1;
        // Delayed write errors (NFS, a full quota) surface here.
        if (fd >= 0 && ::close(fd) != 0 && errno != EINTR) throwErrno(errno);
        if (backgroundError != 0) throwErrno(backgroundError);
    }

private:
    int m_fd;
    BackgroundSync m_background;
};

class PosixFileSystem final : public FileSystem {
public:
    std::optional<FileInfo> stat(const std::string& path) override {
        struct ::stat st {};
        if (::stat(path.c_str(), &st) != 0) return std::nullopt;
        FileInfo info;
        info.type = S_ISREG(st.st_mode)   ? FileType::kRegular
                    : S_ISDIR(st.st_mode) ? FileType::kDirectory
                                          : FileType::kOther;
        info.size = static_cast<std::uint64_t>(st.st_size);
        info.permissions = static_cast<unsigned>(st.st_mode) & 0777u;
        return info;
    }

    int attributes(const std::string& path) override {
        struct ::stat st {};
        if (::stat(path.c_str(), &st) != 0) throwErrno(errno);
        int value = 0;
        if (S_ISDIR(st.st_mode)) {
            value |= kAttrDirectory;
        } else if (!S_ISREG(st.st_mode)) {
            value |= kAttrSystem;  // devices, FIFOs and sockets are the system's business
        }
        if ((st.st_mode & S_IWUSR) == 0 || ::access(path.c_str(), W_OK) != 0) {
            value |= kAttrReadOnly;
        }
        const auto slash = path.find_last_of('/');
        const std::size_t nameStart = slash == std::string::npos ? 0 : slash + 1;
        if (nameStart < path.size() && path[nameStart] == '.') value |= kAttrHidden;
        return value;
    }

    std::string resolve(const std::string& path) override {
        // Only a link needs resolving; any other path stays as the user gave it.
        struct ::stat st {};
        if (::lstat(path.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) return path;
        char* resolved = ::realpath(path.c_str(), nullptr);
        if (resolved == nullptr) return path;
        std::string result(resolved);
        std::free(resolved);
        return result;
    }

    std::unique_ptr<File> openRead(const std::string& path) override {
        // Non-blocking, so that opening a FIFO without a writer cannot hang; only
        // regular files are handed out.
        constexpr int kFlags = O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC;
#ifdef O_NOATIME
        // Looking at a file (the gate, kerfo-cli show) is no use of it that its access
        // time should record. Only the owner may ask for that; anyone else reads as usual.
        int fd = ::open(path.c_str(), kFlags | O_NOATIME);
        if (fd < 0 && errno == EPERM) fd = ::open(path.c_str(), kFlags);
#else
        const int fd = ::open(path.c_str(), kFlags);
#endif
        if (fd < 0) throwErrno(errno);
        auto file = std::make_unique<PosixFile>(fd);
        struct ::stat st {};
        if (::fstat(fd, &st) != 0) throwErrno(errno);
        if (!S_ISREG(st.st_mode)) throw RuntimeError(ErrorNumber::kPathFileAccess);
        const int flags = ::fcntl(fd, F_GETFL);
        if (flags >= 0) ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);
        return file;
    }

    std::unique_ptr<File> createTemp(const std::string& directory,
                                     std::string& createdPath) override {
        // mkstemp creates the file exclusively and readable by its owner only.
        std::string pattern = directory;
        if (pattern.empty() || pattern.back() != '/') pattern += '/';
        pattern += ".kerfo-XXXXXX";
        const int fd = ::mkstemp(pattern.data());
        if (fd < 0) throwErrno(errno);
        ::fcntl(fd, F_SETFD, FD_CLOEXEC);
        // Held until the file is closed, and dropped by the kernel if the process dies:
        // removeStaleTemps tells a killed job's leftover from a running job's file by it.
        ::flock(fd, LOCK_EX | LOCK_NB);
        createdPath = pattern;
        return std::make_unique<PosixFile>(fd);
    }

    void rename(const std::string& from, const std::string& to) override {
        if (::rename(from.c_str(), to.c_str()) != 0) throwErrno(errno);
    }

    void remove(const std::string& path) override {
        if (::unlink(path.c_str()) != 0) throwErrno(errno);
    }

    void removeStaleTemps(const std::string& directory) noexcept override {
        DIR* folder = ::opendir(directory.c_str());
        if (folder == nullptr) return;
        const std::time_t now = std::time(nullptr);
        while (const dirent* entry = ::readdir(folder)) {
            const std::string_view name(entry->d_name);
            if (name.size() != kTempNameLength || name.substr(0, kTempPrefix.size()) != kTempPrefix) continue;
            const int fd = ::openat(::dirfd(folder), entry->d_name,
                                    O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
            if (fd < 0) continue;
            struct ::stat st {};
            if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_uid == ::geteuid() &&
                now - st.st_mtime >= kStaleSeconds && ::flock(fd, LOCK_EX | LOCK_NB) == 0) {
                ::unlinkat(::dirfd(folder), entry->d_name, 0);
            }
            ::close(fd);
        }
        ::closedir(folder);
    }

    void syncDirectory(const std::string& directory) noexcept override {
        const int fd = ::open(directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (fd < 0) return;
        ::fsync(fd);  // some file systems cannot sync a directory; the rename stands anyway
        ::close(fd);
    }
};

}  // namespace

FileSystem& realFileSystem() {
    static PosixFileSystem fileSystem;
    return fileSystem;
}

}  // namespace kerfo::platform
