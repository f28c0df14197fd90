// File contents for the updater's process tests.
#pragma once

#include "TempDir.h"

#include <filesystem>
#include <map>
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

// Every file below `folder`: relative path -> content.
inline std::map<std::string, std::string> contents(const std::filesystem::path& folder)
{
    std::map<std::string, std::string> files;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(folder))
        if (entry.is_regular_file())
            files[std::filesystem::relative(entry.path(), folder).string()] = testsupport::TempDir::readFile(entry.path());
    return files;
}

} // namespace updatertest
