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
        // A time that reads is one instant with one spelling: expiry and rollback compare
        // what the publisher signed, never a second reading of it.
        for (const std::optional<std::int64_t>& time : {manifest->signedAt, manifest->expires})
            if (time && !updater::parseManifestTime(updater::formatManifestTime(*time)))
                std::abort();
    }
    const std::string_view text = fuzz::textOf(data, size);
    if (const std::optional<std::int64_t> time = updater::parseManifestTime(text))
        if (updater::formatManifestTime(*time) != text)
            std::abort();
    return 0;
}
