// The file layer on POSIX systems. A new file is made where no one can find it (Linux:
// O_TMPFILE, no name at all; elsewhere a private temporary name that a signal handler
// removes), and everything after its creation works relative to its folder's open handle,
// so that a folder renamed under a job changes nothing. A job's source is locked against
// other jobs and leased against writers.
#include "platform/file_system_posix.h"

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
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <mutex>
#include <string_view>
#include <utility>
#include <vector>

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
    stamp.links = static_cast<std::uint64_t>(st.st_nlink);
#if defined(__APPLE__)
    stamp.modified = nanoseconds(st.st_mtimespec);
    stamp.changed = nanoseconds(st.st_ctimespec);
#else
    stamp.modified = nanoseconds(st.st_mtim);
    stamp.changed = nanoseconds(st.st_ctim);
#endif
    return stamp;
}

FileInfo infoOf(const struct ::stat& st) {
    FileInfo info;
    info.type = S_ISREG(st.st_mode)   ? FileType::kRegular
                : S_ISDIR(st.st_mode) ? FileType::kDirectory
                : S_ISLNK(st.st_mode) ? FileType::kSymbolicLink
                                      : FileType::kOther;
    info.size = static_cast<std::uint64_t>(st.st_size);
    info.permissions = static_cast<unsigned>(st.st_mode) & 0777u;
    info.links = static_cast<std::uint64_t>(st.st_nlink);
    return info;
}

