// Runs the built kerfo-cli as a user or a script would: exit codes, messages, the
// password from standard input or typed on a terminal without echo.
#ifdef _WIN32
#define WIN32_LEAN_AND_MEAN
#include <windows.h>
#else
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

extern char** environ;
#endif

#include <gtest/gtest.h>

#include <chrono>
#include <fstream>
#include <functional>
#include <thread>

#include "fakes/scratch_dir.h"
#include "support/cli_process.h"
#include "support/vectors.h"

namespace kerfo::test {
namespace {

// Sets an environment variable for the programs a test starts, and takes it away again.
class EnvironmentVariable {
public:
    EnvironmentVariable(const char* name, const char* value) : m_name(name) { set(value); }
    ~EnvironmentVariable() { set(""); }
    EnvironmentVariable(const EnvironmentVariable&) = delete;
    EnvironmentVariable& operator=(const EnvironmentVariable&) = delete;

private:
    void set(const char* value) {
#ifdef _WIN32
        _putenv_s(m_name.c_str(), value);
#else
        if (*value != '\0') {
            ::setenv(m_name.c_str(), value, 1);
        } else {
            ::unsetenv(m_name.c_str());
        }
#endif
    }
    std::string m_name;
};

// A file's times as text. Taken before anything reads the file: on a file system that
// records reads (relatime) the test's own reading would hide the program's.
std::string timesOf(const std::string& path) {
#ifdef _WIN32
    return std::to_string(std::filesystem::last_write_time(path).time_since_epoch().count());
#else
    struct ::stat st {};
    ::stat(path.c_str(), &st);
    return std::to_string(st.st_atim.tv_sec) + "." + std::to_string(st.st_atim.tv_nsec) + " " +
           std::to_string(st.st_mtim.tv_sec) + "." + std::to_string(st.st_mtim.tv_nsec);
#endif
}

// Dates a file back a few years: a file system that records reads (relatime) would then
// record the next one, so a test sees any read that is not invisible.
void ageFile(const std::string& path) {
#ifdef _WIN32
    std::filesystem::last_write_time(path, std::filesystem::last_write_time(path) - std::chrono::hours(24 * 1000));
#else
    const timespec old[2] = {{1500000000, 0}, {1500000000, 0}};
    ::utimensat(AT_FDCWD, path.c_str(), old, 0);
#endif
}

// `plain` encrypted under `password` by kerfo-cli itself, as `name` in `dir`.
std::string encryptedFile(const ScratchDir& dir, const std::string& name, const std::string& plain,
                          const std::string& password) {
    const std::string txt = dir.write(name + ".txt", plain);
    const auto run = runCli(dir, {"encrypt", "--password-stdin", txt}, password + "\n");
    if (run.exitCode != 0) throw std::runtime_error("encrypting a fixture failed: " + run.err);
    return dir / (name + ".kfo");
}

// `kfo` with one body character, `fromEnd` characters before the end, made one that no
// encryption writes.
std::string damaged(const std::string& kfo, std::size_t fromEnd) {
    std::string bytes = kfo;
    std::size_t pos = bytes.size() - fromEnd;
    while (bytes[pos] == '\r' || bytes[pos] == '\n') --pos;
    bytes[pos] = '!';
    return bytes;
}

class Cli : public ::testing::Test {
protected:
    ScratchDir dir;
};

TEST_F(Cli, CheckSaysTheModeOrPrintsTheRefusal) {
    const std::string plain = dir.write("a.txt", "hello");
    const std::string encrypted = dir.write("b.txt", "[Kerfod]whatever");
    EXPECT_EQ(runCli(dir, {"check", plain}, "").out, "encrypt\n");
    EXPECT_EQ(runCli(dir, {"check", encrypted}, "").out, "decrypt\n");
    const auto missing = runCli(dir, {"check", dir / "none.txt"}, "");
    EXPECT_EQ(missing.exitCode, 1);
    EXPECT_EQ(missing.err,
              "kerfo-cli: " + (dir / "none.txt") + " is empty:\nKerfo will NOT work with empty files.\n");
    EXPECT_EQ(missing.out, "");
}

TEST_F(Cli, UsageErrorsExitTwoAndHelpAndVersionZero) {
    EXPECT_EQ(runCli(dir, {}, "").exitCode, 2);
    EXPECT_EQ(runCli(dir, {"encrypt"}, "").exitCode, 2);
    EXPECT_EQ(runCli(dir, {"shred", "x"}, "").exitCode, 2);
    EXPECT_EQ(runCli(dir, {"check", "x", "--bogus"}, "").exitCode, 2);
    const auto version = runCli(dir, {"--version"}, "");
    EXPECT_EQ(version.exitCode, 0);
    EXPECT_NE(version.out.find("kerfo-cli "), std::string::npos);
    const auto help = runCli(dir, {"--help"}, "");
    EXPECT_EQ(help.exitCode, 0);
    EXPECT_NE(help.out.find("--password-stdin"), std::string::npos);
}

TEST_F(Cli, RoundTripWithPasswordFromStandardInput) {
    const std::string content("line one\r\nline two\n\0\xff", 21);
    const std::string path = dir.write("notes.txt", content);
    const auto enc = runCli(dir, {"encrypt", "--password-stdin", path}, "s3cret\n");
    ASSERT_EQ(enc.exitCode, 0) << enc.err;
    EXPECT_EQ(enc.out, dir / "notes.kfo" + "\n");
    EXPECT_EQ(dir.listing(), "notes.kfo ");
    const std::string encrypted = readFile(dir / "notes.kfo");

    const auto wrong = runCli(dir, {"decrypt", dir / "notes.kfo", "--password-stdin"}, "secret\n");
    EXPECT_EQ(wrong.exitCode, 3);
    EXPECT_EQ(wrong.err, "kerfo-cli: Access denied: password is incorrect!\n");
    EXPECT_EQ(readFile(dir / "notes.kfo"), encrypted);

    // A CR LF line end is not part of the password.
    const auto dec = runCli(dir, {"--password-stdin", "decrypt", dir / "notes.kfo"}, "s3cret\r\n");
    ASSERT_EQ(dec.exitCode, 0) << dec.err;
    EXPECT_EQ(dec.out, path + "\n");
    EXPECT_EQ(readFile(path), content);
}

TEST_F(Cli, WrongDirectionAndMissingPasswordAreRefusedWithoutTouchingTheFile) {
    const std::string plain = dir.write("p.txt", "plain");
    const std::string encrypted = dir.write("e.kfo", "[Kerfod]12345678abcdefgh\r\nAAAA\r\n");
    const auto notEncrypted = runCli(dir, {"decrypt", "--password-stdin", plain}, "pw\n");
    EXPECT_EQ(notEncrypted.exitCode, 1);
    EXPECT_EQ(notEncrypted.err, "kerfo-cli: " + plain + " is not an encrypted file: use encrypt.\n");
    const auto already = runCli(dir, {"encrypt", "--password-stdin", encrypted}, "pw\n");
    EXPECT_EQ(already.exitCode, 1);
    EXPECT_EQ(already.err, "kerfo-cli: " + encrypted + " is already encrypted: use decrypt.\n");

    const auto noTerminal = runCli(dir, {"encrypt", plain}, "pw\npw\n");
    EXPECT_EQ(noTerminal.exitCode, 2);
    EXPECT_NE(noTerminal.err.find("--password-stdin"), std::string::npos);
    EXPECT_EQ(runCli(dir, {"encrypt", "--password-stdin", plain}, "").exitCode, 2);
    EXPECT_EQ(readFile(plain), "plain");
    EXPECT_EQ(dir.listing(), "e.kfo p.txt ");
}

TEST_F(Cli, CorruptBodyGetsTheErrorReportAndKeepsTheFile) {
    const std::string kfo = readFile(vectorsDir() / "files/hello.kfo");
    const std::string tampered = kfo.substr(0, 30) + "!" + kfo.substr(31);
    const std::string path = dir.write("t.kfo", tampered);
    const auto run = runCli(dir, {"decrypt", "--password-stdin", path}, "secret\n");
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_EQ(run.err,
              "kerfo-cli: An error # 5 was generated:\n\nInvalid procedure call or argument\n"
              "Probable cause: a tampered or corrupt file.\n");
    EXPECT_EQ(readFile(path), tampered);
    EXPECT_EQ(dir.listing(), "t.kfo ");
}

TEST_F(Cli, ShowPrintsTheTextOnlyWhenAllIsWellAndChangesNothingOnDisk) {
    // Over a megabyte, so that the damage at the end lies buffers away from the start.
    std::string plain;
    for (int i = 0; plain.size() < 1200000; ++i) plain += "line " + std::to_string(i) + "\r\n";
    plain += std::string("\0\xff", 2);
    const std::string good = readFile(encryptedFile(dir, "note", plain, "pw"));
    std::filesystem::remove(dir / "note.kfo");
    std::filesystem::create_directory(dir / "notes");
    const struct {
        const char* name;
        std::string bytes;
        std::string password;
        int exitCode;
        std::string out;
    } cases[] = {
        {"right password", good, "pw", 0, plain},
        {"wrong password", good, "PW", 3, ""},
        {"damaged at the end", damaged(good, 3), "pw", 1, ""},
        {"damaged at the start", damaged(good, good.size() - 30), "pw", 1, ""},
        {"header only", good.substr(0, 26), "pw", 1, ""},
        {"header line of 25 characters", good.substr(0, 24) + "X" + good.substr(24), "pw", 1, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string path = (dir.path() / "notes" / "n.kfo").string();
        std::ofstream(path, std::ios::binary | std::ios::trunc) << c.bytes;
        ageFile(path);
        const auto folderBefore = std::filesystem::last_write_time(dir.path() / "notes");
        const auto before = timesOf(path);

        const auto run = runCli(dir, {"show", "--password-stdin", path}, c.password + "\n");
        EXPECT_EQ(run.exitCode, c.exitCode) << run.err;
        EXPECT_TRUE(run.rawOut == c.out) << "printed " << run.rawOut.size() << " bytes";
        EXPECT_EQ(run.err.empty(), c.exitCode == 0) << run.err;
        EXPECT_EQ(timesOf(path), before) << "the file's times changed";
        EXPECT_TRUE(readFile(path) == c.bytes) << "the file's bytes changed";
        EXPECT_EQ(std::filesystem::last_write_time(dir.path() / "notes"), folderBefore)
            << "something was written into the folder";
    }
}

TEST_F(Cli, SeveralFilesRunInTurnAndAFailureInTheMiddleStopsNoOther) {
    const struct {
        const char* name;
        std::function<std::string()> middle;  // makes the middle file, returns its path
        int exitCode;
    } cases[] = {
        {"damaged body", [&] { return dir.write("b.kfo", damaged(readFile(encryptedFile(dir, "b", "bbb", "pw")), 3)); }, 1},
        {"other password", [&] { return encryptedFile(dir, "b", "bbb", "other"); }, 3},
        {"refused by the gate", [&] { return dir.write("b.kfo", ""); }, 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string a = encryptedFile(dir, "a", "aaa", "pw");
        const std::string b = c.middle();
        const std::string z = encryptedFile(dir, "z", "zzz", "pw");
        const auto run = runCli(dir, {"decrypt", "--password-stdin", a, b, z}, "pw\n");
        EXPECT_EQ(run.exitCode, c.exitCode);
        EXPECT_EQ(run.out, dir / "a.txt" + "\n" + (dir / "z.txt") + "\n");
        EXPECT_EQ(run.err.rfind("kerfo-cli: " + b, 0), 0u) << run.err;
        EXPECT_EQ(dir.listing(), "a.txt b.kfo z.txt ");
        EXPECT_EQ(readFile(dir / "z.txt"), "zzz");
        for (const auto* name : {"a.txt", "b.kfo", "z.txt"}) std::filesystem::remove(dir / name);
    }
}

TEST_F(Cli, PasswordSourcesAndTheirRefusals) {
    const std::string secret = dir.write("secret", "pw\nignored\n");
    const std::string open = dir.write("open", "pw\n");  // 0644: others may read it
    const std::string empty = dir.write("empty", "\n");
    const std::string groupReads = dir.write("group-reads", "pw\n");
    const std::string groupWrites = dir.write("group-writes", "pw\n");
    const std::string othersWrite = dir.write("others-write", "pw\n");
    const std::string readOnly = dir.write("read-only", "pw\n");
#ifndef _WIN32
    for (const auto& [path, mode] : {std::pair{secret, 0600},
                                     {empty, 0600},
                                     {groupReads, 0640},
                                     {groupWrites, 0620},
                                     {othersWrite, 0602},
                                     {readOnly, 0400}}) {
        std::filesystem::permissions(path, std::filesystem::perms(mode));
    }
#endif
    const struct {
        const char* name;
        std::vector<std::string> args;
        std::string input;
        int exitCode;
    } cases[] = {
        {"private file", {"--password-file", secret}, "", 0},
#ifndef _WIN32  // Windows keeps access in lists that a mode does not describe
        {"file others may read", {"--password-file", open}, "", 2},
        {"file the group may read", {"--password-file", groupReads}, "", 2},
        {"file the group may write", {"--password-file", groupWrites}, "", 2},
        {"file others may write", {"--password-file", othersWrite}, "", 2},
        {"file only its owner may read", {"--password-file", readOnly}, "", 0},
#endif
        {"descriptor", {"--password-fd", "0"}, "pw\n", 0},
        {"two sources", {"--password-fd", "0", "--password-stdin"}, "pw\n", 2},
        {"empty on stdin", {"--password-stdin"}, "\n", 2},
        {"empty in a file", {"--password-file", empty}, "", 2},
        {"empty, allowed", {"--password-stdin", "--allow-empty-password"}, "\n", 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string file = dir.write("f.txt", "content");
        std::vector<std::string> args{"encrypt", file};
        args.insert(args.end(), c.args.begin(), c.args.end());
        const auto run = runCli(dir, args, c.input);
        EXPECT_EQ(run.exitCode, c.exitCode) << run.err;
        EXPECT_EQ(std::filesystem::exists(file), c.exitCode != 0);
        std::filesystem::remove(dir / "f.kfo");
    }
}

#ifdef _WIN32
// A job ended at any moment as taskkill /F ends it leaves no temporary file beside the
// target: the plain text being written goes with the process. Whatever the moment, the
// encrypted file stays whole, or the plain file is complete.
TEST_F(Cli, KilledJobLeavesNoTemporaryBehind) {
    std::string plain;
    for (std::size_t i = 0; plain.size() < (24u << 20); ++i)
        plain += "line " + std::to_string(i) + " of a long diary\r\n";
    const std::string encrypted = readFile(encryptedFile(dir, "diary", plain, "pw"));
    const std::string password = dir.write("password", "pw\n");
    const auto temporaries = [&] {
        std::uintmax_t largest = 0;
        int count = 0;
        for (const auto& entry : std::filesystem::directory_iterator(dir.path())) {
            if (entry.path().filename().string().rfind(".kerfo-", 0) != 0) continue;
            ++count;
            std::error_code ignored;
            largest = std::max<std::uintmax_t>(largest, entry.file_size(ignored));
        }
        return std::pair{count, largest};
    };
    // Killed as soon as the temporary is there, and once it holds 1, 8 and 16 MiB.
    for (const std::uintmax_t killAt : {0ull, 1ull << 20, 8ull << 20, 16ull << 20}) {
        SCOPED_TRACE(killAt);
        std::filesystem::remove(dir / "diary.txt");
        dir.write("diary.kfo", encrypted);
        {
            CliProcess job({"decrypt", "--password-stdin", "--quiet", dir / "diary.kfo"}, password);
            const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(60);
            while (job.running() && std::chrono::steady_clock::now() < end) {
                const auto [count, largest] = temporaries();
                if (count > 0 && largest >= killAt) break;
                std::this_thread::sleep_for(std::chrono::microseconds(200));
            }
            EXPECT_TRUE(job.running()) << "the job ended before it could be killed";
            job.kill();
        }
        // The system closes a killed program's handles a moment after it is gone.
        const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(5);
        while (temporaries().first > 0 && std::chrono::steady_clock::now() < end) {
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        EXPECT_EQ(temporaries().first, 0) << dir.listing();
        if (std::filesystem::exists(dir / "diary.kfo")) {
            EXPECT_EQ(readFile(dir / "diary.kfo"), encrypted);
        } else {
            EXPECT_EQ(readFile(dir / "diary.txt"), plain);
        }
    }
}
#endif  // _WIN32

// Typed passwords need a pseudo-terminal, which Windows consoles do not offer to a test.
#ifndef _WIN32
struct TerminalRun {
    std::string screen;  // everything the terminal showed
    int exitCode = -1;   // -1 when a signal ended the program
    bool echoAfter = false;
};

// Runs kerfo-cli on a pseudo-terminal, typing each of `lines` once the prompt before it is
// on screen: a line that starts with Ctrl-C is typed as it is, any other with Enter.
TerminalRun runOnTerminal(const std::vector<std::string>& args, const std::vector<std::string>& lines) {
    int master = -1;
    const pid_t pid = ::forkpty(&master, nullptr, nullptr, nullptr);
    if (pid == 0) {
        std::vector<std::string> all{KERFO_CLI_PATH};
        all.insert(all.end(), args.begin(), args.end());
        std::vector<char*> argv;
        for (auto& a : all) argv.push_back(a.data());
        argv.push_back(nullptr);
        ::execv(KERFO_CLI_PATH, argv.data());
        ::_exit(127);
    }
    TerminalRun run;
    std::string& screen = run.screen;
    std::size_t typed = 0;
    char buffer[256];
    for (;;) {
        pollfd p{master, POLLIN, 0};
        if (::poll(&p, 1, 10000) <= 0) break;
        const ssize_t n = ::read(master, buffer, sizeof buffer);
        if (n <= 0) break;  // EIO once the program has ended
        screen.append(buffer, static_cast<std::size_t>(n));
        // Type the next line once its prompt is on screen.
        const auto prompts = [&] {
            std::size_t count = 0;
            for (auto pos = screen.find("password"); pos != std::string::npos;
                 pos = screen.find("password", pos + 1)) {
                ++count;
            }
            return count;
        }();
        while (typed < lines.size() && typed < prompts) {
            const std::string& line = lines[typed++];
            const std::string keys = !line.empty() && line[0] == '\x03' ? line : line + "\n";
            if (::write(master, keys.data(), keys.size()) < 0) break;
        }
    }
    int status = 0;
    if (::waitpid(pid, &status, WNOHANG) == 0) {
        ::kill(pid, SIGKILL);  // still waiting for input: fail rather than hang
        ::waitpid(pid, &status, 0);
    }
    // The terminal's settings outlive the program while the master side stays open.
    if (const int slave = ::open(::ptsname(master), O_RDWR | O_NOCTTY); slave >= 0) {
        termios settings{};
        run.echoAfter = ::tcgetattr(slave, &settings) == 0 && (settings.c_lflag & ECHO) != 0;
        ::close(slave);
    }
    ::close(master);
    run.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return run;
}

TEST_F(Cli, TerminalPromptsWithoutEchoAndChecksTheRepeat) {
    const std::string path = dir.write("k.txt", "typed on a terminal");
    const auto mismatch = runOnTerminal({"encrypt", path}, {"Hunter2x", "hunter2x"});
    EXPECT_EQ(mismatch.exitCode, 1);
    EXPECT_NE(mismatch.screen.find("Enter password:"), std::string::npos);
    EXPECT_NE(mismatch.screen.find("Enter password again:"), std::string::npos);
    EXPECT_NE(mismatch.screen.find("The two passwords are not the same."), std::string::npos);
    EXPECT_EQ(mismatch.screen.find("unter2x"), std::string::npos) << "the password was echoed";
    EXPECT_EQ(dir.listing(), "k.txt ");

    const auto encrypted = runOnTerminal({"encrypt", path}, {"Hunter2x", "Hunter2x"});
    EXPECT_EQ(encrypted.exitCode, 0) << encrypted.screen;
    EXPECT_EQ(encrypted.screen.find("unter2x"), std::string::npos) << "the password was echoed";
    const auto decrypted = runOnTerminal({"decrypt", dir / "k.kfo"}, {"Hunter2x"});
    EXPECT_EQ(decrypted.exitCode, 0) << decrypted.screen;
    EXPECT_EQ(readFile(path), "typed on a terminal");
}

TEST_F(Cli, CtrlCAtThePromptGivesTheTerminalItsEchoBack) {
    const std::string path = dir.write("c.txt", "interrupted");
    const auto run = runOnTerminal({"encrypt", path}, {"\x03"});
    EXPECT_EQ(run.exitCode, -1) << "the interrupt did not end the program: " << run.screen;
    EXPECT_TRUE(run.echoAfter) << "echo stayed off after Ctrl-C";
    EXPECT_EQ(dir.listing(), "c.txt ");
}

TEST_F(Cli, ProgressShowsOnATerminalOnly) {
    // Shown at once, so that no test depends on how fast the machine is.
    const EnvironmentVariable immediate("KERFO_PROGRESS_DELAY_MS", "0");
    const std::string password = dir.write("pw", "pw\n");
    std::filesystem::permissions(password, std::filesystem::perms(0600));
    const struct {
        const char* name;
        bool terminal;
        std::vector<std::string> extra;
        bool barExpected;
    } cases[] = {
        {"terminal", true, {}, true},
        {"terminal, --quiet", true, {"--quiet"}, false},
        {"pipe", false, {}, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string file = dir.write("p.txt", std::string(300000, 'x'));
        std::vector<std::string> args{"encrypt", "--password-file", password, file};
        args.insert(args.end(), c.extra.begin(), c.extra.end());
        const std::string shown = c.terminal ? runOnTerminal(args, {}).screen : runCli(dir, args, "").err;
        EXPECT_EQ(shown.find("100%") != std::string::npos, c.barExpected) << shown;
        std::filesystem::remove(dir / "p.kfo");
    }
}
#endif  // !_WIN32

}  // namespace
}  // namespace kerfo::test
