// The file layer on POSIX systems. A new file is made where no one can find it (Linux:
// O_TMPFILE, no name at all; elsewhere a private temporary name that a signal handler
// removes), and everything after its creation works relative to its folder's open handle,
// so that a folder renamed under a job changes nothing.
#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#ifdef __linux__
#include <sys/syscall.h>
#include <sys/xattr.h>
#endif

#include <array>
#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <mutex>
#include <string_view>

#include "platform/background_sync.h"
#include "platform/error.h"
#include "platform/file_system.h"

namespace kerfo::platform {
namespace {

// The failure of the call that just set errno.
RuntimeError lastError() {
    return RuntimeError::fromErrno(errno);
}

// Makes a file's data durable (its size too, not every timestamp).
Status syncData(int fd) {
#ifdef __linux__
    if (::fdatasync(fd) != 0) return lastError();
#else
    if (::fsync(fd) != 0) return lastError();
#endif
    return {};
}

// A temporary file unchanged for this long, and not locked, belongs to no running job:
// a job holds the lock while it writes and commits within moments of its last write.
constexpr std::time_t kStaleSeconds = 5;

std::int64_t nanoseconds(const struct timespec& t) {
    return static_cast<std::int64_t>(t.tv_sec) * 1'000'000'000 + t.tv_nsec;
}

FileIdentity identityOf(const struct ::stat& st) {
    return FileIdentity{static_cast<std::uint64_t>(st.st_dev), static_cast<std::uint64_t>(st.st_ino)};
}

FileStamp stampOf(const struct ::stat& st) {
    FileStamp stamp;
    stamp.identity = identityOf(st);
    stamp.size = static_cast<std::uint64_t>(st.st_size);
#if defined(__APPLE__)
    stamp.modified = nanoseconds(st.st_mtimespec);
    stamp.changed = nanoseconds(st.st_ctimespec);
#else
    stamp.modified = nanoseconds(st.st_mtim);
    stamp.changed = nanoseconds(st.st_ctim);
#endif
    return stamp;
}

// renameat2 where the C library may not offer it: 0, or -1 with errno (ENOSYS/EINVAL
// where the system or the file system does not know the flag).
int renameWithFlags(int dirfd, const char* from, const char* to, unsigned flags) {
#if defined(__linux__) && defined(SYS_renameat2)
    return static_cast<int>(::syscall(SYS_renameat2, dirfd, from, dirfd, to, flags));
#else
    (void)dirfd, (void)from, (void)to, (void)flags;
    errno = ENOSYS;
    return -1;
#endif
}
constexpr unsigned kRenameNoReplace = 1u << 0;
constexpr unsigned kRenameExchange = 1u << 1;

bool equalIgnoringCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        const auto lower = [](char ch) { return ch >= 'A' && ch <= 'Z' ? static_cast<char>(ch - 'A' + 'a') : ch; };
        if (lower(a[i]) != lower(b[i])) return false;
    }
    return true;
}

bool flagUnsupported(int err) { return err == ENOSYS || err == EINVAL || err == EOPNOTSUPP; }

// ---------------------------------------------------------------------------------------
// Named temporary files that an interrupted process must not leave behind. A few slots,
// filled and emptied by jobs, read by the signal handler; the handlers are installed only
// while a slot is in use, and the previous ones are restored (and called) afterwards.

constexpr std::array kCleanupSignals{SIGINT, SIGTERM, SIGHUP};
constexpr std::size_t kCleanupSlots = 8;

struct CleanupSlot {
    std::atomic<int> dirfd{-1};
    char name[NAME_MAX + 1] = {};
};
CleanupSlot g_slots[kCleanupSlots];
struct sigaction g_previous[kCleanupSignals.size()];
std::mutex g_cleanupMutex;
int g_slotsInUse = 0;

void removeOnSignal(int signal) {
    for (auto& slot : g_slots) {
        const int dirfd = slot.dirfd.exchange(-1);
        if (dirfd >= 0) ::unlinkat(dirfd, slot.name, 0);
    }
    for (std::size_t i = 0; i < kCleanupSignals.size(); ++i) {
        if (kCleanupSignals[i] != signal) continue;
        const struct sigaction& previous = g_previous[i];
        if (previous.sa_handler == SIG_IGN) return;
        if (previous.sa_handler == SIG_DFL) {
            ::signal(signal, SIG_DFL);
            ::raise(signal);
            return;
        }
        previous.sa_handler(signal);
        return;
    }
}

