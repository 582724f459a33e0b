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
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;
#endif

#include <gtest/gtest.h>

#include "fakes/scratch_dir.h"
#include "support/vectors.h"

namespace kerfo::test {
namespace {

struct Run {
    int exitCode = -1;
    std::string out;
    std::string err;
};

#ifdef _WIN32
// One argument as the C runtime's command-line parser reads it back.
std::string quoted(const std::string& arg) {
    std::string out = "\"";
    std::size_t backslashes = 0;
    for (const char c : arg) {
        if (c == '\\') {
            ++backslashes;
            continue;
        }
        out.append(c == '"' ? backslashes * 2 + 1 : backslashes, '\\');
        backslashes = 0;
        out.push_back(c);
    }
    out.append(backslashes * 2, '\\');
    return out + "\"";
}

// A console program writes its lines in text mode; the texts compared are the same.
std::string withoutCr(std::string text) {
    for (auto pos = text.find("\r\n"); pos != std::string::npos; pos = text.find("\r\n", pos)) {
        text.erase(pos, 1);
    }
    return text;
}

// Runs kerfo-cli with `args`, `input` as its standard input (a file, not a console).
Run runCli(const ScratchDir& dir, const std::vector<std::string>& args, const std::string& input) {
    const std::string in = dir.write(".stdin", input);
    const std::string out = dir / ".stdout";
    const std::string err = dir / ".stderr";
    Run run;
    {
        SECURITY_ATTRIBUTES inherit{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
        const auto open = [&](const std::string& path, DWORD access, DWORD disposition) {
            return CreateFileA(path.c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit,
                               disposition, FILE_ATTRIBUTE_NORMAL, nullptr);
        };
        const HANDLE hIn = open(in, GENERIC_READ, OPEN_EXISTING);
        const HANDLE hOut = open(out, GENERIC_WRITE, CREATE_ALWAYS);
        const HANDLE hErr = open(err, GENERIC_WRITE, CREATE_ALWAYS);
        STARTUPINFOA startup{};
        startup.cb = sizeof startup;
        startup.dwFlags = STARTF_USESTDHANDLES;
        startup.hStdInput = hIn;
        startup.hStdOutput = hOut;
        startup.hStdError = hErr;
        std::string commandLine = quoted(KERFO_CLI_PATH);
        for (const auto& arg : args) {
            commandLine += ' ';
            commandLine += quoted(arg);
        }
        PROCESS_INFORMATION process{};
        if (CreateProcessA(nullptr, commandLine.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr,
                           &startup, &process)) {
            if (WaitForSingleObject(process.hProcess, 60000) != WAIT_OBJECT_0) {
                TerminateProcess(process.hProcess, 255);  // fail rather than hang
                WaitForSingleObject(process.hProcess, INFINITE);
            } else {
                DWORD code = 0;
                if (GetExitCodeProcess(process.hProcess, &code)) run.exitCode = static_cast<int>(code);
            }
            CloseHandle(process.hThread);
            CloseHandle(process.hProcess);
        }
        for (const HANDLE h : {hIn, hOut, hErr}) CloseHandle(h);
    }
    run.out = withoutCr(readFile(out));
    run.err = withoutCr(readFile(err));
    for (const auto* name : {".stdin", ".stdout", ".stderr"}) std::filesystem::remove(dir / name);
    return run;
}
#else
// Runs kerfo-cli with `args`, `input` as its standard input (a file, not a terminal).
Run runCli(const ScratchDir& dir, const std::vector<std::string>& args, const std::string& input) {
    const std::string in = dir.write(".stdin", input);
    const std::string out = dir / ".stdout";
    const std::string err = dir / ".stderr";
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, in.c_str(), O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    posix_spawn_file_actions_addopen(&actions, 2, err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    std::vector<std::string> all{KERFO_CLI_PATH};
    all.insert(all.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (auto& a : all) argv.push_back(a.data());
    argv.push_back(nullptr);
    pid_t pid = 0;
    Run run;
    if (posix_spawn(&pid, KERFO_CLI_PATH, &actions, nullptr, argv.data(), environ) == 0) {
        int status = 0;
        ::waitpid(pid, &status, 0);
        run.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    posix_spawn_file_actions_destroy(&actions);
    run.out = readFile(out);
    run.err = readFile(err);
    for (const auto* name : {".stdin", ".stdout", ".stderr"}) std::filesystem::remove(dir / name);
    return run;
}
#endif

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

// Typed passwords need a pseudo-terminal, which Windows consoles do not offer to a test.
#ifndef _WIN32
// Runs kerfo-cli on a pseudo-terminal, typing `lines` at its prompts; returns what the
// terminal showed and the exit code.
std::pair<std::string, int> runOnTerminal(const std::vector<std::string>& args,
                                          const std::vector<std::string>& lines) {
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
    std::string screen;
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
            const std::string line = lines[typed++] + "\n";
            if (::write(master, line.data(), line.size()) < 0) break;
        }
    }
    int status = 0;
    if (::waitpid(pid, &status, WNOHANG) == 0) {
        ::kill(pid, SIGKILL);  // still waiting for input: fail rather than hang
        ::waitpid(pid, &status, 0);
    }
    ::close(master);
    return {screen, WIFEXITED(status) ? WEXITSTATUS(status) : -1};
}

TEST_F(Cli, TerminalPromptsWithoutEchoAndChecksTheRepeat) {
    const std::string path = dir.write("k.txt", "typed on a terminal");
    const auto [mismatch, mismatchCode] = runOnTerminal({"encrypt", path}, {"Hunter2x", "hunter2x"});
    EXPECT_EQ(mismatchCode, 1);
    EXPECT_NE(mismatch.find("Enter password:"), std::string::npos);
    EXPECT_NE(mismatch.find("Enter password again:"), std::string::npos);
    EXPECT_NE(mismatch.find("The two passwords are not the same."), std::string::npos);
    EXPECT_EQ(mismatch.find("unter2x"), std::string::npos) << "the password was echoed";
    EXPECT_EQ(dir.listing(), "k.txt ");

    const auto [screen, code] = runOnTerminal({"encrypt", path}, {"Hunter2x", "Hunter2x"});
    EXPECT_EQ(code, 0) << screen;
    EXPECT_EQ(screen.find("unter2x"), std::string::npos) << "the password was echoed";
    const auto [decrypted, decryptCode] = runOnTerminal({"decrypt", dir / "k.kfo"}, {"Hunter2x"});
    EXPECT_EQ(decryptCode, 0) << decrypted;
    EXPECT_EQ(readFile(path), "typed on a terminal");
}
#endif  // !_WIN32

}  // namespace
}  // namespace kerfo::test
