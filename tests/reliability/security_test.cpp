// Security properties of the file layer and the jobs: only Kerfo's own stale leftovers
// are ever swept; output names only ever from the target's own name, never from the
// file's content.
#include <sys/file.h>

#include <tuple>

#include "harness.h"
#include "platform/file_system.h"
#include "platform/secret.h"

namespace kerfo::reliability {
namespace {

// The sweep removes what a killed job left, whatever its age, and nothing else: only
// names that no one but Kerfo makes, only when no job holds them, and of a claim only the
// empty placeholder its note records.
TEST(Security, SweepRemovesOnlyKerfosOwnLeftovers) {
    test::ScratchDir dir;
    using Clock = std::filesystem::file_time_type::clock;
    std::string badTag = platform::temporaryName();
    badTag.replace(badTag.size() - 12, 8, "00000000");
    struct Entry {
        std::string name;
        std::string bytes;
        std::chrono::minutes age;
        bool removed;
        const char* what;
    };
    const std::string claimed = "notes.kfo";
    const std::string stale = "old.kfo";
    const std::string full = "full.kfo";
    const Entry entries[] = {
        {platform::temporaryName(), "bytes", std::chrono::minutes(10), true,
         "a killed job's leftover"},
        {platform::temporaryName(), "bytes", std::chrono::minutes(0), true,
         "a leftover made a moment ago"},
        {platform::temporaryName(), "bytes", std::chrono::minutes(-600), true,
         "a leftover dated in the future"},
        {".kerfo-backup", "bytes", std::chrono::minutes(10), false, "the user's .kerfo-backup"},
        {".kerfo-AbC123", "bytes", std::chrono::minutes(10), false,
         "six characters, as older builds named theirs"},
        {badTag, "bytes", std::chrono::minutes(10), false,
         "the right shape with a wrong check part"},
        {"notes" + platform::temporaryName(), "bytes", std::chrono::minutes(10), false,
         "a name that only contains one"},
        {platform::temporaryName(), "kerfo claim\n" + claimed, std::chrono::minutes(0), true,
         "a killed commit's note"},
        {claimed, "", std::chrono::minutes(0), true, "the empty claim its note records"},
        {platform::temporaryName(), "kerfo claim\n" + stale, std::chrono::minutes(0), true,
         "a note of another claim"},
        {stale, "", std::chrono::minutes(60), false, "an empty file of that name made long before"},
        {platform::temporaryName(), "kerfo claim\n" + full, std::chrono::minutes(0), true,
         "a note of a finished commit"},
        {full, "the new file", std::chrono::minutes(0), false,
         "the file that took the claim's place"},
    };
    const auto now = Clock::now();
    for (const auto& e : entries) {
        dir.write(e.name, e.bytes);
        std::filesystem::last_write_time(dir / e.name, now - e.age);
    }
    // A held one, a hard-linked one and a symbolic link with a leftover's name.
    const std::string held = dir.write(platform::temporaryName(), "a running job's");
    const std::string linked =
        dir.write(platform::temporaryName(), "a killed commit's second name");
    std::filesystem::create_hard_link(linked, dir / "kept.kfo");
    const std::string symlink = dir / platform::temporaryName();
    std::filesystem::create_symlink(dir / "kept.kfo", symlink);
    const int fd = ::open(held.c_str(), O_RDONLY);
    ASSERT_EQ(::flock(fd, LOCK_EX | LOCK_NB), 0);
    platform::realFileSystem().removeStaleTemps(dir.path().string());
    ::close(fd);
    std::vector<std::tuple<std::string, bool, bool>> outcomes;  // what, should go, went
    for (const auto& e : entries) outcomes.emplace_back(e.what, e.removed, !exists(dir / e.name));
    outcomes.emplace_back("a leftover a running job holds", false, !exists(held));
    outcomes.emplace_back("a leftover with another name (hard link)", true, !exists(linked));
    outcomes.emplace_back("the other name of that leftover", false, !exists(dir / "kept.kfo"));
    outcomes.emplace_back("a symbolic link with a leftover's name", false, !exists(symlink));
    for (const auto& [what, removes, went] : outcomes) {
        EXPECT_EQ(went, removes) << what;
        Case c;
        c.group = "leftovers";
        c.name = "sweep: " + what;
        c.via = "core";
        Results::record(c, removes ? "removed" : "kept",
                        went ? (removes ? "removed" : "REMOVED") : (removes ? "KEPT" : "kept"),
                        went == removes);
    }
}

TEST(Security, OutputNameComesFromTheTargetNameOnly) {
    test::ScratchDir dir;
    test::ScratchDir elsewhere;
    // Content that looks like paths and names must stay content.
    const std::string plain = "../escape.txt\n" + (elsewhere / "x.txt") + "\n/etc/passwd\0.kfo";
    const std::string path = dir.write("doc.txt", plain);
    filejobs::JobContext context;
    context.saltSource = [] { return std::string("salt"); };
    ASSERT_EQ(filejobs::Encrypt(path, "pw", context).status, filejobs::JobStatus::kDone);
    ASSERT_EQ(filejobs::Decrypt(dir / "doc.kfo", "pw", context).status, filejobs::JobStatus::kDone);
    EXPECT_EQ(dir.listing(), "doc.txt ");
    EXPECT_EQ(elsewhere.listing(), "");
    EXPECT_EQ(readAll(path), plain);
}

TEST(Security, SecretStringGrowsWithoutLeavingCopies) {
    platform::SecretString secret("short");
    secret.append(std::string(100, 'p'));
    EXPECT_EQ(secret.str(), "short" + std::string(100, 'p'));
    std::string text = "password";
    platform::wipe(text);
    EXPECT_TRUE(text.empty());
}

}  // namespace
}  // namespace kerfo::reliability