// Registers `name` in `dirfd` for removal on a signal; returns the slot, or -1 when all
// are taken (the destructor still removes the file in every ordinary case).
int registerForCleanup(int dirfd, const std::string& name) {
    const std::lock_guard lock(g_cleanupMutex);
    for (std::size_t i = 0; i < kCleanupSlots; ++i) {
        CleanupSlot& slot = g_slots[i];
        if (slot.dirfd.load() >= 0 || name.size() > NAME_MAX) continue;
        std::memcpy(slot.name, name.c_str(), name.size() + 1);
        if (g_slotsInUse++ == 0) {
            struct sigaction action {};
            action.sa_handler = removeOnSignal;
            sigemptyset(&action.sa_mask);
            for (std::size_t s = 0; s < kCleanupSignals.size(); ++s) {
                ::sigaction(kCleanupSignals[s], &action, &g_previous[s]);
            }
        }
        slot.dirfd.store(dirfd);
        return static_cast<int>(i);
    }
    return -1;
}

void unregisterCleanup(int index) {
    if (index < 0) return;
    const std::lock_guard lock(g_cleanupMutex);
    g_slots[index].dirfd.store(-1);
    if (--g_slotsInUse == 0) {
        for (std::size_t s = 0; s < kCleanupSignals.size(); ++s) {
            ::sigaction(kCleanupSignals[s], &g_previous[s], nullptr);
        }
    }
}

// ---------------------------------------------------------------------------------------

class PosixFile : public File {
public:
    // `positional`: reads keep their own position (pread), for a second handle that
    // shares the descriptor's file offset.
    explicit PosixFile(int fd, bool positional = false)
        : m_fd(fd), m_positional(positional), m_background([fd] { return syncData(fd); }) {}
    ~PosixFile() override {
        m_background.stop();  // the helper must be done with the descriptor first
        if (m_fd >= 0) ::close(m_fd);
    }
    PosixFile(const PosixFile&) = delete;
    PosixFile& operator=(const PosixFile&) = delete;

    Result<std::size_t> read(char* buffer, std::size_t size) override {
        for (;;) {
            const ssize_t n = m_positional ? ::pread(m_fd, buffer, size, static_cast<off_t>(m_offset))
                                           : ::read(m_fd, buffer, size);
            if (n >= 0) {
                m_offset += static_cast<std::uint64_t>(n);
                return static_cast<std::size_t>(n);
            }
            if (errno != EINTR) return lastError();
        }
    }

    Status write(const char* data, std::size_t size) override {
        while (size > 0) {
            const ssize_t n = ::write(m_fd, data, size);
            if (n < 0) {
                if (errno == EINTR) continue;
                return lastError();
            }
            // A write that makes no progress means the device has no room left.
            if (n == 0) return RuntimeError::fromErrno(ENOSPC);
            data += n;
            size -= static_cast<std::size_t>(n);
        }
        return {};
    }

