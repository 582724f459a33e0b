// The harness's own footing: a verdict must never depend on how fast kerfo-cli refuses,
// nor on how the reference decoder is handed a file.
#include <functional>
#include <string>

#include <gtest/gtest.h>

#include "harness.h"
#include "support/syscall_stepper.h"
#include "support/vectors.h"

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

// The exploration's stepper: the signal comes before the call asked for, the calls before it
// ran whole, and past the last call the program runs to its end.
TEST(Harness, StepperSignalsBeforeTheCallAskedFor) {
    test::ScratchDir dir;
    const std::string in = dir.write("in", "");
    const std::vector<std::string> argv{KERFO_CLI_PATH, "--version"};
    const auto whole = test::runStepped(argv, in, dir / "out", dir / "err", {}, SIGKILL);
    ASSERT_FALSE(whole.stopped);
    ASSERT_EQ(whole.exitCode, 0);
    const long last = whole.counted.at(0);
    const struct {
        long at;
        int signal;
        int exitCode;
        const char* call;  // the call stopped before
        bool printed;      // the version was written by then
    } rows[] = {
        {1, SIGTERM, 128 + SIGTERM, nullptr, false},  // no handler yet: the default action
        {last, SIGKILL, 128 + SIGKILL, "exit_group", true},
        {last + 1, SIGKILL, 0, "", true},
    };
    for (const auto& row : rows) {
        const auto run =
            test::runStepped(argv, in, dir / "out", dir / "err", {0, row.at}, row.signal);
        EXPECT_EQ(run.stopped, row.at <= last) << row.at;
        EXPECT_EQ(run.exitCode, row.exitCode) << row.at;
        if (row.call != nullptr) {
            EXPECT_EQ(run.callName, row.call) << row.at;
        }
        EXPECT_EQ(readAll(dir / "out").find("kerfo-cli ") == 0, row.printed) << row.at;
    }
}

// `file` decoded by a ReferenceDecoder fed `piece` bytes at a time.
std::optional<std::string> decodeInPieces(std::string_view file, std::size_t piece) {
    test::ReferenceDecoder decoder;
    std::string plain;
    for (std::size_t at = 0; at < file.size(); at += piece) {
        const auto run = decoder.feed(file.substr(at, piece));
        if (!run) return std::nullopt;
        plain.append(*run);
    }
    const auto run = decoder.finish();
    if (!run) return std::nullopt;
    return plain + std::string(*run);
}

// The decoder's own generator and keying against the shared vectors, and every vector file
// whatever pieces it arrives in; a file read in several buffers must match only its plain
// bytes exactly.
TEST(Harness, ReferenceDecoderReadsEveryVectorFileInPiecesOfAnySize) {
    for (const auto& row : test::readTsv("keying.tsv")) {
        std::uint32_t seed = test::reference::keyedSeed(test::fromHex(row[0]));
        EXPECT_EQ(seed, std::stoul(row[1], nullptr, 16)) << row[0];
        std::string stream(32, '\0');
        test::reference::xorStream(seed, reinterpret_cast<unsigned char*>(stream.data()),
                                   stream.size());
        EXPECT_EQ(test::toHex(stream), row[2]) << row[0];
    }
    for (const auto& row : test::readTsv("files.tsv")) {
        const std::string plain = test::readFile(test::vectorsDir() / row[2]);
        const std::string file = test::readFile(test::vectorsDir() / row[3]);
        for (const std::size_t piece : {1u, 2u, 25u, 26u, 27u, 70u, 71u, 72u, 73u, 4096u}) {
            EXPECT_EQ(decodeInPieces(file, piece), plain) << row[0] << " in pieces of " << piece;
        }
        EXPECT_TRUE(decryptsTo(test::vectorsDir() / row[3], plain)) << row[0];
    }

    test::ScratchDir dir;
    const std::string plain = test::randomBytes((std::size_t{5} << 20) / 2 + 1, 15);
    const auto enc = filejobs::Encrypt(dir.write("big.txt", plain), "pw");
    ASSERT_EQ(enc.status, filejobs::JobStatus::kDone);
    EXPECT_TRUE(decryptsTo(enc.newPath, plain));
    for (const std::size_t at : {std::size_t{0}, std::size_t{2} << 20, plain.size() - 1}) {
        std::string other = plain;
        other[at] = static_cast<char>(other[at] ^ 1);
        EXPECT_FALSE(decryptsTo(enc.newPath, other)) << at;
    }
    EXPECT_FALSE(decryptsTo(enc.newPath, plain.substr(1)));
    EXPECT_FALSE(decryptsTo(enc.newPath, plain.substr(0, plain.size() - 1)));
    EXPECT_FALSE(decryptsTo(enc.newPath, plain + "x"));
    EXPECT_FALSE(decryptsTo(dir / "missing.kfo", ""));
}

// Each layout the encryption never writes, refused whole and byte by byte. The vectors
// used: all-bytes ends in a whole group and a short line, 52-bytes in a group of two
// characters that closes a full line, 53-bytes in a group of three whose high-bits
// character stands alone on the last line, one-byte in a group of two.
TEST(Harness, ReferenceDecoderRefusesWhatTheEncryptionNeverWrites) {
    const auto vector = [](const char* name) {
        return test::readFile(test::vectorsDir() / "files" / name);
    };
    const std::string whole = vector("all-bytes.kfo");
    const std::string two = vector("53-bytes.kfo");
    const std::string one = vector("one-byte.kfo");
    const std::string full = vector("52-bytes.kfo");
    const auto changed = [](std::string file, std::size_t at, std::string_view with,
                            std::size_t count = 1) { return file.replace(at, count, with); };
    const auto high = [](std::string file, char bits) {
        file[file.size() - 3] = static_cast<char>(file[file.size() - 3] + bits);
        return file;
    };
    const struct {
        const char* what;
        std::string file;
    } cases[] = {
        {"marker in another case", changed(whole, 1, "k")},
        {"header of 25 characters", changed(whole, 24, "a\r")},
        {"header of 23 characters", changed(whole, 23, "", 1)},
        {"salt character below 59", changed(whole, 8, ":")},
        {"digest character above 122", changed(whole, 23, "{")},
        {"header only", whole.substr(0, 26)},
        {"header line ended by two body characters", changed(whole, 24, "ab", 2)},
        {"CR and a body character after a body line", changed(whole, 26 + 70 + 1, "a")},
        {"line of 71", changed(two, 26 + 70, "", 2)},
        {"short line before the last", changed(whole, 26 + 69, "\r\na")},
        {"empty line after a full last line", full + "\r\n"},
        {"byte after the last line", whole + "a"},
        {"last line without CR LF", whole.substr(0, whole.size() - 2)},
        {"body character 58", changed(whole, 30, ":")},
        {"body character 123", changed(whole, 30, "{")},
        {"character 58 in a last group of two", changed(full, full.size() - 4, ":")},
        {"high-bits character 123 in a last group of two", changed(full, full.size() - 3, "{")},
        {"single character after the last group", changed(whole, whole.size() - 2, "a\r\n", 2)},
        {"high bits of a third character that is not there", high(two, 1)},
        {"high bits of a second character that is not there", high(one, 4)},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(test::decodeWhole(c.file), std::nullopt) << c.what;
        EXPECT_EQ(decodeInPieces(c.file, 1), std::nullopt) << c.what;
    }
}

}  // namespace
}  // namespace kerfo::reliability
