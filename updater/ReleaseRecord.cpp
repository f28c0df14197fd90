#include "updater/ReleaseRecord.h"

#include "platform/AtomicFile.h"
#include "updater/Signature.h"
#include "updater/Version.h"

#include <filesystem>

namespace updater {
namespace {

// A version as the staging folder's name may carry it: no "/" can lead elsewhere.
bool isVersionText(const std::string& text)
{
    if (text.empty() || text.size() > 64)
        return false;
    for (char c : text)
        if (!((c >= '0' && c <= '9') || c == '.'))
            return false;
    return true;
}

std::string firstLine(const std::string& text)
{
    const std::size_t end = text.find_first_of("\r\n");
    return end == std::string::npos ? text : text.substr(0, end);
}

} // namespace

std::optional<AcceptedRelease> readAcceptedRelease(const std::string& installFolder)
{
    const std::optional<std::string> text = readSmallFile(installFolder + "/" + kAcceptedFileName, 256);
    if (!text)
        return std::nullopt;
    // The time first: the version, which any text may be, is the rest of the line.
    const std::string line = firstLine(*text);
    const std::size_t blank = line.find(' ');
    if (blank == std::string::npos)
        return std::nullopt;
    AcceptedRelease record{line.substr(blank + 1), 0};
    const std::optional<std::int64_t> signedAt = parseManifestTime(line.substr(0, blank));
    if (record.version.empty() || !signedAt)
        return std::nullopt;
    record.signedAt = *signedAt;
    return record;
}

bool olderThanAccepted(const ServerManifest& manifest, const AcceptedRelease& record)
{
    const std::int32_t offered = versionWeight(manifest.version);
    const std::int32_t accepted = versionWeight(record.version);
    if (offered != accepted)
        return offered < accepted;
    return manifest.signedAt.value_or(0) < record.signedAt;
}

bool recordAccepted(const std::string& installFolder, const ServerManifest& manifest)
{
    const std::optional<AcceptedRelease> record = readAcceptedRelease(installFolder);
    if (record && (olderThanAccepted(manifest, *record) ||
                   (versionWeight(manifest.version) == versionWeight(record->version) &&
                    manifest.signedAt.value_or(0) == record->signedAt)))
        return true;
    return platform::ReplaceFileContent(installFolder + "/" + kAcceptedFileName,
                                        formatManifestTime(manifest.signedAt.value_or(0)) + " " +
                                            firstLine(manifest.version) + "\n");
}

std::optional<std::string> pendingApply(const std::string& installFolder)
{
    const std::optional<std::string> text = readSmallFile(installFolder + "/" + kPendingFileName, 256);
    if (!text)
        return std::nullopt;
    const std::string version = firstLine(*text);
    return isVersionText(version) ? std::optional<std::string>(version) : std::nullopt;
}

bool markPendingApply(const std::string& installFolder, const std::string& version)
{
    return platform::ReplaceFileContent(installFolder + "/" + kPendingFileName, version + "\n");
}

void clearPendingApply(const std::string& installFolder)
{
    std::error_code error;
    std::filesystem::remove(installFolder + "/" + kPendingFileName, error);
    if (!error)
        (void)platform::SyncPath(installFolder);
}

} // namespace updater
