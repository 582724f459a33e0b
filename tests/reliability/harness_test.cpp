// The harness's own footing: a verdict must never depend on how fast kerfo-cli refuses.
#include <string>

#include <gtest/gtest.h>

#include "harness.h"

namespace kerfo::reliability {
namespace {

// A refusal can end kerfo-cli before the harness hands over the password; the harness
// must live on and still read the outcome.
TEST(Harness, PasswordSentAfterTheProgramEndedLeavesTheOutcomeReadable) {
    test::ScratchDir dir;
    const std::string missing = dir / "missing.txt";
    Cli cli({"encrypt", missing, "--password-stdin"});
    cli.awaitEnd();
    EXPECT_FALSE(cli.send("pw\n"));
    const auto result = cli.wait();
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_NE(result.err.find("missing.txt"), std::string::npos) << result.err;
    EXPECT_TRUE(leftovers(dir.path().string()).empty());
}

}  // namespace
}  // namespace kerfo::reliability