    Status sync() override {
        KERFO_TRY(m_background.finish());
        if (::fsync(m_fd) != 0) return lastError();
        return {};
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

    Status setPermissions(unsigned permissions) override {
        if (::fchmod(m_fd, static_cast<mode_t>(permissions)) != 0) return lastError();
        return {};
    }

    Result<FileStamp> stamp() override {
        const auto st = status();
        if (!st) return st.error();
        return stampOf(*st);
    }

    Result<FileAccess> access() override {
        const auto status = this->status();
        if (!status) return status.error();
        const struct ::stat& st = *status;
        FileAccess access;
        access.owner = static_cast<std::uint32_t>(st.st_uid);
        access.group = static_cast<std::uint32_t>(st.st_gid);
        access.mode = static_cast<unsigned>(st.st_mode) & 07777u;
#ifdef __linux__
        std::string names(4096, '\0');
        ssize_t length = ::flistxattr(m_fd, names.data(), names.size());
        if (length < 0 && errno == ERANGE) {
            length = ::flistxattr(m_fd, nullptr, 0);
            if (length > 0) {
                names.resize(static_cast<std::size_t>(length));
                length = ::flistxattr(m_fd, names.data(), names.size());
            }
        }
        // A file system without extended attributes has none to keep.
        for (std::size_t at = 0; length > 0 && at < static_cast<std::size_t>(length);) {
            const std::string name(std::string_view(names).substr(at, names.find('\0', at) - at));
            at += name.size() + 1;
            const ssize_t size = ::fgetxattr(m_fd, name.c_str(), nullptr, 0);
            if (size < 0) continue;
            std::string value(static_cast<std::size_t>(size), '\0');
            const ssize_t got = ::fgetxattr(m_fd, name.c_str(), value.data(), value.size());
            if (got < 0) continue;
            value.resize(static_cast<std::size_t>(got));
            access.attributes.emplace_back(name, std::move(value));
        }
#endif
        return access;
    }

    Status close() override {
        // A background sync that failed is reported here too, for a file closed unsynced.
        m_background.stop();
        const int fd = m_fd;
        m_fd = -1;
        // Delayed write errors (NFS, a full quota) surface here.
        if (fd >= 0 && ::close(fd) != 0 && errno != EINTR) return lastError();
        return m_background.finish();
    }

    int descriptor() const { return m_fd; }

    Result<struct ::stat> status() const {
        struct ::stat st {};
        if (::fstat(m_fd, &st) != 0) return lastError();
        return st;
    }

    // Fails when a background sync failed.
    Status finishBackground() {
        return m_background.finish();
    }

private:
    int m_fd;
    bool m_positional;
    std::uint64_t m_offset = 0;
    BackgroundSync m_background;
};

// The group bits a file keeps when its access ACL cannot come along: what the ACL gave the
// owning group itself (never the mask, which covers named users and groups too).
unsigned groupBitsWithoutAcl(const std::string& acl, unsigned mode) {
    // Version (4 bytes), then entries of tag (2), permissions (2) and id (4), little-endian.
    constexpr std::uint16_t kGroupObject = 0x04;
    for (std::size_t at = 4; at + 8 <= acl.size(); at += 8) {
        const auto byte = [&](std::size_t i) { return static_cast<unsigned>(static_cast<unsigned char>(acl[at + i])); };
        if ((byte(0) | byte(1) << 8) == kGroupObject) return (byte(2) & 07u) << 3 & mode;
    }
    return 0;
}

class PosixNewFile final : public NewFile {
public:
    // `cleanupSlot`: where the temporary name was registered for removal on a signal
    // (before the file was created, so that no moment is left uncovered), or -1.
    PosixNewFile(int fd, int dirfd, std::string tempName, int cleanupSlot)
        : m_file(fd), m_dirfd(dirfd), m_tempName(std::move(tempName)), m_cleanupSlot(cleanupSlot) {}
    ~PosixNewFile() override {
        if (!m_tempName.empty()) {
            ::unlinkat(m_dirfd, m_tempName.c_str(), 0);
            unregisterCleanup(m_cleanupSlot);
        }
        ::close(m_dirfd);
    }
    PosixNewFile(const PosixNewFile&) = delete;
    PosixNewFile& operator=(const PosixNewFile&) = delete;

    Result<std::size_t> read(char* buffer, std::size_t size) override {
        return m_file.read(buffer, size);
    }
    Status write(const char* data, std::size_t size) override { return m_file.write(data, size); }
    Status sync() override { return m_file.sync(); }
    void syncInBackground() noexcept override { m_file.syncInBackground(); }
    void dropCached(std::uint64_t offset, std::uint64_t length) noexcept override {
        m_file.dropCached(offset, length);
    }
    Status setPermissions(unsigned permissions) override {
        return m_file.setPermissions(permissions);
    }
    Result<FileStamp> stamp() override { return m_file.stamp(); }
    Result<FileAccess> access() override { return m_file.access(); }
    // A nameless file lives only as long as its descriptor: it stays open until the
    // object dies. Everything written was synced already; a sync that failed is reported.
    Status close() override { return m_file.finishBackground(); }

    Result<std::unique_ptr<File>> openReadBack() override {
        const int fd = ::fcntl(descriptor(), F_DUPFD_CLOEXEC, 0);
        if (fd < 0) return lastError();
        return std::make_unique<PosixFile>(fd, true);
    }

