#include "settings/file_store.h"

#include <csignal>
#include <set>
#include <string>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "settings/general.h"
#include "settings/key_tree.h"
#include "store_fixture.h"

namespace kerfo::settings {
namespace {

constexpr const char* kKey = "HKEY_CURRENT_USER\\Software\\Tarnwick\\Kerfo";
constexpr const char* kSubKey = "Software\\Tarnwick\\Kerfo";

class FileStoreTest : public test::UserStoreTest {
protected:
    // Writes and reads one value straight through the store, bypassing the 255-byte buffer.
    std::string roundTrip(const std::string& name, const std::string& bytes, std::uint32_t type = kRegSz) {
        KeyHandle key = 0;
        EXPECT_EQ(store->createKey(kHkeyCurrentUser, kSubKey, key), kOk);
        EXPECT_EQ(store->setValue(key, name, type, bytes.data(), static_cast<std::uint32_t>(bytes.size())), kOk);
        EXPECT_EQ(store->closeKey(key), kOk);
        resetStore();
        EXPECT_EQ(store->openKey(kHkeyCurrentUser, kSubKey, kKeyRead, key), kOk);
        std::uint32_t size = 0;
        std::uint32_t readType = 0;
        EXPECT_EQ(store->queryValue(key, name, readType, nullptr, size), kOk);
        std::string out(size, '?');
        EXPECT_EQ(store->queryValue(key, name, readType, out.data(), size), kOk);
        EXPECT_EQ(readType, type);
        store->closeKey(key);
        return out;
    }

