// printf-style formatting into a std::string of exactly the right size.
#pragma once

#include <cstdio>
#include <string>

namespace platform {

// The formatted text; empty when the pattern produces nothing or fails.
template <typename... Args>
std::string StringFormat(const char* pattern, Args... args)
{
    const int size = std::snprintf(nullptr, 0, pattern, args...);
    if (size <= 0)
        return {};
    std::string text(static_cast<std::size_t>(size) + 1, '\0');
    std::snprintf(text.data(), text.size(), pattern, args...);
    text.resize(static_cast<std::size_t>(size));
    return text;
}

} // namespace platform
