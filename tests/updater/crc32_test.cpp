#include "updater/Crc32.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

namespace {

// Bit by bit, straight from the definition: the reference for the fast paths.
std::uint32_t referenceCrc(const unsigned char* bytes, std::size_t length)
{
    std::uint32_t c = 0xFFFFFFFFu;
    for (std::size_t i = 0; i < length; ++i) {
        c ^= bytes[i];
        for (int bit = 0; bit < 8; ++bit)
            c = (c & 1) ? (c >> 1) ^ 0xEDB88320u : c >> 1;
    }
    return ~c;
}

TEST(UpdaterCrc32, KnownVectors)
{
    struct Case {
        std::string text;
        std::uint32_t crc;
    } cases[] = {
        {"", 0x00000000u},
        {"a", 0xE8B7BE43u},
        {"123456789", 0xCBF43926u},
        {"The quick brown fox jumps over the lazy dog", 0x414FA339u},
        {std::string(1000000, 'a'), 0xDC25BFBCu},
    };
    for (const Case& c : cases)
        EXPECT_EQ(updater::crc32Update(0, c.text.data(), c.text.size()), c.crc) << c.text.substr(0, 20);
}

// Lengths and offsets around the 16- and 64-byte steps of the folded path, where a wrong
// constant or tail would show.
TEST(UpdaterCrc32, EveryLengthAndAlignmentMatchesTheDefinition)
{
    std::vector<unsigned char> bytes(4096 + 16);
    for (std::size_t i = 0; i < bytes.size(); ++i)
        bytes[i] = static_cast<unsigned char>((i * 2654435761u) >> 13);
    for (std::size_t offset = 0; offset < 4; ++offset)
        for (std::size_t length : {0, 1, 15, 16, 17, 63, 64, 65, 79, 80, 127, 128, 129, 1000, 4096})
            EXPECT_EQ(updater::crc32Update(0, bytes.data() + offset, length),
                      referenceCrc(bytes.data() + offset, length))
                << "offset " << offset << " length " << length;
}

TEST(UpdaterCrc32, ContinuesAcrossPieces)
{
    std::vector<unsigned char> bytes(10000);
    for (std::size_t i = 0; i < bytes.size(); ++i)
        bytes[i] = static_cast<unsigned char>(i * 7 + 3);
    const std::uint32_t whole = updater::crc32Update(0, bytes.data(), bytes.size());
    for (std::size_t split : {1, 63, 64, 100, 8192, 9999}) {
        const std::uint32_t first = updater::crc32Update(0, bytes.data(), split);
        EXPECT_EQ(updater::crc32Update(first, bytes.data() + split, bytes.size() - split), whole) << split;
    }
}

} // namespace
