// velmar::MD5 against OpenSSL's MD5 on the same 1 MiB buffer. Our digest should reach at
// least 0.9 of OpenSSL's throughput; compare the bytes_per_second of the two benchmarks.
#include "platform/MD5.h"

#include <benchmark/benchmark.h>
#include <openssl/md5.h>

#include <cstdint>
#include <vector>

namespace {

const std::vector<unsigned char>& buffer()
{
    static const std::vector<unsigned char> bytes = [] {
        std::vector<unsigned char> b(1 << 20);
        std::uint32_t x = 12345;
        for (auto& c : b) {
            x = x * 1103515245u + 12345u;
            c = static_cast<unsigned char>(x >> 24);
        }
        return b;
    }();
    return bytes;
}

void BM_VelmarMd5(benchmark::State& state)
{
    const auto& bytes = buffer();
    for (auto _ : state) {
        velmar::MD5 digest;
        digest.update(bytes.data(), static_cast<long>(bytes.size()));
        benchmark::DoNotOptimize(digest.digest());
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * bytes.size());
}
BENCHMARK(BM_VelmarMd5);

// The low-level MD5 interface is deprecated in OpenSSL 3 but is still its fastest path.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
void BM_OpenSslMd5(benchmark::State& state)
{
    const auto& bytes = buffer();
    for (auto _ : state) {
        unsigned char out[MD5_DIGEST_LENGTH];
        MD5_CTX ctx;
        MD5_Init(&ctx);
        MD5_Update(&ctx, bytes.data(), bytes.size());
        MD5_Final(out, &ctx);
        benchmark::DoNotOptimize(out);
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * bytes.size());
}
#pragma GCC diagnostic pop
BENCHMARK(BM_OpenSslMd5);

} // namespace

BENCHMARK_MAIN();
