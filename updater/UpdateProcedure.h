// Check and apply: stage changed files from the download server, later move them into
// the installation.
//
// Single-threaded; transfers run one after another. Diagnostic lines go to `out`, each
// ending "\r\n", flushed as written.
#pragma once

#include "updater/FileDigest.h"

#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <ostream>
#include <string>

namespace updater {

// What the procedure takes from its surroundings, so tests can point it elsewhere.
struct UpdateContext {
    std::string documentsFolder;  // platform::DocumentsFolder() in the program
    std::ostream* out = nullptr;  // diagnostic lines
    std::ostream* err = nullptr;  // why a signed update was refused (standard error)
    long transferTimeoutSeconds = 10800;
    long connectTimeoutSeconds = 180;
    long lowSpeedBytesPerSecond = 1024; // see CDownManager::setLowSpeed
    long lowSpeedSeconds = 60;
    std::string caFile;                 // see CDownManager::setCaFile
    // The publisher's keys built into the program, in vmupdate.pub's form. When set they
    // alone are trusted, whatever key file lies in the installation, and every manifest
    // must be signed by one of them.
    std::optional<std::string> builtInKeys;
    // Seconds since 1970; empty: the system clock.
    std::function<std::int64_t()> now;
    // Bytes free for us on the file system of `folder`; empty: statvfs(3). Nothing when
    // it cannot be told (then nothing is staged).
    std::function<std::optional<std::uint64_t>(const std::string& folder)> freeSpace;
};

// Caps on what a server can make check read before anything is verified.
inline constexpr std::uint64_t kManifestLimit = std::uint64_t{16} << 20;
inline constexpr std::uint64_t kSignatureLimit = 4096;
// Room kept free beyond the staged files, so staging never fills the member's disk.
inline constexpr std::uint64_t kFreeSpaceMargin = std::uint64_t{64} << 20;

// "<documents>/<install folder name>_update_<version>", the name being the text after the
// install folder's last "/" (empty when it has none or ends with one). The client computes
// the same path by the same rule.
[[nodiscard]] std::string stagingFolder(const std::string& documentsFolder, const std::string& currentVersion,
                                        const std::string& installFolder);

// The manifest file name: the URL's text after its last "/".
[[nodiscard]] std::string manifestName(const std::string& url);

// 1 files staged and the staging manifest written; 0 nothing differs (the staging folder
// is left empty); -1 the staging folder cannot be created, the manifest cannot be
// fetched or read, it is not newer and `force` is not set, or not one listed file could
// be staged (no staging manifest then: the client must not announce an update).
//
// Keys are trusted when built in (UpdateContext::builtInKeys) or, without built-in keys,
// when the install folder holds vmupdate.pub. Then "<url>.sig" is fetched too and the
// manifest's bytes must verify under one of the keys before they are parsed; every file
// must carry its sha256, the manifest must not have expired, and it must not be older
// than the newest one accepted before (ReleaseRecord.h). Otherwise the manifest is
// unreadable, with a line on `err` saying why. An accepted manifest is recorded, and it
// stays in the staging folder with its signature for apply to verify again. Before any
// file is fetched, the staging folder's file system must have room for all of them plus
// kFreeSpaceMargin. The staging folder is made anew with mode 0700; a download is cut
// at its listed size.
int check(const UpdateContext& context, const std::string& url, const std::string& currentVersion,
          const std::string& installFolder, const std::optional<std::string>& proxy, bool force);

// 0 applied (or found too old and dropped); 1 nothing staged (an unreadable staging
// manifest is renamed with the suffix ".bad" first, so it is not handed over again; a
// staging folder that is a link, someone else's or writable by others is refused with a
// line on `err`); -1 the install folder does not exist.
//
// Without trusted keys a staged copy is installed only when it still has the md5 and
// size its item lists. With them, the staged server manifest must verify again under
// the trusted keys and be no older than the accepted one, and a copy is installed only
// when its SHA-256 and size are those the signed manifest lists for its target;
// otherwise "RestoreFile %s fail". Copies are read without following links from
// regular files of ours, and the bytes checked are the bytes installed.
//
// Each replacement is atomic, the client executable goes last, and the staging manifest
// goes only after the last item: an apply that is killed is finished by the next one.
// A marker in the installation (ReleaseRecord.h) names the version whose staging folder
// is being applied, so a client whose version the cut-short apply already changed still
// finds it; such a marker overrides `currentVersion`.
int apply(const UpdateContext& context, const std::string& url, const std::string& currentVersion,
          const std::string& installFolder);

// Installs the staged copy at `target` when its bytes turn out to be `expected` as they
// are copied, creating the target's folder chain first. An existing target keeps its
// permission bits (an executable stays executable). False when the copy is missing,
// unsafe to read or not the expected content, or the replacement fails
// ("MoveFileEx fail err code:%d \r\n").
bool installStagedCopy(const UpdateContext& context, const std::string& target, const std::string& staged,
                       const ExpectedContent& expected);

// Removes a folder with everything in it; false when there is no such folder or it
// cannot be removed.
bool deleteFolderTree(const std::string& path);

} // namespace updater
