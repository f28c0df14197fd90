#include "updater/Version.h"

#include <array>
#include <limits>

namespace updater {
namespace {

// Like the C library's strtol on a 32-bit long: an out-of-range value saturates.
std::int32_t partValue(std::string_view part)
{
    std::size_t i = 0;
    while (i < part.size() && (part[i] == ' ' || part[i] == '\t' || part[i] == '\n' || part[i] == '\v' ||
                               part[i] == '\f' || part[i] == '\r'))
        ++i;
    bool negative = false;
    if (i < part.size() && (part[i] == '+' || part[i] == '-')) {
        negative = part[i] == '-';
        ++i;
    }
    std::int64_t value = 0;
    constexpr std::int64_t kLimit = std::int64_t{std::numeric_limits<std::int32_t>::max()} + 1;
    for (; i < part.size() && part[i] >= '0' && part[i] <= '9'; ++i) {
        value = value * 10 + (part[i] - '0');
        if (value > kLimit)
            value = kLimit;
    }
    if (negative)
        return static_cast<std::int32_t>(-value);
    return static_cast<std::int32_t>(std::min<std::int64_t>(value, std::numeric_limits<std::int32_t>::max()));
}

} // namespace

std::int32_t versionWeight(std::string_view version)
{
    std::array<std::int32_t, 4> parts{};
    std::size_t index = 0;
    std::size_t start = 0;
    while (index < parts.size()) {
        const std::size_t dot = version.find('.', start);
        parts[index++] = partValue(version.substr(start, dot == std::string_view::npos ? version.npos : dot - start));
        if (dot == std::string_view::npos)
            break;
        start = dot + 1;
    }
    // Unsigned arithmetic gives the two's-complement wrap without undefined behaviour.
    const std::uint32_t weight = static_cast<std::uint32_t>(parts[0]) * 1000000u +
                                 static_cast<std::uint32_t>(parts[1]) * 10000u +
                                 static_cast<std::uint32_t>(parts[2]) * 100u + static_cast<std::uint32_t>(parts[3]);
    return static_cast<std::int32_t>(weight);
}

bool newer(std::string_view current, std::string_view other)
{
    return versionWeight(current) < versionWeight(other);
}

} // namespace updater
