#include "cipher/transform.h"

#include <algorithm>
#include <cstring>

#include "cipher/kernels.h"
#include "cipher/stretch.h"
#include "platform/error.h"

namespace kerfo::cipher {

using platform::ErrorNumber;
using platform::RuntimeError;

namespace {

// Pieces small enough that a piece's intermediate forms stay in the core's cache between
// the passes over it.
constexpr std::size_t kEncryptPiece = 3 * 8192;
constexpr std::size_t kDecryptPiece = 64 * 1024;
constexpr unsigned kLowestCharacter = 59;
constexpr unsigned kHighestCharacter = 59 + 63;

const unsigned char* bytes(const char* p) { return reinterpret_cast<const unsigned char*>(p); }

bool isLineEnd(unsigned char c) { return c == '\r' || c == '\n'; }

// The body characters of in[0..size): everything but CR and LF.
std::size_t joinExact(const unsigned char* in, std::size_t size, unsigned char* out) {
    unsigned char* start = out;
    for (std::size_t i = 0; i < size; ++i) {
        if (!isLineEnd(in[i])) *out++ = in[i];
    }
    return static_cast<std::size_t>(out - start);
}

// The same for files as the encryption writes them, a line at a time: where 70 characters
// are followed by CR LF they are copied whole without looking at them. That is only
// wrong when one of them is itself a CR or LF, and then the piece holds a character below
// 59, which the caller checks for before trusting the result.
std::size_t joinLines(const unsigned char* in, std::size_t size, unsigned char* out) {
    unsigned char* start = out;
    std::size_t i = 0;
    while (i < size) {
        if (size - i >= kBodyLineLength + 2 && in[i + kBodyLineLength] == '\r' &&
            in[i + kBodyLineLength + 1] == '\n') {
            std::memcpy(out, in + i, kBodyLineLength);
            out += kBodyLineLength;
            i += kBodyLineLength + 2;
            continue;
        }
        if (!isLineEnd(in[i])) *out++ = in[i];
        ++i;
    }
    return static_cast<std::size_t>(out - start);
}

}  // namespace

EncryptTransform::EncryptTransform(KeyedState keyed)
    : m_seed(keyed.seed), m_xored(kEncryptPiece), m_stretched(kEncryptPiece / 3 * 4) {}

char* EncryptTransform::emit(const char* chars, std::size_t count, char* out) {
    if (count > 0) m_anyCharacter = true;
    while (count > 0) {
        if (m_column == 0) {
            while (count >= kBodyLineLength) {
                std::memcpy(out, chars, kBodyLineLength);
                out[kBodyLineLength] = '\r';
                out[kBodyLineLength + 1] = '\n';
                out += kBodyLineLength + 2;
                chars += kBodyLineLength;
                count -= kBodyLineLength;
            }
            if (count == 0) break;
        }
        const std::size_t take = std::min(count, kBodyLineLength - m_column);
        std::memcpy(out, chars, take);
        out += take;
        chars += take;
        count -= take;
        m_column += take;
        if (m_column == kBodyLineLength) {
            *out++ = '\r';
            *out++ = '\n';
            m_column = 0;
        }
    }
    return out;
}

std::size_t EncryptTransform::update(std::string_view plain, char* out) {
    const auto& kernels = detail::bestKernels();
    const unsigned char* src = bytes(plain.data());
    std::size_t left = plain.size();
    char* dst = out;
    if (m_carrySize > 0) {
        const std::size_t take = std::min(left, 3 - m_carrySize);
        m_seed = detail::xorStreamReference(src, m_carry + m_carrySize, take, m_seed);
        m_carrySize += take;
        src += take;
        left -= take;
        if (m_carrySize == 3) {
            char group[4];
            kernels.stretchGroups(m_carry, 1, group);
            dst = emit(group, 4, dst);
            m_carrySize = 0;
        }
    }
    while (left >= 3) {
        const std::size_t take = std::min(left / 3 * 3, kEncryptPiece);
        m_seed = kernels.xorStream(src, m_xored.data(), take, m_seed);
        kernels.stretchGroups(m_xored.data(), take / 3, m_stretched.data());
        dst = emit(m_stretched.data(), take / 3 * 4, dst);
        src += take;
        left -= take;
    }
    if (left > 0) {
        m_seed = detail::xorStreamReference(src, m_carry, left, m_seed);
        m_carrySize = left;
    }
    return static_cast<std::size_t>(dst - out);
}

std::size_t EncryptTransform::finish(char* out) {
    char* dst = out;
    if (m_carrySize > 0) {
        char group[3];
        detail::stretchReference(m_carry, m_carrySize, group);
        dst = emit(group, m_carrySize + 1, dst);
        m_carrySize = 0;
    }
    if (m_column > 0 || !m_anyCharacter) {
        *dst++ = '\r';
        *dst++ = '\n';
        m_column = 0;
    }
    m_anyCharacter = true;
    return static_cast<std::size_t>(dst - out);
}

DecryptTransform::DecryptTransform(KeyedState keyed, BodyCheck check)
    : m_check(check), m_seed(keyed.seed), m_joined(kDecryptPiece + 4) {}

std::size_t DecryptTransform::shrinkAndXor(std::size_t groups, char* out) {
    auto* dst = reinterpret_cast<unsigned char*>(out);
    const auto& kernels = detail::bestKernels();
    const std::size_t done = kernels.shrinkGroups(m_joined.data(), groups, dst);
    // From a group with a character below the range on, the reference loop decides.
    if (done < groups &&
        !detail::shrinkReference(m_joined.data() + 4 * done, 4 * (groups - done), dst + 3 * done)) {
        throw RuntimeError(ErrorNumber::kInvalidCall);
    }
    m_seed = kernels.xorStream(dst, dst, 3 * groups, m_seed);
    return 3 * groups;
}

std::size_t DecryptTransform::update(std::string_view input, char* out) {
    const auto& kernels = detail::bestKernels();
    const unsigned char* src = bytes(input.data());
    std::size_t left = input.size();
    char* dst = out;
    while (left > 0) {
        const std::size_t take = std::min(left, kDecryptPiece);
        unsigned char* piece = m_joined.data() + m_pending;
        std::size_t joined = joinLines(src, take, piece);
        detail::Bounds bounds = kernels.bounds(piece, joined);
        if (bounds.low < kLowestCharacter) {
            joined = joinExact(src, take, piece);
            bounds = kernels.bounds(piece, joined);
        }
        if (m_check == BodyCheck::kWrittenForm &&
            (bounds.low < kLowestCharacter || bounds.high > kHighestCharacter)) {
            throw RuntimeError(ErrorNumber::kInvalidCall);
        }
        src += take;
        left -= take;
        if (joined > 0) m_anyCharacter = true;
        const std::size_t total = m_pending + joined;
        const std::size_t groups = total / 4;
        dst += shrinkAndXor(groups, dst);
        m_pending = total - 4 * groups;
        std::memmove(m_joined.data(), m_joined.data() + 4 * groups, m_pending);
    }
    return static_cast<std::size_t>(dst - out);
}

std::size_t DecryptTransform::finish(char* out) {
    if (!m_anyCharacter || (m_check == BodyCheck::kWrittenForm && m_pending == 1)) {
        throw RuntimeError(ErrorNumber::kInvalidCall);
    }
    auto* dst = reinterpret_cast<unsigned char*>(out);
    // Whole groups are done; the rest (0 to 3 characters) is the final partial group.
    const long long count = m_pending == 0 ? 0 : shrunkLength(m_pending);
    if (!detail::shrinkReference(m_joined.data(), m_pending, dst)) {
        throw RuntimeError(ErrorNumber::kInvalidCall);
    }
    m_seed = detail::xorStreamReference(dst, dst, static_cast<std::size_t>(count), m_seed);
    m_pending = 0;
    return static_cast<std::size_t>(count);
}

}  // namespace kerfo::cipher
