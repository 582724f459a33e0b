// Throughput of the cipher's building blocks over 1 MiB and 64 MiB texts.
#include <benchmark/benchmark.h>

#include <string>

#include "cipher/cipher.h"
#include "cipher/digest.h"

namespace {

using kerfo::cipher::Cipher;

std::string sampleText(std::size_t size) {
    std::string s(size, '\0');
    for (std::size_t i = 0; i < size; ++i) s[i] = static_cast<char>((i * 2654435761u) >> 13);
    return s;
}

void BM_DoXor(benchmark::State& state) {
    const auto size = static_cast<std::size_t>(state.range(0));
    Cipher c;
    c.KeyString("[Kerfod]SALTsaltDIGESTdi");
    c.Text(sampleText(size));
    for (auto _ : state) {
        c.DoXor();
        benchmark::DoNotOptimize(c.Text().data());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * state.range(0));
}

void BM_Stretch(benchmark::State& state) {
    const auto size = static_cast<std::size_t>(state.range(0));
    const std::string plain = sampleText(size);
    Cipher c;
    for (auto _ : state) {
        state.PauseTiming();
        c.Text(plain);
        state.ResumeTiming();
        c.Stretch();
        benchmark::DoNotOptimize(c.Text().data());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * state.range(0));
}

void BM_Shrink(benchmark::State& state) {
    const auto size = static_cast<std::size_t>(state.range(0));
    Cipher c;
    c.Text(sampleText(size));
    c.Stretch();
    const std::string body = c.Text();
    for (auto _ : state) {
        state.PauseTiming();
        c.Text(body);
        state.ResumeTiming();
        c.Shrink();
        benchmark::DoNotOptimize(c.Text().data());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * state.range(0));
}

void BM_Hash(benchmark::State& state) {
    const std::string input = sampleText(static_cast<std::size_t>(state.range(0)));
    for (auto _ : state) benchmark::DoNotOptimize(kerfo::cipher::Hash(input));
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * state.range(0));
}

constexpr int64_t kMiB = 1 << 20;

}  // namespace

BENCHMARK(BM_DoXor)->Arg(kMiB)->Arg(64 * kMiB)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Stretch)->Arg(kMiB)->Arg(64 * kMiB)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Shrink)->Arg(kMiB)->Arg(64 * kMiB)->Unit(benchmark::kMillisecond);
// The digest's input is limited by its keying; these are the sizes a salt and a password see.
BENCHMARK(BM_Hash)->Arg(16)->Arg(1024)->Unit(benchmark::kMicrosecond);
