// The fault matrix: every case runs encryption and decryption, through the core jobs and
// through kerfo-cli, and is judged by what stands on disk afterwards (harness.h).
#include <grp.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/statvfs.h>
#include <sys/wait.h>
#include <sys/xattr.h>

#include <cerrno>
#include <condition_variable>
#include <cstring>
#include <functional>
#include <iterator>
#include <mutex>
#include <thread>

#include "cipher/stretch.h"
#include "fakes/faulty_file_system.h"
#include "filejobs/gate.h"
#include "harness.h"
#include "support/files.h"

namespace kerfo::reliability {
namespace {

using filejobs::JobContext;
using test::randomBytes;

JobContext fixedSalt() {
    JobContext context;
    context.saltSource = [] { return std::string("12/8/202612345.67"); };
    return context;
}

// The encrypted form of `plain` under "pw", made in a folder of its own.
std::string encryptedForm(const std::string& plain) {
    test::ScratchDir side;
    const auto path = side.write("x.txt", plain);
    const auto result = filejobs::Encrypt(path, "pw", fixedSalt());
    if (result.status != filejobs::JobStatus::kDone) throw std::runtime_error("cannot encrypt");
    return readAll(result.newPath);
}

const std::vector<std::string> kVias{"core", "cli"};

// Puts the original of a case in `directory` under `name` (a plain file for encryption,
// its encrypted form for decryption) and fills in the rest of the case.
Case prepare(const std::string& group, const std::string& name, const std::string& via, bool encrypt,
             const std::string& directory, std::string fileName, const std::string& plain,
             bool keepName = false) {
    // An encrypted original is named .kfo unless the case is about its name.
    if (!encrypt && !keepName && fileName.size() > 4 && fileName.compare(fileName.size() - 4, 4, ".txt") == 0) {
        fileName.replace(fileName.size() - 4, 4, ".kfo");
    }
    Case c;
    c.group = group;
    c.name = name;
    c.via = via;
    c.encrypt = encrypt;
    c.directory = directory;
    c.source = directory + "/" + fileName;
    c.plain = plain;
    c.sourceBytes = encrypt ? plain : encryptedForm(plain);
    writeAll(c.source, c.sourceBytes);
    c.target = filejobs::replaceExtension(c.source, encrypt ? ".kfo" : ".txt");
    return c;
}

Reported runJob(const Case& c, platform::FileSystem* files = nullptr) {
    if (c.via == "cli") {
        return Cli::run({c.encrypt ? "encrypt" : "decrypt", c.source, "--password-stdin"});
    }
    JobContext context = fixedSalt();
    context.files = files;
    return fromJob(c.encrypt ? filejobs::Encrypt(c.source, "pw", context)
                             : filejobs::Decrypt(c.source, "pw", context));
}

// In a child forked to play another program: lets go of the parent's descriptors, the
// job's source among them, which would otherwise share its lease and its lock.
void closeInherited() {
    ::close_range(3, ~0U, 0);
}

void clearDirectory(const std::string& directory) {
    for (const auto& e : std::filesystem::directory_iterator(directory)) {
        std::filesystem::remove_all(e.path());
    }
}

std::uint64_t encryptedSize(std::uint64_t n) {
    const std::uint64_t body = cipher::stretchedLength(n);
    return 26 + body + 2 * ((body + 69) / 70);
}

// ---------------------------------------------------------------------------------------
// Disk full, injected through the file layer at the first, a middle and the last write.

TEST(DiskFull, InjectedAtFirstMiddleAndLastWrite) {
    constexpr std::size_t kSize = 1'500'001;  // more than one chunk each way
    const std::string plain = randomBytes(kSize, 1);
    for (const bool encrypt : {true, false}) {
        const std::uint64_t total = encrypt ? encryptedSize(kSize) : kSize;
        const std::pair<const char*, std::uint64_t> points[] = {
            {"injected, first write", 0}, {"injected, middle write", total / 2}, {"injected, last write", total - 1}};
        for (const auto& [name, limit] : points) {
            test::ScratchDir dir;
            Case c = prepare("disk full", name, "core", encrypt, dir.path().string(), "doc.txt", plain);
            test::FaultyFileSystem files;
            files.writeLimit = limit;
            const auto reported = runJob(c, &files);
            check(c, Verdict::kKept, reported);
            EXPECT_NE(reported.detail.find("error 61"), std::string::npos) << reported.detail;
        }
    }
}

// A small tmpfs, mounted for the test; needs root (CI runs as root).
class Tmpfs : public ::testing::Test {
protected:
    void mountIt(const char* options) {
        mountPoint = dir / "mnt";
        std::filesystem::create_directory(mountPoint);
        if (::mount("tmpfs", mountPoint.c_str(), "tmpfs", 0, options) != 0) {
            why = std::string("cannot mount a tmpfs here (") + std::strerror(errno) + "); run as root";
            return;
        }
        mounted = true;
    }
    void TearDown() override {
        if (mounted) ::umount2(mountPoint.c_str(), MNT_DETACH);
    }
    // Fills the file system, then frees `room` bytes: the next writes fail after about that many.
    void leaveRoom(std::uint64_t room) {
        const std::string filler = mountPoint + "/filler";
        {
            std::ofstream out(filler, std::ios::binary);
            const std::string block(1 << 16, 'f');
            while (out.write(block.data(), block.size())) {
            }
        }
        // Write the tail byte by byte-ish so that the disk is really full.
        const int fd = ::open(filler.c_str(), O_WRONLY | O_APPEND);
        const char b[512] = {};
        while (::write(fd, b, sizeof b) > 0) {
        }
        while (::write(fd, b, 1) > 0) {
        }
        struct stat st {};
        ::fstat(fd, &st);
        const auto size = static_cast<std::uint64_t>(st.st_size);
        if (::ftruncate(fd, static_cast<off_t>(size > room ? size - room : 0)) != 0) ADD_FAILURE();
        ::close(fd);
    }

