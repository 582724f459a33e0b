// kerfo-cli killed (SIGKILL) at 20 random moments of a 256 MiB job. After each kill the
// original must be intact or the new file complete, never neither. The next round starts
// from whatever stands, leftovers included. On Linux a job's new file has no name until
// it is complete, so a kill leaves none; where a file system lacks nameless files, a
// killed job's ".kerfo-" temporary (made exclusively and locked while written) is removed
// by a later run once no process holds it and it has not changed for five seconds: a
// last complete run, a while after the kills, must succeed and leave none.
// KERFO_KILL_TEST_MIB sets the size (the sanitizer build uses less).
#include <sys/mount.h>

#include <cerrno>
#include <cstring>
#include <random>

#include "harness.h"

namespace kerfo::reliability {
namespace {

std::string bigPlain(std::size_t n) {
    std::string s(n, '\0');
    std::uint64_t x = 0x9E3779B97F4A7C15ull;
    for (std::size_t i = 0; i + 8 <= n; i += 8) {
        x ^= x << 13;
        x ^= x >> 7;
        x ^= x << 17;
        std::memcpy(s.data() + i, &x, 8);
    }
    return s;
}

double runFully(const std::string& command, const std::string& path) {
    const auto start = std::chrono::steady_clock::now();
    const auto reported = Cli::run({command, path, "--password-stdin"});
    EXPECT_TRUE(reported.success) << reported.detail;
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

TEST(Kill, TwentyRandomMomentsOfALargeJob) {
    std::size_t mib = 256;
    if (const char* env = std::getenv("KERFO_KILL_TEST_MIB")) mib = std::strtoul(env, nullptr, 10);
    test::ScratchDir scratch;
    std::string folder = scratch.path().string();
    // A tmpfs where possible, to spare the disk some gigabytes of writes; a kill loses no
    // written page either way, since the kernel keeps them.
    const std::string mnt = scratch / "mnt";
    std::filesystem::create_directory(mnt);
    const std::string size = "size=" + std::to_string(mib * 4 + 64) + "m";
    const bool mounted = ::mount("tmpfs", mnt.c_str(), "tmpfs", 0, size.c_str()) == 0;
    if (mounted) folder = mnt;

    const std::string plain = bigPlain(mib << 20);
    const std::string txt = folder + "/big.txt";
    const std::string kfo = folder + "/big.kfo";
    writeAll(txt, plain);
    const double encryptSeconds = runFully("encrypt", txt);
    ASSERT_TRUE(decryptsTo(kfo, plain));
    const double decryptSeconds = runFully("decrypt", kfo);
    ASSERT_EQ(readAll(txt), plain);

    // Each run works on whichever of the two names stands now: the file flips between
    // plain and encrypted as runs complete.
    const auto nextCase = [&] {
        Case c;
        c.group = "killed";
        c.via = "cli";
        c.directory = folder;
        c.encrypt = exists(txt);
        c.source = c.encrypt ? txt : kfo;
        c.target = c.encrypt ? kfo : txt;
        c.plain = plain;
        c.sourceBytes = readAll(c.source);
        return c;
    };

    std::mt19937 random(20261208);
    int kept = 0, replaced = 0;
    std::size_t mostLeftovers = 0;
    for (int round = 0; round < 20; ++round) {
        Case c = nextCase();
        const double full = c.encrypt ? encryptSeconds : decryptSeconds;
        const double at = std::uniform_real_distribution<double>(0.0, full * 1.1)(random);
        {
            Cli cli({c.encrypt ? "encrypt" : "decrypt", c.source, "--password-stdin"});
            cli.send("pw\n");
            std::this_thread::sleep_for(std::chrono::duration<double>(at));
            ::kill(cli.pid(), SIGKILL);
            cli.wait();
        }
        const Verdict v = judge(c);
        (v == Verdict::kKept ? kept : replaced) += v != Verdict::kNeither ? 1 : 0;
        const auto left = leftovers(folder);
        mostLeftovers = std::max(mostLeftovers, left.size());
        char name[96];
        std::snprintf(name, sizeof name, "SIGKILL %d at %.2f s of a %.2f s job", round + 1, at, full);
        c.name = name;
        const bool ok = v != Verdict::kNeither;
        EXPECT_TRUE(ok) << name << ": neither the original nor a complete new file";
        Results::record(c, "original intact or new file complete",
                        std::string(verdictText(v)) + ", " + std::to_string(left.size()) + " temporary file(s) left",
                        ok);
        if (!ok) break;
        if (std::getenv("KERFO_KILL_TEST_TRACE")) std::printf("%s: %s\n", name, verdictText(v));
    }

    // A later complete run, among the leftovers of the killed ones.
    Case last = nextCase();
    last.name = "complete run after the kills, leftovers present";
    const auto before = leftovers(folder);
    std::this_thread::sleep_for(std::chrono::seconds(6));
    const auto reported = Cli::run({last.encrypt ? "encrypt" : "decrypt", last.source, "--password-stdin"});
    const Verdict v = judge(last);
    const auto after = leftovers(folder);
    const bool ok = reported.success && v == Verdict::kReplaced && after.empty();
    EXPECT_TRUE(ok) << reported.detail;
    Results::record(last, "new file complete, stale leftovers removed",
                    std::string(verdictText(v)) + (reported.success ? ", reported done" : ", " + reported.detail) +
                        ", " + std::to_string(before.size()) + " leftover(s) before, " +
                        std::to_string(after.size()) + " after",
                    ok);
    std::printf("kills: %d left the original, %d the new file; at most %zu leftovers\n", kept, replaced,
                mostLeftovers);
    if (mounted) ::umount2(mnt.c_str(), MNT_DETACH);
}

}  // namespace
}  // namespace kerfo::reliability
