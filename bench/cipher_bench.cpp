// Throughput of the cipher's building blocks over 1 MiB and 64 MiB texts, and of the whole
// content transforms of the encrypted file over 256 MiB, fed in 1 MiB chunks as the file
// jobs feed them. KERFO_CIPHER_KERNELS=portable (or avx2, avx512) picks a kernel build.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <string>
#include <string_view>

#include "cipher/cipher.h"
#include "cipher/digest.h"
#include "cipher/kernels.h"
#include "cipher/stretch.h"
#include "cipher/transform.h"

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
constexpr std::size_t kChunk = 1 << 20;
constexpr std::string_view kHeader = "[Kerfod]SALTsaltDIGESTdi";

std::string encryptAll(std::string_view plain, std::string& chunkOut) {
    kerfo::cipher::EncryptTransform t(kerfo::cipher::keyState(kHeader));
    std::string all;
    for (std::size_t off = 0; off < plain.size(); off += kChunk) {
        all.append(chunkOut.data(), t.update(plain.substr(off, kChunk), chunkOut.data()));
    }
    all.append(chunkOut.data(), t.finish(chunkOut.data()));
    return all;
}

void BM_EncryptTransform(benchmark::State& state) {
    const std::string plain = sampleText(static_cast<std::size_t>(state.range(0)));
    std::string out(kerfo::cipher::EncryptTransform::maxOutput(kChunk), '\0');
    for (auto _ : state) {
        kerfo::cipher::EncryptTransform t(kerfo::cipher::keyState(kHeader));
        std::size_t written = 0;
        for (std::size_t off = 0; off < plain.size(); off += kChunk) {
            written += t.update(std::string_view(plain).substr(off, kChunk), out.data());
            benchmark::DoNotOptimize(out.data());
        }
        written += t.finish(out.data());
        benchmark::DoNotOptimize(written);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * state.range(0));
    state.SetLabel(kerfo::cipher::detail::bestKernels().name);
}

void BM_DecryptTransform(benchmark::State& state) {
    std::string out(kerfo::cipher::EncryptTransform::maxOutput(kChunk), '\0');
    const std::string body = encryptAll(sampleText(static_cast<std::size_t>(state.range(0))), out);
    for (auto _ : state) {
        kerfo::cipher::DecryptTransform t(kerfo::cipher::keyState(kHeader),
                                          kerfo::cipher::BodyCheck::kLikeShrink);
        std::size_t written = 0;
        for (std::size_t off = 0; off < body.size(); off += kChunk) {
            written += t.update(std::string_view(body).substr(off, kChunk), out.data());
            benchmark::DoNotOptimize(out.data());
        }
        written += t.finish(out.data());
        benchmark::DoNotOptimize(written);
    }
    // Counted in plain bytes, as the encryption is.
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * state.range(0));
    state.SetLabel(kerfo::cipher::detail::bestKernels().name);
}

// The one-step-at-a-time loops (XOR, then stretch) over the same chunks: the cost of the
// transform without any of the faster kernels, for comparison.
void BM_EncryptReference(benchmark::State& state) {
    const std::string plain = sampleText(static_cast<std::size_t>(state.range(0)));
    std::string xored(kChunk, '\0');
    std::string out(kerfo::cipher::stretchedLength(kChunk), '\0');
    for (auto _ : state) {
        std::uint32_t seed = 0x123456;
        for (std::size_t off = 0; off < plain.size(); off += kChunk) {
            const auto* in = reinterpret_cast<const unsigned char*>(plain.data() + off);
            auto* x = reinterpret_cast<unsigned char*>(xored.data());
            seed = kerfo::cipher::detail::xorStreamReference(in, x, kChunk, seed);
            kerfo::cipher::detail::stretchReference(x, kChunk, out.data());
            benchmark::DoNotOptimize(out.data());
        }
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * state.range(0));
}

// Each kernel build on its own, over 768 KiB of plain bytes that stay in the core's cache.
// Argument: the index into supportedKernels() (portable, avx2, avx512 as the CPU allows).
void kernelBench(benchmark::State& state, int which) {
    const auto sets = kerfo::cipher::detail::supportedKernels();
    const auto index = static_cast<std::size_t>(state.range(0));
    if (index >= sets.size()) {
        state.SkipWithError("kernel build not supported here");
        return;
    }
    const auto& k = *sets[index];
    constexpr std::size_t kGroups = 256 * 1024;
    std::string plain = sampleText(3 * kGroups);
    std::string chars(4 * kGroups, '\0');
    k.stretchGroups(reinterpret_cast<const unsigned char*>(plain.data()), kGroups, chars.data());
    auto* p = reinterpret_cast<unsigned char*>(plain.data());
    auto* c = reinterpret_cast<unsigned char*>(chars.data());
    std::uint32_t seed = 1;
    for (auto _ : state) {
        if (which == 0) seed = k.xorStream(p, p, 3 * kGroups, seed);
        if (which == 1) k.stretchGroups(p, kGroups, chars.data());
        if (which == 2) benchmark::DoNotOptimize(k.shrinkGroups(c, kGroups, p));
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * 3 * kGroups));
    state.SetLabel(k.name);
}

void BM_KernelXor(benchmark::State& state) { kernelBench(state, 0); }
void BM_KernelStretch(benchmark::State& state) { kernelBench(state, 1); }
void BM_KernelShrink(benchmark::State& state) { kernelBench(state, 2); }

}  // namespace

BENCHMARK(BM_KernelXor)->DenseRange(0, 2)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_KernelStretch)->DenseRange(0, 2)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_KernelShrink)->DenseRange(0, 2)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_DoXor)->Arg(kMiB)->Arg(64 * kMiB)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Stretch)->Arg(kMiB)->Arg(64 * kMiB)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Shrink)->Arg(kMiB)->Arg(64 * kMiB)->Unit(benchmark::kMillisecond);
// The digest's input is limited by its keying; these are the sizes a salt and a password see.
BENCHMARK(BM_Hash)->Arg(16)->Arg(1024)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_EncryptTransform)->Arg(256 * kMiB)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DecryptTransform)->Arg(256 * kMiB)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_EncryptReference)->Arg(256 * kMiB)->Unit(benchmark::kMillisecond);
