// A running 128-bit checksum of a byte stream: the jobs compare what they meant to
// write with what reads back, without holding either in memory. It guards against
// lost, truncated or damaged writes, not against deliberate forgery.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

namespace kerfo::filejobs {

class Checksum {
public:
    // Adds `size` bytes; the result depends only on the concatenated bytes, not on how
    // they were split into calls.
    void update(const char* data, std::size_t size) {
        m_length += size;
        while (size > 0 && m_pending > 0) {
            m_word[m_pending++] = static_cast<unsigned char>(*data++);
            --size;
            if (m_pending == 8) {
                mixPending();
            }
        }
        while (size >= 8) {
            std::uint64_t w = 0;
            std::memcpy(&w, data, 8);
            mix(w);
            data += 8;
            size -= 8;
        }
        while (size > 0) {
            m_word[m_pending++] = static_cast<unsigned char>(*data++);
            --size;
        }
    }

    bool operator==(const Checksum& other) const {
        const Checksum a = finished();
        const Checksum b = other.finished();
        return a.m_a == b.m_a && a.m_b == b.m_b && m_length == other.m_length;
    }
    bool operator!=(const Checksum& other) const { return !(*this == other); }

    std::uint64_t length() const { return m_length; }

private:
    void mix(std::uint64_t w) {
        m_a = rotl((m_a ^ w) * 0x9E3779B97F4A7C15ull, 29);
        m_b = rotl((m_b + w) * 0xC2B2AE3D27D4EB4Full, 31) ^ m_a;
    }
    void mixPending() {
        std::uint64_t w = 0;
        std::memcpy(&w, m_word, 8);
        mix(w);
        m_pending = 0;
    }
    // The state with the last partial word and the length folded in.
    Checksum finished() const {
        Checksum c = *this;
        if (c.m_pending > 0) {
            std::memset(c.m_word + c.m_pending, 0, 8 - c.m_pending);
            c.mixPending();
        }
        c.mix(m_length);
        return c;
    }
    static std::uint64_t rotl(std::uint64_t x, int r) { return (x << r) | (x >> (64 - r)); }

    std::uint64_t m_a = 0x243F6A8885A308D3ull;
    std::uint64_t m_b = 0x13198A2E03707344ull;
    std::uint64_t m_length = 0;
    unsigned char m_word[8] = {};
    std::size_t m_pending = 0;
};

}  // namespace kerfo::filejobs
