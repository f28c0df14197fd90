// The staging folder as something another program may have planted or changed: it lies
// in the documents folder, which sandboxed programs, sync clients and shared folders can
// write. Its files are opened without following links and judged by the open descriptor,
// so what was checked is what is read.
#pragma once

#include <cstddef>
#include <optional>
#include <string>

namespace updater {

// Why `folder` must not be trusted: it is a link, not a folder, someone else's, or
// writable by others. Nothing when it is a folder of ours that only we can write, or
// when it does not exist (`missing` then says so).
[[nodiscard]] std::optional<std::string> stagingFolderProblem(const std::string& folder, bool* missing = nullptr);

// Replaces whatever lies at `folder` (a link is removed, never followed) by a new empty
// folder of mode 0700. False when that folder cannot be made or is still not one we
// could trust.
[[nodiscard]] bool recreateStagingFolder(const std::string& folder);

// Opens a staged file for reading: not through a link, only a regular file of ours that
// nobody else can write. -1 (and `why` says what was wrong) otherwise.
[[nodiscard]] int openStagedFile(const std::string& path, std::string* why = nullptr);

// The whole content of a staged file opened as above, or nothing when it cannot be
// opened, read, or exceeds `limit` bytes.
[[nodiscard]] std::optional<std::string> readStagedFile(const std::string& path, std::size_t limit);

} // namespace updater
