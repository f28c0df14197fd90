// Paths as the manifests carry them: relative to the installation root, separated by
// backslashes and beginning with one ("\data\config.ini"). They are converted to "/" only
// where they meet the file system.
#pragma once

#include <string>
#include <string_view>

namespace updater {

// True for a path that stays inside the installation: it begins with one backslash, and
// every segment (split at "\" or "/") is non-empty, not "." or "..", and holds no ":"
// (a drive or a stream) and no NUL. Anything else would let a manifest write outside
// the install folder, so the manifest holding it is rejected as a whole.
[[nodiscard]] bool isSafeManifestPath(std::string_view path);

// "\data\config.ini" -> "/data/config.ini".
[[nodiscard]] std::string toFileSystemPath(std::string_view manifestPath);

// "/data/config.ini" -> "\data\config.ini".
[[nodiscard]] std::string toManifestPath(std::string_view fileSystemPath);

// The text after the last "/" (the whole text without one).
[[nodiscard]] std::string baseName(std::string_view fileSystemPath);

// Every occurrence of `remove` taken out of `text`, left to right, without overlaps.
[[nodiscard]] std::string removeAll(std::string_view text, std::string_view remove);

} // namespace updater