    test::ScratchDir dir;
    std::string mountPoint;
    bool mounted = false;
    std::string why;
};

TEST_F(Tmpfs, DiskFullAtFirstMiddleAndLastWrite) {
    mountIt("size=4m,mode=0755");
    if (!mounted) {
        Results::skipped("disk full", "small tmpfs", why);
        GTEST_SKIP() << why;
    }
    constexpr std::size_t kSize = 600'001;
    const std::string plain = randomBytes(kSize, 2);
    for (const bool encrypt : {true, false}) {
        const std::uint64_t out = encrypt ? encryptedSize(kSize) : kSize;
        // tmpfs counts whole pages: no page left, half the output's pages, all but the last.
        const std::pair<const char*, std::uint64_t> points[] = {
            {"tmpfs, first write", 0},
            {"tmpfs, middle write", out / 2 / 4096 * 4096},
            {"tmpfs, last write", (out - 1) / 4096 * 4096}};
        for (const auto& via : kVias) {
            for (const auto& [name, room] : points) {
                clearDirectory(mountPoint);
                Case c = prepare("disk full", name, via, encrypt, mountPoint, "doc.txt", plain);
                leaveRoom(room);
                const auto reported = runJob(c);
                check(c, Verdict::kKept, reported);
            }
        }
    }
}

TEST_F(Tmpfs, ReadOnlyFileSystem) {
    mountIt("size=4m,mode=0755");
    if (!mounted) {
        Results::skipped("read-only", "tmpfs remounted read-only", why);
        GTEST_SKIP() << why;
    }
    const std::string plain = randomBytes(10'000, 3);
    for (const auto& via : kVias) {
        for (const bool encrypt : {true, false}) {
            clearDirectory(mountPoint);
            Case c = prepare("read-only", "tmpfs remounted read-only", via, encrypt, mountPoint, "doc.txt", plain);
            ASSERT_EQ(::mount(nullptr, mountPoint.c_str(), nullptr, MS_REMOUNT | MS_RDONLY, nullptr), 0)
                << std::strerror(errno);
            const auto reported = runJob(c);
            check(c, Verdict::kKept, reported);
            ASSERT_EQ(::mount(nullptr, mountPoint.c_str(), nullptr, MS_REMOUNT, "size=4m,mode=0755"), 0)
                << std::strerror(errno);
        }
    }
}

// ---------------------------------------------------------------------------------------
// A directory without write permission, as a user other than root (root ignores the bits).

TEST(Permissions, DirectoryWithoutWritePermission) {
    const bool root = ::geteuid() == 0;
    const std::string plain = randomBytes(10'000, 4);
    for (const auto& via : kVias) {
        for (const bool encrypt : {true, false}) {
            test::ScratchDir dir;
            const std::string folder = dir / "locked";
            std::filesystem::create_directory(folder);
            Case c = prepare("no write permission", root ? "folder 0755 of root, run as nobody" : "folder 0555",
                             via, encrypt, folder, "doc.txt", plain);
            // The file itself may be written: only the folder refuses new names.
            ::chmod(c.source.c_str(), 0666);
            ::chmod(dir.path().c_str(), 0755);
            ::chmod(folder.c_str(), root ? 0755 : 0555);
            Reported reported;
            if (via == "cli") {
                const std::vector<std::string> prefix =
                    root ? std::vector<std::string>{"setpriv", "--reuid=nobody", "--regid=nogroup", "--clear-groups"}
                         : std::vector<std::string>{};
                reported = Cli::run({encrypt ? "encrypt" : "decrypt", c.source, "--password-stdin"}, "pw", prefix);
            } else {
                const pid_t child = ::fork();
                if (child == 0) {
                    if (root && (::setgroups(0, nullptr) != 0 || ::setresgid(65534, 65534, 65534) != 0 ||
                                 ::setresuid(65534, 65534, 65534) != 0)) {
                        ::_exit(99);
                    }
                    const auto r = encrypt ? filejobs::Encrypt(c.source, "pw", fixedSalt())
                                           : filejobs::Decrypt(c.source, "pw", fixedSalt());
                    ::_exit(r.status == filejobs::JobStatus::kDone ? 0 : r.error ? r.error->code() : 98);
                }
                int status = 0;
                ::waitpid(child, &status, 0);
                const int code = WIFEXITED(status) ? WEXITSTATUS(status) : 200;
                ASSERT_NE(code, 99) << "cannot switch to nobody";
                reported.success = code == 0;
                reported.detail = "error " + std::to_string(code);
            }
            check(c, Verdict::kKept, reported);
            ::chmod(folder.c_str(), 0755);
        }
    }
}

// ---------------------------------------------------------------------------------------
// The file removed, replaced or truncated between the gate and the job.

TEST(BetweenGateAndJob, RemovedReplacedOrTruncated) {
    const std::string plain = randomBytes(5'000, 5);
    const std::string other = randomBytes(3'000, 6);
    struct Change {
        const char* name;
        // Changes the file at `path`; returns the case's new plain bytes (empty: removed).
        std::function<void(Case&)> apply;
        Verdict expected;
    };
    const Change changes[] = {
        {"removed",
         [](Case& c) {
             std::filesystem::remove(c.source);
             c.sourceAbsent = true;
         },
         Verdict::kKept},
        {"replaced by another file",
         [&](Case& c) {
             // A new file under the name, as an editor's save would leave it.
             const std::string bytes = c.encrypt ? other : encryptedForm(other);
             writeAll(c.source + ".new", bytes);
             std::filesystem::rename(c.source + ".new", c.source);
             c.sourceBytes = bytes;
             c.plain = other;
         },
         Verdict::kReplaced},
        {"truncated",
         [](Case& c) {
             // Encryption: half the plain file. Decryption: the header, one body line and
             // three characters, a body no encryption writes (length 4k+1).
             const std::size_t keep = c.encrypt ? c.plain.size() / 2 : 26 + 72 + 3;
             std::filesystem::resize_file(c.source, keep);
             c.sourceBytes.resize(keep);
             if (c.encrypt) c.plain.resize(keep);
         },
         Verdict::kReplaced},
        // The text would stay under the other name, or the link be left leading nowhere.
        {"given a second name (hard link)",
         [](Case& c) { std::filesystem::create_hard_link(c.source, c.directory + "/second name"); },
         Verdict::kKept},
        {"made a symbolic link to a copy",
         [](Case& c) {
             std::filesystem::rename(c.source, c.directory + "/copy");
             std::filesystem::create_symlink("copy", c.source);
         },
         Verdict::kKept},
        {"a link to it under the new name",
         [](Case& c) {
             std::filesystem::create_hard_link(c.source, c.target);
             c.targetBefore = c.sourceBytes;
         },
         Verdict::kKept},
    };
    for (const auto& change : changes) {
        for (const auto& via : kVias) {
            for (const bool encrypt : {true, false}) {
                test::ScratchDir dir;
                Case c = prepare("between gate and job", change.name, via, encrypt, dir.path().string(),
                                 "doc.txt", plain);
                const Verdict expected =
                    std::string(change.name) == "truncated" && !encrypt ? Verdict::kKept : change.expected;
                Reported reported;
                if (via == "core") {
                    const auto gate = filejobs::checkAll(c.source);
                    ASSERT_FALSE(gate.refusal);
                    change.apply(c);
                    reported = runJob(c);
                } else {
                    // kerfo-cli runs the gate, then reads the password: change the file while it waits.
                    Cli cli({encrypt ? "encrypt" : "decrypt", c.source, "--password-stdin"});
                    ASSERT_TRUE(cli.waitsForInput());
                    change.apply(c);
                    cli.send("pw\n");
                    reported = Cli::report(cli.wait());
                }
                check(c, expected, reported);
            }
        }
    }
}

// ---------------------------------------------------------------------------------------
// Names and kinds of files.

TEST(Names, ExistingFileUnderTheNewNameIsNeverOverwritten) {
    const std::string plain = randomBytes(2'000, 7);
    for (const auto& via : kVias) {
        for (const bool encrypt : {true, false}) {
            test::ScratchDir dir;
            Case c = prepare("names", "existing file under the new name", via, encrypt, dir.path().string(),
                             encrypt ? "doc.txt" : "doc.kfo", plain);
            c.targetBefore = std::string(100'000, 'o');
            writeAll(c.target, *c.targetBefore);
            check(c, Verdict::kKept, runJob(c));
        }
    }
}

TEST(Names, NewNameEqualToTheOld) {
    const std::string plain = randomBytes(2'000, 8);
    for (const auto& via : kVias) {
        for (const bool encrypt : {true, false}) {
            test::ScratchDir dir;
            Case c = prepare("names", "new name equal to the old", via, encrypt, dir.path().string(),
                             encrypt ? "doc.kfo" : "doc.txt", plain, true);
            ASSERT_EQ(c.source, c.target);
            check(c, Verdict::kReplaced, runJob(c));
        }
    }
}

TEST(Names, SpacesQuotesNewlinesAndNonUtf8Bytes) {
    const std::string plain = randomBytes(2'000, 9);
    const std::pair<const char*, std::string> names[] = {
        {"spaces", "my notes  2024 .txt"},
        {"quotes", "it's \"quoted\" `x` $HOME.txt"},
        {"newline", "two\nlines\r.txt"},
        {"non-UTF-8 bytes", std::string("caf\xe9 \xff\xfe\x80.txt")},
        {"leading dash", "-rf.txt"},
    };
    for (const auto& [label, name] : names) {
        for (const auto& via : kVias) {
            for (const bool encrypt : {true, false}) {
                test::ScratchDir dir;
                Case c = prepare("names", std::string("path with ") + label, via, encrypt, dir.path().string(),
                                 name, plain);
                check(c, Verdict::kReplaced, runJob(c));
            }
        }
    }
}

// A link, symbolic or hard, is refused: replacing the file behind a symbolic link would
// leave the link leading nowhere, and a second name would keep the text.
TEST(Names, LinkedSourcesAreRefused) {
    const std::string plain = randomBytes(2'000, 10);
    for (const bool symbolic : {true, false}) {
        for (const auto& via : kVias) {
            for (const bool encrypt : {true, false}) {
                test::ScratchDir dir;
                std::filesystem::create_directory(dir.path() / "real");
                Case c = prepare("kinds", symbolic ? "symbolic link" : "hard link", via, encrypt,
                                 (dir.path() / "real").string(), "doc.txt", plain);
                const std::string link = dir / "link.txt";
                if (symbolic) {
                    std::filesystem::create_symlink(c.source, link);
                } else {
                    std::filesystem::create_hard_link(c.source, link);
                }
                const auto reported =
                    via == "cli"
                        ? Cli::run({encrypt ? "encrypt" : "decrypt", link, "--password-stdin"})
                        : fromJob(encrypt ? filejobs::Encrypt(link, "pw", fixedSalt())
                                          : filejobs::Decrypt(link, "pw", fixedSalt()));
                check(c, Verdict::kKept, reported);
                EXPECT_EQ(std::filesystem::is_symlink(link), symbolic)
                    << "the link stays as it was";
                EXPECT_EQ(readAll(link), c.sourceBytes);
                EXPECT_TRUE(leftovers(dir.path().string()).empty());
            }
        }
    }
}

// A FIFO and a directory are refused, without hanging and without touching anything.
TEST(Names, FifoAndDirectoryAreRefused) {
    for (const char* kind : {"FIFO", "directory"}) {
        for (const auto& via : kVias) {
            for (const bool encrypt : {true, false}) {
                test::ScratchDir dir;
                Case c;
                c.group = "kinds";
                c.name = kind;
                c.via = via;
                c.encrypt = encrypt;
                c.directory = dir.path().string();
                c.source = dir / (encrypt ? "doc.txt" : "doc.kfo");
                c.target = filejobs::replaceExtension(c.source, encrypt ? ".kfo" : ".txt");
                if (std::string(kind) == "FIFO") {
                    ASSERT_EQ(::mkfifo(c.source.c_str(), 0644), 0);
                } else {
                    std::filesystem::create_directory(c.source);
                }
                const auto reported = runJob(c);
                struct stat st {};
                const bool same = ::lstat(c.source.c_str(), &st) == 0 &&
                                  (std::string(kind) == "FIFO" ? S_ISFIFO(st.st_mode) : S_ISDIR(st.st_mode));
                const bool ok = same && !exists(c.target) && !reported.success && leftovers(c.directory).empty();
                EXPECT_TRUE(ok) << reported.detail;
                Results::record(c, "refused, untouched",
                                std::string(same ? "untouched" : "CHANGED") + ", reported " + reported.detail, ok);
            }
        }
    }
}

TEST(Names, OneByteFile) {
    for (const auto& via : kVias) {
        for (const bool encrypt : {true, false}) {
            test::ScratchDir dir;
            Case c = prepare("sizes", "1 byte", via, encrypt, dir.path().string(), "doc.txt", "x");
            check(c, Verdict::kReplaced, runJob(c));
        }
    }
}

// 4 GiB + 1 byte: past every 32-bit count. The size arithmetic and the gate (which reads
// eight bytes of a sparse file) always; the real jobs only with KERFO_SLOW_TESTS=1, since
// they write and read back about 12 GiB.
TEST(Sizes, FourGibPlusOne) {
    constexpr std::uint64_t kSize = (std::uint64_t{1} << 32) + 1;
    // n + (n + 2) / 3 characters, then lines of 70 with CR LF.
    EXPECT_EQ(cipher::stretchedLength(kSize), 5'726'623'063ull);
    EXPECT_EQ(cipher::shrunkLength(cipher::stretchedLength(kSize)), static_cast<long long>(kSize));
    EXPECT_EQ(encryptedSize(kSize), 5'890'240'891ull);

    test::ScratchDir dir;
    const std::string path = dir / "huge.txt";
    {
        const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        ASSERT_GE(fd, 0);
        ASSERT_EQ(::ftruncate(fd, static_cast<off_t>(kSize)), 0);
        ::close(fd);
    }
    const auto gate = filejobs::checkAll(path);
    EXPECT_FALSE(gate.refusal);
    EXPECT_EQ(gate.mode, filejobs::Mode::kEncrypt);

    Case arithmetic;
    arithmetic.group = "sizes";
    arithmetic.name = "4 GiB + 1 byte, sparse: size arithmetic and gate";
    arithmetic.via = "core";
    Results::record(arithmetic, "lengths past 2^32 exact, gate accepts",
                    ::testing::Test::HasFailure() ? "WRONG" : "exact, accepted", !::testing::Test::HasFailure());

    const char* slow = std::getenv("KERFO_SLOW_TESTS");
    if (slow == nullptr || std::string(slow) != "1") {
        Results::skipped("sizes", "4 GiB + 1 byte, sparse: real encrypt and decrypt",
                         "set KERFO_SLOW_TESTS=1 (writes about 12 GiB)");
        return;
    }
    for (const auto& via : kVias) {
        Case c;
        c.group = "sizes";
        c.name = "4 GiB + 1 byte, sparse";
        c.via = via;
        c.encrypt = true;
        c.directory = dir.path().string();
        c.source = path;
        c.target = filejobs::replaceExtension(path, ".kfo");
        c.sourceBytes.clear();  // judged below by size and content, not held in memory
        const auto enc = runJob(c);
        EXPECT_TRUE(enc.success) << enc.detail;
        EXPECT_EQ(std::filesystem::file_size(c.target), encryptedSize(kSize));
        Case back = c;
        back.encrypt = false;
        back.source = c.target;
        back.target = path;
        const auto dec = runJob(back);
        EXPECT_TRUE(dec.success) << dec.detail;
        const bool ok = enc.success && dec.success && std::filesystem::file_size(path) == kSize &&
                        leftovers(c.directory).empty();
        // The content is all zeros: spot-check its last bytes.
        std::ifstream in(path, std::ios::binary);
        in.seekg(static_cast<std::streamoff>(kSize - 4096));
        std::string tail(4096, 'x');
        in.read(tail.data(), 4096);
        EXPECT_EQ(tail, std::string(4096, '\0'));
        Results::record(c, "round trip exact", ok && tail == std::string(4096, '\0') ? "exact" : "WRONG", ok);
    }
}


// ---------------------------------------------------------------------------------------
// Replacement on each kind of file system: ext4, tmpfs, and a case-insensitive exFAT
// image without nameless files, hard links or owners.

// Runs `body` once for each file system that can be made here, recording the others.
template <typename Body>
void onEachFileSystem(const std::string& group, const std::string& name, Body&& body) {
    for (const auto kind : TestFolder::kAll) {
        TestFolder folder(kind);
        if (!folder.ready()) {
            Results::skipped(group, name + " (" + folder.label() + ")", folder.why());
            std::printf("skipped on %s: %s\n", folder.label().c_str(), folder.why().c_str());
            continue;
        }
        SCOPED_TRACE(folder.label());
        body(folder);
    }
}

// True when `path` opens with `password` and holds `plain` (decrypted on a copy).
bool opensWith(const std::string& path, const std::string& password, const std::string& plain) {
    test::ScratchDir side;
    const std::string copy = side.write("copy.kfo", readAll(path));
    const auto result = filejobs::Decrypt(copy, password, fixedSalt());
    return result.status == filejobs::JobStatus::kDone && readAll(result.newPath) == plain;
}

// The output name: only a real extension is replaced, the file stays in its folder, and
// where the output name is the source itself (another spelling on a case-insensitive
// folder) it is replaced in place; another file under the output name is never touched.
TEST(FileSystems, OutputNames) {
    struct Row {
        const char* name;
        bool encrypt;
        const char* file;
        const char* expected;      // what must stand afterwards
        const char* other;         // another file already there, or null
        bool caseInsensitiveOnly;
    };
    const Row rows[] = {
        {"no extension: todo", true, "todo", "todo.kfo", nullptr, false},
        {"short extension: a.md", true, "a.md", "a.md.kfo", nullptr, false},
        {"README", true, "README", "README.kfo", nullptr, false},
        {"two extensions", true, "archive.tar.gz", "archive.tar.gz.kfo", nullptr, false},
        {"two-letter name in a subfolder", true, "sub/ab", "sub/ab.kfo", nullptr, false},
        {"another file under the new name", true, "doc.txt", nullptr, "doc.kfo", false},
        {"x.KFO, its own output name", true, "x.KFO", "x.KFO", nullptr, true},
        {"y.TXT, its own output name", false, "y.TXT", "y.TXT", nullptr, true},
        {"another file under the new name, other case", true, "notes.txt", nullptr, "NOTES.KFO", true},
    };
    const std::string plain = randomBytes(3'000, 20);
    onEachFileSystem("names", "output names", [&](const TestFolder& folder) {
        for (const auto& row : rows) {
            if (row.caseInsensitiveOnly && !folder.caseInsensitive()) continue;
            for (const auto& via : kVias) {
                if (via == "cli" && !folder.forCli()) continue;
                folder.clear();
                const std::string file = row.file;
                const std::string directory = folder.path() + (file.rfind("sub/", 0) == 0 ? "/sub" : "");
                std::filesystem::create_directories(directory);
                Case c = prepare("names", std::string(row.name) + " (" + folder.label() + ")", via, row.encrypt,
                                 directory, file.substr(file.rfind('/') + 1), plain, true);
                if (row.other != nullptr) {
                    c.target = directory + "/" + row.other;
                    c.targetBefore = "someone else's";
                    writeAll(c.target, *c.targetBefore);
                } else {
                    c.target = folder.path() + "/" + row.expected;
                }
                check(c, row.other != nullptr ? Verdict::kKept : Verdict::kReplaced,
                      runJob(c, folder.files()));
                if (row.other == nullptr && c.target == c.source) {
                    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(directory),
                                            std::filesystem::directory_iterator{}), 1)
                        << "in place: one file";
                }
            }
        }
    });
}

// Something happens to the files while the job runs, once the new file is written: the
// job must notice, keep the original and leave nothing behind.
TEST(FileSystems, ChangesWhileTheJobRuns) {
    struct Row {
        const char* name;
        std::function<void(Case&)> change;
        const char* error;
        // Another program writes to the source: its open waits while the job holds a lease,
        // so the change runs in a process of its own and the job does not wait for it.
        bool writes = false;
    };
    const Row rows[] = {
        {"source appended to",
         [](Case& c) {
             std::ofstream(c.source, std::ios::binary | std::ios::app) << "one more line\n";
         },
         "error 55", true},
        {"source replaced by another file",
         [](Case& c) {
             writeAll(c.source + ".new", "an editor's save");
             std::filesystem::rename(c.source + ".new", c.source);
             c.sourceBytes = readAll(c.source);
         },
         "error 55"},
        {"a file appears under the new name",
         [](Case& c) {
             c.targetBefore = "appeared meanwhile";
             writeAll(c.target, *c.targetBefore);
         },
         "error 58"},
        // As cp -p, rsync -t or an editor that keeps the time: only the change time tells.
        {"rewritten with the same size, its time put back",
         [](Case& c) {
             struct stat before {};
             ::stat(c.source.c_str(), &before);
             std::string bytes = readAll(c.source);
             for (auto& ch : bytes) ch = static_cast<char>(ch ^ 1);
             std::fstream(c.source, std::ios::binary | std::ios::in | std::ios::out) << bytes;
             const struct timespec times[2] = {before.st_atim, before.st_mtim};
             ::utimensat(AT_FDCWD, c.source.c_str(), times, 0);
         },
         "error 55", true},
    };
    const std::string plain = randomBytes(200'000, 21);
    onEachFileSystem("while the job runs", "changes", [&](const TestFolder& folder) {
        for (const auto& row : rows) {
            if (!folder.keepsChangeTimes() &&
                std::string(row.name).find("time put back") != std::string::npos) {
                Results::skipped("while the job runs",
                                 std::string(row.name) + " (" + folder.label() + ")",
                                 "the file system keeps no change time");
                continue;
            }
            for (const bool encrypt : {true, false}) {
                folder.clear();
                Case c = prepare("while the job runs", std::string(row.name) + " (" + folder.label() + ")", "core",
                                 encrypt, folder.path(), "doc.txt", plain);
                test::FaultyFileSystem files(folder.layer());
                pid_t writer = -1;
                files.beforeEach = [&](test::FaultyFileSystem::Op op, int) {
                    if (op != test::FaultyFileSystem::Op::kApplyAccess) return;
                    if (!row.writes) {
                        row.change(c);
                        return;
                    }
                    writer = ::fork();
                    if (writer == 0) {
                        closeInherited();
                        row.change(c);
                        ::_exit(0);
                    }
                    std::this_thread::sleep_for(std::chrono::milliseconds(50));
                };
                const auto reported = runJob(c, &files);
                if (writer > 0) {
                    ::waitpid(writer, nullptr, 0);
                    c.sourceBytes = readAll(c.source);
                }
                check(c, Verdict::kKept, reported);
                EXPECT_NE(reported.detail.find(row.error), std::string::npos) << reported.detail;
            }
        }
    });
}

// A program that has the source open for writing, since before the job or from a moment
// during it, must not lose what it writes: the job fails with 55, and the original stays
// and takes the program's bytes.
TEST(FileSystems, WritersLoseNothing) {
    const std::string plain = randomBytes(300'000, 25);
    const std::string more = "a line the program writes afterwards\n";
    onEachFileSystem("writers", "a program writing to the source", [&](const TestFolder& folder) {
        for (const bool during : {false, true}) {
            for (const auto& via : kVias) {
                if (via == "cli" && (during || !folder.forCli())) continue;
                for (const bool encrypt : {true, false}) {
                    folder.clear();
                    Case c = prepare("writers",
                                     std::string(during ? "opens it for writing during the job"
                                                        : "has it open for writing since before") +
                                         " (" + folder.label() + ")",
                                     via, encrypt, folder.path(), "log.txt", plain);
                    Reported reported;
                    if (!during) {
                        const int fd = ::open(c.source.c_str(), O_WRONLY | O_APPEND);
                        reported = via == "cli" ? Cli::run({encrypt ? "encrypt" : "decrypt",
                                                            c.source, "--password-stdin"})
                                                : runJob(c, folder.files());
                        EXPECT_EQ(::write(fd, more.data(), more.size()),
                                  static_cast<ssize_t>(more.size()));
                        ::close(fd);
                    } else {
                        // The program's open waits while the job holds a lease on the file.
                        pid_t writer = -1;
                        test::FaultyFileSystem files(folder.layer());
                        files.beforeEach = [&](test::FaultyFileSystem::Op op, int) {
                            if (op != test::FaultyFileSystem::Op::kApplyAccess || writer >= 0)
                                return;
                            writer = ::fork();
                            if (writer == 0) {
                                closeInherited();
                                const int fd = ::open(c.source.c_str(), O_WRONLY | O_APPEND);
                                const bool wrote = ::write(fd, more.data(), more.size()) ==
                                                   static_cast<ssize_t>(more.size());
                                ::_exit(wrote && ::close(fd) == 0 ? 0 : 1);
                            }
                            // Long enough for the program to be inside its open.
                            std::this_thread::sleep_for(std::chrono::milliseconds(50));
                        };
                        reported = runJob(c, &files);
                        int status = 0;
                        ASSERT_GT(writer, 0);
                        ::waitpid(writer, &status, 0);
                        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0)
                            << "the program could not write";
                    }
                    c.sourceBytes += more;
                    check(c, Verdict::kKept, reported);
                    EXPECT_NE(reported.detail.find(via == "cli" ? "exit 1" : "error 55"),
                              std::string::npos)
                        << reported.detail;
                }
            }
        }
    });
}

// Between the commit and the removal of the original, another file is renamed onto the
// original's name: it is not the file the job read, so it stays, and the job says so.
TEST(FileSystems, OnlyTheFileThatWasReadIsRemoved) {
    const std::string plain = randomBytes(50'000, 26);
    onEachFileSystem(
        "after the commit", "another file under the source's name", [&](const TestFolder& folder) {
            for (const bool encrypt : {true, false}) {
                folder.clear();
                Case c =
                    prepare("after the commit",
                            "another file renamed onto the source's name (" + folder.label() + ")",
                            "core", encrypt, folder.path(), "doc.txt", plain);
                test::FaultyFileSystem files(folder.layer());
                files.beforeEach = [&](test::FaultyFileSystem::Op op, int) {
                    if (op != test::FaultyFileSystem::Op::kRemove) return;
                    writeAll(c.source + ".saved", "someone's save");
                    std::filesystem::rename(c.source + ".saved", c.source);
                };
                JobContext context = fixedSalt();
                context.files = &files;
                const auto result = encrypt ? filejobs::Encrypt(c.source, "pw", context)
                                            : filejobs::Decrypt(c.source, "pw", context);
                const bool newComplete =
                    encrypt ? decryptsTo(c.target, plain) : readAll(c.target) == plain;
                const bool ok = result.status == filejobs::JobStatus::kFailed && result.error &&
                                result.error->code() == 55 && result.newPath == c.target &&
                                readAll(c.source) == "someone's save" && newComplete &&
                                leftovers(folder.path()).empty();
                EXPECT_TRUE(ok) << c.name;
                Results::record(c, "the other file kept, the new file complete, error 55",
                                ok ? "as expected" : "WRONG: " + fromJob(result).detail, ok);
            }
        });
}

// Waits until `count` threads have arrived, or a few seconds have passed.
class Rendezvous {
public:
    explicit Rendezvous(int count) : m_left(count) {}
    void arrive() {
        std::unique_lock lock(m_mutex);
        if (--m_left <= 0) {
            m_all.notify_all();
            return;
        }
        m_all.wait_for(lock, std::chrono::seconds(5), [&] { return m_left <= 0; });
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_all;
    int m_left;
};

// Two jobs whose new files share a name (x.txt and x.doc both become x.kfo), let into their
// commits at the same moment, again and again: one names its file, the other fails with 58
// and keeps its original; never both, whatever the file system offers.
TEST(FileSystems, TwoJobsRaceForOneName) {
    constexpr int kTrials = 40;
    const std::string first = randomBytes(5'000, 27);
    const std::string second = randomBytes(6'000, 28);
    onEachFileSystem("two jobs", "racing for one name", [&](const TestFolder& folder) {
        int failures = 0;
        for (int trial = 0; trial < kTrials; ++trial) {
            folder.clear();
            const std::string a = folder.path() + "/x.txt";
            const std::string b = folder.path() + "/x.doc";
            const std::string target = folder.path() + "/x.kfo";
            writeAll(a, first);
            writeAll(b, second);
            Rendezvous commits(2);
            const auto job = [&](const std::string& path) {
                test::FaultyFileSystem files(folder.layer());
                files.beforeEach = [&](test::FaultyFileSystem::Op op, int) {
                    if (op == test::FaultyFileSystem::Op::kCommit) commits.arrive();
                };
                JobContext context = fixedSalt();
                context.files = &files;
                return filejobs::Encrypt(path, "pw", context);
            };
            filejobs::JobResult ra, rb;
            std::thread other([&] { rb = job(b); });
            ra = job(a);
            other.join();
            const bool aDone = ra.status == filejobs::JobStatus::kDone;
            const bool bDone = rb.status == filejobs::JobStatus::kDone;
            const auto& loser = aDone ? rb : ra;
            const bool ok = aDone != bDone && loser.error && loser.error->code() == 58 &&
                            (aDone ? readAll(b) == second : readAll(a) == first) &&
                            decryptsTo(target, aDone ? first : second) &&
                            leftovers(folder.path()).empty();
            failures += ok ? 0 : 1;
        }
        EXPECT_EQ(failures, 0) << folder.label();
        Case c;
        c.group = "two jobs";
        c.name = "x.txt and x.doc both to x.kfo, commits at one moment (" + folder.label() + ")";
        c.via = "core";
        Results::record(
            c, "one done, the other error 58 with its original",
            std::to_string(kTrials - failures) + " of " + std::to_string(kTrials) + " trials hold",
            failures == 0);
    });
}

// Two jobs on the same files, the second run whole at each step of the first (and the
// other way round), through a file layer that stops the first there: no order loses
// either file, and a job that reports success has its file standing.
TEST(FileSystems, TwoJobsAtOnce) {
    const std::string first = randomBytes(20'000, 22);
    const std::string second = randomBytes(30'000, 23);
    struct Job {
        bool encrypt;
        const char* password;
        bool makesItsSource = false;  // d.kfo is made (when free) just before the job
    };
    struct Row {
        const char* name;
        Job a;
        Job b;
        bool bothOnOneFile;  // both work on d.txt (else a on d.txt, b on d.kfo or the reverse)
    };
    const Row rows[] = {
        {"encrypt d.txt while d.kfo is decrypted", {true, "one"}, {false, "two"}, false},
        {"decrypt d.kfo while d.txt is encrypted", {false, "two"}, {true, "one"}, false},
        {"two encryptions of d.txt, different passwords", {true, "one"}, {true, "two"}, true},
        {"d.kfo made and decrypted while d.txt is encrypted", {true, "one"}, {false, "two", true}, false},
    };
    onEachFileSystem("two jobs", "interleavings", [&](const TestFolder& folder) {
        const std::string txt = folder.path() + "/d.txt";
        const std::string kfo = folder.path() + "/d.kfo";
        for (const auto& row : rows) {
            int interleavings = 0;
            bool held = true;
            std::string failure;
            for (int step = 1;; ++step) {
                folder.clear();
                // d.txt holds `first` in plain; d.kfo holds `second` under "two".
                writeAll(txt, first);
                bool secondMade = false;
                const auto makeSecond = [&] {
                    if (exists(kfo)) return;
                    test::ScratchDir side;
                    const auto made = filejobs::Encrypt(side.write("d.txt", second), "two", fixedSalt());
                    writeAll(kfo, readAll(made.newPath));
                    secondMade = true;
                };
                if (!row.bothOnOneFile && !row.b.makesItsSource) makeSecond();
                const auto run = [&](const Job& job, platform::FileSystem* files) {
                    if (job.makesItsSource) makeSecond();
                    JobContext context = fixedSalt();
                    context.files = files;
                    return job.encrypt ? filejobs::Encrypt(txt, job.password, context)
                                       : filejobs::Decrypt(kfo, job.password, context);
                };
                test::FaultyFileSystem paused(folder.layer());
                std::optional<filejobs::JobResult> resultB;
                paused.beforeEach = [&](test::FaultyFileSystem::Op, int n) {
                    if (n == step) resultB = run(row.b, folder.files());
                };
                const auto resultA = run(row.a, &paused);
                if (!resultB) break;  // the first job ended before this step
                ++interleavings;

                // Every content is still somewhere; every reported success stands.
                const auto holds = [&](const std::string& plain, const char* password) {
                    return readAll(txt) == plain || (exists(kfo) && opensWith(kfo, password, plain));
                };
                const auto stands = [&](const filejobs::JobResult& r, const Job& job) {
                    if (r.status != filejobs::JobStatus::kDone) return true;
                    const std::string& plain = job.encrypt ? first : second;
                    return job.encrypt ? opensWith(r.newPath, job.password, plain) : readAll(r.newPath) == plain;
                };
                const bool ok = (holds(first, "one") || (row.bothOnOneFile && holds(first, "two"))) &&
                                (!secondMade || holds(second, "two")) && stands(resultA, row.a) &&
                                stands(*resultB, row.b) && leftovers(folder.path()).empty() &&
                                !(row.bothOnOneFile && resultA.status == filejobs::JobStatus::kDone &&
                                  resultB->status == filejobs::JobStatus::kDone);
                if (!ok && held) failure = "at step " + std::to_string(step);
                held = held && ok;
                EXPECT_TRUE(ok) << row.name << " at step " << step;
            }
            Case c;
            c.group = "two jobs";
            c.name = std::string(row.name) + " (" + folder.label() + ")";
            c.via = "core";
            c.encrypt = row.a.encrypt;
            Results::record(c, "no interleaving loses a file or reports an unstanding success",
                            std::to_string(interleavings) + " interleavings, " + (held ? "all hold" : "FAILS " + failure),
                            held && interleavings > 0);
            EXPECT_GE(interleavings, 3);
        }
    });
}

// A core job in a child process through `files`: what kerfo-cli is to the other folder
// kinds, for the file layer that only the core's jobs can be given. `fileSizeLimit`, when
// set, is the child's limit on file sizes (as ulimit -f sets it).
class ForkedJob {
public:
    ForkedJob(const Case& c, platform::FileSystem* files, std::optional<rlim_t> fileSizeLimit) {
        m_pid = ::fork();
        if (m_pid != 0) return;
        if (fileSizeLimit) {
            const struct rlimit limit { *fileSizeLimit, *fileSizeLimit };
            ::setrlimit(RLIMIT_FSIZE, &limit);
        }
        JobContext context = fixedSalt();
        context.files = files;
        const auto r = c.encrypt ? filejobs::Encrypt(c.source, "pw", context)
                                 : filejobs::Decrypt(c.source, "pw", context);
        ::_exit(r.status == filejobs::JobStatus::kDone ? 0 : 1);
    }
    pid_t pid() const { return m_pid; }
    Reported wait() const {
        int status = 0;
        ::waitpid(m_pid, &status, 0);
        Reported rep;
        rep.success = WIFEXITED(status) && WEXITSTATUS(status) == 0;
        rep.detail = WIFEXITED(status) ? "exit " + std::to_string(WEXITSTATUS(status))
                                       : "signal " + std::to_string(WTERMSIG(status));
        return rep;
    }

private:
    pid_t m_pid = -1;
};

// Interrupted by a signal while the new file is being written: the original stays (or the
// new file is complete), and no copy of the content is left anywhere in the folder, for
// every signal that ends a process and that it can catch, a file size limit among them.
// Also the folder renamed under the running job.
TEST(FileSystems, InterruptedOrMovedJobsLeaveNoCopy) {
    const std::string plain = randomBytes(4u << 20, 24);
    const std::string encrypted = encryptedForm(plain);
    constexpr int kRename = 0;
    constexpr int kFileSizeLimit = -1;  // the system sends SIGXFSZ itself
    struct Row {
        const char* name;
        int signal;
    };
    const Row rows[] = {
        {"SIGINT", SIGINT},         {"SIGTERM", SIGTERM},
        {"SIGHUP", SIGHUP},         {"SIGQUIT", SIGQUIT},
        {"SIGUSR1", SIGUSR1},       {"SIGALRM", SIGALRM},
        {"SIGPIPE", SIGPIPE},       {"SIGXFSZ from a file size limit", kFileSizeLimit},
        {"folder renamed", kRename}};
    onEachFileSystem("interrupted", "signals", [&](const TestFolder& folder) {
        for (const auto& row : rows) {
            for (const bool encrypt : {true, false}) {
                folder.clear();
                const std::string directory = folder.path() + "/work";
                std::filesystem::create_directory(directory);
                Case c;
                c.group = "interrupted";
                c.name = std::string(row.name) + " while writing (" + folder.label() + ")";
                c.via = folder.forCli() ? "cli" : "core";
                c.encrypt = encrypt;
                c.plain = plain;
                c.directory = directory;
                c.source = directory + (encrypt ? "/doc.txt" : "/doc.kfo");
                c.target = directory + (encrypt ? "/doc.kfo" : "/doc.txt");
                c.sourceBytes = encrypt ? plain : encrypted;
                writeAll(c.source, c.sourceBytes);
                // A limit well below the new file's size, above anything else the job writes.
                const std::optional<rlim_t> limit =
                    row.signal == kFileSizeLimit ? std::optional<rlim_t>(1u << 20) : std::nullopt;
                std::optional<Cli> cli;
                std::optional<ForkedJob> forked;
                if (folder.forCli()) {
                    std::vector<std::string> prefix;
                    if (limit) prefix = {"prlimit", "--fsize=" + std::to_string(*limit), "--"};
                    cli.emplace(std::vector<std::string>{encrypt ? "encrypt" : "decrypt", c.source,
                                                         "--password-stdin"},
                                prefix);
                    cli->send("pw\n");
                } else {
                    forked.emplace(c, folder.files(), limit);
                }
                const pid_t pid = cli ? cli->pid() : forked->pid();
                // Wait until the job has its new file open (nameless or named), then act.
                const std::string fds = "/proc/" + std::to_string(pid) + "/fd";
                const auto writing = [&] {
                    std::error_code ec;
                    for (const auto& e : std::filesystem::directory_iterator(fds, ec)) {
                        const auto to = std::filesystem::read_symlink(e.path(), ec).string();
                        if (to.rfind(directory + "/", 0) == 0 && to != c.source) return true;
                    }
                    return false;
                };
                const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(20);
                while (!writing() && std::chrono::steady_clock::now() < end &&
                       ::kill(pid, 0) == 0) {
                    std::this_thread::sleep_for(std::chrono::microseconds(200));
                }
                if (row.signal > 0) {
                    ::kill(pid, row.signal);
                } else if (row.signal == kRename) {
                    std::filesystem::rename(directory, folder.path() + "/moved");
                    c.directory = folder.path() + "/moved";
                    c.source = c.directory + "/" + std::filesystem::path(c.source).filename().string();
                    c.target = c.directory + "/" + std::filesystem::path(c.target).filename().string();
                }
                const Reported reported = cli ? Cli::report(cli->wait()) : forked->wait();
                // A signal may come after the commit: then the job is done and says so.
                const Verdict v = judge(c);
                const auto left = leftovers(c.directory);
                const bool ok = v != Verdict::kNeither && left.empty();
                EXPECT_TRUE(ok) << c.name << ": " << verdictText(v) << ", " << left.size() << " left";
                Results::record(c, "original intact or new file complete, nothing left",
                                std::string(verdictText(v)) + ", " + reported.detail + ", " +
                                    std::to_string(left.size()) + " temporary file(s) left",
                                ok);
            }
        }
    });
}

// The new file keeps the original's owner, group, mode (setgid and sticky included) and
// extended attributes, a POSIX ACL among them; run by a user who cannot keep the owner,
// it keeps group and mode where it may and never grants anyone more than before.
TEST(FileSystems, OwnerGroupModeAndAttributes) {
    if (::geteuid() != 0) {
        Results::skipped("access", "owner, group, mode and attributes", "needs root to give files other owners");
        GTEST_SKIP() << "needs root";
    }
    // An access ACL: owner rw, user 1234 r, owning group none, mask r, others none.
    const auto acl = [] {
        std::string blob("\x02\x00\x00\x00", 4);
        const auto entry = [&](std::uint16_t tag, std::uint16_t perm, std::uint32_t id) {
            const char bytes[8] = {static_cast<char>(tag), static_cast<char>(tag >> 8), static_cast<char>(perm), 0,
                                   static_cast<char>(id), static_cast<char>(id >> 8), static_cast<char>(id >> 16),
                                   static_cast<char>(id >> 24)};
            blob.append(bytes, 8);
        };
        entry(0x01, 6, 0xFFFFFFFF);
        entry(0x02, 4, 1234);
        entry(0x04, 0, 0xFFFFFFFF);
        entry(0x10, 4, 0xFFFFFFFF);
        entry(0x20, 0, 0xFFFFFFFF);
        return blob;
    }();
    struct Row {
        const char* name;
        uid_t owner;
        gid_t group;
        mode_t mode;
        const char* attribute;      // name of an extended attribute to set, or null
        bool asNobody;              // run the job as nobody (who cannot keep a root owner)
        mode_t expectedMode;
    };
    const Row rows[] = {
        {"another user's 0600 file", 1000, 1000, 0600, nullptr, false, 0600},
        {"shared group folder: setgid and sticky", 0, 1000, 03660, nullptr, false, 03660},
        {"a user attribute", 1000, 1000, 0644, "user.origin", false, 0644},
        {"an ACL for one named user", 1000, 1000, 0640, "system.posix_acl_access", false, 0640},
        // nobody cannot give the new file root's group: its own group then gets what
        // everyone else had, no more.
        {"nobody's 0664 file in root's group, run by nobody", 65534, 0, 0664, nullptr, true, 0644},
    };
    const std::string plain = randomBytes(5'000, 25);
    onEachFileSystem("access", "owner, group, mode", [&](const TestFolder& folder) {
        if (!folder.keepsOwners()) {
            Results::skipped("access", "owner, group, mode and attributes (" + folder.label() + ")",
                             "the file system keeps no owners, modes or attributes");
            return;
        }
        ::chmod(folder.path().c_str(), 0777);
        ::chmod(std::filesystem::path(folder.path()).parent_path().c_str(), 0755);
        for (const auto& row : rows) {
            for (const auto& via : kVias) {
                for (const bool encrypt : {true, false}) {
                    folder.clear();
                    Case c = prepare("access", std::string(row.name) + " (" + folder.label() + ")", via, encrypt,
                                     folder.path(), "doc.txt", plain);
                    ASSERT_EQ(::chown(c.source.c_str(), row.owner, row.group), 0);
                    ASSERT_EQ(::chmod(c.source.c_str(), row.mode), 0);
                    std::string value;
                    if (row.attribute != nullptr) {
                        value = std::string(row.attribute) == "system.posix_acl_access" ? acl : "the web";
                        if (::setxattr(c.source.c_str(), row.attribute, value.data(), value.size(), 0) != 0) {
                            Results::skipped("access", c.name, std::string("cannot set ") + row.attribute);
                            continue;
                        }
                    }
                    Reported reported;
                    if (!row.asNobody) {
                        reported = runJob(c);
                    } else if (via == "cli") {
                        reported = Cli::run({encrypt ? "encrypt" : "decrypt", c.source, "--password-stdin"}, "pw",
                                            {"setpriv", "--reuid=nobody", "--regid=nogroup", "--clear-groups"});
                    } else {
                        const pid_t child = ::fork();
                        if (child == 0) {
                            if (::setgroups(0, nullptr) != 0 || ::setresgid(65534, 65534, 65534) != 0 ||
                                ::setresuid(65534, 65534, 65534) != 0) {
                                ::_exit(99);
                            }
                            const auto r = runJob(c);
                            ::_exit(r.success ? 0 : 1);
                        }
                        int status = 0;
                        ::waitpid(child, &status, 0);
                        reported.success = WIFEXITED(status) && WEXITSTATUS(status) == 0;
                        reported.detail = "exit " + std::to_string(WEXITSTATUS(status));
                    }
                    const Verdict v = check(c, Verdict::kReplaced, reported);
                    struct stat st {};
                    if (v != Verdict::kReplaced || ::stat(c.target.c_str(), &st) != 0) continue;
                    const uid_t owner = row.asNobody ? 65534 : row.owner;
                    const gid_t group = row.asNobody ? 65534 : row.group;
                    EXPECT_EQ(st.st_uid, owner) << c.name;
                    EXPECT_EQ(st.st_gid, group) << c.name;
                    EXPECT_EQ(st.st_mode & 07777, row.expectedMode) << c.name;
                    std::string kept;
                    if (row.attribute != nullptr) {
                        kept.resize(256);
                        const ssize_t n = ::getxattr(c.target.c_str(), row.attribute, kept.data(), kept.size());
                        kept.resize(n > 0 ? static_cast<std::size_t>(n) : 0);
                        EXPECT_EQ(kept, value) << c.name;
                    }
                    const bool ok = st.st_uid == owner && st.st_gid == group &&
                                    (st.st_mode & 07777) == row.expectedMode && kept == value;
                    char observed[96];
                    std::snprintf(observed, sizeof observed, "%u:%u %04o%s", st.st_uid, st.st_gid,
                                  st.st_mode & 07777, row.attribute ? (kept == value ? ", attribute kept" : ", attribute LOST") : "");
                    char expected[96];
                    std::snprintf(expected, sizeof expected, "%u:%u %04o%s", owner, group, row.expectedMode,
                                  row.attribute ? ", attribute kept" : "");
                    Results::record(c, expected, observed, ok);
                }
            }
        }
    });
}

// A header line longer than 24 characters passes the password test but would key the
// content differently: refused, the file kept.
TEST(FileSystems, HeaderLineOfTwentyFiveCharacters) {
    const std::string plain = randomBytes(2'000, 26);
    for (const auto& via : kVias) {
        test::ScratchDir dir;
        Case c = prepare("damaged", "header line of 25 characters", via, false, dir.path().string(), "doc.txt", plain);
        c.sourceBytes.insert(24, "X");
        writeAll(c.source, c.sourceBytes);
        const auto reported = runJob(c);
        check(c, Verdict::kKept, reported);
        if (via == "core") {
            EXPECT_NE(reported.detail.find("error 5 "), std::string::npos) << reported.detail;
        }
    }
}

}  // namespace
}  // namespace kerfo::reliability
