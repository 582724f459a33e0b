// A program run under ptrace and stopped before one of its system calls, to be sent a
// signal there. The moment is named per thread, so that it is the same moment in every run:
// the k-th call of the t-th thread (0 the main thread, then in the order they were made),
// counting only calls that may touch files. Calls on memory, locks between threads, signal
// masks and threads (futex, mmap, rt_sigprocmask, clone, ...) touch none, and how many of
// them a thread makes depends on timing; a stop before one of them is the same moment for
// the files as the stop before that thread's next counted call. The calls before the stop
// ran whole; the call stopped at has not started when the signal is sent: SIGKILL ends the
// program on the spot, a catchable signal is delivered as the kernel would (it interrupts
// the call or arrives right after it) and the program is left to deal with it. The other
// threads run on between stops, as they would. Linux only.
#pragma once

#include <fcntl.h>
#include <signal.h>
#include <sys/ptrace.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <fstream>
#include <map>
#include <mutex>
#include <set>
#include <sstream>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

extern char** environ;

namespace kerfo::test {

// Where to stop: before the `call`-th counted call of thread `thread`; call 0 never stops.
struct StopPoint {
    int thread = 0;
    long call = 0;
};

// What a stepped run did.
struct SteppedRun {
    bool stopped = false;       // the stop point was reached and the signal sent
    std::string callName;       // the call stopped before
    std::vector<long> counted;  // counted calls entered, per thread, up to the end or the stop
    long calls = 0;             // every call entered, counted or not
    int exitCode = -1;          // the exit code, or 128 + the signal that ended the program
    bool timedOut = false;      // killed after the time limit: the program hung
};

// The name of system call `nr` of this machine, or "call <nr>" when the headers are missing.
inline std::string systemCallName(long nr) {
    static const std::map<long, std::string> names = [] {
        std::map<long, std::string> table;
        for (const char* header :
             {"/usr/include/x86_64-linux-gnu/asm/unistd_64.h", "/usr/include/asm/unistd_64.h"}) {
            std::ifstream in(header);
            std::string define, name;
            long number = 0;
            for (std::string line; std::getline(in, line);) {
                std::istringstream words(line);
                if (words >> define >> name >> number && define == "#define" &&
                    name.rfind("__NR_", 0) == 0) {
                    table[number] = name.substr(5);
                }
            }
            if (!table.empty()) break;
        }
        return table;
    }();
    const auto found = names.find(nr);
    return found != names.end() ? found->second : "call " + std::to_string(nr);
}

// Whether a call is one that touches no file (see above); unknown calls count.
inline bool touchesNoFile(const std::string& name) {
    static const std::set<std::string> inert{"futex",
                                             "mmap",
                                             "munmap",
                                             "mprotect",
                                             "madvise",
                                             "mremap",
                                             "brk",
                                             "rt_sigprocmask",
                                             "rt_sigaction",
                                             "rt_sigreturn",
                                             "sigaltstack",
                                             "clone",
                                             "clone3",
                                             "set_robust_list",
                                             "rseq",
                                             "set_tid_address",
                                             "exit",
                                             "gettid",
                                             "getpid",
                                             "sched_yield",
                                             "sched_getaffinity",
                                             "nanosleep",
                                             "clock_nanosleep",
                                             "clock_gettime",
                                             "getrandom",
                                             "prlimit64",
                                             "arch_prctl",
                                             "membarrier"};
    return inert.count(name) != 0;
}

// Runs `argv` (argv[0] a path) with standard input from `in` and output to `out` and `err`,
// no core dumps, and sends `signal` at `at`. A program still running after `limit` is
// killed and reported as timed out. Throws std::runtime_error when the system refuses
// ptrace (a container without it, a strict Yama setting).
inline SteppedRun runStepped(const std::vector<std::string>& argv, const std::string& in,
                             const std::string& out, const std::string& err, StopPoint at,
                             int signal,
                             std::chrono::milliseconds limit = std::chrono::seconds(60)) {
    std::vector<char*> args;
    for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    // LeakSanitizer stops the world with ptrace, which a traced program cannot: a sanitizer
    // build runs without it here.
    std::vector<std::string> environment{"ASAN_OPTIONS=detect_leaks=0"};
    for (char** e = environ; *e != nullptr; ++e) {
        const std::string entry = *e;
        if (entry.rfind("ASAN_OPTIONS=", 0) == 0) {
            environment[0] = entry + ":detect_leaks=0";
        } else {
            environment.push_back(entry);
        }
    }
    std::vector<char*> envp;
    for (auto& e : environment) envp.push_back(e.data());
    envp.push_back(nullptr);
    const pid_t pid = ::fork();
    if (pid < 0) throw std::runtime_error("fork");
    if (pid == 0) {
        const int fds[] = {::open(in.c_str(), O_RDONLY),
                           ::open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644),
                           ::open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644)};
        for (int i = 0; i < 3; ++i) {
            if (fds[i] < 0 || ::dup2(fds[i], i) < 0) ::_exit(126);
        }
        const rlimit noCore{0, 0};
        ::setrlimit(RLIMIT_CORE, &noCore);
        if (::ptrace(PTRACE_TRACEME, 0, nullptr, nullptr) != 0) ::_exit(125);
        ::raise(SIGSTOP);
        ::execve(args[0], args.data(), envp.data());
        ::_exit(127);
    }
    int status = 0;
    if (::waitpid(pid, &status, __WALL) != pid || !WIFSTOPPED(status)) {
        throw std::runtime_error("cannot trace a program here (ptrace refused)");
    }
    ::ptrace(PTRACE_SETOPTIONS, pid, nullptr,
             PTRACE_O_TRACESYSGOOD | PTRACE_O_TRACECLONE | PTRACE_O_TRACEEXEC | PTRACE_O_EXITKILL);

    // A hung program must not hang the test.
    std::mutex mutex;
    std::condition_variable ended;
    bool done = false;
    bool timedOut = false;
    std::thread watchdog([&] {
        std::unique_lock lock(mutex);
        if (!ended.wait_for(lock, limit, [&] { return done; })) {
            timedOut = true;
            ::kill(pid, SIGKILL);
        }
    });

    SteppedRun run;
    run.counted.push_back(0);
    std::map<pid_t, int> threads{{pid, 0}};
    std::set<pid_t> held;   // new threads stopped before their maker's clone event named them
    bool counting = false;  // from the exec on: the loader's calls count, the fork's do not
    const auto resume = [&](pid_t tid, int pass) {
        // Once the signal is sent, the program runs on untraced.
        ::ptrace(run.stopped ? PTRACE_CONT : PTRACE_SYSCALL, tid, nullptr, pass);
    };
    resume(pid, 0);
    for (;;) {
        const pid_t tid = ::waitpid(-1, &status, __WALL);
        if (tid < 0) {
            if (errno == EINTR) continue;
            break;
        }
        if (WIFEXITED(status) || WIFSIGNALED(status)) {
            if (tid != pid) continue;
            run.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
            break;
        }
        if (!WIFSTOPPED(status)) continue;
        const int stopSignal = WSTOPSIG(status);
        const int event = status >> 16;
        int pass = 0;
        if (stopSignal == (SIGTRAP | 0x80)) {
            __ptrace_syscall_info info{};
            if (counting && !run.stopped &&
                ::ptrace(PTRACE_GET_SYSCALL_INFO, tid, sizeof info, &info) > 0 &&
                info.op == PTRACE_SYSCALL_INFO_ENTRY) {
                ++run.calls;
                const std::string name = systemCallName(static_cast<long>(info.entry.nr));
                const int thread = threads.at(tid);
                if (!touchesNoFile(name) && ++run.counted[thread] == at.call &&
                    thread == at.thread) {
                    run.stopped = true;
                    run.callName = name;
                    ::kill(pid, signal);
                    if (signal == SIGKILL) continue;  // the kill ends every thread, this one too
                }
            }
        } else if (stopSignal == SIGTRAP && event == PTRACE_EVENT_EXEC) {
            counting = true;
        } else if (stopSignal == SIGTRAP && event == PTRACE_EVENT_CLONE) {
            unsigned long made = 0;
            ::ptrace(PTRACE_GETEVENTMSG, tid, nullptr, &made);
            threads[static_cast<pid_t>(made)] = static_cast<int>(run.counted.size());
            run.counted.push_back(0);
            if (held.erase(static_cast<pid_t>(made)) != 0) resume(static_cast<pid_t>(made), 0);
        } else if (stopSignal == SIGSTOP) {
            // A new thread's first stop: it runs once its maker's event has named it.
            if (threads.count(tid) == 0) {
                held.insert(tid);
                continue;
            }
        } else if (stopSignal != SIGTRAP || event == 0) {
            pass = stopSignal;  // the program's own signal
        }
        resume(tid, pass);
    }
    {
        std::lock_guard lock(mutex);
        done = true;
    }
    ended.notify_one();
    watchdog.join();
    run.timedOut = timedOut;
    return run;
}

}  // namespace kerfo::test
