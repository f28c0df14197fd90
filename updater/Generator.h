// Generate mode: publishes an installation as a flat folder of files beside a server
// manifest.
#pragma once

#include "updater/Manifest.h"
#include "updater/UpdateJob.h"

#include <deque>
#include <string>
#include <vector>

namespace updater {

// Paths waiting to be visited in breadth-first order.
using PathQueue = std::deque<std::string>;

// The files below `sourceFolder` in breadth-first order: every folder's entries in the
// order the file system lists them, names beginning with "." skipped together with
// everything below them, folders visited after the files and folders of the level above.
// Links to folders are not followed (they could loop).
[[nodiscard]] std::vector<std::string> walkFiles(const std::string& sourceFolder);

// Deletes and recreates `outputFolder` (one level; its parent must exist), copies every
// file of the walk into it under its base name and writes the server manifest
// "<outputFolder>/<manifestName>" listing them with relative paths (the full path with
// every occurrence of the source folder text removed), digests and sizes, and `version`.
// Reports nothing; an unreadable file is listed with empty digests and size 0. The flat
// folder holds one file per name: a later file whose base name was already published is
// left out of folder and manifest, and named on the standard error stream. So is a
// publisher's secret key ("vmupdate.key") found in the source folder, and the updater's
// record and marker at its top (ReleaseRecord.h). A publication to be
// signed passes its `times`: the manifest then also carries every file's SHA-256 and the
// signing and expiry times.
void generate(const std::string& outputFolder, const std::string& manifestName, const std::string& version,
              const std::string& sourceFolder, const PublicationTimes* times = nullptr);

} // namespace updater
