// The one reference decoder of the tests: reads an encrypted file all at once with the
// whole-text Cipher, apart from the streaming code that the jobs, the read-back and
// kerfo-cli share, so that a fault there cannot hide itself.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "cipher/cipher.h"
#include "cipher/transform.h"

namespace kerfo::test {

// The plain bytes of an encrypted file's bytes `file`: line 1 is the header, the lines
// after it joined make the body; key with the header, shrink, XOR. Returns nullopt for
// anything the encryption does not write: a header line that is not "[Kerfod]" and 16
// characters more, a line without CR LF, a body line longer than kBodyLineLength or a
// short one before the last, an empty body, a character outside 59..122, or a single
// character after the last whole group.
inline std::optional<std::string> decodeWhole(std::string_view file) {
    constexpr std::string_view kLineEnd = "\r\n";
    const auto headerEnd = file.find(kLineEnd);
    if (headerEnd != 24 || !file.starts_with("[Kerfod]")) return std::nullopt;
    std::string body;
    for (std::size_t pos = headerEnd + kLineEnd.size(); pos < file.size();) {
        const auto end = file.find(kLineEnd, pos);
        if (end == std::string_view::npos) return std::nullopt;
        const std::size_t length = end - pos;
        const bool last = end + kLineEnd.size() == file.size();
        if (length > cipher::kBodyLineLength || (length < cipher::kBodyLineLength && !last)) return std::nullopt;
        body.append(file.substr(pos, length));
        pos = end + kLineEnd.size();
    }
    if (body.empty() || body.size() % 4 == 1) return std::nullopt;
    for (const unsigned char ch : body) {
        if (ch < 59 || ch > 122) return std::nullopt;
    }
    cipher::Cipher c;
    c.KeyString(file.substr(0, headerEnd));
    c.Text(std::move(body));
    c.Shrink();
    c.DoXor();
    return c.takeText();
}

}  // namespace kerfo::test
