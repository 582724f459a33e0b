// The fault matrix's tools: run a job through the core or through kerfo-cli, then judge
// what stands on disk. Every case ends in one verdict: the original byte for byte intact
// (and the failure reported), or the new file complete and correct (and success
// reported); never neither, never a temporary file left behind. Each verdict is also
// written to the results folder, from which report.py makes docs/reliability.md.
#pragma once

#include <fcntl.h>
#include <signal.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/vfs.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "fakes/scratch_dir.h"
#include "filejobs/jobs.h"
#include "filejobs/paths.h"
#include "platform/file_system_posix.h"
#include "support/cli_process.h"
#include "support/decode.h"
#include "support/files.h"

namespace kerfo::reliability {

using test::decryptsTo;
using test::readAll;

inline void writeAll(const std::string& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
}

inline bool exists(const std::string& path) {
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0;
}

// The temporary files a job left in `directory` (they start with ".kerfo-").
inline std::vector<std::string> leftovers(const std::string& directory) {
    std::vector<std::string> found;
    std::error_code ec;
    for (const auto& e : std::filesystem::directory_iterator(directory, ec)) {
        const auto name = e.path().filename().string();
        if (name.rfind(".kerfo-", 0) == 0) found.push_back(name);
    }
    return found;
}

// A folder on a chosen file system for one test: the scratch folder's own (ext4 here),
// a small tmpfs, or an exFAT image through exfat-fuse, which is case-insensitive and has
// no nameless files, hard links, owners or extended attributes. Mounting needs root;
// when a folder cannot be made, `why` says so and the case is skipped. The scratch folder
// once more through a file layer without nameless files, hard links, no-replace renames
// and leases runs the code for such file systems on every machine (the core's jobs only:
// kerfo-cli always has every feature the file system offers).
class TestFolder {
public:
    enum class Kind { kScratch, kTmpfs, kExfat, kFallback };

    explicit TestFolder(Kind kind) : m_kind(kind) {
        const std::string mnt = m_scratch / "mnt";
        std::filesystem::create_directory(mnt);
        if (kind == Kind::kScratch || kind == Kind::kFallback) {
            m_path = m_scratch.path().string() + "/files";
            std::filesystem::create_directory(m_path);
            struct statfs fs {};
            m_label = ::statfs(m_path.c_str(), &fs) == 0 && fs.f_type == 0xEF53 ? "ext4" : "scratch folder";
            if (kind == Kind::kFallback) {
                m_label += ", no nameless files, links, no-replace renames or leases";
                m_files =
                    platform::posixFileSystem(platform::PosixFeatures{false, false, false, false});
            }
        } else if (kind == Kind::kTmpfs) {
            m_label = "tmpfs";
            if (::mount("tmpfs", mnt.c_str(), "tmpfs", 0, "size=64m,mode=0755") != 0) {
                m_why = std::string("cannot mount a tmpfs (") + std::strerror(errno) + "); run as root";
                return;
            }
            m_unmount = "umount -l " + mnt;
            m_path = mnt;
        } else {
            m_label = "exFAT";
            if (::access("/dev/fuse", R_OK | W_OK) != 0) {
                m_why = "no /dev/fuse here, so no exFAT image can be mounted";
                return;
            }
            const std::string image = m_scratch / "exfat.img";
            std::string device;
            if (!shell("truncate -s 96M " + image + " && mkfs.exfat " + image + " >/dev/null 2>&1") ||
                !shell("losetup -f --show " + image, &device) || device.empty()) {
                m_why = "cannot make an exFAT image on a loop device (needs root, exfatprogs and losetup)";
                return;
            }
            m_detach = "losetup -d " + device;
            if (!shell("mount.exfat-fuse " + device + " " + mnt + " >/dev/null 2>&1")) {
                m_why = "cannot mount the exFAT image (needs exfat-fuse)";
                return;
            }
            m_unmount = "umount " + mnt;
            m_path = mnt;
        }
    }
    ~TestFolder() {
        if (!m_unmount.empty()) shell(m_unmount);
        if (!m_detach.empty()) shell(m_detach);
    }
    TestFolder(const TestFolder&) = delete;
    TestFolder& operator=(const TestFolder&) = delete;

