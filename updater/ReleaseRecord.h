// What vmUpdate keeps in the installation between runs, beside the installed files:
//   vmupdate.accepted  "<signed time> <version>\n": the newest signed manifest accepted,
//                      so that an older signed one replayed later is refused
//   vmupdate.pending   "<version>\n": an apply under way, started by a client of that
//                      version; a client of any version finds it and hands over again
// Both are replaced atomically; generate never publishes them, so an update of the
// program folder leaves them as they are.
#pragma once

#include "updater/Manifest.h"

#include <cstdint>
#include <optional>
#include <string>

namespace updater {

inline constexpr const char* kAcceptedFileName = "vmupdate.accepted";
inline constexpr const char* kPendingFileName = "vmupdate.pending";

struct AcceptedRelease {
    std::string version;
    std::int64_t signedAt = 0;
};

// Nothing when the installation has no record or an unreadable one.
[[nodiscard]] std::optional<AcceptedRelease> readAcceptedRelease(const std::string& installFolder);

// True when `manifest` is older than `record`: a lower version, or the same version
// signed earlier.
[[nodiscard]] bool olderThanAccepted(const ServerManifest& manifest, const AcceptedRelease& record);

// Records `manifest` unless the record already holds a newer one. False when the record
// cannot be written.
bool recordAccepted(const std::string& installFolder, const ServerManifest& manifest);

// The version of an apply that did not finish, or nothing.
[[nodiscard]] std::optional<std::string> pendingApply(const std::string& installFolder);
bool markPendingApply(const std::string& installFolder, const std::string& version);
void clearPendingApply(const std::string& installFolder);

} // namespace updater
