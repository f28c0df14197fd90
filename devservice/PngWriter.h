// A small PNG writer for the dev service's member pictures: 8-bit RGBA, stored (not
// compressed) deflate blocks, so it needs no compression library.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace devservice {

struct Rgba {
    std::uint8_t r = 0, g = 0, b = 0, a = 255;
};

class Image {
public:
    Image(int width, int height, Rgba fill = {});

    int width() const { return m_width; }
    int height() const { return m_height; }
    Rgba& at(int x, int y) { return m_pixels[static_cast<std::size_t>(y) * m_width + x]; }
    const Rgba& at(int x, int y) const { return m_pixels[static_cast<std::size_t>(y) * m_width + x]; }

private:
    int m_width;
    int m_height;
    std::vector<Rgba> m_pixels;
};

// The complete PNG file bytes of the image.
std::string EncodePng(const Image& image);

// A member picture: a round badge in the member's colour with a head-and-shoulders figure.
Image MemberPicture(int size, Rgba colour);

} // namespace devservice
