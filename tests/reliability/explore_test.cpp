// The exploration: kerfo-cli, run black-box, stopped before every one of its system calls
// that may touch a file (support/syscall_stepper.h says which count) and given every kind
// of thing at the two names it works on, on each file system that can be made here. After each run
// the folder is judged by the same invariants:
//   whole      the text stands whole: the original byte for byte at its name, or the new
//              file complete at the output name; never neither, never a partial file there;
//   plain      no plain byte anywhere but under the original's own names, or in the new
//              file of a decryption;
//   untouched  nothing else in the folder (or below it) changed;
//   swept      after the next start of kerfo-cli in the folder (`check`), only those files
//              remain: no temporary, no reservation, nothing new. A job ended by a catchable
//              signal must leave nothing even before that start.
// Each violation names the cell, the call it was stopped at, the invariant and the file.
// The counts and the violations go to the results folder, from which report.py writes the
// reliability report.
#include <sys/stat.h>

#include <algorithm>
#include <cctype>
#include <map>
#include <set>

#include "harness.h"
#include "support/syscall_stepper.h"
#include "texts/texts.h"

namespace kerfo::reliability {

// The file system in a test's name, as CTest lists it.
void PrintTo(TestFolder::Kind kind, std::ostream* out) {
    *out << (kind == TestFolder::Kind::kScratch ? "ext4"
             : kind == TestFolder::Kind::kTmpfs ? "tmpfs"
                                                : "exFAT");
}

namespace {

// ---------------------------------------------------------------------------------------
// What stands in a folder, and how it is judged.

struct Entry {
    char kind = '?';    // 'f' file, 'd' folder, 'l' symbolic link, 'p' fifo, '?' other
    std::string bytes;  // a file's content, a link's target
    bool operator==(const Entry&) const = default;
};
// Every entry below the root, by its path relative to it; lower-cased on a file system
// that ignores case, where two spellings are one entry.
using Snapshot = std::map<std::string, Entry>;

std::string folded(std::string name, bool foldCase) {
    if (foldCase) {
        for (auto& ch : name) ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
    }
    return name;
}

Snapshot snapshot(const std::string& root, bool foldCase) {
    namespace fs = std::filesystem;
    Snapshot all;
    for (fs::recursive_directory_iterator it(root), end; it != end; ++it) {
        Entry e;
        const auto status = it->symlink_status();
        const std::string path = it->path().string();
        if (fs::is_symlink(status)) {
            e.kind = 'l';
            e.bytes = fs::read_symlink(it->path()).string();
        } else if (fs::is_regular_file(status)) {
            e.kind = 'f';
            e.bytes = readAll(path);
        } else if (fs::is_directory(status)) {
            e.kind = 'd';
        } else if (fs::is_fifo(status)) {
            e.kind = 'p';
        }
        all[folded(it->path().lexically_relative(root).string(), foldCase)] = e;
    }
    return all;
}

// A temporary in the form Kerfo gives its own: ".kerfo-", 16 hex digits, "-", 8 hex
// digits, ".tmp". Other names starting ".kerfo-" are the user's.
bool isTemporary(const std::string& path) {
    const std::string name = std::filesystem::path(path).filename().string();
    const auto hex = [&](std::size_t from, std::size_t n) {
        return std::all_of(
            name.begin() + static_cast<long>(from), name.begin() + static_cast<long>(from + n),
            [](char ch) { return std::isxdigit(static_cast<unsigned char>(ch)) != 0; });
    };
    return name.size() == 36 && name.rfind(".kerfo-", 0) == 0 && hex(7, 16) && name[23] == '-' &&
           hex(24, 8) && name.compare(32, 4, ".tmp") == 0;
}

// Pieces of the plain text that no other file holds by chance: 32 bytes every 4 KiB.
bool holdsPlain(const std::string& bytes, const std::string& text) {
    for (std::size_t at = 0; at + 32 <= text.size(); at += 4096) {
        if (bytes.find(std::string_view(text).substr(at, 32)) != std::string::npos) return true;
    }
    return false;
}

// One job's setting: the folder, the two names (keys of a Snapshot) and the text.
struct Cell {
    std::string root;
    std::string source;
    std::string output;
    bool encrypt = true;
    std::string text;
};

enum class Allowed { kKept, kReplaced, kEither };

struct Finding {
    std::string invariant;
    std::string file;
    std::string what;
    bool operator<(const Finding& o) const {
        return std::tie(invariant, file, what) < std::tie(o.invariant, o.file, o.what);
    }
};

// Judges `now` against `before`. `killed`: the job was killed outright and nothing has
// started since, so Kerfo's temporaries and an empty reservation at the output name may
// stand (the next start must remove them). `leftoverRule` names the invariant that a
// leftover breaks otherwise.
std::set<Finding> judge(const Cell& c, const Snapshot& before, const Snapshot& now, Allowed allowed,
                        bool killed, const std::string& leftoverRule) {
    std::set<Finding> found;
    const auto at = [](const Snapshot& s, const std::string& key) -> const Entry* {
        const auto it = s.find(key);
        return it == s.end() ? nullptr : &it->second;
    };
    const auto same = [](const Entry* a, const Entry* b) { return a == b || (a && b && *a == *b); };
    const Entry* src0 = at(before, c.source);
    const Entry* src1 = at(now, c.source);
    const Entry* out0 = at(before, c.output);
    const Entry* out1 = at(now, c.output);
    const bool inPlace = c.source == c.output;
    const bool originalIntact = same(src0, src1);
    const bool complete =
        out1 && out1->kind == 'f' && !same(out0, out1) &&
        (c.encrypt ? test::decodeWhole(out1->bytes) == c.text : out1->bytes == c.text);

    if (allowed == Allowed::kKept && !(originalIntact && same(out0, out1))) {
        found.insert(
            {"untouched", originalIntact ? c.output : c.source, "changed by a refused job"});
    } else if (allowed == Allowed::kReplaced && !(complete && (inPlace || !src1))) {
        found.insert({"whole", complete ? c.source : c.output,
                      complete ? "the original stands beside the new file"
                               : "no complete new file after success"});
    } else if (!originalIntact && !complete) {
        found.insert({"whole", c.output, "neither the original nor a complete new file"});
    }
    if (!inPlace && out1 && !same(out0, out1) && !complete) {
        if (!out0 && out1->kind == 'f' && out1->bytes.empty()) {
            // A reservation of the name: a killed job's is the next start's to remove.
            if (!killed)
                found.insert({leftoverRule, c.output, "empty reservation left at the output name"});
        } else {
            found.insert({"whole", c.output, "partial or wrong file under the final name"});
        }
    }
    for (const auto& key : [&] {
             std::set<std::string> keys;
             for (const auto& [k, e] : before) keys.insert(k);
             for (const auto& [k, e] : now) keys.insert(k);
             return keys;
         }()) {
        const Entry* was = at(before, key);
        const Entry* is = at(now, key);
        if (key != c.source && key != c.output && !same(was, is)) {
            if (!was && isTemporary(key)) {
                if (!killed) found.insert({leftoverRule, ".kerfo-….tmp", "Kerfo's temporary left"});
            } else {
                found.insert({"untouched", key, !was ? "added" : !is ? "removed" : "changed"});
            }
        }
        // Plain bytes may stay only where the original still stands, or in a decryption's
        // new file (judged above); a killed job's temporary is the next start's to remove.
        const bool allowedPlace = (originalIntact && was && same(was, is)) ||
                                  (!c.encrypt && key == c.output) || (killed && isTemporary(key));
        if (is && is->kind == 'f' && !allowedPlace && holdsPlain(is->bytes, c.text)) {
            found.insert({"plain", isTemporary(key) ? ".kerfo-….tmp" : key,
                          "plain text outside the original's names"});
        }
    }
    return found;
}

// The next start of Kerfo in the folder: `check` on the source, else on what stands at the
// output name, else on a bystander.
void nextStart(const Cell& c, const test::ScratchDir& side) {
    std::string target = c.root + "/other.txt";
    for (const auto& name : {c.source, c.output}) {
        if (exists(c.root + "/" + name)) {
            target = c.root + "/" + name;
            break;
        }
    }
    test::runCli(side, {"check", target}, "");
}

// ---------------------------------------------------------------------------------------
// Counting and recording.

// One violation, as the lead will read it.
struct Violation {
    std::string cell;
    Finding finding;
};

// Violations of one test, folded: the same cell, invariant and file at many calls make one
// line with the calls listed.
class Ledger {
public:
    Ledger(std::string cls, std::string fileSystem, std::string job)
        : m_class(std::move(cls)), m_fs(std::move(fileSystem)), m_job(std::move(job)) {}