// True when the name `name` in `dirfd` leads to the open file `fd` itself.
bool leadsTo(int dirfd, const char* name, int fd) {
    struct ::stat there {};
    struct ::stat mine {};
    return ::fstatat(dirfd, name, &there, AT_SYMLINK_NOFOLLOW) == 0 && ::fstat(fd, &mine) == 0 &&
           identityOf(there) == identityOf(mine);
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
// What linkat says on a file system without hard links (FAT, exFAT, many FUSE ones).
bool linksUnsupported(int err) {
    return err == EPERM || err == ENOSYS || err == EOPNOTSUPP || err == EMLINK;
}

// Closes a descriptor when it goes out of scope.
class Descriptor {
public:
    explicit Descriptor(int fd = -1) : m_fd(fd) {}
    ~Descriptor() {
        if (m_fd >= 0) ::close(m_fd);
    }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    int get() const { return m_fd; }

private:
    int m_fd;
};

// ---------------------------------------------------------------------------------------
// Named files that a process ended by a signal must not leave behind. A few slots, filled
// and emptied by jobs, read by the signal handler. While a slot is in use, every signal
// whose default action ends the process is caught: the handler removes the named files
// and then lets the signal take its default course. A signal the process ignores or
// handles itself is passed on, and the files stay (the job goes on, or the next start's
// sweep removes them).

constexpr int kFixedFatalSignals[] = {
    SIGHUP,    SIGINT,  SIGQUIT, SIGILL,  SIGTRAP, SIGABRT, SIGBUS,    SIGFPE,  SIGUSR1, SIGSEGV,
    SIGUSR2,   SIGPIPE, SIGALRM, SIGTERM, SIGXCPU, SIGXFSZ, SIGVTALRM, SIGPROF, SIGSYS,
#ifdef SIGSTKFLT
    SIGSTKFLT,
#endif
#ifdef SIGPOLL
    SIGPOLL,
#endif
#ifdef SIGPWR
    SIGPWR,
#endif
};
constexpr std::size_t kCleanupSlots = 16;
constexpr int kMaxSignal = 65;

// A slot's descriptor: the name is removed only while it leads to that open file; these
// two values instead mean "always" and "not yet".
constexpr int kRemoveAlways = -1;
constexpr int kNotYet = -2;

struct CleanupSlot {
    std::atomic<int> dirfd{-1};
    std::atomic<int> fd{kRemoveAlways};
    char name[NAME_MAX + 1] = {};
};
CleanupSlot g_slots[kCleanupSlots];
struct sigaction g_previous[kMaxSignal];
bool g_caught[kMaxSignal] = {};
std::mutex g_cleanupMutex;
int g_slotsInUse = 0;
// While a name may or may not have become ours (between an exclusive create and the moment
// the slot learns its descriptor), a fatal signal waits: the thread raises it again after.
std::atomic<bool> g_deferring{false};
std::atomic<int> g_deferred{0};

std::vector<int> fatalSignals() {
    std::vector<int> signals(std::begin(kFixedFatalSignals), std::end(kFixedFatalSignals));
#ifdef SIGRTMIN
    for (int s = SIGRTMIN; s <= SIGRTMAX && s < kMaxSignal; ++s) signals.push_back(s);
#endif
    return signals;
}

// Only async-signal-safe calls from here on.
void removeRegisteredFiles() {
    for (auto& slot : g_slots) {
        const int dirfd = slot.dirfd.exchange(-1);
        if (dirfd < 0) continue;
        const int fd = slot.fd.load();
        if (fd == kNotYet || (fd >= 0 && !leadsTo(dirfd, slot.name, fd))) continue;
        ::unlinkat(dirfd, slot.name, 0);
    }
}

void onFatalSignal(int signal, siginfo_t* info, void* context) {
    const struct sigaction& previous = g_previous[signal];
    if ((previous.sa_flags & SA_SIGINFO) != 0) {
        previous.sa_sigaction(signal, info, context);
        return;
    }
    if (previous.sa_handler == SIG_IGN) return;
    if (previous.sa_handler != SIG_DFL) {
        previous.sa_handler(signal);
        return;
    }
    if (g_deferring.load()) {
        g_deferred.store(signal);
        // Still inside: the thread raises it on its way out. Already out: act now.
        if (g_deferring.load()) return;
    }
    removeRegisteredFiles();
    // The default action, once this handler returns and the signal is unblocked.
    struct sigaction fallback {};
    fallback.sa_handler = SIG_DFL;
    sigemptyset(&fallback.sa_mask);
    ::sigaction(signal, &fallback, nullptr);
    ::raise(signal);
}

void catchFatalSignals() {
    struct sigaction action {};
    action.sa_sigaction = onFatalSignal;
    action.sa_flags = SA_SIGINFO | SA_RESTART;
    sigemptyset(&action.sa_mask);
    for (const int s : fatalSignals()) {
        if (::sigaction(s, nullptr, &g_previous[s]) != 0) continue;
        // An ignored signal ends nothing; catching it would only wake the job for nothing.
        if ((g_previous[s].sa_flags & SA_SIGINFO) == 0 && g_previous[s].sa_handler == SIG_IGN)
            continue;
        g_caught[s] = ::sigaction(s, &action, nullptr) == 0;
    }
}

void releaseFatalSignals() {
    for (int s = 1; s < kMaxSignal; ++s) {
        if (!g_caught[s]) continue;
        ::sigaction(s, &g_previous[s], nullptr);
        g_caught[s] = false;
    }
}

// Holds back fatal signals for the few instructions between an exclusive create and the
// SignalCleanup::watch that says the file is ours; raises what came meanwhile at its end.
class FatalSignalsHeld {
public:
    FatalSignalsHeld() { g_deferring.store(true); }
    ~FatalSignalsHeld() {
        g_deferring.store(false);
        if (const int signal = g_deferred.exchange(0); signal != 0) ::raise(signal);
    }
    FatalSignalsHeld(const FatalSignalsHeld&) = delete;
    FatalSignalsHeld& operator=(const FatalSignalsHeld&) = delete;
};

// Keeps `name` in `dirfd` registered for removal on a fatal signal while it lives. Its end
// only unregisters the name: the job removes or keeps its files itself.
class SignalCleanup {
public:
    enum Arming { kAlways, kOnceWatched };

    SignalCleanup() = default;
    // `arming`: kAlways for a name no one else uses (a fresh temporary name); kOnceWatched
    // for a name that may be someone else's until watch() says which file is ours.
    SignalCleanup(int dirfd, const std::string& name, Arming arming = kAlways) {
        if (name.size() > NAME_MAX) return;
        const std::lock_guard lock(g_cleanupMutex);
        for (std::size_t i = 0; i < kCleanupSlots; ++i) {
            CleanupSlot& slot = g_slots[i];
            if (slot.dirfd.load() >= 0) continue;
            std::memcpy(slot.name, name.c_str(), name.size() + 1);
            slot.fd.store(arming == kAlways ? kRemoveAlways : kNotYet);
            if (g_slotsInUse++ == 0) catchFatalSignals();
            slot.dirfd.store(dirfd);
            m_slot = static_cast<int>(i);
            return;
        }
        // All slots taken: the destructors still remove the files in every ordinary case,
        // and the next start's sweep after a signal.
    }
    ~SignalCleanup() { cancel(); }
    SignalCleanup(SignalCleanup&& other) noexcept : m_slot(std::exchange(other.m_slot, -1)) {}
    SignalCleanup& operator=(SignalCleanup&& other) noexcept {
        if (this != &other) {
            cancel();
            m_slot = std::exchange(other.m_slot, -1);
        }
        return *this;
    }

    // From now on the name is removed only while it leads to the open file `fd`.
    void watch(int fd) {
        if (m_slot >= 0) g_slots[m_slot].fd.store(fd);
    }
    // Unregisters the name.
    void cancel() {
        if (m_slot < 0) return;
        const std::lock_guard lock(g_cleanupMutex);
        g_slots[m_slot].dirfd.store(-1);
        g_slots[m_slot].fd.store(kRemoveAlways);
        if (--g_slotsInUse == 0) releaseFatalSignals();
        m_slot = -1;
    }

private:
    int m_slot = -1;
};

// ---------------------------------------------------------------------------------------
// Writers: a process that has the source open for writing would write into a file that
// the job is about to remove.

// True when some process this one may look at has the file of `fd` open for writing
// (Linux: the open files listed under /proc); false where nothing can be seen.
bool openForWritingAnywhere(int fd) {
    struct ::stat mine {};
    if (::fstat(fd, &mine) != 0) return false;
    DIR* processes = ::opendir("/proc");
    if (processes == nullptr) return false;
    bool found = false;
    while (const dirent* process = ::readdir(processes)) {
        if (found) break;
        const std::string_view pid = process->d_name;
        if (pid.empty() || pid.find_first_not_of("0123456789") != std::string_view::npos) continue;
        const std::string base = "/proc/" + std::string(pid);
        DIR* descriptors = ::opendir((base + "/fd").c_str());
        if (descriptors == nullptr) continue;
        while (const dirent* d = ::readdir(descriptors)) {
            struct ::stat st {};
            if (d->d_name[0] == '.' || ::fstatat(::dirfd(descriptors), d->d_name, &st, 0) != 0 ||
                identityOf(st) != identityOf(mine)) {
                continue;
            }
            // "flags:" holds the open flags in octal; the access mode is their low bits.
            std::FILE* info = std::fopen((base + "/fdinfo/" + d->d_name).c_str(), "re");
            if (info == nullptr) continue;
            char line[128];
            while (std::fgets(line, sizeof line, info) != nullptr) {
                constexpr std::string_view kFlags = "flags:";
                if (std::string_view(line).substr(0, kFlags.size()) != kFlags) continue;
                const unsigned long flags = std::strtoul(line + kFlags.size(), nullptr, 8);
                found = found || (flags & O_ACCMODE) != O_RDONLY;
                break;
            }
            std::fclose(info);
            if (found) break;
        }
        ::closedir(descriptors);
    }
    ::closedir(processes);
    return found;
}

// ---------------------------------------------------------------------------------------

class PosixFile : public SourceFile {
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

    // Starts watching for writers, as a job's source: fails with 55 when another process
    // has the file open for writing now. With `lease`, takes a read lease, which the
    // system breaks when anyone opens the file for writing while the job holds it.
    Status watchWriters(bool lease) {
#if defined(F_SETLEASE) && defined(F_SETSIG)
        // A broken lease is told by a signal, SIGIO unless set otherwise, and SIGIO would
        // end the process; SIGURG is ignored unless someone handles it. The job asks
        // F_GETLEASE instead.
        if (lease && ::fcntl(m_fd, F_SETSIG, SIGURG) == 0) {
            if (::fcntl(m_fd, F_SETLEASE, F_RDLCK) == 0) {
                m_leased = true;
                return {};
            }
            if (errno == EAGAIN) return RuntimeError(ErrorNumber::kFileAlreadyOpen);
            // No lease here (another user's file, a file system without leases): the
            // open files of the processes this one can see tell instead.
        }
#else
        (void)lease;
#endif
        return checkNoWriter();
    }

    Status checkNoWriter() override {
#if defined(F_GETLEASE)
        if (m_leased) {
            // A lease being broken, or broken, is no read lease any more.
            if (::fcntl(m_fd, F_GETLEASE) == F_RDLCK) return {};
            return RuntimeError(ErrorNumber::kFileAlreadyOpen);
        }
#endif
        if (openForWritingAnywhere(m_fd)) return RuntimeError(ErrorNumber::kFileAlreadyOpen);
        return {};
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
    bool m_leased = false;
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

// What a claim note holds: this tag, then the name claimed. See moveOverClaim.
constexpr std::string_view kClaimTag = "kerfo claim\n";
// How far apart a claim and its note may have been made: FAT keeps times to 2 s.
constexpr std::int64_t kClaimSlackNs = 2'000'000'000;

class PosixNewFile final : public FileForwarder<NewFile> {
public:
    // `tempName`: the private temporary name, empty for a nameless file; `cleanup` keeps
    // it registered for removal on a signal (registered before the file was created, so
    // that no moment is left uncovered).
    PosixNewFile(int fd, int dirfd, std::string tempName, SignalCleanup cleanup,
                 const PosixFeatures& features)
        : m_file(fd),
          m_dirfd(dirfd),
          m_tempName(std::move(tempName)),
          m_cleanup(std::move(cleanup)),
          m_features(features) {}
    ~PosixNewFile() override {
        if (!m_tempName.empty()) ::unlinkat(m_dirfd, m_tempName.c_str(), 0);
        m_cleanup.cancel();
        ::close(m_dirfd);
    }
    PosixNewFile(const PosixNewFile&) = delete;
    PosixNewFile& operator=(const PosixNewFile&) = delete;

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
            if (!m_features.noReplaceRename ||
                renameWithFlags(m_dirfd, m_tempName.c_str(), name.c_str(), kRenameNoReplace) != 0) {
                if (m_features.noReplaceRename && !flagUnsupported(errno))
                    return commitError(errno);
                KERFO_TRY(moveWithoutReplacing(name));
            }
            forgetTempName();
        }
        ::fsync(m_dirfd);
        return {};
    }

    Status commitOver(const std::string& path, SourceFile& original) override {
        const auto stamp = original.stamp();
        if (!stamp) return stamp.error();
        const FileIdentity identity = stamp->identity;
        const std::string name = nameOf(path);
        if (m_tempName.empty()) {
            // The exchange needs a name for the new file first.
            const std::string temp = temporaryName();
            SignalCleanup cleanup(m_dirfd, temp);
            KERFO_TRY(linkNameless(temp));
            m_tempName = temp;
            m_cleanup = std::move(cleanup);
        }
        if (m_features.noReplaceRename &&
            renameWithFlags(m_dirfd, m_tempName.c_str(), name.c_str(), kRenameExchange) == 0) {
            // The old file now stands under the temporary name: remove it only if it is
            // the one the job read and no one opened it for writing, else put it back.
            struct ::stat st {};
            if (::fstatat(m_dirfd, m_tempName.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 &&
                identityOf(st) == identity && original.checkNoWriter()) {
                ::unlinkat(m_dirfd, m_tempName.c_str(), 0);
                forgetTempName();
                ::fsync(m_dirfd);
                return {};
            }
            renameWithFlags(m_dirfd, m_tempName.c_str(), name.c_str(), kRenameExchange);
            dropTempName();
            return RuntimeError(ErrorNumber::kFileAlreadyOpen);
        }
        if (m_features.noReplaceRename && !flagUnsupported(errno)) return failOver(errno);
        struct ::stat st {};
        if (::fstatat(m_dirfd, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) return failOver(errno);
        if (identityOf(st) != identity || !original.checkNoWriter()) return failOver(0);
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

protected:
    File& target() override {
        return m_file;
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
        if (m_features.hardLinks) {
            if (::linkat(m_dirfd, m_tempName.c_str(), m_dirfd, name.c_str(), 0) == 0) {
                // A link never replaces; the temporary name goes afterwards (a job killed
                // in between leaves it as a second name, which the next sweep removes).
                ::unlinkat(m_dirfd, m_tempName.c_str(), 0);
                return {};
            }
            if (!linksUnsupported(errno)) return commitError(errno);
        }
        return moveOverClaim(name);
    }

    // FAT and exFAT: no hard links, no rename that refuses to replace. The name is claimed
    // by creating it exclusively (so another job's claim fails with 58), and the new file
    // is renamed over the claim. A note under a temporary name records the claim first:
    // should the job be killed between the two, the next start's sweep finds the note and
    // removes the empty claim with it.
    Status moveOverClaim(const std::string& name) {
        const std::string noteName = temporaryName();
        SignalCleanup noteCleanup(m_dirfd, noteName);
        const Descriptor note(::openat(m_dirfd, noteName.c_str(),
                                       O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600));
        if (note.get() < 0) return lastError();
        ::flock(note.get(), LOCK_EX | LOCK_NB);
        const std::string noteText = std::string(kClaimTag) + name;
        const auto dropNote = [&] {
            ::unlinkat(m_dirfd, noteName.c_str(), 0);
            noteCleanup.cancel();
        };
        if (::write(note.get(), noteText.data(), noteText.size()) !=
            static_cast<ssize_t>(noteText.size())) {
            const int err = errno;
            dropNote();
            return RuntimeError::fromErrno(err != 0 ? err : ENOSPC);
        }

        // Registered before the claim exists, but armed only once it is known to be ours.
        SignalCleanup claimCleanup(m_dirfd, name, SignalCleanup::kOnceWatched);
        int claimed = -1;
        int err = 0;
        {
            const FatalSignalsHeld held;
            claimed = ::openat(m_dirfd, name.c_str(),
                               O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
            err = errno;
            if (claimed >= 0) claimCleanup.watch(claimed);
        }
        const Descriptor claim(claimed);
        if (claim.get() < 0) {
            claimCleanup.cancel();
            dropNote();
            return commitError(err);
        }
        ::flock(claim.get(), LOCK_EX | LOCK_NB);
        // Renamed over, the claim is all that goes; whatever took its place would go too.
        const bool ours = leadsTo(m_dirfd, name.c_str(), claim.get());
        if (!ours || ::renameat(m_dirfd, m_tempName.c_str(), m_dirfd, name.c_str()) != 0) {
            const int err = ours ? errno : EEXIST;
            if (leadsTo(m_dirfd, name.c_str(), claim.get())) ::unlinkat(m_dirfd, name.c_str(), 0);
            claimCleanup.cancel();
            dropNote();
            return commitError(err);
        }
        claimCleanup.cancel();
        dropNote();
        return {};
    }

    void forgetTempName() {
        m_cleanup.cancel();
        m_tempName.clear();
    }

    int descriptor() const { return m_file.descriptor(); }
    Result<struct ::stat> status() const {
        return m_file.status();
    }

    PosixFile m_file;
    int m_dirfd;
    std::string m_tempName;  // empty while the file has no name, and once committed
    SignalCleanup m_cleanup;
    PosixFeatures m_features;
};

Result<int> openDirectory(const std::string& directory) {
    int fd = ::open(directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
#ifdef O_PATH
    if (fd < 0 && errno == EACCES) fd = ::open(directory.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
#endif
    if (fd < 0) return lastError();
    return fd;
}

// Removes the empty claim a killed job left under the name its note `note` (open, in
// `dirfd`) records, if it is still that claim: an empty regular file that no one holds,
// made within moments of the note.
void removeClaimOf(int dirfd, int note) {
    char text[kClaimTag.size() + NAME_MAX + 1] = {};
    const ssize_t n = ::pread(note, text, sizeof text - 1, 0);
    if (n <= static_cast<ssize_t>(kClaimTag.size())) return;
    const std::string_view content(text, static_cast<std::size_t>(n));
    if (content.substr(0, kClaimTag.size()) != kClaimTag) return;
    const std::string name(content.substr(kClaimTag.size()));
    if (name == "." || name == ".." || name.find('/') != std::string::npos ||
        name.find('\0') != std::string::npos)
        return;
    const Descriptor claim(
        ::openat(dirfd, name.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
    struct ::stat claimed {};
    struct ::stat noted {};
    if (claim.get() < 0 || ::fstat(claim.get(), &claimed) != 0 || ::fstat(note, &noted) != 0)
        return;
    const std::int64_t apart = nanoseconds(claimed.st_mtim) - nanoseconds(noted.st_mtim);
    if (!S_ISREG(claimed.st_mode) || claimed.st_size != 0 || apart < -kClaimSlackNs ||
        apart > kClaimSlackNs || ::flock(claim.get(), LOCK_EX | LOCK_NB) != 0 ||
        !leadsTo(dirfd, name.c_str(), claim.get())) {
        return;
    }
    ::unlinkat(dirfd, name.c_str(), 0);
}

class PosixFileSystem final : public FileSystem {
public:
    explicit PosixFileSystem(const PosixFeatures& features) : m_features(features) {}

    std::optional<FileInfo> stat(const std::string& path) override {
        struct ::stat st {};
        if (::stat(path.c_str(), &st) != 0) return std::nullopt;
        return infoOf(st);
    }

    std::optional<FileInfo> entry(const std::string& path) override {
        struct ::stat st {};
        if (::lstat(path.c_str(), &st) != 0) return std::nullopt;
        return infoOf(st);
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

    bool sameEntry(const std::string& a, const std::string& b) override {
        struct ::stat st {};
        if (::lstat(a.c_str(), &st) != 0 || ::lstat(b.c_str(), &st) != 0) return false;
        if (a == b) return true;
        const std::string nameA = nameOf(a);
        if (directoryOf(a) != directoryOf(b) || !equalIgnoringCase(nameA, nameOf(b))) return false;
        // Both spellings lead somewhere: one entry if the folder lists the name once (a
        // case-insensitive folder), two (hard links, or two files) if it lists both.
        DIR* folder = ::opendir(directoryOf(a).c_str());
        if (folder == nullptr) return false;
        int spellings = 0;
        while (const dirent* e = ::readdir(folder))
            spellings += equalIgnoringCase(nameA, e->d_name) ? 1 : 0;
        ::closedir(folder);
        return spellings == 1;
    }

    Result<std::unique_ptr<File>> openRead(const std::string& path) override {
        auto file = openRegular(path, 0);
        if (!file) return file.error();
        return std::unique_ptr<File>(std::move(*file));
    }

    Result<std::unique_ptr<SourceFile>> openSource(const std::string& path) override {
        // The name itself, never through a link: the job removes this name.
        auto file = openRegular(path, O_NOFOLLOW);
        if (!file) return file.error();
        // The lock goes with the descriptor: closed, or the process gone, it is free again.
        // A file system without locks (some network shares) still lets the job run.
        if (::flock((*file)->descriptor(), LOCK_EX | LOCK_NB) != 0 && errno == EWOULDBLOCK) {
            return RuntimeError(ErrorNumber::kFileAlreadyOpen);
        }
        KERFO_TRY((*file)->watchWriters(m_features.leases));
        return std::unique_ptr<SourceFile>(std::move(*file));
    }

    Result<std::unique_ptr<NewFile>> createNew(const std::string& directory) override {
        const auto opened = openDirectory(directory);
        if (!opened) return opened.error();
        const int dirfd = *opened;
#ifdef O_TMPFILE
        if (m_features.namelessFiles) {
            const int nameless = ::openat(dirfd, ".", O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
            if (nameless >= 0) {
                // Locked too: replacing in place names it for a moment, and another
                // start's sweep must leave it alone then.
                ::flock(nameless, LOCK_EX | LOCK_NB);
                return std::make_unique<PosixNewFile>(nameless, dirfd, std::string(),
                                                      SignalCleanup(), m_features);
            }
            // Only a file system (or kernel) without nameless files falls back to a name.
            if (errno != EOPNOTSUPP && errno != EISDIR && errno != EINVAL && errno != ENOENT) {
                const int err = errno;
                ::close(dirfd);
                return RuntimeError::fromErrno(err);
            }
        }
#endif
        for (int attempt = 0; attempt < 100; ++attempt) {
            const std::string name = temporaryName();
            SignalCleanup cleanup(dirfd, name);
            const int fd = ::openat(dirfd, name.c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
            if (fd < 0) {
                if (errno == EEXIST) continue;
                const int err = errno;
                ::close(dirfd);
                return RuntimeError::fromErrno(err);
            }
            // Held while the file lives, dropped by the kernel if the process dies: the
            // sweep tells a killed job's leftover from a running job's file by it. A sweep
            // that took the file in the moment before the lock removes it: start over.
            if (::flock(fd, LOCK_EX | LOCK_NB) != 0 || !leadsTo(dirfd, name.c_str(), fd)) {
                ::close(fd);
                continue;
            }
            cleanup.watch(fd);
            return std::make_unique<PosixNewFile>(fd, dirfd, name, std::move(cleanup), m_features);
        }
        ::close(dirfd);
        return RuntimeError(ErrorNumber::kPathFileAccess);
    }

    void removeStaleTemps(const std::string& directory) noexcept override {
        DIR* folder = ::opendir(directory.c_str());
        if (folder == nullptr) return;
        while (const dirent* entry = ::readdir(folder)) {
            if (!isTemporaryName(entry->d_name)) continue;
            const Descriptor fd(
                ::openat(::dirfd(folder), entry->d_name,
                         O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
            struct ::stat st {};
            // A live job holds its files locked; a file with another name loses nothing
            // when this one goes.
            if (fd.get() < 0 || ::fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode) ||
                ::flock(fd.get(), LOCK_EX | LOCK_NB) != 0) {
                continue;
            }
            removeClaimOf(::dirfd(folder), fd.get());
            ::unlinkat(::dirfd(folder), entry->d_name, 0);
        }
        ::closedir(folder);
    }

private:
    static Result<std::unique_ptr<PosixFile>> openRegular(const std::string& path, int extraFlags) {
        // Non-blocking, so that opening a FIFO without a writer cannot hang; only
        // regular files are handed out.
        const int flags = O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC | extraFlags;
#ifdef O_NOATIME
        // Looking at a file (the gate, kerfo-cli show) is no use of it that its access
        // time should record. Only the owner may ask for that; anyone else reads as usual.
        int fd = ::open(path.c_str(), flags | O_NOATIME);
        if (fd < 0 && errno == EPERM) fd = ::open(path.c_str(), flags);
#else
        const int fd = ::open(path.c_str(), flags);
#endif
        if (fd < 0) {
            // O_NOFOLLOW on a link: not a file the job may replace.
            if (errno == ELOOP && (extraFlags & O_NOFOLLOW) != 0)
                return RuntimeError(ErrorNumber::kPathFileAccess);
            return lastError();
        }
        auto file = std::make_unique<PosixFile>(fd);
        struct ::stat st {};
        if (::fstat(fd, &st) != 0) return lastError();
        if (!S_ISREG(st.st_mode)) return RuntimeError(ErrorNumber::kPathFileAccess);
        const int fileFlags = ::fcntl(fd, F_GETFL);
        if (fileFlags >= 0) ::fcntl(fd, F_SETFL, fileFlags & ~O_NONBLOCK);
        return file;
    }

    PosixFeatures m_features;
};

}  // namespace

FileSystem& realFileSystem() {
    static PosixFileSystem fileSystem{PosixFeatures{}};
    return fileSystem;
}

std::unique_ptr<FileSystem> posixFileSystem(const PosixFeatures& features) {
    return std::make_unique<PosixFileSystem>(features);
}

}  // namespace kerfo::platform
