#include "filejobs/gate.h"

#ifndef _WIN32
#include <sys/stat.h>
#include <unistd.h>
#endif

#include <chrono>
#include <filesystem>

#include <gtest/gtest.h>

#include "fakes/faulty_file_system.h"
#include "fakes/scratch_dir.h"
#include "platform/file_system.h"
#include "refused_attributes.h"

namespace kerfo::filejobs {
namespace {

using texts::Icon;
using texts::Message;

Message warning(const std::string& text) { return Message{text, Icon::kWarning, std::nullopt}; }

class Gate : public ::testing::Test {
protected:
    test::ScratchDir dir;
};

TEST_F(Gate, EmptyPathShowsUsage) {
    const auto result = checkAll("");
    ASSERT_TRUE(result.refusal);
    EXPECT_EQ(*result.refusal,
              (Message{"Usage:\r\nRight click a text file and select Kerfo-Encrypt.\r\n"
                       "Consult the readme.txt in the program folder for more info.     ",
                       Icon::kWarning, "Kerfo"}));
}

TEST_F(Gate, MissingEmptyAndDirectoryAllGetTheEmptyFileMessage) {
    const std::string empty = dir.write("empty.txt", "");
    const std::string missing = dir / "missing.txt";
    const std::string folder = dir / "folder.txt";
    std::filesystem::create_directory(folder);
    for (const auto& path : {empty, missing, folder}) {
        const auto result = checkAll(path);
        ASSERT_TRUE(result.refusal) << path;
        EXPECT_EQ(*result.refusal,
                  warning(path + " is empty:\r\nKerfo will NOT work with empty files."));
    }
}

// Anything standing under the output name is named before any password is typed: a
// file, a folder, a FIFO, or a link, even one to the source itself, which would receive
// the text. The file's own entry under that name (the output name already) is no obstacle.
TEST_F(Gate, AnythingUnderTheOutputNameIsRefused) {
    enum class Kind { kNothing, kFile, kFolder, kFifo, kHardLink, kLinkToSource, kDanglingLink };
    struct Row {
        const char* file;
        const char* content;
        const char* inTheWay;
        Kind kind;
    };
    const Row rows[] = {
        {"notes.txt", "plain", "notes.kfo", Kind::kFile},
        {"report.kfo", "[Kerfod] encrypted", "report.txt", Kind::kFile},
        {"todo", "plain", "todo.kfo", Kind::kFile},
        {"x.kfo", "plain, named .kfo", "x.kfo", Kind::kNothing},
        {"dir.txt", "plain", "dir.kfo", Kind::kFolder},
#ifndef _WIN32
        {"fifo.txt", "plain", "fifo.kfo", Kind::kFifo},
        {"hard.txt", "plain", "hard.kfo", Kind::kHardLink},
        {"sym.kfo", "[Kerfod] encrypted", "sym.txt", Kind::kLinkToSource},
        {"dangling.txt", "plain", "dangling.kfo", Kind::kDanglingLink},
#endif
    };
    for (const auto& row : rows) {
        test::ScratchDir folder;
        const std::string path = folder.write(row.file, row.content);
        const std::string inTheWay = folder / row.inTheWay;
        switch (row.kind) {
            case Kind::kNothing:
                break;
            case Kind::kFile:
                folder.write(row.inTheWay, "newer, someone's");
                break;
            case Kind::kFolder:
                std::filesystem::create_directory(inTheWay);
                break;
            case Kind::kFifo:
#ifndef _WIN32
                ::mkfifo(inTheWay.c_str(), 0644);
#endif
                break;
            case Kind::kHardLink:
                std::filesystem::create_hard_link(path, inTheWay);
                break;
            case Kind::kLinkToSource:
                std::filesystem::create_symlink(path, inTheWay);
                break;
            case Kind::kDanglingLink:
                std::filesystem::create_symlink(folder / "nowhere", inTheWay);
                break;
        }
        const auto result = checkAll(path);
        if (row.kind == Kind::kNothing) {
            EXPECT_FALSE(result.refusal) << row.file;
            continue;
        }
        if (row.kind == Kind::kHardLink) {
            // The source has a second name now: that refusal comes first.
            ASSERT_TRUE(result.refusal) << row.file;
            EXPECT_NE(result.refusal->text.find("hard links"), std::string::npos) << row.file;
            continue;
        }
        ASSERT_TRUE(result.refusal) << row.file;
        EXPECT_EQ(*result.refusal,
                  warning(inTheWay + " already exists:\r\nKerfo will NOT overwrite it."));
    }
}

#ifndef _WIN32
// Whatever a start is for and however it ends, it first removes what killed jobs left in
// the file's folder, however new or oddly dated: plain text must not wait for a job.
TEST_F(Gate, EveryStartSweepsItsFolder) {
    const std::string good = dir.write("notes.txt", "plain");
    const std::string empty = dir.write("empty.txt", "");
    const std::string missing = dir / "missing.kfo";
    for (const auto& path : {good, empty, missing}) {
        for (const auto age : {std::chrono::hours(0), std::chrono::hours(-24)}) {
            const std::string leftover =
                dir.write(platform::temporaryName(), "a killed decryption's plain text");
            std::filesystem::last_write_time(leftover,
                                             std::filesystem::file_time_type::clock::now() - age);
            checkAll(path);
            EXPECT_FALSE(std::filesystem::exists(leftover)) << path;
        }
    }
}
#endif  // !_WIN32

#ifndef _WIN32
// A file whose text would stay under another name, or a link that the job would leave
// leading nowhere, is refused before the password, with the name to open instead.
TEST_F(Gate, LinkedSourcesAreRefused) {
    const std::string real = dir.write("real.txt", "plain");
    const std::string sealed = dir.write("sealed.kfo", "[Kerfod] encrypted");
    std::filesystem::create_directory(dir / "docs");
    const std::string link = dir / "docs/mine.txt";
    std::filesystem::create_symlink("../real.txt", link);
    std::filesystem::create_hard_link(sealed, dir / "docs/copy.kfo");
    const std::string plainTwin = dir.write("twin.txt", "plain");
    std::filesystem::create_hard_link(plainTwin, dir / "docs/twin.txt");
    const struct {
        std::string path;
        std::string text;
    } rows[] = {
        {link, link + " is a symbolic link:\r\nKerfo will NOT work through links: open " +
                   std::filesystem::canonical(real).string() + " instead."},
        {plainTwin, plainTwin + " has other names (hard links) that would keep the plain text:\r\n"
                                "Kerfo will NOT work with linked files."},
        {sealed, sealed + " has other names (hard links) that would keep the encrypted text:\r\n"
                          "Kerfo will NOT work with linked files."},
    };
    for (const auto& row : rows) {
        const auto result = checkAll(row.path);
        ASSERT_TRUE(result.refusal) << row.path;
        EXPECT_EQ(*result.refusal, warning(row.text));
    }
}
#endif  // !_WIN32

// Attributes from POSIX permissions, dot names and FIFOs; Windows reads its own attribute
// bits (gate_win_test.cpp).
#ifndef _WIN32
TEST_F(Gate, OwnerWriteBitClearIsReadOnlyEvenForRoot) {
    const std::string path = dir.write("ro.txt", "x");
    ::chmod(path.c_str(), 0444);
    const auto result = checkAll(path);
    ASSERT_TRUE(result.refusal);
    EXPECT_EQ(*result.refusal,
              warning(path + " is Read-only:\r\nchange this file attribute and try again."));
}

TEST_F(Gate, DotNameIsHiddenAndCombinesWithReadOnly) {
    const std::string hidden = dir.write(".hidden.txt", "x");
    EXPECT_EQ(*checkAll(hidden).refusal,
              warning(hidden + " is Hidden:\r\nchange this file attribute and try again."));
    ::chmod(hidden.c_str(), 0400);
    EXPECT_EQ(*checkAll(hidden).refusal,
              warning(hidden +
                      " is Read-only and Hidden:\r\nchange these file attributes and try again."));
}

TEST_F(Gate, FifoIsRefusedAsSystemFileWithoutBeingOpened) {
    // Opening a FIFO without a writer would block: the test would hang on a fault.
    const std::string fifo = dir / "pipe.txt";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0644), 0);
    EXPECT_EQ(*checkAll(fifo).refusal,
              warning(fifo + " is a System file:\r\nKerfo will NOT work with system files."));
    ::chmod(fifo.c_str(), 0444);
    EXPECT_EQ(*checkAll(fifo).refusal,
              warning(fifo + " is Read-only and belongs to the System:\r\n"
                             "Kerfo will NOT work with system files."));
    // Hidden + system (6), never opened either.
    const std::string hiddenFifo = dir / ".pipe";
    ASSERT_EQ(::mkfifo(hiddenFifo.c_str(), 0644), 0);
    EXPECT_EQ(*checkAll(hiddenFifo).refusal,
              warning(hiddenFifo + " is a System file:\r\nKerfo will NOT work with system files."));
}
#endif  // !_WIN32

