// The digest of one file as the manifests carry it.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>

namespace updater {

struct FileDigest {
    std::uint32_t size = 0; // content length; files are below 2 GiB
    std::string md5;        // 32 upper-case hex digits; empty for an empty or unopenable file
    std::string crc32;      // 8 upper-case hex digits; empty for an unopenable file
};

// Reads the file once. An unopenable file gives size 0 and empty texts. A read error
// writes "error reading file\n" to the standard error stream and sets the crc32 text to
// the md5 text of what was read.
[[nodiscard]] FileDigest digestFile(const std::filesystem::path& path);

// Only the md5 text of digestFile(), which is all a comparison needs.
[[nodiscard]] std::string fileMd5(const std::filesystem::path& path);

// What a listed file must turn out to be; an empty md5 stands for an empty file.
struct ExpectedContent {
    std::string md5; // compared without regard to letter case
    std::uint32_t size = 0;
};

// True when the file can be read and has the expected size and md5.
[[nodiscard]] bool hasContent(const std::filesystem::path& path, const ExpectedContent& expected);

} // namespace updater