    bool ready() const { return !m_path.empty(); }
    const std::string& path() const { return m_path; }
    const std::string& why() const { return m_why; }
    const std::string& label() const { return m_label; }
    bool caseInsensitive() const { return m_kind == Kind::kExfat; }
    bool keepsOwners() const { return m_kind != Kind::kExfat; }
    bool keepsChangeTimes() const { return m_kind != Kind::kExfat; }
    // The file layer a core job uses here: null for the real one.
    platform::FileSystem* files() const { return m_files.get(); }
    platform::FileSystem& layer() const { return m_files ? *m_files : platform::realFileSystem(); }
    // False where only the core's jobs see the folder as the test means it.
    bool forCli() const { return m_kind != Kind::kFallback; }

    // Empties the folder for the next case.
    void clear() const {
        for (const auto& e : std::filesystem::directory_iterator(m_path)) std::filesystem::remove_all(e.path());
    }

    static constexpr Kind kAll[] = {Kind::kScratch, Kind::kTmpfs, Kind::kExfat, Kind::kFallback};

private:
    // Runs `command`; true when it succeeded. `out` receives its first output line.
    static bool shell(const std::string& command, std::string* out = nullptr) {
        FILE* pipe = ::popen(command.c_str(), "r");
        if (pipe == nullptr) return false;
        char line[512] = {};
        if (std::fgets(line, sizeof line, pipe) != nullptr && out != nullptr) {
            *out = line;
            while (!out->empty() && (out->back() == '\n' || out->back() == '\r')) out->pop_back();
        }
        while (std::fgets(line, sizeof line, pipe) != nullptr) {
        }
        return ::pclose(pipe) == 0;
    }

    Kind m_kind;
    test::ScratchDir m_scratch;
    std::unique_ptr<platform::FileSystem> m_files;
    std::string m_path;
    std::string m_label;
    std::string m_why;
    std::string m_unmount;
    std::string m_detach;
};

// What the run reported: success (and the new path) or a failure with its message.
struct Reported {
    bool success = false;
    std::string detail;  // the error number, exit code or message
};

inline Reported fromJob(const filejobs::JobResult& r) {
    Reported rep;
    rep.success = r.status == filejobs::JobStatus::kDone;
    if (r.status == filejobs::JobStatus::kWrongPassword) rep.detail = "wrong password";
    if (r.error) rep.detail = "error " + std::to_string(r.error->code()) + " (" + r.error->description() + ")";
    return rep;
}

// kerfo-cli for the matrix: the shared child process, and its outcome as a report.
class Cli : public test::CliProcess {
public:
    using CliProcess::CliProcess;

