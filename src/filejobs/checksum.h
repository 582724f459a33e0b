// A running checksum of a byte stream (four 64-bit lanes, folded to 128 bits): the jobs
// compare what they meant to write with what reads back, without holding either in
// memory. It guards against lost, truncated or damaged writes, not against deliberate
// forgery. Four independent lanes keep it far faster than the storage it checks.
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
        if (m_pending > 0) {
            const std::size_t take = size < kStripe - m_pending ? size : kStripe - m_pending;
            std::memcpy(m_stripe + m_pending, data, take);
            m_pending += take;
            data += take;
            size -= take;
            if (m_pending < kStripe) return;
            mixStripe(m_stripe);
            m_pending = 0;
        }
        for (; size >= kStripe; data += kStripe, size -= kStripe) {
            mixStripe(data);
        }
        std::memcpy(m_stripe, data, size);
        m_pending = size;
    }

    bool operator==(const Checksum& other) const {
        std::uint64_t a[2];
        std::uint64_t b[2];
        digest(a);
        other.digest(b);
        return a[0] == b[0] && a[1] == b[1] && m_length == other.m_length;
    }
    bool operator!=(const Checksum& other) const { return !(*this == other); }

private:
    static constexpr std::size_t kStripe = 32;
    static constexpr std::uint64_t kP1 = 0x9E3779B185EBCA87ull;
    static constexpr std::uint64_t kP2 = 0xC2B2AE3D27D4EB4Full;

    static std::uint64_t rotl(std::uint64_t x, int r) { return (x << r) | (x >> (64 - r)); }
    static std::uint64_t round(std::uint64_t lane, std::uint64_t word) {
        return rotl(lane + word * kP2, 31) * kP1;
    }

    void mixStripe(const char* p) {
        for (int i = 0; i < 4; ++i) {
            std::uint64_t w = 0;
            std::memcpy(&w, p + 8 * i, 8);
            m_lanes[i] = round(m_lanes[i], w);
        }
    }

    // Two 64-bit values from the lanes, the bytes still pending and the length.
    void digest(std::uint64_t out[2]) const {
        unsigned char tail[kStripe] = {};
        std::memcpy(tail, m_stripe, m_pending);
        std::uint64_t lanes[4] = {m_lanes[0], m_lanes[1], m_lanes[2], m_lanes[3]};
        for (int i = 0; i < 4; ++i) {
            std::uint64_t w = 0;
            std::memcpy(&w, tail + 8 * i, 8);
            lanes[i] = round(lanes[i], w ^ m_length);
        }
        out[0] = rotl(lanes[0], 1) ^ rotl(lanes[1], 7) ^ rotl(lanes[2], 12) ^ rotl(lanes[3], 18);
        out[1] = (lanes[0] * kP1) ^ (lanes[1] * kP2) ^ rotl(lanes[2] * kP1, 29) ^
                 rotl(lanes[3] * kP2, 43);
    }

    std::uint64_t m_lanes[4] = {0x243F6A8885A308D3ull, 0x13198A2E03707344ull,
                                0xA4093822299F31D0ull, 0x082EFA98EC4E6C89ull};
    std::uint64_t m_length = 0;
    char m_stripe[kStripe] = {};
    std::size_t m_pending = 0;
};

}  // namespace kerfo::filejobs