    Status applyAccess(const FileAccess& original) override {
        const int fd = descriptor();
        // Root keeps the owner; anyone keeps a group they belong to.
        if (::fchown(fd, original.owner, original.group) != 0) {
            (void)::fchown(fd, static_cast<uid_t>(-1), original.group);
        }
        const auto now = status();
        if (!now) return now.error();
        const bool ownerKept = now->st_uid == original.owner;
        const bool groupKept = now->st_gid == original.group;

        std::string acl;
        for (const auto& [name, value] : original.attributes) {
            if (name == kAclName) acl = value;
        }
        // An ACL inherited from the folder is not the original's: it goes first.
#ifdef __linux__
        (void)::fremovexattr(fd, kAclName);
#endif
        unsigned mode = original.mode & 07777u;
        // Whoever owns the new file instead gets no rights meant for someone else.
        if (!ownerKept) mode &= ~static_cast<unsigned>(S_ISUID);
        if (!groupKept) mode = (mode & ~static_cast<unsigned>(S_ISGID | S_IRWXG)) | (mode & S_IRWXO) << 3;
        bool aclSet = false;
        if (!acl.empty() && groupKept) {
            const auto set = setAcl(mode, acl);
            if (!set) return set.error();
            aclSet = *set;
        }
        if (aclSet) {
            // The ACL set the permission bits; the special bits are the original's.
            const auto withAcl = status();
            if (!withAcl) return withAcl.error();
            mode = (static_cast<unsigned>(withAcl->st_mode) & 0777u) | (mode & 07000u);
        } else if (!acl.empty()) {
            mode = (mode & ~static_cast<unsigned>(S_IRWXG)) | groupBitsWithoutAcl(acl, mode);
        }
        if (::fchmod(fd, static_cast<mode_t>(mode)) != 0) return lastError();
#ifdef __linux__
        // The other attributes grant no access: kept where the file system takes them.
        for (const auto& [name, value] : original.attributes) {
            if (name == kAclName || name == "system.posix_acl_default") continue;
            (void)::fsetxattr(fd, name.c_str(), value.data(), value.size(), 0);
        }
#endif
        return {};
    }

    Status commit(const std::string& path) override {
        const std::string name = nameOf(path);
        if (m_tempName.empty()) {
            KERFO_TRY(linkNameless(name));
        } else {
            if (renameWithFlags(m_dirfd, m_tempName.c_str(), name.c_str(), kRenameNoReplace) != 0) {
                if (!flagUnsupported(errno)) return commitError(errno);
                KERFO_TRY(moveWithoutReplacing(name));
            }
            forgetTempName();
        }
        ::fsync(m_dirfd);
        return {};
    }

