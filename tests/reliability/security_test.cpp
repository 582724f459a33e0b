// Security properties of the file layer and the jobs: only Kerfo's own stale leftovers
// are ever swept; output names only ever from the target's own name, never from the
// file's content.
#include <sys/file.h>

#include "harness.h"
#include "platform/file_system.h"
#include "platform/secret.h"

namespace kerfo::reliability {
namespace {

// The sweep removes only what no one but Kerfo names that way, and only when no job
// holds it, it has lain untouched for a while, and it has no other name.
TEST(Security, SweepRemovesOnlyKerfosOwnStaleLeftovers) {
    test::ScratchDir dir;
    const std::string valid = platform::temporaryName();
    std::string badTag = platform::temporaryName();
    badTag.replace(badTag.size() - 12, 8, "00000000");
    struct Entry {
        std::string name;
        bool old;
        bool removed;
        const char* what;
    };
    const Entry entries[] = {
        {valid, true, true, "a killed job's leftover"},
        {platform::temporaryName(), false, false, "a leftover changed a moment ago"},
        {".kerfo-backup", true, false, "the user's .kerfo-backup"},
        {".kerfo-AbC123", true, false, "six characters, as older builds named theirs"},
        {badTag, true, false, "the right shape with a wrong check part"},
        {"notes" + valid, true, false, "a name that only contains one"},
    };
    for (const auto& e : entries) {
        dir.write(e.name, "bytes");
        if (e.old) {
            std::filesystem::last_write_time(dir / e.name, std::filesystem::file_time_type::clock::now() -
                                                               std::chrono::minutes(10));
        }
    }
    // A held one, a hard-linked one and a link, all old and well named.
    const std::string held = dir.write(platform::temporaryName(), "a running job's");
    const std::string linked = dir.write(platform::temporaryName(), "the user's, linked");
    std::filesystem::create_hard_link(linked, dir / "keep-me");
    const std::string symlink = dir / platform::temporaryName();
    std::filesystem::create_symlink(dir / "keep-me", symlink);
    for (const auto& p : {held, linked}) {
        std::filesystem::last_write_time(p, std::filesystem::file_time_type::clock::now() - std::chrono::minutes(10));
    }
    const int fd = ::open(held.c_str(), O_RDONLY);
    ASSERT_EQ(::flock(fd, LOCK_EX | LOCK_NB), 0);
    platform::realFileSystem().removeStaleTemps(dir.path().string());
    ::close(fd);
    std::vector<std::pair<std::string, bool>> outcomes;  // what, removed as it should be
    for (const auto& e : entries) outcomes.emplace_back(e.what, exists(dir / e.name) != e.removed);
    outcomes.emplace_back("a leftover a running job holds", exists(held));
    outcomes.emplace_back("a leftover with another name (hard link)", exists(linked));
    outcomes.emplace_back("a symbolic link with a leftover's name", exists(symlink));
    for (std::size_t i = 0; i < outcomes.size(); ++i) {
        const bool removes = i < std::size(entries) && entries[i].removed;
        EXPECT_TRUE(outcomes[i].second) << outcomes[i].first;
        Case c;
        c.group = "leftovers";
        c.name = "sweep: " + outcomes[i].first;
        c.via = "core";
        Results::record(c, removes ? "removed" : "kept",
                        outcomes[i].second ? (removes ? "removed" : "kept") : (removes ? "KEPT" : "REMOVED"),
                        outcomes[i].second);
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