    void add(const Violation& v, test::StopPoint at = {}, const std::string& callName = "") {
        ++violations;
        auto& calls = m_found[{v.cell, v.finding}];
        if (at.call > 0) calls.emplace_back(at.thread * kPerThread + at.call, callName);
    }

    long calls = 0, runs = 0, cells = 0, notApplicable = 0, violations = 0;

    // Writes the counts and the folded violations for report.py, and fails the test once per
    // folded violation, saying where.
    void finish(double seconds, const std::string& skipped = "") {
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        const std::string dir = KERFO_RELIABILITY_RESULTS;
        std::filesystem::create_directories(dir);
        const std::string base = dir + "/" + info->test_suite_name() + "." + info->name();
        std::string safe = base;
        std::replace(safe.begin() + static_cast<long>(dir.size()) + 1, safe.end(), '/', '_');
        std::ofstream counts(safe + ".counts");
        char secs[32];
        std::snprintf(secs, sizeof secs, "%.1f", seconds);
        counts << m_class << '\t' << m_fs << '\t' << m_job << '\t' << calls << '\t' << runs << '\t'
               << cells << '\t' << notApplicable << '\t' << violations << '\t' << secs << '\t'
               << skipped << '\n';
        std::ofstream list(safe + ".violations");
        for (const auto& [key, at] : m_found) {
            const auto& [cell, finding] = key;
            const std::string where = ranges(at);
            list << m_class << '\t' << m_fs << '\t' << m_job << '\t' << cell << '\t'
                 << finding.invariant << '\t' << finding.file << '\t' << finding.what << '\t'
                 << (where.empty() ? "-" : where) << '\n';
            ADD_FAILURE() << m_class << ", " << m_fs << ", " << m_job << ": " << cell
                          << ": invariant '" << finding.invariant << "' broken at " << finding.file
                          << ": " << finding.what
                          << (where.empty() ? "" : " (calls " + where + ")");
        }
        std::printf(
            "%s, %s, %s: %ld calls stepped, %ld runs, %ld cells, %ld not applicable, %ld "
            "violations, %s s\n",
            m_class.c_str(), m_fs.c_str(), m_job.c_str(), calls, runs, cells, notApplicable,
            violations, secs);
    }

private:
    static constexpr long kPerThread = 1'000'000;

