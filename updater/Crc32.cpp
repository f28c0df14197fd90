#include "updater/Crc32.h"

#include <array>
#include <cstring>

#if defined(__x86_64__)
#include <immintrin.h>
#endif

namespace updater {
namespace {

constexpr std::uint32_t kPolynomial = 0xEDB88320u;
constexpr int kSlices = 16;

using Tables = std::array<std::array<std::uint32_t, 256>, kSlices>;

// Slicing-by-16: table k gives the CRC contribution of a byte followed by k zero bytes,
// so sixteen input bytes cost sixteen independent look-ups per step.
constexpr Tables makeTables()
{
    Tables tables{};
    for (std::uint32_t n = 0; n < 256; ++n) {
        std::uint32_t c = n;
        for (int bit = 0; bit < 8; ++bit)
            c = (c & 1) ? (c >> 1) ^ kPolynomial : c >> 1;
        tables[0][n] = c;
    }
    for (std::uint32_t n = 0; n < 256; ++n)
        for (int k = 1; k < kSlices; ++k)
            tables[k][n] = (tables[k - 1][n] >> 8) ^ tables[0][tables[k - 1][n] & 0xFF];
    return tables;
}

constexpr Tables kTables = makeTables();

inline std::uint32_t load32(const unsigned char* p)
{
    std::uint32_t value;
    std::memcpy(&value, p, sizeof value);
    return value; // little-endian host assumed, as on every machine we ship for
}

// Works on the internal (complemented) register value.
std::uint32_t sliced(std::uint32_t c, const unsigned char* p, std::size_t length)
{
    const auto& t = kTables;
    while (length >= 16) {
        const std::uint32_t a = load32(p) ^ c;
        const std::uint32_t b = load32(p + 4);
        const std::uint32_t d = load32(p + 8);
        const std::uint32_t e = load32(p + 12);
        c = t[15][a & 0xFF] ^ t[14][(a >> 8) & 0xFF] ^ t[13][(a >> 16) & 0xFF] ^ t[12][a >> 24] ^
            t[11][b & 0xFF] ^ t[10][(b >> 8) & 0xFF] ^ t[9][(b >> 16) & 0xFF] ^ t[8][b >> 24] ^
            t[7][d & 0xFF] ^ t[6][(d >> 8) & 0xFF] ^ t[5][(d >> 16) & 0xFF] ^ t[4][d >> 24] ^
            t[3][e & 0xFF] ^ t[2][(e >> 8) & 0xFF] ^ t[1][(e >> 16) & 0xFF] ^ t[0][e >> 24];
        p += 16;
        length -= 16;
    }
    while (length-- > 0)
        c = (c >> 8) ^ t[0][(c ^ *p++) & 0xFF];
    return c;
}

#if defined(__x86_64__)
// Carry-less multiplication folding: four 128-bit lanes are folded forward 64 bytes at a
// time, then into one lane, then reduced to 32 bits (Barrett reduction, bit-reflected).
// The constants are powers of x modulo the polynomial for the reflected domain.
// `length` is at least 64 and a multiple of 16.
#define KAVREL_CLMUL_TARGET __attribute__((target("pclmul,sse4.1")))

KAVREL_CLMUL_TARGET inline __m128i load(const unsigned char* at)
{
    return _mm_loadu_si128(reinterpret_cast<const __m128i*>(at));
}

// x (128 bits) moved forward by the distance k stands for, added to the next block.
KAVREL_CLMUL_TARGET inline __m128i fold(__m128i x, __m128i k, __m128i next)
{
    const __m128i lo = _mm_clmulepi64_si128(x, k, 0x00);
    const __m128i hi = _mm_clmulepi64_si128(x, k, 0x11);
    return _mm_xor_si128(_mm_xor_si128(lo, hi), next);
}

__attribute__((target("pclmul,sse4.1"))) std::uint32_t folded(std::uint32_t c, const unsigned char* p,
                                                               std::size_t length)
{
    const __m128i k1k2 = _mm_set_epi64x(0x1c6e41596, 0x154442bd4);
    const __m128i k3k4 = _mm_set_epi64x(0x0ccaa009e, 0x1751997d0);
    const __m128i k5 = _mm_set_epi64x(0, 0x163cd6124);
    const __m128i poly = _mm_set_epi64x(0x1F7011641, 0x1DB710641);
    const __m128i mask32 = _mm_set_epi32(0, 0, 0, -1);

    __m128i x1 = _mm_xor_si128(load(p), _mm_cvtsi32_si128(static_cast<int>(c)));
    __m128i x2 = load(p + 16);
    __m128i x3 = load(p + 32);
    __m128i x4 = load(p + 48);
    p += 64;
    length -= 64;
    while (length >= 64) {
        x1 = fold(x1, k1k2, load(p));
        x2 = fold(x2, k1k2, load(p + 16));
        x3 = fold(x3, k1k2, load(p + 32));
        x4 = fold(x4, k1k2, load(p + 48));
        p += 64;
        length -= 64;
    }
    x1 = fold(x1, k3k4, x2);
    x1 = fold(x1, k3k4, x3);
    x1 = fold(x1, k3k4, x4);
    while (length >= 16) {
        x1 = fold(x1, k3k4, load(p));
        p += 16;
        length -= 16;
    }

    // 128 -> 64 bits, appending 32 zero bits.
    x1 = _mm_xor_si128(_mm_clmulepi64_si128(x1, k3k4, 0x10), _mm_srli_si128(x1, 8));
    // 64 -> 32 bits.
    __m128i shifted = _mm_srli_si128(x1, 4);
    x1 = _mm_xor_si128(_mm_clmulepi64_si128(_mm_and_si128(x1, mask32), k5, 0x00), shifted);
    // Barrett reduction.
    const __m128i kept = x1;
    x1 = _mm_clmulepi64_si128(_mm_and_si128(x1, mask32), poly, 0x10);
    x1 = _mm_clmulepi64_si128(_mm_and_si128(x1, mask32), poly, 0x00);
    x1 = _mm_xor_si128(x1, kept);
    return static_cast<std::uint32_t>(_mm_extract_epi32(x1, 1));
}

bool hasCarrylessMultiply()
{
    static const bool has = __builtin_cpu_supports("pclmul") && __builtin_cpu_supports("sse4.1");
    return has;
}
#endif

} // namespace

std::uint32_t crc32Update(std::uint32_t crc, const void* bytes, std::size_t length)
{
    static_assert(__BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__, "the sliced CRC reads words little-endian");
    const auto* p = static_cast<const unsigned char*>(bytes);
    std::uint32_t c = ~crc;
#if defined(__x86_64__)
    if (length >= 64 && hasCarrylessMultiply()) {
        const std::size_t whole = length & ~std::size_t{15};
        c = folded(c, p, whole);
        p += whole;
        length -= whole;
    }
#endif
    return ~sliced(c, p, length);
}

} // namespace updater
