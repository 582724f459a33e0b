// Decrypting an arbitrary file with an arbitrary password. Input: one byte of flags
// (low five bits: the password's length; top bit: put the right digest into the header,
// so that bodies are reached without guessing a password), the password, then the file.
//
// Holds when: the job never throws; a wrong password or a failure leaves exactly the
// encrypted file, unchanged; a success leaves exactly the ".txt" file, holding what the
// format's own reading gives (header line, the other lines joined, shrink, XOR).
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "cipher/cipher.h"
#include "cipher/digest.h"
#include "filejobs/jobs.h"
#include "fakes/memory_file_system.h"
#include "platform/error.h"
#include "invariant.h"

namespace {

using kerfo::filejobs::JobStatus;

constexpr const char* kEncryptedPath = "/mem/doc.kfo";
constexpr const char* kPlainPath = "/mem/doc.txt";

using kerfo::fuzz::broken;

enum Outcome { kDecrypted, kWrongPassword, kRefused };
kerfo::fuzz::Outcomes<3>& outcomes() {
    static kerfo::fuzz::Outcomes<3> counts({"decrypted", "wrong password", "refused"});
    return counts;
}

// The plain text as the format describes it, or nothing when that reading fails.
std::optional<std::string> readByTheRules(const std::string& file) {
    const auto end = file.find_first_of("\r\n");
    const std::string header = file.substr(0, end);
    std::string body;
    if (end != std::string::npos) {
        for (std::size_t i = end; i < file.size(); ++i) {
            if (file[i] != '\r' && file[i] != '\n') body += file[i];
        }
    }
    try {
        kerfo::cipher::Cipher c;
        c.KeyString(header);
        c.Text(body);
        c.Shrink();
        c.DoXor();
        return c.Text();
    } catch (const kerfo::platform::RuntimeError&) {
        return std::nullopt;
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    const std::uint8_t flags = data[0];
    const std::size_t passwordLength = std::min<std::size_t>(flags & 0x1F, size - 1);
    const std::string password(reinterpret_cast<const char*>(data + 1), passwordLength);
    std::string file(reinterpret_cast<const char*>(data + 1 + passwordLength),
                     size - 1 - passwordLength);

    if ((flags & 0x80) != 0) {
        // The digest of this header's salt and this password, at characters 17..24.
        const auto end = std::min(file.find_first_of("\r\n"), file.size());
        if (end >= 24) {
            const std::string salt = file.substr(8, 8);
            const std::string digest =
                kerfo::cipher::Hash(salt + kerfo::filejobs::passwordBytes(password));
            file.replace(16, 8, digest);
        }
    }

    kerfo::fuzz::MemoryFileSystem files;
    files.files[kEncryptedPath] = file;
    kerfo::filejobs::JobContext context;
    context.files = &files;
    const auto result = kerfo::filejobs::Decrypt(kEncryptedPath, password, context);

    outcomes().add(result.status == JobStatus::kDone            ? kDecrypted
                   : result.status == JobStatus::kWrongPassword ? kWrongPassword
                                                                : kRefused);
    if (result.status == JobStatus::kDone) {
        if (files.files.size() != 1 || files.files.count(kPlainPath) != 1) broken("files after success");
        if (result.newPath != kPlainPath) broken("new path");
        const auto expected = readByTheRules(file);
        if (!expected) broken("succeeded where the format's reading fails");
        if (*expected != files.files[kPlainPath]) broken("plain text differs from the format's reading");
    } else {
        if (result.status == JobStatus::kFailed && !result.error) broken("failure without an error");
        if (files.files.size() != 1 || files.files[kEncryptedPath] != file) broken("encrypted file not kept");
    }
    return 0;
}
