#include "filejobs/encrypted_file.h"

#include "cipher/digest.h"
#include "filejobs/jobs.h"
#include "platform/secret.h"

namespace kerfo::filejobs {

Result<std::size_t> readFull(File& file, char* buffer, std::size_t size) {
    std::size_t got = 0;
    while (got < size) {
        const auto n = file.read(buffer + got, size - got);
        if (!n) return n.error();
        if (*n == 0) break;
        got += *n;
    }
    return got;
}

std::string passwordDigest(const std::string& salt, std::string_view password) {
    std::string bytes = passwordBytes(password);
    platform::SecretString keyText(salt);
    keyText.append(bytes);
    platform::wipe(bytes);
    return cipher::Hash(keyText.str());
}

bool passwordOpens(const EncryptedReader& reader, const std::string& header, std::string_view password) {
    const std::string salt =
        header.size() > kSaltOffset ? header.substr(kSaltOffset, kFieldLength) : std::string();
    const std::string digest = passwordDigest(salt, password);
    if (header.size() < kDigestOffset + kFieldLength ||
        header.compare(kDigestOffset, kFieldLength, digest) != 0) {
        return false;
    }
    if (reader.tooLong() || header.size() != kDigestOffset + kFieldLength) {
        throw RuntimeError(ErrorNumber::kInvalidCall);
    }
    return true;
}

}  // namespace kerfo::filejobs
