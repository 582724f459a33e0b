#include "filejobs/gate.h"

#ifndef _WIN32
#include <sys/stat.h>
#include <unistd.h>
#endif

#include <filesystem>

#include <gtest/gtest.h>

#include "fakes/faulty_file_system.h"
#include "fakes/scratch_dir.h"
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

// A file standing under the output name is named before any password is typed; the
// file's own name (the output name already) is no obstacle.
TEST_F(Gate, AnotherFileUnderTheOutputNameIsRefused) {
    struct Row {
        const char* file;
        const char* content;
        const char* inTheWay;  // null: nothing is
    };
    const Row rows[] = {
        {"notes.txt", "plain", "notes.kfo"},
        {"report.kfo", "[Kerfod] encrypted", "report.txt"},
        {"todo", "plain", "todo.kfo"},
        {"x.kfo", "plain, named .kfo", nullptr},
    };
    for (const auto& row : rows) {
        test::ScratchDir folder;
        const std::string path = folder.write(row.file, row.content);
        if (row.inTheWay != nullptr) folder.write(row.inTheWay, "newer, someone's");
        const auto result = checkAll(path);
        if (row.inTheWay == nullptr) {
            EXPECT_FALSE(result.refusal) << row.file;
            continue;
        }
        ASSERT_TRUE(result.refusal) << row.file;
        EXPECT_EQ(*result.refusal,
                  warning(folder / row.inTheWay + " already exists:\r\nKerfo will NOT overwrite it."));
    }
}

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

#ifndef _WIN32
TEST_F(Gate, SymbolicLinkIsFollowed) {
    const std::string target = dir.write("real.txt", "[Kerfod]x");
    const std::string link = dir / "link.txt";
    std::filesystem::create_symlink(target, link);
    const auto result = checkAll(link);
    EXPECT_FALSE(result.refusal);
    EXPECT_EQ(result.mode, Mode::kDecrypt);
    EXPECT_EQ(result.caption, "Kerfo / link.txt");
}
#endif  // !_WIN32

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