    Status commitOver(const std::string& path, const FileIdentity& original) override {
        const std::string name = nameOf(path);
        if (m_tempName.empty()) {
            // The exchange needs a name for the new file first.
            const std::string temp = temporaryName();
            m_cleanupSlot = registerForCleanup(m_dirfd, temp);
            if (Status linked = linkNameless(temp); !linked) {
                unregisterCleanup(m_cleanupSlot);
                m_cleanupSlot = -1;
                return linked;
            }
            m_tempName = temp;
        }
        if (renameWithFlags(m_dirfd, m_tempName.c_str(), name.c_str(), kRenameExchange) == 0) {
            // The old file now stands under the temporary name: remove it only if it is
            // the one the job read, else put it back.
            struct ::stat st {};
            if (::fstatat(m_dirfd, m_tempName.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 && identityOf(st) == original) {
                ::unlinkat(m_dirfd, m_tempName.c_str(), 0);
                forgetTempName();
                ::fsync(m_dirfd);
                return {};
            }
            renameWithFlags(m_dirfd, m_tempName.c_str(), name.c_str(), kRenameExchange);
            dropTempName();
            return RuntimeError(ErrorNumber::kFileAlreadyOpen);
        }
        if (!flagUnsupported(errno)) return failOver(errno);
        struct ::stat st {};
        if (::fstatat(m_dirfd, name.c_str(), &st, 0) != 0) return failOver(errno);
        if (identityOf(st) != original) return failOver(0);
        if (::renameat(m_dirfd, m_tempName.c_str(), m_dirfd, name.c_str()) != 0)
            return failOver(errno);
        forgetTempName();
        ::fsync(m_dirfd);
        return {};
    }

    Status removeBeside(const std::string& path, const FileIdentity& expected) override {
        const std::string name = nameOf(path);
        struct ::stat st {};
        if (::fstatat(m_dirfd, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) return lastError();
        if (identityOf(st) != expected) return RuntimeError(ErrorNumber::kFileAlreadyOpen);
        if (::unlinkat(m_dirfd, name.c_str(), 0) != 0) return lastError();
        ::fsync(m_dirfd);
        return {};
    }

private:
    static constexpr const char* kAclName = "system.posix_acl_access";

    static RuntimeError commitError(int err) {
        if (err == EEXIST) return RuntimeError(ErrorNumber::kFileAlreadyExists);
        return RuntimeError::fromErrno(err);
    }

    // Gives the nameless file `name`; a link never replaces an existing name.
    Status linkNameless(const std::string& name) {
        const std::string self = "/proc/self/fd/" + std::to_string(descriptor());
        if (::linkat(AT_FDCWD, self.c_str(), m_dirfd, name.c_str(), AT_SYMLINK_FOLLOW) == 0)
            return {};
        int err = errno;
#ifdef AT_EMPTY_PATH
        if (err == ENOENT && ::linkat(descriptor(), "", m_dirfd, name.c_str(), AT_EMPTY_PATH) == 0)
            return {};
        if (err == ENOENT) err = errno;
#endif
        return commitError(err);
    }

    // Sets `mode`, then the access ACL `acl` (which sets the permission bits again from
    // its entries); false when the file system takes no ACL.
    Result<bool> setAcl(unsigned mode, const std::string& acl) {
        if (::fchmod(descriptor(), static_cast<mode_t>(mode)) != 0) return lastError();
#ifdef __linux__
        return ::fsetxattr(descriptor(), kAclName, acl.data(), acl.size(), 0) == 0;
#else
        (void)acl;
        return false;
#endif
    }

    // The job gives up: its file's name goes at once (the file itself with the object).
    void dropTempName() {
        ::unlinkat(m_dirfd, m_tempName.c_str(), 0);
        forgetTempName();
    }
    // Gives up on the commit: `err`, or 55 for 0 (the name leads elsewhere).
    RuntimeError failOver(int err) {
        dropTempName();
        if (err == 0) return RuntimeError(ErrorNumber::kFileAlreadyOpen);
        return RuntimeError::fromErrno(err);
    }

    // Gives the named temporary `name` where renameat2 cannot promise not to replace.
    Status moveWithoutReplacing(const std::string& name) {
        if (::linkat(m_dirfd, m_tempName.c_str(), m_dirfd, name.c_str(), 0) == 0) {
            // A link never replaces; the temporary name goes afterwards.
            ::unlinkat(m_dirfd, m_tempName.c_str(), 0);
            return {};
        }
        if (errno == EEXIST) return commitError(errno);
        // No hard links here (FAT, exFAT): make sure, then rename. Another program would
        // have to create the name in the moment between the two.
        struct ::stat st {};
        if (::fstatat(m_dirfd, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0)
            return commitError(EEXIST);
        if (::renameat(m_dirfd, m_tempName.c_str(), m_dirfd, name.c_str()) != 0)
            return commitError(errno);
        return {};
    }

    void forgetTempName() {
        unregisterCleanup(m_cleanupSlot);
        m_cleanupSlot = -1;
        m_tempName.clear();
    }

    int descriptor() const { return m_file.descriptor(); }
    Result<struct ::stat> status() const {
        return m_file.status();
    }

    PosixFile m_file;
    int m_dirfd;
    std::string m_tempName;  // empty while the file has no name, and once committed
    int m_cleanupSlot = -1;
};

Result<int> openDirectory(const std::string& directory) {
    int fd = ::open(directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
#ifdef O_PATH
    if (fd < 0 && errno == EACCES) fd = ::open(directory.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
#endif
    if (fd < 0) return lastError();
    return fd;
}

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

    Result<int> attributes(const std::string& path) override {
        struct ::stat st {};
        if (::stat(path.c_str(), &st) != 0) return lastError();
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

    std::optional<FileIdentity> identity(const std::string& path) override {
        struct ::stat st {};
        if (::stat(path.c_str(), &st) != 0) return std::nullopt;
        return identityOf(st);
    }

    bool sameFile(const std::string& a, const std::string& b) override {
        struct ::stat first {};
        struct ::stat second {};
        if (::stat(a.c_str(), &first) != 0 || ::stat(b.c_str(), &second) != 0) return false;
        if (identityOf(first) == identityOf(second)) return true;
        const std::string nameA = nameOf(a);
        const std::string nameB = nameOf(b);
        if (directoryOf(a) != directoryOf(b) || nameA == nameB || !equalIgnoringCase(nameA, nameB)) return false;
        // Only if the folder holds no entry spelled exactly `b` does `b` lead to `a`: a
        // case-insensitive folder holds one entry at most for all spellings of a name.
        // (Times are no help: FUSE may still hold another spelling's stale ones.)
        DIR* folder = ::opendir(directoryOf(b).c_str());
        if (folder == nullptr) return false;
        bool spelled = false;
        while (const dirent* entry = ::readdir(folder)) spelled = spelled || nameB == entry->d_name;
        ::closedir(folder);
        return !spelled;
    }

    Result<std::unique_ptr<File>> openRead(const std::string& path) override {
        auto file = openRegular(path);
        if (!file) return file.error();
        return std::move(*file);
    }

    Result<std::unique_ptr<File>> openSource(const std::string& path) override {
        auto file = openRegular(path);
        if (!file) return file.error();
        // The lock goes with the descriptor: closed, or the process gone, it is free again.
        // A file system without locks (some network shares) still lets the job run.
        if (::flock((*file)->descriptor(), LOCK_EX | LOCK_NB) != 0 && errno == EWOULDBLOCK) {
            return RuntimeError(ErrorNumber::kFileAlreadyOpen);
        }
        return std::move(*file);
    }

    Result<std::unique_ptr<NewFile>> createNew(const std::string& directory) override {
        const auto opened = openDirectory(directory);
        if (!opened) return opened.error();
        const int dirfd = *opened;
#ifdef O_TMPFILE
        const int nameless = ::openat(dirfd, ".", O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
        if (nameless >= 0) return std::make_unique<PosixNewFile>(nameless, dirfd, std::string(), -1);
        // Only a file system (or kernel) without nameless files falls back to a name.
        if (errno != EOPNOTSUPP && errno != EISDIR && errno != EINVAL && errno != ENOENT) {
            const int err = errno;
            ::close(dirfd);
            return RuntimeError::fromErrno(err);
        }
#endif
        for (int attempt = 0; attempt < 100; ++attempt) {
            const std::string name = temporaryName();
            const int slot = registerForCleanup(dirfd, name);
            const int fd = ::openat(dirfd, name.c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
            if (fd >= 0) {
                // Held while the file lives, dropped by the kernel if the process dies:
                // removeStaleTemps tells a killed job's leftover from a running job's file by it.
                ::flock(fd, LOCK_EX | LOCK_NB);
                return std::make_unique<PosixNewFile>(fd, dirfd, name, slot);
            }
            const int err = errno;
            unregisterCleanup(slot);
            errno = err;
            if (errno != EEXIST) {
                const int err = errno;
                ::close(dirfd);
                return RuntimeError::fromErrno(err);
            }
        }
        ::close(dirfd);
        return RuntimeError(ErrorNumber::kPathFileAccess);
    }

    void removeStaleTemps(const std::string& directory) noexcept override {
        DIR* folder = ::opendir(directory.c_str());
        if (folder == nullptr) return;
        const std::time_t now = std::time(nullptr);
        while (const dirent* entry = ::readdir(folder)) {
            if (!isTemporaryName(entry->d_name)) continue;
            const int fd = ::openat(::dirfd(folder), entry->d_name,
                                    O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
            if (fd < 0) continue;
            struct ::stat st {};
            if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_nlink == 1 && st.st_uid == ::geteuid() &&
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

private:
    static Result<std::unique_ptr<PosixFile>> openRegular(const std::string& path) {
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
        if (fd < 0) return lastError();
        auto file = std::make_unique<PosixFile>(fd);
        struct ::stat st {};
        if (::fstat(fd, &st) != 0) return lastError();
        if (!S_ISREG(st.st_mode)) return RuntimeError(ErrorNumber::kPathFileAccess);
        const int flags = ::fcntl(fd, F_GETFL);
        if (flags >= 0) ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);
        return file;
    }
};

}  // namespace

FileSystem& realFileSystem() {
    static PosixFileSystem fileSystem;
    return fileSystem;
}

}  // namespace kerfo::platform
