// The server manifest reader: whatever the download server sends.
#include "FuzzInput.h"
#include "updater/Manifest.h"
#include "updater/ManifestPath.h"

#include <cstdlib>
#include <filesystem>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const auto manifest = updater::parseServerManifest(fuzz::textOf(data, size));
    if (manifest) {
        // Every accepted path stays inside the installation, however the file system
        // resolves its segments.
        for (const auto& entry : manifest->entries) {
            const std::filesystem::path resolved =
                std::filesystem::path("/install" + updater::toFileSystemPath(entry.path)).lexically_normal();
            if (resolved.string().rfind("/install/", 0) != 0 || resolved == "/install/")
                std::abort();
        }
    }
    return 0;
}
