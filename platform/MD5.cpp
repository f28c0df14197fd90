#include "platform/MD5.h"

#include <cstring>

namespace velmar {

namespace {

inline std::uint32_t load32(const unsigned char* p)
{
    std::uint32_t v;
    std::memcpy(&v, p, 4);
#if __BYTE_ORDER__ == __ORDER_BIG_ENDIAN__
    v = __builtin_bswap32(v);
#endif
    return v;
}

inline std::uint32_t rotl(std::uint32_t x, int c) { return (x << c) | (x >> (32 - c)); }

// The four round functions in forms that compile to few instructions.
#define MD5_F(x, y, z) ((z) ^ ((x) & ((y) ^ (z))))
#define MD5_G(x, y, z) (((x) & (z)) + ((y) & ~(z)))
#define MD5_H(x, y, z) ((x) ^ (y) ^ (z))
#define MD5_I(x, y, z) ((y) ^ ((x) | ~(z)))

// x + t does not depend on the previous step, so it is added first.
#define MD5_STEP(f, a, b, c, d, x, t, s)        \
    a += (x) + (t);                             \
    a += f(b, c, d);                            \
    a = rotl(a, s) + (b);

} // namespace

MD5::MD5()
    : m_state{0x67452301u, 0xefcdab89u, 0x98badcfeu, 0x10325476u}
{
}

void MD5::transform(const unsigned char* p, std::size_t blocks)
{
    std::uint32_t a = m_state[0], b = m_state[1], c = m_state[2], d = m_state[3];
    for (; blocks > 0; --blocks, p += 64) {
        const std::uint32_t x0 = load32(p), x1 = load32(p + 4), x2 = load32(p + 8),
                            x3 = load32(p + 12), x4 = load32(p + 16), x5 = load32(p + 20),
                            x6 = load32(p + 24), x7 = load32(p + 28), x8 = load32(p + 32),
                            x9 = load32(p + 36), x10 = load32(p + 40), x11 = load32(p + 44),
                            x12 = load32(p + 48), x13 = load32(p + 52), x14 = load32(p + 56),
                            x15 = load32(p + 60);
        const std::uint32_t aa = a, bb = b, cc = c, dd = d;

        MD5_STEP(MD5_F, a, b, c, d, x0, 0xd76aa478, 7)
        MD5_STEP(MD5_F, d, a, b, c, x1, 0xe8c7b756, 12)
        MD5_STEP(MD5_F, c, d, a, b, x2, 0x242070db, 17)
        MD5_STEP(MD5_F, b, c, d, a, x3, 0xc1bdceee, 22)
        MD5_STEP(MD5_F, a, b, c, d, x4, 0xf57c0faf, 7)
        MD5_STEP(MD5_F, d, a, b, c, x5, 0x4787c62a, 12)
        MD5_STEP(MD5_F, c, d, a, b, x6, 0xa8304613, 17)
        MD5_STEP(MD5_F, b, c, d, a, x7, 0xfd469501, 22)
        MD5_STEP(MD5_F, a, b, c, d, x8, 0x698098d8, 7)
        MD5_STEP(MD5_F, d, a, b, c, x9, 0x8b44f7af, 12)
        MD5_STEP(MD5_F, c, d, a, b, x10, 0xffff5bb1, 17)
        MD5_STEP(MD5_F, b, c, d, a, x11, 0x895cd7be, 22)
        MD5_STEP(MD5_F, a, b, c, d, x12, 0x6b901122, 7)
        MD5_STEP(MD5_F, d, a, b, c, x13, 0xfd987193, 12)
        MD5_STEP(MD5_F, c, d, a, b, x14, 0xa679438e, 17)
        MD5_STEP(MD5_F, b, c, d, a, x15, 0x49b40821, 22)

        MD5_STEP(MD5_G, a, b, c, d, x1, 0xf61e2562, 5)
        MD5_STEP(MD5_G, d, a, b, c, x6, 0xc040b340, 9)
        MD5_STEP(MD5_G, c, d, a, b, x11, 0x265e5a51, 14)
        MD5_STEP(MD5_G, b, c, d, a, x0, 0xe9b6c7aa, 20)
        MD5_STEP(MD5_G, a, b, c, d, x5, 0xd62f105d, 5)
        MD5_STEP(MD5_G, d, a, b, c, x10, 0x02441453, 9)
        MD5_STEP(MD5_G, c, d, a, b, x15, 0xd8a1e681, 14)
        MD5_STEP(MD5_G, b, c, d, a, x4, 0xe7d3fbc8, 20)
        MD5_STEP(MD5_G, a, b, c, d, x9, 0x21e1cde6, 5)
        MD5_STEP(MD5_G, d, a, b, c, x14, 0xc33707d6, 9)
        MD5_STEP(MD5_G, c, d, a, b, x3, 0xf4d50d87, 14)
        MD5_STEP(MD5_G, b, c, d, a, x8, 0x455a14ed, 20)
        MD5_STEP(MD5_G, a, b, c, d, x13, 0xa9e3e905, 5)
        MD5_STEP(MD5_G, d, a, b, c, x2, 0xfcefa3f8, 9)
        MD5_STEP(MD5_G, c, d, a, b, x7, 0x676f02d9, 14)
        MD5_STEP(MD5_G, b, c, d, a, x12, 0x8d2a4c8a, 20)

        MD5_STEP(MD5_H, a, b, c, d, x5, 0xfffa3942, 4)
        MD5_STEP(MD5_H, d, a, b, c, x8, 0x8771f681, 11)
        MD5_STEP(MD5_H, c, d, a, b, x11, 0x6d9d6122, 16)
        MD5_STEP(MD5_H, b, c, d, a, x14, 0xfde5380c, 23)
        MD5_STEP(MD5_H, a, b, c, d, x1, 0xa4beea44, 4)
        MD5_STEP(MD5_H, d, a, b, c, x4, 0x4bdecfa9, 11)
        MD5_STEP(MD5_H, c, d, a, b, x7, 0xf6bb4b60, 16)
        MD5_STEP(MD5_H, b, c, d, a, x10, 0xbebfbc70, 23)
        MD5_STEP(MD5_H, a, b, c, d, x13, 0x289b7ec6, 4)
        MD5_STEP(MD5_H, d, a, b, c, x0, 0xeaa127fa, 11)
        MD5_STEP(MD5_H, c, d, a, b, x3, 0xd4ef3085, 16)
        MD5_STEP(MD5_H, b, c, d, a, x6, 0x04881d05, 23)
        MD5_STEP(MD5_H, a, b, c, d, x9, 0xd9d4d039, 4)
        MD5_STEP(MD5_H, d, a, b, c, x12, 0xe6db99e5, 11)
        MD5_STEP(MD5_H, c, d, a, b, x15, 0x1fa27cf8, 16)
        MD5_STEP(MD5_H, b, c, d, a, x2, 0xc4ac5665, 23)

        MD5_STEP(MD5_I, a, b, c, d, x0, 0xf4292244, 6)
        MD5_STEP(MD5_I, d, a, b, c, x7, 0x432aff97, 10)
        MD5_STEP(MD5_I, c, d, a, b, x14, 0xab9423a7, 15)
        MD5_STEP(MD5_I, b, c, d, a, x5, 0xfc93a039, 21)
        MD5_STEP(MD5_I, a, b, c, d, x12, 0x655b59c3, 6)
        MD5_STEP(MD5_I, d, a, b, c, x3, 0x8f0ccc92, 10)
        MD5_STEP(MD5_I, c, d, a, b, x10, 0xffeff47d, 15)
        MD5_STEP(MD5_I, b, c, d, a, x1, 0x85845dd1, 21)
        MD5_STEP(MD5_I, a, b, c, d, x8, 0x6fa87e4f, 6)
        MD5_STEP(MD5_I, d, a, b, c, x15, 0xfe2ce6e0, 10)
        MD5_STEP(MD5_I, c, d, a, b, x6, 0xa3014314, 15)
        MD5_STEP(MD5_I, b, c, d, a, x13, 0x4e0811a1, 21)
        MD5_STEP(MD5_I, a, b, c, d, x4, 0xf7537e82, 6)
        MD5_STEP(MD5_I, d, a, b, c, x11, 0xbd3af235, 10)
        MD5_STEP(MD5_I, c, d, a, b, x2, 0x2ad7d2bb, 15)
        MD5_STEP(MD5_I, b, c, d, a, x9, 0xeb86d391, 21)

        a += aa;
        b += bb;
        c += cc;
        d += dd;
    }
    m_state[0] = a;
    m_state[1] = b;
    m_state[2] = c;
    m_state[3] = d;
}

#undef MD5_STEP
#undef MD5_F
#undef MD5_G
#undef MD5_H
#undef MD5_I

void MD5::update(const unsigned char* bytes, long length)
{
    if (m_finalized || bytes == nullptr || length <= 0)
        return;
    std::size_t n = static_cast<std::size_t>(length);
    const std::size_t used = static_cast<std::size_t>(m_bytes % 64);
    m_bytes += n;

    if (used != 0) {
        const std::size_t fill = 64 - used;
        if (n < fill) {
            std::memcpy(m_buffer + used, bytes, n);
            return;
        }
        std::memcpy(m_buffer + used, bytes, fill);
        transform(m_buffer, 1);
        bytes += fill;
        n -= fill;
    }
    // Whole blocks are digested where they lie.
    if (n >= 64) {
        transform(bytes, n / 64);
        bytes += n & ~std::size_t{63};
        n &= 63;
    }
    if (n != 0)
        std::memcpy(m_buffer, bytes, n);
}

void MD5::update(const char* bytes, long length)
{
    update(reinterpret_cast<const unsigned char*>(bytes), length);
}

void MD5::update(const std::string& text)
{
    update(text.data(), static_cast<long>(text.size()));
}

void MD5::finalize()
{
    if (m_finalized)
        return;
    const std::uint64_t bits = m_bytes * 8;
    std::size_t used = static_cast<std::size_t>(m_bytes % 64);
    m_buffer[used++] = 0x80;
    if (used > 56) {
        std::memset(m_buffer + used, 0, 64 - used);
        transform(m_buffer, 1);
        used = 0;
    }
    std::memset(m_buffer + used, 0, 56 - used);
    for (int i = 0; i < 8; ++i)
        m_buffer[56 + i] = static_cast<unsigned char>(bits >> (8 * i));
    transform(m_buffer, 1);
    m_finalized = true;
}

std::array<unsigned char, 16> MD5::digest()
{
    finalize();
    std::array<unsigned char, 16> out;
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 4; ++j)
            out[4 * i + j] = static_cast<unsigned char>(m_state[i] >> (8 * j));
    return out;
}

std::string MD5::hexdigest()
{
    static constexpr char kHex[] = "0123456789abcdef";
    const auto bytes = digest();
    std::string text(32, '0');
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        text[2 * i] = kHex[bytes[i] >> 4];
        text[2 * i + 1] = kHex[bytes[i] & 0x0f];
    }
    return text;
}

std::string md5(const std::string& text)
{
    MD5 digest;
    digest.update(text);
    return digest.hexdigest();
}

} // namespace velmar
