// Helpers shared by the fuzz targets.
#pragma once

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <unistd.h>

namespace fuzz {

inline std::string_view textOf(const std::uint8_t* data, std::size_t size)
{
    return {reinterpret_cast<const char*>(data), size};
}

// For readers that only take a path: the input written to a file of this process
// (in $TMPDIR, else /tmp), replaced on every call.
inline const std::string& asFile(const std::uint8_t* data, std::size_t size, const char* name)
{
    static const std::string path = [name] {
        const char* folder = std::getenv("TMPDIR");
        return std::string(folder && *folder ? folder : "/tmp") + "/kavrel-fuzz-" + std::to_string(::getpid()) + "-" +
               name;
    }();
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (!file)
        std::abort(); // a fuzz run that cannot write its input would test nothing
    std::fwrite(data, 1, size, file);
    std::fclose(file);
    return path;
}

} // namespace fuzz
