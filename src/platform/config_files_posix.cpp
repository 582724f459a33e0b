// The settings file's operations on POSIX systems.
#include "platform/config_files.h"

#include <cerrno>
#include <cstdlib>

#include <fcntl.h>
#include <pwd.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace kerfo::platform {
namespace {

// Closes a descriptor on every way out of a scope.
class Descriptor {
public:
    explicit Descriptor(int fd, FileCalls& calls = systemFileCalls()) : m_fd(fd), m_calls(calls) {}
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    ~Descriptor() {
        if (m_fd >= 0) m_calls.close(m_fd);
    }
    int get() const { return m_fd; }
    bool valid() const { return m_fd >= 0; }
    // Closes now, reporting the result: a failed close can mean lost data.
    int close() {
        const int result = m_calls.close(m_fd);
        m_fd = -1;
        return result;
    }

private:
    int m_fd;
    FileCalls& m_calls;
};

RuntimeError lastError() {
    return RuntimeError::fromErrno(errno);
}

Status writeAll(FileCalls& calls, int fd, std::string_view bytes) {
    while (!bytes.empty()) {
        const auto written = calls.write(fd, bytes.data(), bytes.size());
        if (written < 0) {
            if (errno == EINTR) continue;
            return lastError();
        }
        if (written == 0) return RuntimeError(ErrorNumber::kDiskFull);
        bytes.remove_prefix(static_cast<std::size_t>(written));
    }
    return {};
}

}  // namespace

std::filesystem::path userConfigHome() {
    const char* config = std::getenv("XDG_CONFIG_HOME");
    if (config != nullptr && config[0] == '/') return std::filesystem::path(config);
    const char* home = std::getenv("HOME");
    if (home != nullptr && home[0] != '\0') return std::filesystem::path(home) / ".config";
    if (const passwd* account = ::getpwuid(::getuid());
        account != nullptr && account->pw_dir != nullptr && account->pw_dir[0] != '\0') {
        return std::filesystem::path(account->pw_dir) / ".config";
    }
    return {};
}

Status makePrivateDirectories(const std::filesystem::path& directory) {
    std::filesystem::path partial;
    for (const auto& part : directory) {
        partial /= part;
        if (::mkdir(partial.c_str(), 0700) != 0 && errno != EEXIST) return lastError();
    }
    struct stat info {};
    if (::stat(directory.c_str(), &info) != 0) return lastError();
    if (!S_ISDIR(info.st_mode)) return RuntimeError(ErrorNumber::kPathNotFound);
    return {};
}

Result<std::optional<std::string>> readSmallFile(const std::filesystem::path& path,
                                                 std::size_t limit) {
    // Non-blocking so that a FIFO in the file's place cannot hang the program.
    Descriptor fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY));
    if (!fd.valid()) {
        switch (errno) {
            case ENOENT:
            case ENOTDIR:
            case EACCES:
            case EPERM:
            case ELOOP:
            case EISDIR:
            case ENXIO:
                return std::optional<std::string>();
            default:
                return lastError();
        }
    }
    struct stat info {};
    if (::fstat(fd.get(), &info) != 0) return lastError();
    if (!S_ISREG(info.st_mode) || static_cast<std::uintmax_t>(info.st_size) > limit) {
        return std::optional<std::string>();
    }
    // One byte more than allowed tells a file that grew since the fstat.
    std::string text(limit + 1, '\0');
    std::size_t total = 0;
    while (total < text.size()) {
        const auto got = ::read(fd.get(), text.data() + total, text.size() - total);
        if (got < 0) {
            if (errno == EINTR) continue;
            return lastError();
        }
        if (got == 0) break;
        total += static_cast<std::size_t>(got);
    }
    if (total > limit) return std::optional<std::string>();
    text.resize(total);
    return std::optional<std::string>(std::move(text));
}

int FileCalls::open(const char* path, int flags, unsigned mode) {
    return ::open(path, flags, static_cast<mode_t>(mode));
}
long FileCalls::write(int fd, const char* data, std::size_t size) { return ::write(fd, data, size); }
int FileCalls::fsync(int fd) { return ::fsync(fd); }
int FileCalls::close(int fd) { return ::close(fd); }
int FileCalls::rename(const char* from, const char* to) { return ::rename(from, to); }
int FileCalls::unlink(const char* path) { return ::unlink(path); }

FileCalls& systemFileCalls() {
    static FileCalls calls;
    return calls;
}

Status replaceFile(const std::filesystem::path& path, const std::filesystem::path& temp,
                   std::string_view text, FileCalls& calls) {
    Descriptor fd(calls.open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600), calls);
    if (!fd.valid()) return lastError();
    Status status = writeAll(calls, fd.get(), text);
    if (status && calls.fsync(fd.get()) != 0) status = lastError();
    if (status && fd.close() != 0) status = lastError();
    if (status && calls.rename(temp.c_str(), path.c_str()) != 0) status = lastError();
    if (!status) {
        calls.unlink(temp.c_str());
        return status;
    }
    // The rename itself must reach the disk before the change counts as made.
    Descriptor folder(calls.open(path.parent_path().c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC, 0), calls);
    if (folder.valid()) calls.fsync(folder.get());
    return {};
}

ExclusiveFileLock::ExclusiveFileLock(const std::filesystem::path& path)
    : m_fd(::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600)) {
    if (m_fd < 0) {
        m_status = lastError();
        return;
    }
    while (::flock(m_fd, LOCK_EX) != 0) {
        if (errno != EINTR) {
            m_status = lastError();
            return;
        }
    }
}

ExclusiveFileLock::~ExclusiveFileLock() {
    if (m_fd >= 0) ::close(m_fd);
}

}  // namespace kerfo::platform
