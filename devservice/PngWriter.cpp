#include "devservice/PngWriter.h"

#include <algorithm>
#include <array>
#include <cmath>

namespace devservice {

namespace {

std::uint32_t crc32(const std::string& bytes)
{
    static const std::array<std::uint32_t, 256> table = [] {
        std::array<std::uint32_t, 256> t{};
        for (std::uint32_t n = 0; n < 256; ++n) {
            std::uint32_t c = n;
            for (int k = 0; k < 8; ++k)
                c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
            t[n] = c;
        }
        return t;
    }();
    std::uint32_t c = 0xFFFFFFFFu;
    for (unsigned char b : bytes)
        c = table[(c ^ b) & 0xFF] ^ (c >> 8);
    return c ^ 0xFFFFFFFFu;
}

std::uint32_t adler32(const std::string& bytes)
{
    std::uint32_t a = 1, b = 0;
    for (unsigned char c : bytes) {
        a = (a + c) % 65521;
        b = (b + a) % 65521;
    }
    return (b << 16) | a;
}

void putBig32(std::string& out, std::uint32_t v)
{
    out += static_cast<char>(v >> 24);
    out += static_cast<char>(v >> 16);
    out += static_cast<char>(v >> 8);
    out += static_cast<char>(v);
}

void putChunk(std::string& out, const char* type, const std::string& data)
{
    putBig32(out, static_cast<std::uint32_t>(data.size()));
    std::string typed = type;
    typed += data;
    out += typed;
    putBig32(out, crc32(typed));
}

// A zlib stream of stored blocks (at most 65535 bytes each).
std::string storedZlib(const std::string& raw)
{
    std::string out = "\x78\x01";
    std::size_t at = 0;
    do {
        const std::size_t n = std::min<std::size_t>(65535, raw.size() - at);
        const bool last = at + n == raw.size();
        out += static_cast<char>(last ? 1 : 0);
        out += static_cast<char>(n & 0xFF);
        out += static_cast<char>(n >> 8);
        out += static_cast<char>(~n & 0xFF);
        out += static_cast<char>((~n >> 8) & 0xFF);
        out.append(raw, at, n);
        at += n;
    } while (at < raw.size());
    putBig32(out, adler32(raw));
    return out;
}

Rgba blend(Rgba under, Rgba over, double coverage)
{
    const auto mix = [&](std::uint8_t a, std::uint8_t b) {
        return static_cast<std::uint8_t>(std::lround(a + (b - a) * coverage));
    };
    return {mix(under.r, over.r), mix(under.g, over.g), mix(under.b, over.b), mix(under.a, over.a)};
}

double clamp01(double v)
{
    return std::clamp(v, 0.0, 1.0);
}

} // namespace

Image::Image(int width, int height, Rgba fill)
    : m_width(width), m_height(height), m_pixels(static_cast<std::size_t>(width) * height, fill)
{
}

std::string EncodePng(const Image& image)
{
    std::string out = "\x89PNG\r\n\x1a\n";
    std::string header;
    putBig32(header, static_cast<std::uint32_t>(image.width()));
    putBig32(header, static_cast<std::uint32_t>(image.height()));
    header += '\x08'; // bit depth
    header += '\x06'; // RGBA
    header += std::string(3, '\0');
    putChunk(out, "IHDR", header);

    std::string raw;
    raw.reserve(static_cast<std::size_t>(image.height()) * (image.width() * 4 + 1));
    for (int y = 0; y < image.height(); ++y) {
        raw += '\0'; // no filter
        for (int x = 0; x < image.width(); ++x) {
            const Rgba& p = image.at(x, y);
            raw += static_cast<char>(p.r);
            raw += static_cast<char>(p.g);
            raw += static_cast<char>(p.b);
            raw += static_cast<char>(p.a);
        }
    }
    putChunk(out, "IDAT", storedZlib(raw));
    putChunk(out, "IEND", {});
    return out;
}

Image MemberPicture(int size, Rgba colour)
{
    Image image(size, size, Rgba{0, 0, 0, 0});
    const double c = size / 2.0;
    const Rgba light{255, 255, 255, 235};
    for (int y = 0; y < size; ++y) {
        for (int x = 0; x < size; ++x) {
            const double px = x + 0.5, py = y + 0.5;
            // Badge: a disc with a soft edge and a light-to-dark vertical shade.
            const double r = std::hypot(px - c, py - c);
            const double disc = clamp01(c - 1 - r);
            const double shade = 1.0 - 0.25 * (py / size);
            Rgba badge{static_cast<std::uint8_t>(colour.r * shade), static_cast<std::uint8_t>(colour.g * shade),
                       static_cast<std::uint8_t>(colour.b * shade), 255};
            Rgba pixel = blend(image.at(x, y), badge, disc);
            // Head and shoulders.
            const double head = clamp01(size * 0.17 - std::hypot(px - c, py - size * 0.38));
            const double bodyR = std::hypot((px - c) / (size * 0.30), (py - size * 0.92) / (size * 0.30));
            const double body = clamp01((1.0 - bodyR) * size * 0.30);
            pixel = blend(pixel, light, std::max(head, body) * disc);
            image.at(x, y) = pixel;
        }
    }
    return image;
}

} // namespace devservice
