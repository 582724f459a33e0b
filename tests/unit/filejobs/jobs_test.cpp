#include "filejobs/jobs.h"
#include "filejobs/messages.h"

#ifndef _WIN32
#include <iconv.h>
#include <sys/stat.h>
#endif

#include <gtest/gtest.h>

#include "cipher/cipher.h"
#include "cipher/digest.h"
#include "job_support.h"

namespace kerfo::filejobs {
namespace {

using test::readFile;

class Jobs : public ::testing::Test {
protected:
    test::ScratchDir dir;
};

TEST_F(Jobs, EverySharedVectorFileDecryptsToItsPlainFile) {
    const auto rows = test::readTsv("files.tsv");
    ASSERT_FALSE(rows.empty());
    for (const auto& row : rows) {
        const std::string encrypted = readFile(test::vectorsDir() / row[3]);
        const std::string plain = readFile(test::vectorsDir() / row[2]);
        const std::string path = dir.write(row[0] + ".kfo", encrypted);
        const auto result = Decrypt(path, test::fromHex(row[1]));
        ASSERT_EQ(result.status, JobStatus::kDone) << row[0];
        EXPECT_EQ(result.newPath, dir / (row[0] + ".txt"));
        EXPECT_EQ(readFile(result.newPath), plain) << row[0];
        EXPECT_FALSE(std::filesystem::exists(path));
        EXPECT_EQ(dir.listing(), row[0] + ".txt ");
        std::filesystem::remove(result.newPath);
    }
}

// Sizes around the stretch groups, the 70-character lines and the job's internal
// chunks (860160 plain bytes, 1048576 body characters).
TEST_F(Jobs, RoundTripsEverySizeInTheFormatAnIndependentReaderExpects) {
    for (const std::size_t n : {1u, 2u, 3u, 4u, 52u, 53u, 104u, 105u, 106u, 786431u, 786432u,
                                786433u, 860159u, 860160u, 860161u, 1720320u, 2000003u}) {
        const std::string plain = test::randomBytes(n, static_cast<unsigned>(n));
        const std::string path = dir.write("f.txt", plain);
        const auto enc = Encrypt(path, "pw", test::fixedSalt());
        ASSERT_EQ(enc.status, JobStatus::kDone) << n;
        ASSERT_EQ(enc.newPath, dir / "f.kfo");
        const std::string file = readFile(enc.newPath);

        // The reference decoder refuses any other layout: header line of 24, lines of 70 but
        // the last, CR LF only, body in 59..122.
        EXPECT_EQ(test::decodeWhole(file), plain) << n;

        const auto dec = Decrypt(enc.newPath, "pw");
        ASSERT_EQ(dec.status, JobStatus::kDone) << n;
        EXPECT_EQ(dec.newPath, path);
        EXPECT_EQ(readFile(path), plain) << n;
        EXPECT_EQ(dir.listing(), "f.txt ");
    }
}

TEST_F(Jobs, LineLayoutAtTheEdges) {
    const auto linesOf = [&](std::size_t n) {
        const std::string path = dir.write("g.txt", std::string(n, 'a'));
        const auto enc = Encrypt(path, "", test::fixedSalt());
        EXPECT_EQ(enc.status, JobStatus::kDone);
        const std::string file = readFile(enc.newPath);
        std::filesystem::remove(enc.newPath);
        std::vector<std::size_t> lengths;
        for (std::size_t pos = 0; pos < file.size();) {
            const auto end = file.find("\r\n", pos);
            lengths.push_back(end - pos);
            pos = end + 2;
        }
        return lengths;
    };
    EXPECT_EQ(linesOf(1), (std::vector<std::size_t>{24, 2}));
    EXPECT_EQ(linesOf(52), (std::vector<std::size_t>{24, 70}));
    EXPECT_EQ(linesOf(53), (std::vector<std::size_t>{24, 70, 1}));
}

TEST_F(Jobs, ControlBytesSurviveAndEachEncryptionGetsItsOwnSalt) {
    const std::string plain("a\r\nb\0c\rd\n\x1a\xff", 12);
    const std::string path = dir.write("h.txt", plain);
    const auto first = Encrypt(path, "pw", test::fixedSalt("1/1/200010.5"));
    ASSERT_EQ(first.status, JobStatus::kDone);
    const std::string one = readFile(first.newPath);
    std::filesystem::rename(first.newPath, dir / "one.kfo");

    dir.write("h.txt", plain);
    const auto second = Encrypt(path, "pw", test::fixedSalt("1/1/200010.51"));
    ASSERT_EQ(second.status, JobStatus::kDone);
    const std::string two = readFile(second.newPath);
    EXPECT_NE(one.substr(8, 8), two.substr(8, 8));
    EXPECT_NE(one.substr(26), two.substr(26));

    for (const auto& name : {std::string("one.kfo"), std::string("h.kfo")}) {
        const auto result = Decrypt(dir / name, "pw");
        ASSERT_EQ(result.status, JobStatus::kDone);
        EXPECT_EQ(readFile(result.newPath), plain);
        std::filesystem::remove(result.newPath);
    }
}

TEST_F(Jobs, SameNameIsReplacedInPlaceAndOtherFilesAreNeverOverwritten) {
    // A plain file already named .kfo becomes its encrypted self.
    const std::string kfo = dir.write("x.kfo", "plain but named kfo");
    ASSERT_EQ(Encrypt(kfo, "pw", test::fixedSalt()).status, JobStatus::kDone);
    EXPECT_EQ(readFile(kfo).substr(0, 8), "[Kerfod]");
    EXPECT_EQ(dir.listing(), "x.kfo ");

    // An earlier x.txt is another file: it stays, and so does the encrypted one.
    dir.write("x.txt", std::string(5000, 'z'));
    const auto refused = Decrypt(kfo, "pw");
    ASSERT_EQ(refused.status, JobStatus::kFailed);
    EXPECT_EQ(refused.error->code(), 58);
    EXPECT_EQ(readFile(dir / "x.txt"), std::string(5000, 'z'));
    EXPECT_EQ(readFile(kfo).substr(0, 8), "[Kerfod]");
    std::filesystem::remove(dir / "x.txt");
    const auto dec = Decrypt(kfo, "pw");
    ASSERT_EQ(dec.status, JobStatus::kDone);
    EXPECT_EQ(readFile(dir / "x.txt"), "plain but named kfo");
    EXPECT_EQ(dir.listing(), "x.txt ");

    // An encrypted file named .bin becomes .txt; one named .txt stays .txt.
    ASSERT_EQ(Encrypt(dir / "x.txt", "pw", test::fixedSalt()).status, JobStatus::kDone);
    std::filesystem::rename(dir / "x.kfo", dir / "x.bin");
    EXPECT_EQ(Decrypt(dir / "x.bin", "pw").newPath, dir / "x.txt");
    ASSERT_EQ(Encrypt(dir / "x.txt", "pw", test::fixedSalt()).status, JobStatus::kDone);
    std::filesystem::rename(dir / "x.kfo", dir / "x.txt");
    EXPECT_EQ(Decrypt(dir / "x.txt", "pw").status, JobStatus::kDone);
    EXPECT_EQ(readFile(dir / "x.txt"), "plain but named kfo");
    EXPECT_EQ(dir.listing(), "x.txt ");
}

// POSIX permission bits, links and FIFOs have no Windows counterpart here.
#ifndef _WIN32
TEST_F(Jobs, PermissionBitsAreKept) {
    const std::string path = dir.write("p.txt", "secret stuff");
    ::chmod(path.c_str(), 0640);
    const auto enc = Encrypt(path, "pw", test::fixedSalt());
    ASSERT_EQ(enc.status, JobStatus::kDone);
    EXPECT_EQ(std::filesystem::status(enc.newPath).permissions(), std::filesystem::perms(0640));
    ::chmod(enc.newPath.c_str(), 0604);
    const auto dec = Decrypt(enc.newPath, "pw");
    EXPECT_EQ(std::filesystem::status(dec.newPath).permissions(), std::filesystem::perms(0604));
}
#endif  // !_WIN32

TEST_F(Jobs, WrongPasswordTouchesNothingAndEmptyPasswordIsAPassword) {
    const std::string path = dir.write("w.txt", "content");
    const auto enc = Encrypt(path, "", test::fixedSalt());
    ASSERT_EQ(enc.status, JobStatus::kDone);
    const std::string before = readFile(enc.newPath);
    for (const char* wrong : {" ", "pw", "\xc3\xa9"}) {
        const auto result = Decrypt(enc.newPath, wrong);
        EXPECT_EQ(result.status, JobStatus::kWrongPassword) << wrong;
        EXPECT_FALSE(result.error);
    }
    EXPECT_EQ(readFile(enc.newPath), before);
    EXPECT_EQ(dir.listing(), "w.kfo ");
    EXPECT_EQ(Decrypt(enc.newPath, "").status, JobStatus::kDone);
}

TEST_F(Jobs, PasswordTestLooksOnlyAtCharacters17To24) {
    // A header whose first field equals the digest: the digest occurs at position 1
    // first, and must still be accepted at 17.
    const std::string salt = "SALTsalt";
    const std::string digest = cipher::Hash(salt + "pw");
    const std::string header = digest + salt + digest;
    cipher::Cipher c;
    c.KeyString(header);
    c.Text("tricky");
    c.DoXor();
    c.Stretch();
    const std::string path = dir.write("t.kfo", header + "\r\n" + c.Text() + "\r\n");
    const auto result = Decrypt(path, "pw");
    ASSERT_EQ(result.status, JobStatus::kDone);
    EXPECT_EQ(readFile(result.newPath), "tricky");
}

// Every one of the eight digest characters takes part in the test: a check that skipped
// one would let about one wrong password in 64 "decrypt" the file to garbage.
TEST_F(Jobs, EachDigestCharacterChangedMeansWrongPassword) {
    const std::string kfo = readFile(test::vectorsDir() / "files/hello.kfo");
    for (std::size_t position = 17; position <= 24; ++position) {
        std::string changed = kfo;
        char& ch = changed[position - 1];
        ch = ch == 'A' ? 'B' : 'A';
        const std::string path = dir.write("d.kfo", changed);
        const auto result = Decrypt(path, "secret");
        EXPECT_EQ(result.status, JobStatus::kWrongPassword) << "character " << position;
        EXPECT_EQ(readFile(path), changed) << "character " << position;
        EXPECT_EQ(dir.listing(), "d.kfo ") << "character " << position;
    }
}

TEST_F(Jobs, BodiesNoEncryptionWritesAreRefusedWithTheOriginalKept) {
    const std::string kfo = readFile(test::vectorsDir() / "files/hello.kfo");  // body of 18
    const std::string header = kfo.substr(0, 26);
    const std::string body = kfo.substr(26, 18);
    struct Case {
        const char* what;
        std::string file;
        int error;
    };
    const Case cases[] = {
        {"character below 59", header + ":" + body.substr(1) + "\r\n", 5},
        {"character above 122", header + body.substr(0, 17) + "{\r\n", 5},
        {"one character over", header + body + "AAA\r\n", 5},  // 21 = 4 * 5 + 1
        {"header only", header, 5},
        {"empty file", "", 62},
        // Past the 24th character the password test still passes, but the key changes.
        {"one header character too many", kfo.substr(0, 24) + "X" + kfo.substr(24), 5},
        {"header longer than any key", kfo.substr(0, 24) + std::string(40000, 'x') + "\r\n" + body, 5},
    };
    for (const auto& c : cases) {
        const std::string path = dir.write("bad.kfo", c.file);
        const auto result = Decrypt(path, "secret");
        ASSERT_EQ(result.status, JobStatus::kFailed) << c.what;
        ASSERT_TRUE(result.error) << c.what;
        EXPECT_EQ(result.error->code(), c.error) << c.what;
        EXPECT_EQ(readFile(path), c.file) << c.what;
        EXPECT_EQ(dir.listing(), "bad.kfo ") << c.what;
    }
    // Lone CR and lone LF end lines too; blank lines add nothing.
    const std::string mixed = kfo.substr(0, 24) + "\r" + body.substr(0, 9) + "\n\n" + body.substr(9);
    const auto ok = Decrypt(dir.write("mixed.kfo", mixed), "secret");
    ASSERT_EQ(ok.status, JobStatus::kDone);
    EXPECT_EQ(readFile(ok.newPath), readFile(test::vectorsDir() / "files/hello.plain"));
}

TEST_F(Jobs, MissingAndNonRegularSourcesFail) {
    auto result = Encrypt(dir / "none.txt", "pw", test::fixedSalt());
    ASSERT_TRUE(result.error);
    EXPECT_EQ(result.error->code(), 53);
#ifndef _WIN32
    ::mkfifo((dir / "fifo.txt").c_str(), 0644);
    result = Decrypt(dir / "fifo.txt", "pw");
    ASSERT_TRUE(result.error);
    EXPECT_EQ(result.error->code(), 75);
#endif
}

TEST(JobMessages, ExactTexts) {
    EXPECT_EQ(wrongPasswordMessage(),
              (texts::Message{"Access denied: password is incorrect!", texts::Icon::kWarning,
                                 "Kerfo"}));
    EXPECT_EQ(decryptErrorReport(platform::RuntimeError(platform::ErrorNumber::kInvalidCall)),
              (texts::Message{"An error # 5 was generated:\r\n\r\nInvalid procedure call or "
                                 "argument\r\nProbable cause: a tampered or corrupt file.",
                                 texts::Icon::kError, "Error :-("}));
    EXPECT_EQ(encryptFailureMessage(platform::RuntimeError(platform::ErrorNumber::kDiskFull)),
              (texts::Message{"Run-time error '61':\r\n\r\nDisk full", texts::Icon::kError,
                                 "Kerfo"}));
}

TEST(PasswordBytes, Windows1252WhenEveryCharacterFitsOtherwiseUtf8) {
    EXPECT_EQ(passwordBytes("plain"), "plain");
    EXPECT_EQ(passwordBytes(""), "");
    EXPECT_EQ(passwordBytes("caf\xc3\xa9"), "caf\xe9");                   // é
    EXPECT_EQ(passwordBytes("\xe2\x82\xac\xc5\xb8"), "\x80\x9f");          // € Ÿ
    EXPECT_EQ(passwordBytes("\xc3\xbf"), "\xff");                          // ÿ
    EXPECT_EQ(passwordBytes("\xc4\x81"), "\xc4\x81");                      // ā: not in the page
    EXPECT_EQ(passwordBytes("\xc3\xa9\xc4\x81"), "\xc3\xa9\xc4\x81");      // then all UTF-8
    EXPECT_EQ(passwordBytes("\xf0\x9f\x94\x91"), "\xf0\x9f\x94\x91");      // emoji
    EXPECT_EQ(passwordBytes("\xe9"), "\xe9");                              // not UTF-8 at all
    EXPECT_EQ(passwordBytes("\xc0\xa9"), "\xc0\xa9");                      // overlong form
}

#ifndef _WIN32
// Every character of the code page's upper control range against the system's own
// converter; the five bytes it leaves undefined stand for the control characters of the
// same number, as Windows maps them.
TEST(PasswordBytes, TheRange80To9FAgreesWithTheSystemsConverter) {
    const iconv_t convert = ::iconv_open("UTF-8", "CP1252");
    ASSERT_NE(convert, reinterpret_cast<iconv_t>(-1)) << "no CP1252 converter on this system";
    for (int byte = 0x80; byte <= 0x9F; ++byte) {
        char in[1] = {static_cast<char>(byte)};
        char out[8] = {};
        char* inAt = in;
        char* outAt = out;
        std::size_t inLeft = 1;
        std::size_t outLeft = sizeof out;
        ::iconv(convert, nullptr, nullptr, nullptr, nullptr);
        std::string utf8;
        if (::iconv(convert, &inAt, &inLeft, &outAt, &outLeft) != static_cast<std::size_t>(-1)) {
            utf8.assign(out, sizeof out - outLeft);
        } else {
            utf8 = {static_cast<char>(0xC2), static_cast<char>(byte)};  // U+0080 + (byte - 0x80)
        }
        EXPECT_EQ(passwordBytes(utf8), std::string(1, static_cast<char>(byte))) << std::hex << byte;
    }
    ::iconv_close(convert);
}
#endif

}  // namespace
}  // namespace kerfo::filejobs
