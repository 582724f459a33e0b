// The gate and the jobs on Windows' own file system: attribute bits set with
// SetFileAttributesW, captions after the last "\", names Windows changes, files other
// programs hold, and the access list the new file keeps.
#include <filesystem>
#include <map>
#include <vector>

#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <aclapi.h>
#include <sddl.h>

#include <gtest/gtest.h>

#include "filejobs/gate.h"
#include "filejobs/jobs.h"
#include "filejobs/paths.h"
#include "fakes/wine.h"
#include "job_support.h"
#include "refused_attributes.h"

namespace kerfo::filejobs {
namespace {

using texts::Icon;
using texts::Message;
using test::readFile;

std::wstring wide(const std::string& path) { return std::filesystem::u8path(path).wstring(); }

// `plain` as Encrypt writes it.
std::string encryptedBytes(const std::string& plain) {
    test::ScratchDir folder;
    const auto made = Encrypt(folder.write("made.txt", plain), "pw", test::fixedSalt());
    if (made.status != JobStatus::kDone) throw std::runtime_error("encrypting a fixture failed");
    return readFile(made.newPath);
}

// The DACL of the file at `path` in SDDL ("D:P(A;;FA;;;S-1-...)...").
std::string daclOf(const std::string& path) {
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    LPSTR text = nullptr;
    if (GetNamedSecurityInfoA(path.c_str(), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr,
                              nullptr, nullptr, nullptr, &descriptor) != ERROR_SUCCESS ||
        !ConvertSecurityDescriptorToStringSecurityDescriptorA(
            descriptor, SDDL_REVISION_1, DACL_SECURITY_INFORMATION, &text, nullptr)) {
        throw std::runtime_error("no access list for " + path);
    }
    const std::string dacl(text);
    LocalFree(text);
    LocalFree(descriptor);
    return dacl;
}

class WindowsFiles : public ::testing::Test {
protected:
    test::ScratchDir dir;

