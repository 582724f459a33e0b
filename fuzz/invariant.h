// What every fuzz target shares: how it reports a broken invariant, and the count of
// inputs that reached each of its outcomes, printed when the run ends, so that a target
// whose success branch is never reached shows it (scripts/fuzz.sh fails on a success
// count of 0).
#pragma once

#include <array>
#include <cstddef>
#include <cstdio>
#include <cstdlib>

namespace kerfo::fuzz {

// A line libFuzzer keeps in its log, then an abort, which libFuzzer records as a crash
// with the input that caused it.
[[noreturn]] inline void broken(const char* what) {
    __builtin_printf("invariant broken: %s\n", what);
    std::abort();
}

// Counts inputs per outcome; at the end of the process prints
// "outcomes: <name> <count>, <name> <count>, ..." on standard error. Make one as a
// function-local static: libFuzzer ends a run through exit(), which destroys it.
template <std::size_t N>
class Outcomes {
public:
    explicit Outcomes(const std::array<const char*, N>& names) : m_names(names) {}
    ~Outcomes() {
        std::fputs("outcomes:", stderr);
        for (std::size_t i = 0; i < N; ++i) {
            std::fprintf(stderr, "%s %s %zu", i == 0 ? "" : ",", m_names[i], m_counts[i]);
        }
        std::fputs("\n", stderr);
    }
    Outcomes(const Outcomes&) = delete;
    Outcomes& operator=(const Outcomes&) = delete;

    // One more input reached outcome `index` (an index into the names).
    void add(std::size_t index) { ++m_counts[index]; }

private:
    std::array<const char*, N> m_names;
    std::array<std::size_t, N> m_counts{};
};

}  // namespace kerfo::fuzz
