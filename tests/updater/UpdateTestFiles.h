// File contents for the updater's process tests.
#pragma once

#include <random>
#include <string>

namespace updatertest {

// `size` bytes that differ for every seed.
inline std::string randomBytes(std::size_t size, unsigned seed)
{
    std::mt19937 generator(seed);
    std::string bytes(size, '\0');
    for (char& c : bytes)
        c = static_cast<char>(generator());
    return bytes;
}

} // namespace updatertest
