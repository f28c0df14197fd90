// The state of one check run, and the file records of a comparison or a generation.
#pragma once

#include "updater/DownManager.h"

#include <cstdint>
#include <string>
#include <vector>

namespace updater {

struct FileRecord {
    // Comparison: the full local path (install folder followed by the manifest path, in
    // file-system form). Generation: the full path of the source file.
    std::string path;
    // Comparison: the staged copy, filled by the download step. Generation: the path
    // relative to the source folder.
    std::string secondPath;
    // Comparison: the manifest's md5, which the downloaded copy must match.
    // Generation: the file's md5.
    std::string md5;
    std::string crc32; // generation only
    std::uint32_t size = 0;
    std::string sha256; // lower-case hex; comparison: empty when the manifest has none
};

struct UpdateJob {
    CDownManager manager;
    std::vector<FileRecord> files;
    std::string version; // the server manifest's version
};

} // namespace updater
