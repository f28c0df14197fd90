// Version texts: the manifest's "ver" against the client's version.
#include "FuzzInput.h"
#include "updater/Version.h"

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view text = fuzz::textOf(data, size);
    const std::size_t cut = text.find('\n');
    const std::string_view current = text.substr(0, cut);
    const std::string_view other = cut == std::string_view::npos ? std::string_view() : text.substr(cut + 1);
    (void)updater::versionWeight(current);
    // The order is strict: never newer both ways, never newer than itself.
    if (updater::newer(current, current) || (updater::newer(current, other) && updater::newer(other, current)))
        std::abort();
    return 0;
}
