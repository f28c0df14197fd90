// The staging manifest reader: a file in the member's documents folder.
#include "FuzzInput.h"
#include "updater/Manifest.h"
#include "updater/ManifestPath.h"

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const auto manifest = updater::parseStagingManifest(fuzz::textOf(data, size));
    if (manifest) {
        for (const auto& item : manifest->items)
            if (!updater::isSafeManifestPath(item.target))
                std::abort();
    }
    return 0;
}
