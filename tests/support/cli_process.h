// kerfo-cli as the tests start it: one run with its standard input from a file (every
// platform), or a child process to talk to, wait for or kill (on Windows: kill, as
// taskkill /F does). Include it only where KERFO_CLI_PATH names the built program.
#pragma once

#ifdef _WIN32
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>
#else
#include <fcntl.h>
#include <pthread.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;
#endif

#include <cerrno>
#include <chrono>
#include <filesystem>
#include <functional>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "fakes/scratch_dir.h"
#include "support/files.h"

namespace kerfo::test {

// What a finished run left behind.
struct CliRun {
    int exitCode = -1;   // the exit code, 128 + the signal that ended it, or -1 if it never ran
    std::string out;     // standard output (LF line ends on Windows too)
    std::string err;     // standard error (likewise)
    std::string rawOut;  // standard output byte for byte
};

#ifdef _WIN32
// One argument as the C runtime's command-line parser reads it back.
inline std::string quoted(const std::string& arg) {
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
inline std::string withoutCr(std::string text) {
    for (auto pos = text.find("\r\n"); pos != std::string::npos; pos = text.find("\r\n", pos)) {
        text.erase(pos, 1);
    }
    return text;
}

// Starts kerfo-cli with `args` and the three (inheritable) standard handles; the child's
// process handle, for the caller to close, or null when it cannot start.
inline HANDLE startCli(const std::vector<std::string>& args, HANDLE in, HANDLE out, HANDLE err) {
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = in;
    startup.hStdOutput = out;
    startup.hStdError = err;
    std::string commandLine = quoted(KERFO_CLI_PATH);
    for (const auto& arg : args) commandLine += ' ' + quoted(arg);
    PROCESS_INFORMATION process{};
    if (!CreateProcessA(nullptr, commandLine.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr,
                        &startup, &process)) {
        return nullptr;
    }
    CloseHandle(process.hThread);
    return process.hProcess;
}

// Runs kerfo-cli with `args`, `input` as its standard input (a file, not a console).
inline CliRun runCli(const ScratchDir& dir, const std::vector<std::string>& args,
                     const std::string& input) {
    const std::string in = dir.write(".stdin", input);
    const std::string out = dir / ".stdout";
    const std::string err = dir / ".stderr";
    CliRun run;
    {
        SECURITY_ATTRIBUTES inherit{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
        const auto open = [&](const std::string& path, DWORD access, DWORD disposition) {
            return CreateFileA(path.c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit,
                               disposition, FILE_ATTRIBUTE_NORMAL, nullptr);
        };
        const HANDLE hIn = open(in, GENERIC_READ, OPEN_EXISTING);
        const HANDLE hOut = open(out, GENERIC_WRITE, CREATE_ALWAYS);
        const HANDLE hErr = open(err, GENERIC_WRITE, CREATE_ALWAYS);
        if (const HANDLE child = startCli(args, hIn, hOut, hErr)) {
            if (WaitForSingleObject(child, 60000) != WAIT_OBJECT_0) {
                TerminateProcess(child, 255);  // fail rather than hang
                WaitForSingleObject(child, INFINITE);
            } else {
                DWORD code = 0;
                if (GetExitCodeProcess(child, &code)) run.exitCode = static_cast<int>(code);
            }
            CloseHandle(child);
        }
        for (const HANDLE h : {hIn, hOut, hErr}) CloseHandle(h);
    }
    run.rawOut = readFile(out);
    run.out = withoutCr(run.rawOut);
    run.err = withoutCr(readFile(err));
    for (const auto* name : {".stdin", ".stdout", ".stderr"}) std::filesystem::remove(dir / name);
    return run;
}

// kerfo-cli as a child process with its standard input from `stdinFile` and its output
// thrown away, to be ended at any moment as taskkill /F ends a program. Killed and waited
// for at destruction if it still runs. Throws std::runtime_error if it cannot start.
class CliProcess {
public:
    CliProcess(const std::vector<std::string>& args, const std::string& stdinFile) {
        SECURITY_ATTRIBUTES inherit{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
        m_in = CreateFileA(stdinFile.c_str(), GENERIC_READ, FILE_SHARE_READ, &inherit,
                           OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
        m_null = CreateFileA("NUL", GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit,
                             OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
        m_process = startCli(args, m_in, m_null, m_null);
        if (m_process == nullptr) {
            close();
            throw std::runtime_error("cannot start kerfo-cli");
        }
    }
    ~CliProcess() {
        kill();
        close();
    }
    CliProcess(const CliProcess&) = delete;
    CliProcess& operator=(const CliProcess&) = delete;

    bool running() const { return WaitForSingleObject(m_process, 0) == WAIT_TIMEOUT; }

    // Ends the program at once, wherever it is, and waits until it is gone.
    void kill() {
        if (m_process == nullptr) return;
        TerminateProcess(m_process, 137);
        WaitForSingleObject(m_process, INFINITE);
    }

private:
    void close() {
        for (HANDLE* h : {&m_process, &m_in, &m_null}) {
            if (*h != nullptr && *h != INVALID_HANDLE_VALUE) CloseHandle(*h);
            *h = nullptr;
        }
    }

    HANDLE m_process = nullptr;
    HANDLE m_in = nullptr;
    HANDLE m_null = nullptr;
};
#else
// kerfo-cli as a child process: arguments, the password on standard input, and the
// chance to act between the start and the password, or to kill it. Killed and collected
// at destruction if nobody waited for it. Throws std::runtime_error if it cannot start.
class CliProcess {
public:
    // `prefix`: a command that runs kerfo-cli under another user (setpriv ...), or empty.
    // `stdinFile`: a file to read standard input from instead of the pipe that send() fills.
    explicit CliProcess(const std::vector<std::string>& args,
                        const std::vector<std::string>& prefix = {},
                        const std::string& stdinFile = {}) {
        int in[2] = {-1, -1};
        if (stdinFile.empty() && ::pipe(in) != 0) throw std::runtime_error("pipe");
        m_outPath = m_io / "out";
        m_errPath = m_io / "err";
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        if (stdinFile.empty()) {
            posix_spawn_file_actions_adddup2(&actions, in[0], 0);
            posix_spawn_file_actions_addclose(&actions, in[1]);
        } else {
            posix_spawn_file_actions_addopen(&actions, 0, stdinFile.c_str(), O_RDONLY, 0);
        }
        posix_spawn_file_actions_addopen(&actions, 1, m_outPath.c_str(),
                                         O_WRONLY | O_CREAT | O_TRUNC, 0666);
        posix_spawn_file_actions_addopen(&actions, 2, m_errPath.c_str(),
                                         O_WRONLY | O_CREAT | O_TRUNC, 0666);
        std::vector<std::string> all = prefix;
        all.push_back(KERFO_CLI_PATH);
        all.insert(all.end(), args.begin(), args.end());
        std::vector<char*> argv;
        for (auto& a : all) argv.push_back(a.data());
        argv.push_back(nullptr);
        // The output files must be writable by another user too.
        std::filesystem::permissions(m_io.path(), std::filesystem::perms(0777));
        const int rc = ::posix_spawnp(&m_pid, argv[0], &actions, nullptr, argv.data(), environ);
        posix_spawn_file_actions_destroy(&actions);
        if (in[0] >= 0) ::close(in[0]);
        m_stdin = in[1];
        if (rc != 0) throw std::runtime_error("cannot start kerfo-cli");
    }
    ~CliProcess() {
        if (m_stdin >= 0) ::close(m_stdin);
        if (!m_waited) {
            ::kill(m_pid, SIGKILL);
            ::waitpid(m_pid, nullptr, 0);
        }
    }
    CliProcess(const CliProcess&) = delete;
    CliProcess& operator=(const CliProcess&) = delete;

    pid_t pid() const { return m_pid; }

    // True once the process waits for its password: the gate has run by then.
    bool waitsForInput(std::chrono::milliseconds limit = std::chrono::milliseconds(10000)) const {
        const auto end = std::chrono::steady_clock::now() + limit;
        const std::string syscall = "/proc/" + std::to_string(m_pid) + "/syscall";
        while (std::chrono::steady_clock::now() < end) {
            const std::string s = readAll(syscall);
            if (s.rfind("0 0x0 ", 0) == 0) return true;  // read(0, ...)
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
        return false;
    }

    // Whichever comes first: the program ends (it never asked for input) or it waits for
    // its standard input; kNeither when `limit` passes first (it hangs elsewhere).
    enum class FirstOf { kEnded, kWaitsForInput, kNeither };
    FirstOf endOrInput(std::chrono::milliseconds limit = std::chrono::milliseconds(10000)) const {
        const std::string syscall = "/proc/" + std::to_string(m_pid) + "/syscall";
        const auto waits = [&] {
            return readAll(syscall).rfind("0 0x0 ", 0) == 0;
        };  // read(0, ...)
        if (endsWithin(limit, waits)) return FirstOf::kEnded;
        return waits() ? FirstOf::kWaitsForInput : FirstOf::kNeither;
    }

    // Whether the program ends within `limit`, leaving it to wait() to collect; false at
    // once when `stop` says to stop waiting.
    bool endsWithin(
        std::chrono::milliseconds limit,
        const std::function<bool()>& stop = [] { return false; }) const {
        const auto end = std::chrono::steady_clock::now() + limit;
        while (!ended()) {
            if (stop() || std::chrono::steady_clock::now() >= end) return ended();
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        return true;
    }

    // Writes `text` to the program's standard input and closes it. A program that refused
    // its file before reading the password may have ended already: the write then fails
    // with EPIPE instead of ending this process with SIGPIPE, and the exit code tells.
    // Returns whether the program's pipe took the whole text.
    bool send(const std::string& text) {
        sigset_t pipeSignal;
        sigset_t previous;
        sigemptyset(&pipeSignal);
        sigaddset(&pipeSignal, SIGPIPE);
        ::pthread_sigmask(SIG_BLOCK, &pipeSignal, &previous);
        const ssize_t written = ::write(m_stdin, text.data(), text.size());
        if (written < 0 && errno == EPIPE) {
            // Take the signal that the failed write left pending, so that unblocking does
            // not deliver it.
            const timespec now{};
            while (::sigtimedwait(&pipeSignal, nullptr, &now) < 0 && errno == EINTR) {
            }
        }
        ::pthread_sigmask(SIG_SETMASK, &previous, nullptr);
        ::close(m_stdin);
        m_stdin = -1;
        return written == static_cast<ssize_t>(text.size());
    }

    // Blocks until the program has ended, leaving it to wait() to collect.
    void awaitEnd() const {
        siginfo_t info{};
        while (::waitid(P_PID, static_cast<id_t>(m_pid), &info, WEXITED | WNOWAIT) != 0 &&
               errno == EINTR) {
        }
    }

    // Waits for the end and reads what it left.
    CliRun wait() {
        int status = 0;
        ::waitpid(m_pid, &status, 0);
        m_waited = true;
        CliRun r;
        r.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        r.out = readAll(m_outPath);
        r.rawOut = r.out;
        r.err = readAll(m_errPath);
        return r;
    }

private:
    bool ended() const {
        siginfo_t info{};
        const int options = WEXITED | WNOHANG | WNOWAIT;
        return ::waitid(P_PID, static_cast<id_t>(m_pid), &info, options) == 0 &&
               info.si_pid == m_pid;
    }

    ScratchDir m_io;
    std::string m_outPath, m_errPath;
    pid_t m_pid = -1;
    int m_stdin = -1;
    bool m_waited = false;
};

// Runs kerfo-cli with `args`, `input` as its standard input (a file, not a terminal).
inline CliRun runCli(const ScratchDir& dir, const std::vector<std::string>& args,
                     const std::string& input) {
    const std::string in = dir.write(".stdin", input);
    CliRun run;
    {
        CliProcess process(args, {}, in);
        run = process.wait();
    }
    std::filesystem::remove(in);
    return run;
}
#endif

}  // namespace kerfo::test