    static Reported run(const std::vector<std::string>& args, const std::string& password = "pw",
                        const std::vector<std::string>& prefix = {}) {
        Cli cli(args, prefix);
        cli.send(password + "\n");
        return report(cli.wait());
    }
    static Reported report(const test::CliRun& r) {
        Reported rep;
        rep.success = r.exitCode == 0;
        rep.detail = "exit " + std::to_string(r.exitCode);
        if (!r.err.empty()) rep.detail += ": " + r.err.substr(0, r.err.find('\n'));
        return rep;
    }
};

// One case of the matrix: which job, on what, and what must stand afterwards.
struct Case {
    std::string group;        // "disk full", "names", ...
    std::string name;         // the case within the group
    std::string via;          // "core" or "cli"
    bool encrypt = true;
    std::string source;       // the path the job is given
    std::string sourceBytes;  // what it holds when the job starts
    std::string plain;        // the plain bytes (the new file must hold or decode to them)
    std::string target;       // where the new file must appear
    std::optional<std::string> targetBefore;  // a file already there under the new name
    std::string directory;    // where temporary files would be
    bool sourceAbsent = false;  // nothing stands under the source when the job starts
};

enum class Verdict { kKept, kReplaced, kNeither };

inline const char* verdictText(Verdict v) {
    switch (v) {
        case Verdict::kKept: return "original intact";
        case Verdict::kReplaced: return "new file complete";
        case Verdict::kNeither: return "NEITHER";
    }
    return "";
}

// What stands on disk, judged without the run's own report.
inline Verdict judge(const Case& c) {
    if (c.sourceAbsent) {
        const bool targetAsBefore = c.targetBefore ? (exists(c.target) && readAll(c.target) == *c.targetBefore)
                                                   : !exists(c.target);
        return !exists(c.source) && targetAsBefore ? Verdict::kKept : Verdict::kNeither;
    }
    const bool same = c.source == c.target;
    const bool sourceThere = exists(c.source);
    const std::string sourceNow = sourceThere ? readAll(c.source) : std::string();
    const bool targetThere = exists(c.target);
    const auto newIsRight = [&] {
        return c.encrypt ? decryptsTo(c.target, c.plain) : readAll(c.target) == c.plain;
    };
    if (same) {
        if (sourceThere && sourceNow == c.sourceBytes) return Verdict::kKept;
        if (targetThere && newIsRight()) return Verdict::kReplaced;
        return Verdict::kNeither;
    }
    const bool targetAsBefore = c.targetBefore ? (targetThere && readAll(c.target) == *c.targetBefore)
                                               : !targetThere;
    if (sourceThere && sourceNow == c.sourceBytes && targetAsBefore) return Verdict::kKept;
    if (!sourceThere && targetThere && newIsRight()) return Verdict::kReplaced;
    return Verdict::kNeither;
}

// Results of this test process, one line a case, for report.py.
class Results {
public:
    static void record(const Case& c, const std::string& expected, const std::string& observed,
                       bool ok) {
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        const std::string dir = KERFO_RELIABILITY_RESULTS;
        std::filesystem::create_directories(dir);
        std::ofstream out(dir + "/" + info->test_suite_name() + "." + info->name() + ".tsv",
                          std::ios::app);
        const auto clean = [](std::string s) {
            for (auto& ch : s) {
                if (ch == '\t' || ch == '\n' || ch == '\r') ch = ' ';
            }
            return s;
        };
        out << clean(c.group) << '\t' << clean(c.name) << '\t' << clean(c.via) << '\t'
            << (c.encrypt ? "encrypt" : "decrypt") << '\t' << clean(expected) << '\t'
            << clean(observed) << '\t' << (ok ? "pass" : "FAIL") << '\n';
    }
    static void skipped(const std::string& group, const std::string& name, const std::string& why) {
        Case c;
        c.group = group;
        c.name = name;
        c.via = "-";
        record(c, "-", "skipped: " + why, true);
    }
};

// Judges a finished case: the verdict must be `expected`, the report must agree with
// it, and no temporary file may be left. Records the line; returns the verdict.
inline Verdict check(const Case& c, Verdict expected, const Reported& reported) {
    const Verdict v = judge(c);
    const auto left = leftovers(c.directory);
    const bool reportAgrees = reported.success == (v == Verdict::kReplaced) &&
                              (reported.success || !reported.detail.empty());
    std::string observed = verdictText(v);
    observed += reported.success ? ", reported done" : ", reported " + reported.detail;
    if (!left.empty()) observed += ", LEFT " + left.front();
    const bool ok = v == expected && reportAgrees && left.empty();
    SCOPED_TRACE(c.group + " / " + c.name + " via " + c.via + (c.encrypt ? " encrypt" : " decrypt"));
    EXPECT_EQ(verdictText(v), std::string(verdictText(expected)));
    EXPECT_TRUE(reportAgrees) << observed;
    EXPECT_TRUE(left.empty()) << observed;
    Results::record(c, verdictText(expected), observed, ok);
    return v;
}

}  // namespace kerfo::reliability
