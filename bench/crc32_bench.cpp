// The updater's CRC-32 beside zlib's crc32 on the same buffers. Ours should reach at least
// zlib's throughput; compare the bytes_per_second of the pairs, or read "vs_zlib" on ours
// (our throughput over zlib's, measured in the same run).
#include "updater/Crc32.h"

#include <benchmark/benchmark.h>
#include <zlib.h>

#include <chrono>
#include <cstdint>
#include <vector>

namespace {

const std::vector<unsigned char>& buffer()
{
    static const std::vector<unsigned char> bytes = [] {
        std::vector<unsigned char> b(1 << 22);
        std::uint32_t x = 12345;
        for (auto& c : b) {
            x = x * 1103515245u + 12345u;
            c = static_cast<unsigned char>(x >> 24);
        }
        return b;
    }();
    return bytes;
}

// Seconds per call of `crc` on `length` bytes, over a fixed short run.
template <typename Crc>
double secondsPerCall(Crc crc, std::size_t length)
{
    const auto& bytes = buffer();
    constexpr int kCalls = 50;
    std::uint32_t sink = 0;
    const auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < kCalls; ++i)
        sink ^= crc(bytes.data(), length);
    benchmark::DoNotOptimize(sink);
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count() / kCalls;
}

std::uint32_t ours(const unsigned char* p, std::size_t n)
{
    return updater::crc32Update(0, p, n);
}

std::uint32_t zlibs(const unsigned char* p, std::size_t n)
{
    return static_cast<std::uint32_t>(crc32(0, p, static_cast<uInt>(n)));
}

void BM_UpdaterCrc32(benchmark::State& state)
{
    const std::size_t length = static_cast<std::size_t>(state.range(0));
    const auto& bytes = buffer();
    for (auto _ : state)
        benchmark::DoNotOptimize(updater::crc32Update(0, bytes.data(), length));
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * static_cast<std::int64_t>(length));
    state.counters["vs_zlib"] = secondsPerCall(zlibs, length) / secondsPerCall(ours, length);
}

void BM_ZlibCrc32(benchmark::State& state)
{
    const std::size_t length = static_cast<std::size_t>(state.range(0));
    const auto& bytes = buffer();
    for (auto _ : state)
        benchmark::DoNotOptimize(crc32(0, bytes.data(), static_cast<uInt>(length)));
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * static_cast<std::int64_t>(length));
}

// 8 KiB: one read block of the digest; 64 KiB and 4 MiB: long runs.
BENCHMARK(BM_UpdaterCrc32)->Arg(8 << 10)->Arg(64 << 10)->Arg(4 << 20);
BENCHMARK(BM_ZlibCrc32)->Arg(8 << 10)->Arg(64 << 10)->Arg(4 << 20);

} // namespace

BENCHMARK_MAIN();