TEST_F(Gate, ModeComesFromTheFirstEightBytesOnly) {
    struct Case {
        std::string name;
        std::string content;
        Mode mode;
    };
    const Case cases[] = {
        {"a.txt", "[Kerfod]rest", Mode::kDecrypt},
        {"b.kfo", "plain text", Mode::kEncrypt},
        {"c.kfo", "[kerfod]other case", Mode::kEncrypt},
        {"d.kfo", "[Kerfo", Mode::kEncrypt},
        {"e.bin", "[Kerfod]", Mode::kDecrypt},
    };
    for (const auto& c : cases) {
        const auto result = checkAll(dir.write(c.name, c.content));
        EXPECT_FALSE(result.refusal) << c.name;
        EXPECT_EQ(result.mode, c.mode) << c.name;
        EXPECT_EQ(result.caption, "Kerfo / " + c.name);
    }
}

TEST_F(Gate, RelativeNameWithoutSeparatorGivesFullCaption) {
    dir.write("notes.txt", "hello");
    const auto previous = std::filesystem::current_path();
    std::filesystem::current_path(dir.path());
    const auto result = checkAll("notes.txt");
    std::filesystem::current_path(previous);
    EXPECT_FALSE(result.refusal);
    EXPECT_EQ(result.caption, "Kerfo / notes.txt");
}

// The rule itself, with attribute values a Linux file cannot show (archive, ...).
class FixedAttributes : public test::FaultyFileSystem {
public:
    int value = 0;
    platform::Result<int> attributes(const std::string&) override { return value; }
};

TEST_F(Gate, EveryReadOnlyHiddenOrSystemBitIsRefused) {
    const std::string path = dir.write("a.txt", "x");
    const auto& refused = test::refusedAttributeTexts();
    FixedAttributes files;
    for (const auto& [value, text] : refused) {
        files.value = value;
        const auto result = checkAll(path, files);
        ASSERT_TRUE(result.refusal) << value;
        EXPECT_EQ(*result.refusal, warning(path + text)) << value;
    }
    for (const int value : {0, 32, 128, 0x2020, 40000, -1}) {
        files.value = value;
        EXPECT_FALSE(checkAll(path, files).refusal) << value;
    }
}

}  // namespace
}  // namespace kerfo::filejobs
