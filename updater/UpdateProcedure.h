// Check and apply: stage changed files from the download server, later move them into
// the installation.
//
// Single-threaded; transfers run one after another. Diagnostic lines go to `out`, each
// ending "\r\n", flushed as written.
#pragma once

#include <filesystem>
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
};

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
// When the install folder holds vmupdate.pub, "<url>.sig" is fetched too and the
// manifest's bytes must verify under one of its keys before they are parsed; an
// unreadable key file, a missing signature or one that no key verifies makes the
// manifest unreadable, with a line on `err` saying why.
int check(const UpdateContext& context, const std::string& url, const std::string& currentVersion,
          const std::string& installFolder, const std::optional<std::string>& proxy, bool force);

// 0 applied (or found too old and dropped); 1 nothing staged (an unreadable staging
// manifest is renamed with the suffix ".bad" first, so it is not handed over again);
// -1 the install folder does not exist. A staged copy is installed only when it still
// has the md5 and size its item lists. Each replacement is atomic, and the staging
// manifest goes only after the last item: an apply that is killed is finished by the
// next one.
int apply(const UpdateContext& context, const std::string& url, const std::string& currentVersion,
          const std::string& installFolder);

// Moves the staged copy over `target`, creating the target's folder chain first. An
// existing target keeps its permission bits (an executable stays executable). False when
// the staged copy is missing or the move fails ("MoveFileEx fail err code:%d \r\n").
bool moveIntoPlace(const UpdateContext& context, const std::string& target, const std::string& staged);

// Removes a folder with everything in it; false when there is no such folder or it
// cannot be removed.
bool deleteFolderTree(const std::string& path);

} // namespace updater