    void setAttributes(const std::string& path, DWORD value) {
        ASSERT_TRUE(SetFileAttributesW(wide(path).c_str(), value)) << path << " " << value;
    }
    void TearDown() override {
        // Read-only files would survive the scratch directory's removal.
        for (const auto& entry : std::filesystem::directory_iterator(dir.path())) {
            SetFileAttributesW(entry.path().wstring().c_str(), FILE_ATTRIBUTE_NORMAL);
        }
    }
    // True when no temporary file of a job is left in the folder.
    bool noTemporaryLeft() const { return dir.listing().find(".kerfo-") == std::string::npos; }
};

// Every read-only, hidden or system bit, alone or with others, is refused before the
// password; only the archive bit, or none, passes.
TEST_F(WindowsFiles, AttributeBitsAreRefusedWithTheirExactMessages) {
    const std::string path = dir.write("a.txt", "[Kerfod]x");
    ASSERT_NE(path.find('\\'), std::string::npos) << path;
    const auto& refused = test::refusedAttributeTexts();
    // Wine reports every regular file with the archive bit, so there 1..7 read as 33..39;
    // Windows keeps the value as set.
    const DWORD always = test::runningOnWine() ? FILE_ATTRIBUTE_ARCHIVE : 0;
    for (DWORD set = 0; set < 40; set = set == 7 ? 32 : set + 1) {
        setAttributes(path, set);
        const DWORD value =
            GetFileAttributesW(wide(path).c_str()) & ~static_cast<DWORD>(FILE_ATTRIBUTE_NORMAL);
        ASSERT_EQ(value, set | always);
        const auto result = checkAll(path);
        const auto expected = refused.find(static_cast<int>(value));
        if ((value & 7) == 0) {
            EXPECT_FALSE(result.refusal) << value;
            EXPECT_EQ(result.mode, Mode::kDecrypt) << value;
            EXPECT_EQ(result.caption, "Kerfo / a.txt") << value;
            continue;
        }
        ASSERT_TRUE(result.refusal) << value;
        ASSERT_NE(expected, refused.end()) << value;
        EXPECT_EQ(*result.refusal, (Message{path + expected->second, Icon::kWarning, std::nullopt}))
            << value;
    }
    EXPECT_EQ(GetFileName("C:\\dir\\a.txt", kPathSeparator), "a.txt");
}

// Names Windows does not take as written are refused before anything is opened: a device's
// name would open the device, and a trailing dot or space would reach the file named
// without it (here a different c.txt beside it), which a job would then replace.
TEST_F(WindowsFiles, NamesWindowsChangesAreRefusedAndReachNoOtherFile) {
    const std::string device = " is a reserved device name:\r\nKerfo will NOT work with devices.";
    const std::string trimmed =
        " has a name that ends in a dot or a space:\r\n"
        "Windows would open another file by that name: rename it and try again.";
    const std::pair<const char*, const std::string*> rows[] = {
        {"c.txt.", &trimmed},      {"c.txt ", &trimmed},     {"c.txt. .", &trimmed},
        {"dir.\\c.txt", &trimmed}, {"con.txt", &device},     {"NUL.txt", &device},
        {"COM1.txt", &device},     {"aux.kfo", &device},     {"Lpt9", &device},
        {"prn .txt", &device},     {"console.txt", nullptr}, {"com10.txt", nullptr},
        {"a..b.txt", nullptr},     {"nul-x.txt", nullptr},
    };
    dir.write("c.txt", "the other file");
    std::filesystem::create_directory(dir.path() / "dir");
    dir.write("dir\\c.txt", "the other file");
    // The names themselves exist too, made in the form that takes a name as it is; the
    // plain calls the scratch folder cleans up with could not remove them.
    const auto exact = [](const std::string& path) { return wide("\\\\?\\" + path); };
    struct ExactNames {
        std::vector<std::wstring> files;
        std::wstring folder;
        ~ExactNames() {
            for (const auto& file : files) DeleteFileW(file.c_str());
            RemoveDirectoryW(folder.c_str());
        }
    } made{{}, exact(dir / "dir.")};
    ASSERT_TRUE(CreateDirectoryW(made.folder.c_str(), nullptr));
    for (const auto& [name, refusal] : rows) {
        const std::string path = dir / name;
        if (refusal != &device) {
            made.files.push_back(exact(path));
            const HANDLE h = CreateFileW(made.files.back().c_str(), GENERIC_WRITE, 0, nullptr,
                                         CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
            ASSERT_NE(h, INVALID_HANDLE_VALUE) << name;
            DWORD put = 0;
            WriteFile(h, "its own", 7, &put, nullptr);
            CloseHandle(h);
        }
        const std::string before = dir.listing();
        const auto result = checkAll(path);
        if (refusal == nullptr) {
            EXPECT_FALSE(result.refusal) << name;
            continue;
        }
        ASSERT_TRUE(result.refusal) << name;
        EXPECT_EQ(*result.refusal, (Message{path + *refusal, Icon::kWarning, std::nullopt}))
            << name;
        // A job asked for such a name anyway reaches no other file.
        EXPECT_EQ(Encrypt(path, "pw", test::fixedSalt()).status, JobStatus::kFailed) << name;
        EXPECT_EQ(dir.listing(), before) << name;
        EXPECT_EQ(readFile(dir / "c.txt"), "the other file") << name;
        EXPECT_EQ(readFile(dir / "dir\\c.txt"), "the other file") << name;
    }
}

// A file another program holds open without sharing its deletion (a viewer, an editor) is
// refused with 55 before anything is written, when encrypting and when decrypting.
TEST_F(WindowsFiles, FileHeldByAnotherProgramIsRefusedBeforeAnythingIsWritten) {
    struct Row {
        const char* file;
        bool encrypted;
        DWORD share;  // what the other program lets others do
    };
    const Row rows[] = {
        {"h.txt", false, FILE_SHARE_READ},
        {"g.kfo", true, FILE_SHARE_READ},
        {"e.txt", false, FILE_SHARE_READ | FILE_SHARE_WRITE},
    };
    const std::string plain = "held by a viewer\r\n";
    for (const auto& row : rows) {
        test::ScratchDir folder;
        const std::string content = row.encrypted ? encryptedBytes(plain) : plain;
        const std::string path = folder.write(row.file, content);
        const HANDLE held = CreateFileW(wide(path).c_str(), GENERIC_READ, row.share, nullptr,
                                        OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
        ASSERT_NE(held, INVALID_HANDLE_VALUE) << row.file;
        const auto result =
            row.encrypted ? Decrypt(path, "pw") : Encrypt(path, "pw", test::fixedSalt());
        CloseHandle(held);
        EXPECT_EQ(result.status, JobStatus::kFailed) << row.file;
        EXPECT_EQ(result.error ? result.error->code() : 0, 55) << row.file;
        EXPECT_EQ(folder.listing(), std::string(row.file) + " ") << row.file;
        EXPECT_EQ(readFile(path), content) << row.file;
    }
}

// The new file keeps the original's access list: a private note stays private, a shared
// one stays shared, whatever the folder would give a new file.
TEST_F(WindowsFiles, NewFileKeepsTheOriginalsAccessList) {
    HANDLE token = nullptr;
    ASSERT_TRUE(OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token));
    alignas(TOKEN_USER) unsigned char buffer[256];
    DWORD size = 0;
    ASSERT_TRUE(GetTokenInformation(token, TokenUser, buffer, sizeof buffer, &size));
    CloseHandle(token);
    LPSTR user = nullptr;
    ASSERT_TRUE(ConvertSidToStringSidA(reinterpret_cast<TOKEN_USER*>(buffer)->User.Sid, &user));
    const std::string me(user);
    LocalFree(user);

    for (const std::string& sddl :
         {"D:P(A;;FA;;;" + me + ")", "D:P(A;;FA;;;" + me + ")(A;;FA;;;WD)"}) {
        for (const bool encrypted : {false, true}) {
            test::ScratchDir folder;
            const std::string path = folder.write(encrypted ? "n.kfo" : "n.txt",
                                                  encrypted ? encryptedBytes("note") : "note");
            PSECURITY_DESCRIPTOR wanted = nullptr;
            ASSERT_TRUE(ConvertStringSecurityDescriptorToSecurityDescriptorA(
                sddl.c_str(), SDDL_REVISION_1, &wanted, nullptr));
            ASSERT_TRUE(SetFileSecurityA(path.c_str(), DACL_SECURITY_INFORMATION, wanted));
            LocalFree(wanted);
            const std::string original = daclOf(path);
            const auto result =
                encrypted ? Decrypt(path, "pw") : Encrypt(path, "pw", test::fixedSalt());
            ASSERT_EQ(result.status, JobStatus::kDone) << (result.error ? result.error->code() : 0);
            EXPECT_EQ(daclOf(result.newPath), original) << sddl;
        }
    }
}

TEST_F(WindowsFiles, RoundTripReplacesTheFileUnderItsNewName) {
    const std::string path = dir.write("notes.txt", std::string("one\r\ntwo\0\xff", 10));
    const auto enc = Encrypt(path, "pw", test::fixedSalt());
    ASSERT_EQ(enc.status, JobStatus::kDone) << (enc.error ? enc.error->description() : "");
    EXPECT_EQ(enc.newPath, dir / "notes.kfo");
    EXPECT_EQ(dir.listing(), "notes.kfo ");
    const auto dec = Decrypt(enc.newPath, "pw");
    ASSERT_EQ(dec.status, JobStatus::kDone) << (dec.error ? dec.error->description() : "");
    EXPECT_EQ(readFile(path), std::string("one\r\ntwo\0\xff", 10));
    EXPECT_EQ(dir.listing(), "notes.txt ");
}

TEST_F(WindowsFiles, ReadOnlySourceCannotBeDeletedAndIsKept) {
    const std::string path = dir.write("ro.txt", "read only");
    setAttributes(path, FILE_ATTRIBUTE_READONLY);
    EXPECT_FALSE(DeleteFileW(wide(path).c_str()));
    const auto result = Encrypt(path, "pw", test::fixedSalt());
    EXPECT_EQ(result.status, JobStatus::kFailed);
    ASSERT_TRUE(result.error);
    EXPECT_EQ(result.error->code(), 70);
    EXPECT_EQ(readFile(path), "read only");
    EXPECT_TRUE(noTemporaryLeft()) << dir.listing();
}

// Windows names are case-insensitive: an output name that is another spelling of the
// source replaces it in place; one that leads to another file (held open or not) keeps
// both files.
TEST_F(WindowsFiles, OutputNameIsTheSourceOrAnotherFile) {
    struct Row {
        const char* file;
        bool encrypted;
        const char* other;  // another file under the output name, or null
        int error;          // 0: done, in place
    };
    const Row rows[] = {
        {"x.KFO", false, nullptr, 0},
        {"y.TXT", true, nullptr, 0},
        {"c.txt", false, "C.KFO", 58},
        {"d.kfo", true, "d.txt", 58},
    };
    const std::string plain("one\r\ntwo\0\xff", 10);
    for (const auto& row : rows) {
        test::ScratchDir folder;
        const std::string content = row.encrypted ? encryptedBytes(plain) : plain;
        const std::string path = folder.write(row.file, content);
        if (row.other != nullptr) folder.write(row.other, "someone else's");
        // Held open the way most programs hold a file: others may read, not delete.
        const HANDLE held = row.other == nullptr ? INVALID_HANDLE_VALUE
                            : CreateFileW(wide(folder / row.other).c_str(), GENERIC_READ, FILE_SHARE_READ,
                                          nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
        const auto result = row.encrypted ? Decrypt(path, "pw") : Encrypt(path, "pw", test::fixedSalt());
        if (held != INVALID_HANDLE_VALUE) CloseHandle(held);
        if (row.error == 0) {
            ASSERT_EQ(result.status, JobStatus::kDone) << row.file << " " << (result.error ? result.error->code() : 0);
            EXPECT_EQ(folder.listing(), std::string(row.file) + " ");
            if (row.encrypted) {
                EXPECT_EQ(readFile(path), plain);
            } else {
                EXPECT_EQ(readFile(path).substr(0, 8), "[Kerfod]");
            }
        } else {
            EXPECT_EQ(result.status, JobStatus::kFailed) << row.file;
            ASSERT_TRUE(result.error);
            EXPECT_EQ(result.error->code(), row.error);
            EXPECT_EQ(readFile(path), content);
            EXPECT_EQ(readFile(folder / row.other), "someone else's");
        }
    }
}

}  // namespace
}  // namespace kerfo::filejobs
