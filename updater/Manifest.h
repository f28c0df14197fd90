// The two manifests of an update, read and written with tinyxml2.
//
// Server manifest (published beside a flat copy of every file):
//   <collect><hashfiles><file path="\data\x.ini" md5="..." crc32="..." size="12"/>...
//   </hashfiles><ver>3.0.0.26</ver></collect>
//   A signed publication also carries sha256="<64 lower-case hex digits>" on every file and,
//   after ver, <signed> and <expires>, UTC times as "2026-12-10T12:04:43Z"; readers that
//   know only the elements above ignore them.
// Staging manifest (beside the staged copies, "<manifest name>_tmp.xml"):
//   <updates><files><item targetfile="\data\x.ini" md5="..." size="12"/>...</files>
//   <ver>3.0.0.26</ver></updates>
//   md5 and size repeat the server manifest's entry, so apply can check the staged copy
//   again just before it installs it.
// Both carry UTF-8 text under the declaration xml version="1.0" encoding="UTF-8" and are
// printed with tinyxml2's default printer (four blanks a level, "\n" line ends).
#pragma once

#include "updater/FileDigest.h"
#include "updater/UpdateJob.h"

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace updater {

struct ServerManifestEntry {
    std::string path; // manifest form, checked by isSafeManifestPath
    std::string md5;
    std::uint32_t size = 0;
    std::string sha256; // empty when the entry has none
};

struct ServerManifest {
    std::string version;
    std::vector<ServerManifestEntry> entries;
    // Seconds since 1970 (UTC); nothing when the element is missing or malformed.
    std::optional<std::int64_t> signedAt;
    std::optional<std::int64_t> expires;
};

// When a publication was signed and until when installations accept it.
struct PublicationTimes {
    std::int64_t signedAt = 0;
    std::int64_t expires = 0;
};

// "2026-12-10T12:04:43Z" for seconds since 1970, and back; nothing for any other text.
[[nodiscard]] std::string formatManifestTime(std::int64_t seconds);
[[nodiscard]] std::optional<std::int64_t> parseManifestTime(std::string_view text);

// The root is the document's first element, whatever its name; the list is the root's
// first child element, whatever its name; the entries are its children named "file";
// the version is the text of the root's first "ver" child. Nothing when the file cannot
// be parsed, the list or "ver" is missing, an entry lacks "path", "md5" or "size", or an
// entry's path would leave the installation.
[[nodiscard]] std::optional<ServerManifest> readServerManifest(const std::filesystem::path& file);
// The same for a manifest's text.
[[nodiscard]] std::optional<ServerManifest> parseServerManifest(std::string_view text);

// Writes records of a generation run (relative path in secondPath, file-system form).
// With `times`, every file also gets its sha256 and the document its signed and expires
// elements. False when the file cannot be written.
bool writeServerManifest(const std::filesystem::path& file, const std::vector<FileRecord>& records,
                         const std::string& version, const PublicationTimes* times = nullptr);

struct StagedItem {
    std::string target; // manifest form, checked by isSafeManifestPath
    // Nothing when the item lacks md5 or size (a staging manifest of an older updater):
    // such a copy cannot be checked and is not installed.
    std::optional<ExpectedContent> expected;
};

struct StagingManifest {
    std::string version;
    std::vector<StagedItem> items;
};

// Nothing when the file is missing or cannot be parsed, "ver" or "files" is missing, an
// item lacks "targetfile", or a target would leave the installation.
[[nodiscard]] std::optional<StagingManifest> readStagingManifest(const std::filesystem::path& file);
// The same for a staging manifest's text.
[[nodiscard]] std::optional<StagingManifest> parseStagingManifest(std::string_view text);

// Lists the job's records in order; each target is the record's path with every
// occurrence of the install folder text removed, in manifest form, with the record's md5
// and size. False when the file cannot be written.
bool writeStagingManifest(const UpdateJob& job, const std::string& installFolder, const std::filesystem::path& file);

// Compares the downloaded server manifest at `localCopy` with the install folder and
// fills job.files with the files to download and job.version with the manifest's
// version. 0 when compared (the list may be empty); -1 when the manifest is unreadable,
// or its version is not newer than `currentVersion` and `force` is not set. The local
// copy is deleted in every case.
int compare(const std::string& installFolder, UpdateJob& job, const std::filesystem::path& localCopy,
            const std::string& currentVersion, bool force);
// The same for a manifest already read; each record also carries the entry's sha256.
int compare(const std::string& installFolder, UpdateJob& job, const ServerManifest& manifest,
            const std::string& currentVersion, bool force);

} // namespace updater