    // "12-15 (fsync), 40 (unlinkat), thread 1: 3 (pread64)": runs of consecutive calls of
    // one thread, each with its first call's name; the main thread's without a prefix.
    static std::string ranges(std::vector<std::pair<long, std::string>> at) {
        std::sort(at.begin(), at.end());
        std::string out;
        for (std::size_t i = 0; i < at.size();) {
            std::size_t j = i;
            while (j + 1 < at.size() && at[j + 1].first <= at[j].first + 1) ++j;
            if (!out.empty()) out += ", ";
            const long thread = at[i].first / kPerThread;
            if (thread > 0) out += "thread " + std::to_string(thread) + ": ";
            out += std::to_string(at[i].first % kPerThread);
            if (j > i) out += "-" + std::to_string(at[j].first % kPerThread);
            out += " (" + at[i].second + ")";
            i = j + 1;
        }
        return out;
    }

    std::string m_class, m_fs, m_job;
    std::map<std::tuple<std::string, Finding>, std::vector<std::pair<long, std::string>>> m_found;
};

// ---------------------------------------------------------------------------------------
// The folder every cell starts from.

// Lines of lower-case words, the same for the same seed: a text file no other file holds.
std::string theText(std::size_t size, unsigned seed) {
    std::mt19937 random(seed);
    std::string text;
    std::size_t column = 0;
    while (text.size() < size) {
        const std::size_t word = 2 + random() % 8;
        for (std::size_t i = 0; i < word; ++i)
            text.push_back(static_cast<char>('a' + random() % 26));
        column += word + 1;
        text.push_back(column > 64 ? '\n' : ' ');
        if (column > 64) column = 0;
    }
    text.resize(size);
    return text;
}

const std::string kPassword = "pw";

// `text` encrypted by kerfo-cli itself, in a folder of its own.
std::string encryptedForm(const std::string& text) {
    test::ScratchDir side;
    const std::string path = side.write("form.txt", text);
    const auto run =
        test::runCli(side, {"encrypt", path, "--password-stdin", "-q"}, kPassword + "\n");
    std::string form = readAll(side / "form.kfo");
    if (run.exitCode != 0 || test::decodeWhole(form) != text)
        throw std::runtime_error("cannot encrypt: " + run.err);
    return form;
}

// Files beside the job's that nothing may change: a plain file, a hidden one, another
// encrypted file, a name like Kerfo's temporaries but not in their form, and a file in a
// sub-folder that links may lead to.
void writeBystanders(const std::string& root) {
    writeAll(root + "/other.txt", theText(5000, 101));
    writeAll(root + "/.hidden", theText(3000, 102));
    writeAll(root + "/old.kfo", "[Kerfod]" + theText(2000, 103));
    writeAll(root + "/.kerfo-notes.tmp", theText(1000, 104));
    std::filesystem::create_directory(root + "/elsewhere");
    writeAll(root + "/elsewhere/notes.txt", theText(1000, 105));
}

// "ext4_encrypt", "exFAT_decrypt_in_place": a test's name from its parameters.
std::string paramName(TestFolder::Kind kind, bool encrypt, bool inPlace = false) {
    std::ostringstream fs;
    PrintTo(kind, &fs);
    return fs.str() + (encrypt ? "_encrypt" : "_decrypt") + (inPlace ? "_in_place" : "");
}

double secondsSince(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// ---------------------------------------------------------------------------------------
// Crash at every system call: SIGKILL before call N of each thread for every N of a whole
// job, then the catchable signals before every seventh of those calls. Each job also runs in place:
// a file whose name already is the output name (a plain "doc.kfo", an encrypted "doc.txt"), which
// the job replaces under its own name.

class CrashAtEveryCall : public ::testing::TestWithParam<std::tuple<TestFolder::Kind, bool, bool>> {
};

TEST_P(CrashAtEveryCall, TextWholeNoPlainCopyNothingLeft) {
    const auto [kind, encrypt, inPlace] = GetParam();
    const auto start = std::chrono::steady_clock::now();
    TestFolder folder(kind);
    Ledger ledger("crash at every call", folder.label(),
                  std::string(encrypt ? "encrypt" : "decrypt") + (inPlace ? " in place" : ""));
    if (!folder.ready()) {
        ledger.finish(0, folder.why());
        GTEST_SKIP() << folder.why();
    }
    // A first, a middle and a last chunk: some hundred calls.
    Cell c;
    c.root = folder.path();
    c.encrypt = encrypt;
    c.text = theText(600 * 1024, 7);
    c.output = encrypt ? "doc.kfo" : "doc.txt";
    c.source = inPlace ? c.output : encrypt ? "doc.txt" : "doc.kfo";
    const std::string content = encrypt ? c.text : encryptedForm(c.text);
    const auto populate = [&] {
        folder.clear();
        writeBystanders(c.root);
        writeAll(c.root + "/" + c.source, content);
    };
    populate();
    const Snapshot before = snapshot(c.root, folder.caseInsensitive());
    test::ScratchDir side;
    const std::string password = side.write("password", kPassword + "\n");
    const std::vector<std::string> argv{KERFO_CLI_PATH, encrypt ? "encrypt" : "decrypt",
                                        c.root + "/" + c.source, "--password-stdin", "-q"};
    // One run stopped at `n` by `signal`, judged before and after the next start.
    const auto stepAt = [&](test::StopPoint n, int signal) {
        populate();
        auto run = test::runStepped(argv, password, side / "out", side / "err", n, signal);
        ++ledger.runs;
        const std::string cell = run.stopped
                                     ? "SIG" + std::string(sigabbrev_np(signal)) + " before call N"
                                     : "the whole job";
        if (run.timedOut) ledger.add({cell, {"whole", c.source, "the job hung"}}, n, run.callName);
        const bool killed = run.stopped && signal == SIGKILL;
        const Allowed allowed = run.stopped ? Allowed::kEither : Allowed::kReplaced;
        const std::string rule = killed        ? "swept"
                                 : run.stopped ? "cleaned up on the signal"
                                               : "nothing left after the job";
        auto found =
            judge(c, before, snapshot(c.root, folder.caseInsensitive()), allowed, killed, rule);
        if (std::getenv("KERFO_EXPLORE_TRACE") != nullptr) {
            std::printf("%s %d.%ld (%s): exit %d, %zu finding(s)\n", cell.c_str(), n.thread, n.call,
                        run.callName.c_str(), run.exitCode, found.size());
        }
        if (!run.stopped && run.exitCode != 0)
            found.insert({"whole", c.source, "the whole job failed"});
        for (const auto& f : found) ledger.add({cell, f}, n, run.callName);
        nextStart(c, side);
        for (const auto& f : judge(c, before, snapshot(c.root, folder.caseInsensitive()), allowed,
                                   false, "swept")) {
            if (found.count(f) != 0 || found.count({rule, f.file, f.what}) != 0) continue;
            // A killed job's leftovers are the next start's to remove, whatever their age.
            ledger.add({cell + ", after the next start", f}, n, run.callName);
        }
        return run;
    };
    // Every call of every thread that a whole run shows, killed before.
    test::SteppedRun whole;
    try {
        whole = stepAt({}, SIGKILL);
    } catch (const std::runtime_error& e) {
        ledger.finish(0, e.what());
        GTEST_SKIP() << e.what();
    }
    // A sanitizer build runs each job several times slower and makes hundreds more calls
    // while it starts: KERFO_EXPLORE_STRIDE=n steps every n-th call only.
    const char* strideSet = std::getenv("KERFO_EXPLORE_STRIDE");
    const long stride = std::max(1L, strideSet != nullptr ? std::atol(strideSet) : 1L);
    std::vector<test::StopPoint> points;
    for (int thread = 0; thread < static_cast<int>(whole.counted.size()); ++thread) {
        for (test::StopPoint n{thread, 1}; stepAt(n, SIGKILL).stopped; n.call += stride)
            points.push_back(n);
    }
    ledger.calls = static_cast<long>(points.size());
    ASSERT_GT(ledger.calls * stride, 50) << "the job made too few calls to be a job";
    // The catchable signals, each before every seventh of those calls from its own offset,
    // so that together they meet every one.
    const int catchable[] = {SIGINT,  SIGTERM, SIGHUP,  SIGQUIT, SIGUSR1,
                             SIGUSR2, SIGALRM, SIGXFSZ, SIGPIPE};
    for (std::size_t i = 0; i < std::size(catchable); ++i) {
        for (std::size_t j = i % 7; j < points.size(); j += 7) stepAt(points[j], catchable[i]);
    }
    ledger.finish(secondsSince(start));
}

INSTANTIATE_TEST_SUITE_P(Explore, CrashAtEveryCall,
                         ::testing::Combine(::testing::Values(TestFolder::Kind::kScratch,
                                                              TestFolder::Kind::kExfat),
                                            ::testing::Bool(), ::testing::Bool()),
                         [](const auto& info) {
                             return paramName(std::get<0>(info.param), std::get<1>(info.param),
                                              std::get<2>(info.param));
                         });

// ---------------------------------------------------------------------------------------
// Every kind of thing at each name.

// At the source name a hard link is a file with a second name (other/<name>) and a link
// to the source leads to a file beside it; at the output name they are a second name of,
// and a link to, the file the source name leads to. The source's own entry is an output
// name only: the source is named so that its output name is its own entry, spelled
// otherwise where case is ignored.
enum class Thing {
    kNothing,
    kRegular,
    kHardLink,
    kLinkToSource,
    kLinkElsewhere,
    kDanglingLink,
    kFolder,
    kFifo,
    kSourceItself
};
constexpr const char* kThingNames[] = {"nothing",
                                       "regular file",
                                       "hard link",
                                       "symbolic link to the source",
                                       "symbolic link elsewhere",
                                       "dangling symbolic link",
                                       "folder",
                                       "fifo",
                                       "the source's own entry"};

// What a cell must end in: refused before the password (with the words it must say, when
// they are fixed) or done.
struct Expected {
    bool refused = true;
    std::string says;  // a piece of the refusal's text, or empty
};

Expected expectedFor(Thing source, Thing output, const std::string& linkTarget) {
    switch (source) {
        case Thing::kHardLink:
            return {true,
                    std::string(texts::kNoLinkedFiles)};  // its other name would keep the text
        case Thing::kLinkToSource:
        case Thing::kLinkElsewhere:
            return {true, linkTarget};  // said so, naming the file it leads to
        case Thing::kRegular:
            break;
        default:
            return {true, ""};  // nothing to work on
    }
    switch (output) {
        case Thing::kNothing:
        case Thing::kSourceItself:
            return {false, ""};
        case Thing::kHardLink:
            // The source has a second name now, and that is said first.
            return {true, std::string(texts::kNoLinkedFiles)};
        default:
            return {true, std::string(texts::kAlreadyExists)};
    }
}

// Makes `thing` at `name` below `root`; `real` is the file the source name leads to, from
// the root (empty: none). False where the file system cannot hold it.
bool make(Thing thing, const std::string& root, const std::string& name, const std::string& content,
          const std::string& real) {
    const std::string path = root + "/" + name;
    switch (thing) {
        case Thing::kNothing:
            return true;
        case Thing::kRegular:
        case Thing::kSourceItself:
            writeAll(path, content);
            return exists(path);
        case Thing::kHardLink:
            return !real.empty() && ::link((root + "/" + real).c_str(), path.c_str()) == 0;
        case Thing::kLinkToSource:
            return !real.empty() && ::symlink(real.c_str(), path.c_str()) == 0;
        case Thing::kLinkElsewhere:
            return ::symlink("elsewhere/notes.txt", path.c_str()) == 0;
        case Thing::kDanglingLink:
            return ::symlink("gone.txt", path.c_str()) == 0;
        case Thing::kFolder:
            return ::mkdir(path.c_str(), 0755) == 0;
        case Thing::kFifo:
            return ::mkfifo(path.c_str(), 0644) == 0;
    }
    return false;
}

class EveryKindAtEachName : public ::testing::TestWithParam<std::tuple<TestFolder::Kind, bool>> {};

TEST_P(EveryKindAtEachName, RefusedBeforeThePasswordOrDoneAndNothingElseChanged) {
    const auto [kind, encrypt] = GetParam();
    const auto start = std::chrono::steady_clock::now();
    TestFolder folder(kind);
    Ledger ledger("every kind at each name", folder.label(), encrypt ? "encrypt" : "decrypt");
    if (!folder.ready()) {
        ledger.finish(0, folder.why());
        GTEST_SKIP() << folder.why();
    }
    const std::string text = theText(20'000, 8);
    const std::string content = encrypt ? text : encryptedForm(text);
    const std::string from = encrypt ? ".txt" : ".kfo";
    const std::string to = encrypt ? ".kfo" : ".txt";
    const bool foldCase = folder.caseInsensitive();
    test::ScratchDir side;
    const Thing sources[] = {Thing::kNothing,      Thing::kRegular,       Thing::kHardLink,
                             Thing::kLinkToSource, Thing::kLinkElsewhere, Thing::kDanglingLink,
                             Thing::kFolder,       Thing::kFifo};
    const Thing outputs[] = {Thing::kNothing,      Thing::kRegular,       Thing::kHardLink,
                             Thing::kLinkToSource, Thing::kLinkElsewhere, Thing::kDanglingLink,
                             Thing::kFolder,       Thing::kFifo,          Thing::kSourceItself};
    for (const Thing s : sources) {
        for (const Thing o : outputs) {
            const std::string cell = std::string("source ") + kThingNames[static_cast<int>(s)] +
                                     ", output " + kThingNames[static_cast<int>(o)];
            const bool itself = o == Thing::kSourceItself;
            if (itself && s != Thing::kRegular && s != Thing::kHardLink) continue;  // no such cell
            Cell c;
            c.root = folder.path();
            c.encrypt = encrypt;
            c.text = text;
            c.output = "doc" + to;
            std::string name = !itself ? "doc" + from : c.output;
            if (itself && foldCase) {
                for (auto& ch : name)
                    ch = static_cast<char>(std::toupper(static_cast<unsigned char>(ch)));
            }
            c.source = folded(name, foldCase);

            folder.clear();
            writeBystanders(c.root);
            std::string real;  // the file the source name leads to
            bool made = true;
            if (s == Thing::kLinkToSource || s == Thing::kLinkElsewhere) {
                real = (s == Thing::kLinkToSource ? "doc-real" : "elsewhere/doc-real") + from;
                writeAll(c.root + "/" + real, content);
                made = make(Thing::kLinkToSource, c.root, name, "", real);
            } else if (s == Thing::kHardLink) {
                std::filesystem::create_directory(c.root + "/other");
                made = make(Thing::kRegular, c.root, name, content, "") &&
                       make(Thing::kHardLink, c.root, "other/" + name, "", name);
                real = name;
            } else {
                made = make(s, c.root, name, content, "");
                if (s == Thing::kRegular || s == Thing::kFolder || s == Thing::kFifo) real = name;
            }
            if (!made || (!itself && !make(o, c.root, c.output, theText(700, 106), real))) {
                ++ledger.notApplicable;
                continue;
            }
            ++ledger.cells;
            const Snapshot before = snapshot(c.root, foldCase);
            const Expected expected =
                expectedFor(s, o, std::filesystem::path(real).filename().string());

            // Refusals come before the password: nothing is sent until the program waits for it.
            test::CliProcess cli(
                {encrypt ? "encrypt" : "decrypt", c.root + "/" + name, "--password-stdin", "-q"});
            const auto first = cli.endOrInput();
            if (first == test::CliProcess::FirstOf::kWaitsForInput) cli.send(kPassword + "\n");
            const bool hangs = first == test::CliProcess::FirstOf::kNeither ||
                               !cli.endsWithin(std::chrono::seconds(60));
            if (hangs) ::kill(cli.pid(), SIGKILL);
            const auto run = cli.wait();
            ++ledger.runs;
            std::set<Finding> found;
            const std::string said = run.err.substr(0, run.err.find('\n'));
            if (hangs) {
                found.insert({"ends", c.source, "hangs: killed after a minute"});
            } else if (expected.refused) {
                if (first != test::CliProcess::FirstOf::kEnded) {
                    found.insert({"refused before the password", c.source,
                                  "asked for the password; then exit " +
                                      std::to_string(run.exitCode) +
                                      (said.empty() ? "" : ": " + said)});
                } else if (run.exitCode != 1 || said.empty()) {
                    found.insert(
                        {"refused before the password", c.source,
                         "exit " + std::to_string(run.exitCode) + " without a line on stderr"});
                } else if (!expected.says.empty() &&
                           run.err.find(expected.says) == std::string::npos) {
                    found.insert({"refused before the password", c.source,
                                  "the refusal does not say '" + expected.says + "': " + said});
                }
            } else if (run.exitCode != 0) {
                found.insert(
                    {"done", c.source, "exit " + std::to_string(run.exitCode) + ": " + said});
            }
            const Allowed allowed = expected.refused ? Allowed::kKept : Allowed::kReplaced;
            for (const auto& f :
                 judge(c, before, snapshot(c.root, foldCase), allowed, false, "nothing left")) {
                found.insert(f);
            }
            nextStart(c, side);
            for (const auto& f :
                 judge(c, before, snapshot(c.root, foldCase), allowed, false, "swept")) {
                if (found.count(f) == 0)
                    found.insert({f.invariant, f.file, f.what + " (after the next start)"});
            }
            for (const auto& f : found) ledger.add({cell, f});
        }
    }
    ledger.finish(secondsSince(start));
}

INSTANTIATE_TEST_SUITE_P(
    Explore, EveryKindAtEachName,
    ::testing::Combine(::testing::Values(TestFolder::Kind::kScratch, TestFolder::Kind::kTmpfs,
                                         TestFolder::Kind::kExfat),
                       ::testing::Bool()),
    [](const auto& info) { return paramName(std::get<0>(info.param), std::get<1>(info.param)); });

}  // namespace
}  // namespace kerfo::reliability