    void saveAll() {
        registry->CreateNewKey(kKey);
        registry->SetKeyValue(kKey, "Left", "1200");
        registry->SetKeyValue(kKey, "Top", "-45");
    }
};

TEST_F(FileStoreTest, LivesInTheKerfoFolderOfTheConfigHome) {
    EXPECT_EQ(store->filePath(), m_home.path() / "kerfo" / "settings.ini");
    ::setenv("XDG_CONFIG_HOME", "relative/dir", 1);
    const char* home = std::getenv("HOME");
    const std::string savedHome = home ? home : "";
    ::setenv("HOME", "/home/someone", 1);
    EXPECT_EQ(FileStore::defaultDirectory(), std::filesystem::path("/home/someone/.config/kerfo"));
    ::unsetenv("XDG_CONFIG_HOME");
    EXPECT_EQ(FileStore::defaultDirectory(), std::filesystem::path("/home/someone/.config/kerfo"));
    ::setenv("HOME", savedHome.c_str(), 1);
}

TEST_F(FileStoreTest, FileIsReadableTextAndPrivate) {
    saveAll();
    EXPECT_EQ(fileText(), std::string(kStoreHeader) +
                              "\n[HKEY_CURRENT_USER]\n[HKEY_CURRENT_USER\\Software]\n"
                              "[HKEY_CURRENT_USER\\Software\\Tarnwick]\n"
                              "[HKEY_CURRENT_USER\\Software\\Tarnwick\\Kerfo]\nLeft=1200\nTop=-45\n");
    struct stat info {};
    ASSERT_EQ(::stat(store->filePath().c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u);
    EXPECT_FALSE(std::filesystem::exists(m_home.path() / "kerfo" / "settings.ini.tmp"));
}

TEST_F(FileStoreTest, AnyByteRoundTripsInValuesAndNames) {
    std::string all;
    for (int c = 0; c < 256; ++c) all += static_cast<char>(c);
    EXPECT_EQ(roundTrip("All", all, kRegBinary), all);
    EXPECT_EQ(roundTrip("Str", " =x\n\r%;# ", kRegSz), std::string(" =x\n\r%;# ") + '\0');
    EXPECT_EQ(roundTrip("Empty", "", kRegSz), std::string(1, '\0'));
    for (const std::string name : {" =odd:name= ", "#not a comment", "[not a key]", ";x", "", "%20", "\xFF\x01"}) {
        EXPECT_EQ(roundTrip(name, "v"), std::string("v") + '\0') << name;
    }
}

TEST_F(FileStoreTest, StringsComeBackWithExactlyOneTerminator) {
    // Written with the terminator counted, as a caller of the platform store may do.
    EXPECT_EQ(roundTrip("Counted", std::string("abc") + '\0'), std::string("abc") + '\0');
}

TEST_F(FileStoreTest, KeysWithOddNamesAndNoValuesSurvive) {
    registry->CreateNewKey("HKEY_CURRENT_USER\\We[ird]\\%\\ key ");
    resetStore();
    KeyHandle key = 0;
    EXPECT_EQ(store->openKey(kHkeyCurrentUser, "we[IRD]\\%\\ KEY ", kKeyRead, key), kOk);
    EXPECT_EQ(store->closeKey(key), kOk);
    EXPECT_EQ(store->openKey(kHkeyCurrentUser, "We[ird]\\%", kKeyRead, key), kOk);
    EXPECT_EQ(store->closeKey(key), kOk);
    EXPECT_EQ(store->openKey(kHkeyCurrentUser, "We[ird]\\nothing", kKeyRead, key), kNotFound);
    EXPECT_EQ(key, 0u);
}

TEST_F(FileStoreTest, BadHandlesAndPathsAreRefused) {
    KeyHandle key = 0;
    std::uint32_t type = 0;
    std::uint32_t size = 10;
    char buffer[10];
    EXPECT_EQ(store->queryValue(77, "x", type, buffer, size), kInvalidHandle);
    EXPECT_EQ(store->closeKey(77), kInvalidHandle);
    EXPECT_EQ(store->createKey(kHkeyCurrentUser, "a\\\\b", key), kBadPathname);
    EXPECT_EQ(store->createKey(kHkeyCurrentUser, std::string(256, 'k'), key), kInvalidParameter);
    EXPECT_EQ(store->createKey(0x12345, "a", key), kInvalidHandle);
}

TEST_F(FileStoreTest, HandEditedFileIsRead) {
    std::filesystem::create_directories(store->filePath().parent_path());
    writeFile(std::string(kStoreHeader) +
              "\r\n; edited by hand\r\n\r\n[hkey_current_user\\software\\tarnwick\\kerfo]\r\n"
              "left=%2012\r\nTop= 7 \r\n");
    EXPECT_EQ(registry->GetKeyValue(kKey, "Left"), "12");
    EXPECT_EQ(registry->GetKeyValue(kKey, "Top"), "7 ");
}

// A damaged file reads as holding nothing, and the next save replaces it whole.
class DamagedFileTest : public FileStoreTest {
protected:
    void expectReplacedOnSave() {
        resetStore();
        EXPECT_EQ(registry->GetKeyValue(kKey, "Left"), "Error");
        saveAll();
        EXPECT_EQ(registry->GetKeyValue(kKey, "Left"), "1200");
        EXPECT_EQ(registry->GetKeyValue(kKey, "Top"), "-45");
        EXPECT_TRUE(KeyTree::parse(fileText()).has_value());
    }
};

TEST_F(DamagedFileTest, Truncated) {
    saveAll();
    const auto text = fileText();
    for (const std::size_t keep : {std::size_t{0}, std::size_t{10}, text.size() - 3}) {
        writeFile(text.substr(0, keep));
        expectReplacedOnSave();
    }
}

TEST_F(DamagedFileTest, BinaryGarbage) {
    saveAll();
    std::string garbage;
    for (int i = 0; i < 5000; ++i) garbage += static_cast<char>((i * 7919) % 256);
    writeFile(garbage);
    expectReplacedOnSave();
    writeFile(std::string(kStoreHeader) + "\nLeft=1\n");  // a value outside any key
    expectReplacedOnSave();
    writeFile(std::string(kStoreHeader) + "\n[HKEY_CURRENT_USER]\nLeft=%G1\n");
    expectReplacedOnSave();
}

TEST_F(DamagedFileTest, Huge) {
    saveAll();
    std::string huge = fileText();
    while (huge.size() <= kMaxStoreFileSize) huge += "; padding padding padding padding padding padding\n";
    writeFile(huge);
    expectReplacedOnSave();
}

TEST_F(DamagedFileTest, Unreadable) {
    saveAll();
    ::chmod(store->filePath().c_str(), 0);
    if (::access(store->filePath().c_str(), R_OK) == 0) GTEST_SKIP() << "permissions do not bind this user";
    expectReplacedOnSave();
}

// Ends the test process with a failure when the scope has not finished within `seconds`,
// so that a save that blocks (opening a FIFO for writing waits for a reader) fails at
// once instead of at the suite's timeout.
class Deadline {
public:
    explicit Deadline(unsigned seconds) {
        std::signal(SIGALRM, onAlarm);
        ::alarm(seconds);
    }
    ~Deadline() {
        ::alarm(0);
        std::signal(SIGALRM, SIG_DFL);
    }
    Deadline(const Deadline&) = delete;
    Deadline& operator=(const Deadline&) = delete;

private:
    static void onAlarm(int) {
        constexpr char kText[] = "Deadline passed: the save blocked\n";
        if (::write(STDERR_FILENO, kText, sizeof kText - 1) < 0) {
            // Nothing more to tell: the exit status fails the test either way.
        }
        ::_exit(1);
    }
};

TEST_F(DamagedFileTest, NotARegularFile) {
    const Deadline deadline(10);
    std::filesystem::create_directories(store->filePath().parent_path());
    ASSERT_EQ(::mkfifo(store->filePath().c_str(), 0600), 0);
    expectReplacedOnSave();
    std::filesystem::remove(store->filePath());
    std::filesystem::create_directories(store->filePath());
    resetStore();
    EXPECT_EQ(registry->GetKeyValue(kKey, "Left"), "Error");
    registry->CreateNewKey(kKey);  // cannot replace a folder: fails quietly
    EXPECT_NE(registry->lastResult(), kOk);
    EXPECT_TRUE(sink.messages.empty());
}

TEST_F(DamagedFileTest, StaleTemporaryFileIsHarmless) {
    std::filesystem::create_directories(store->filePath().parent_path());
    std::ofstream(store->filePath().parent_path() / "settings.ini.tmp") << "half a fi";
    saveAll();
    EXPECT_EQ(registry->GetKeyValue(kKey, "Top"), "-45");
}

// Runs `body` in a child process; returns the child's id.
template <typename Body>
pid_t spawn(Body body) {
    const pid_t pid = ::fork();
    if (pid == 0) {
        int status = 0;
        try {
            body();
        } catch (...) {
            status = 1;
        }
        ::_exit(status);
    }
    return pid;
}

TEST_F(FileStoreTest, TwoProcessesSavingAtOnceLoseNothing) {
    constexpr int kSaves = 60;
    const auto saver = [](char tag) {
        return [tag] {
            FileStore store(FileStore::defaultDirectory());
            test::RecordingSink sink;
            Registry registry(store, sink);
            for (int i = 0; i < kSaves; ++i) {
                registry.CreateNewKey(kKey);
                registry.SetKeyValue(kKey, "Left", std::to_string(i));
                registry.SetKeyValue(kKey, std::string(1, tag) + std::to_string(i), std::to_string(i));
                if (registry.lastResult() != kOk) throw std::runtime_error("save failed");
            }
        };
    };
    const pid_t first = spawn(saver('A'));
    const pid_t second = spawn(saver('B'));
    ASSERT_GT(first, 0);
    ASSERT_GT(second, 0);

    // Meanwhile every read sees a whole file: once the key is there it stays readable.
    const pid_t children[2] = {first, second};
    int statuses[2] = {-1, -1};
    bool done[2] = {false, false};
    bool seen = false;
    int reads = 0;
    int badReads = 0;
    while (!done[0] || !done[1]) {
        for (int k = 0; k < 2; ++k) {
            if (!done[k] && ::waitpid(children[k], &statuses[k], WNOHANG) == children[k]) done[k] = true;
        }
        const auto left = registry->GetKeyValue(kKey, "Left");
        if (seen && (left == "Error" || !toLong(left).has_value())) ++badReads;
        seen = seen || left != "Error";
        ++reads;
    }
    EXPECT_EQ(badReads, 0) << "of " << reads << " reads";
    for (const int status : statuses) {
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    }
    for (int i = 0; i < kSaves; ++i) {
        EXPECT_EQ(registry->GetKeyValue(kKey, "A" + std::to_string(i)), std::to_string(i));
        EXPECT_EQ(registry->GetKeyValue(kKey, "B" + std::to_string(i)), std::to_string(i));
    }
    EXPECT_EQ(registry->GetKeyValue(kKey, "Left"), std::to_string(kSaves - 1));
}

TEST_F(FileStoreTest, ProcessKilledWhileSavingLeavesAWholeFile) {
    saveAll();
    for (int round = 0; round < 3; ++round) {
        const pid_t child = spawn([] {
            FileStore store(FileStore::defaultDirectory());
            test::RecordingSink sink;
            Registry registry(store, sink);
            for (int i = 0;; ++i) {
                registry.CreateNewKey(kKey);
                registry.SetKeyValue(kKey, "Pad" + std::to_string(i % 50), std::string(200, 'p'));
            }
        });
        ASSERT_GT(child, 0);
        ::usleep(30000 + round * 20000);
        ::kill(child, SIGKILL);
        int status = 0;
        ::waitpid(child, &status, 0);
        ASSERT_TRUE(KeyTree::parse(fileText()).has_value());
        EXPECT_EQ(registry->GetKeyValue(kKey, "Left"), "1200");
        // The lock died with the process: the next save goes through.
        registry->SetKeyValue(kKey, "Top", std::to_string(round));
        EXPECT_EQ(registry->GetKeyValue(kKey, "Top"), std::to_string(round));
    }
}

}  // namespace
}  // namespace kerfo::settings
