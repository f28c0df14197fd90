#include "updater/Generator.h"

#include "updater/FileDigest.h"
#include "updater/Manifest.h"
#include "updater/ManifestPath.h"
#include "updater/ReleaseRecord.h"
#include "updater/Signature.h"

#include <cstdio>
#include <filesystem>
#include <set>

namespace updater {

namespace fs = std::filesystem;

std::vector<std::string> walkFiles(const std::string& sourceFolder)
{
    PathQueue folders{sourceFolder};
    PathQueue files;
    while (!folders.empty()) {
        const std::string folder = folders.front();
        folders.pop_front();
        std::error_code error;
        fs::directory_iterator entries(folder, error);
        for (const fs::directory_iterator end; !error && entries != end; entries.increment(error)) {
            const std::string name = entries->path().filename().string();
            if (name.empty() || name[0] == '.')
                continue;
            const std::string path = folder + "/" + name;
            std::error_code statusError;
            const fs::file_status status = fs::symlink_status(path, statusError);
            if (statusError)
                continue;
            if (fs::is_directory(status))
                folders.push_back(path);
            else if (!fs::is_symlink(status) || !fs::is_directory(fs::status(path, statusError)))
                files.push_back(path);
        }
    }
    return {files.begin(), files.end()};
}

void generate(const std::string& outputFolder, const std::string& manifestName, const std::string& version,
              const std::string& sourceFolder, const PublicationTimes* times)
{
    std::error_code error;
    if (fs::exists(outputFolder, error))
        fs::remove_all(outputFolder, error);
    fs::create_directory(outputFolder, error);

    std::vector<FileRecord> records;
    std::set<std::string> published;
    for (const std::string& path : walkFiles(sourceFolder)) {
        const std::string name = baseName(path);
        // A secret key lying in the release folder must never reach the download server.
        if (name == kSecretKeyFileName) {
            std::fprintf(stderr, "secret key left out: %s\n", path.c_str());
            continue;
        }
        // A publisher's own installation state would overwrite every member's: an older
        // accepted release recorded there would reopen the way to replays.
        if (path == sourceFolder + "/" + kAcceptedFileName || path == sourceFolder + "/" + kPendingFileName) {
            std::fprintf(stderr, "installation state left out: %s\n", path.c_str());
            continue;
        }
        if (!published.insert(name).second) {
            std::fprintf(stderr, "duplicate file name left out: %s\n", path.c_str());
            continue;
        }
        const FileDigest digest = digestFile(path);
        FileRecord record;
        record.path = path;
        record.secondPath = removeAll(path, sourceFolder);
        record.md5 = digest.md5;
        record.crc32 = digest.crc32;
        record.sha256 = digest.sha256;
        record.size = digest.size;
        records.push_back(std::move(record));
        std::error_code copyError;
        fs::copy_file(path, fs::path(outputFolder) / name, fs::copy_options::overwrite_existing, copyError);
    }
    writeServerManifest(fs::path(outputFolder + "/" + manifestName), records, version, times);
}

} // namespace updater
