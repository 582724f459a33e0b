// The password's bytes. Earlier builds keyed with the single-byte code page, so a
// password that fits in it must give the same bytes; one that does not fit keeps its
// UTF-8 bytes, because the classic conversion would turn every such character into "?"
// and different passwords would collide.
#include <array>
#include <cstdint>
#include <optional>
#include <string>

#include "filejobs/jobs.h"

namespace kerfo::filejobs {
namespace {

// Windows-1252 bytes 0x80..0x9F and their characters; 0 where the code page has none,
// except the five codes it passes through unchanged.
constexpr std::array<char32_t, 32> kCp1252High{
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
};

std::optional<unsigned char> toCp1252(char32_t ch) {
    if (ch < 0x80 || (ch >= 0xA0 && ch <= 0xFF)) return static_cast<unsigned char>(ch);
    for (std::size_t i = 0; i < kCp1252High.size(); ++i) {
        if (kCp1252High[i] == ch) return static_cast<unsigned char>(0x80 + i);
    }
    return std::nullopt;
}

// Decodes one UTF-8 sequence at `pos`, advancing it; nullopt for malformed input.
std::optional<char32_t> nextCodePoint(std::string_view text, std::size_t& pos) {
    const auto lead = static_cast<unsigned char>(text[pos]);
    std::size_t extra = 0;
    char32_t ch = 0;
    if (lead < 0x80) {
        ch = lead;
    } else if ((lead & 0xE0) == 0xC0) {
        extra = 1;
        ch = lead & 0x1F;
    } else if ((lead & 0xF0) == 0xE0) {
        extra = 2;
        ch = lead & 0x0F;
    } else if ((lead & 0xF8) == 0xF0) {
        extra = 3;
        ch = lead & 0x07;
    } else {
        return std::nullopt;
    }
    if (pos + extra >= text.size()) return std::nullopt;  // cut short
    for (std::size_t k = 1; k <= extra; ++k) {
        const auto c = static_cast<unsigned char>(text[pos + k]);
        if ((c & 0xC0) != 0x80) return std::nullopt;
        ch = (ch << 6) | (c & 0x3F);
    }
    // Overlong forms would let two spellings of one password differ.
    constexpr std::array<char32_t, 4> kSmallest{0, 0x80, 0x800, 0x10000};
    if (ch < kSmallest[extra] || ch > 0x10FFFF || (ch >= 0xD800 && ch <= 0xDFFF)) {
        return std::nullopt;
    }
    pos += extra + 1;
    return ch;
}

}  // namespace

std::string passwordBytes(std::string_view utf8Password) {
    std::string bytes;
    bytes.reserve(utf8Password.size());
    std::size_t pos = 0;
    while (pos < utf8Password.size()) {
        const auto ch = nextCodePoint(utf8Password, pos);
        if (!ch) return std::string(utf8Password);
        const auto byte = toCp1252(*ch);
        if (!byte) return std::string(utf8Password);
        bytes.push_back(static_cast<char>(*byte));
    }
    return bytes;
}

}  // namespace kerfo::filejobs
