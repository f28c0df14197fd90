#include "updater/UpdateProcedure.h"

#include "platform/AtomicFile.h"
#include "updater/DownManager.h"
#include "updater/Manifest.h"
#include "updater/ManifestPath.h"
#include "updater/ReleaseRecord.h"
#include "updater/Signature.h"
#include "updater/StagingFolder.h"
#include "updater/Version.h"

#include <algorithm>
#include <cerrno>
#include <ctime>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

namespace updater {

namespace fs = std::filesystem;

namespace {

void print(const UpdateContext& context, const std::string& line)
{
    if (context.out)
        *context.out << line << std::flush;
}

void complain(const UpdateContext& context, const std::string& line)
{
    if (context.err)
        *context.err << line << std::flush;
}

std::int64_t now(const UpdateContext& context)
{
    return context.now ? context.now() : static_cast<std::int64_t>(std::time(nullptr));
}

std::optional<std::uint64_t> freeSpace(const UpdateContext& context, const std::string& folder)
{
    if (context.freeSpace)
        return context.freeSpace(folder);
    struct statvfs info {};
    if (::statvfs(folder.c_str(), &info) != 0)
        return std::nullopt;
    return static_cast<std::uint64_t>(info.f_bavail) * info.f_frsize;
}

// The keys a manifest must be signed with: nothing when none are trusted (an unsigned
// development installation); an empty list when the keys are there but unusable (then
// no manifest can verify).
std::optional<std::vector<PublicKey>> trustedKeys(const UpdateContext& context, const std::string& installFolder)
{
    std::string source = "the built-in keys";
    std::optional<std::string> text = context.builtInKeys;
    if (!text) {
        source = installFolder + "/" + kPublicKeyFileName;
        std::error_code error;
        if (!fs::exists(fs::symlink_status(source, error)))
            return std::nullopt;
        text = readSmallFile(source);
    }
    std::string why = "it cannot be read";
    std::optional<std::vector<PublicKey>> keys = text ? parsePublicKeys(*text, &why) : std::nullopt;
    if (!keys) {
        complain(context, "vmUpdate: " + source + ": " + why + "; no update is accepted\n");
        return std::vector<PublicKey>{};
    }
    return keys;
}

// Checks what a signed manifest must hold beyond its signature: a sha256 for every file,
// and a version no older than the one accepted before. `where` names it in the lines.
std::optional<ServerManifest> signedContent(const UpdateContext& context, const std::string& bytes,
                                            const std::string& where, const std::string& installFolder)
{
    std::optional<ServerManifest> manifest = parseServerManifest(bytes);
    if (!manifest)
        return std::nullopt;
    for (const ServerManifestEntry& entry : manifest->entries) {
        if (!isSha256Text(entry.sha256)) {
            complain(context, "vmUpdate: " + where + " lists " + entry.path +
                                  " without a sha256 digest; the manifest is refused\n");
            return std::nullopt;
        }
    }
    const std::optional<AcceptedRelease> accepted = readAcceptedRelease(installFolder);
    if (accepted && olderThanAccepted(*manifest, *accepted)) {
        complain(context, "vmUpdate: " + where + " is version " + manifest->version + " signed " +
                              formatManifestTime(manifest->signedAt.value_or(0)) + ", older than the accepted " +
                              accepted->version + " signed " + formatManifestTime(accepted->signedAt) +
                              "; the manifest is refused\n");
        return std::nullopt;
    }
    return manifest;
}

// Fetches "<url>.sig" beside the manifest's copy and checks `bytes` against it; the
// signature stays at "<localCopy>.sig" when it verifies.
bool manifestVerified(const UpdateContext& context, const CDownManager& manager, const std::string& url,
                      const std::string& localCopy, const std::string& bytes, const std::vector<PublicKey>& keys)
{
    const std::string signatureUrl = url + kSignatureSuffix;
    const std::string signatureCopy = localCopy + kSignatureSuffix;
    const int fetched = download(manager, signatureUrl, signatureCopy, nullptr, kSignatureLimit);
    const std::optional<std::string> text = fetched == 0 ? readSmallFile(signatureCopy, kSignatureLimit) : std::nullopt;
    std::error_code error;
    fs::remove(signatureCopy + ".~vm", error);
    const std::optional<Signature> signature = text ? parseSignature(*text) : std::nullopt;
    if (!text)
        complain(context, "vmUpdate: no signature at " + signatureUrl + "; the manifest is refused\n");
    else if (!signature)
        complain(context, "vmUpdate: " + signatureUrl + " is not a signature; the manifest is refused\n");
    else if (!verifySignature(bytes, *signature, keys))
        complain(context, "vmUpdate: no listed key verifies the signature of " + url + "; the manifest is refused\n");
    else
        return true;
    fs::remove(signatureCopy, error);
    return false;
}

// The server manifest of a check: read from its downloaded copy and, with trusted keys,
// verified, complete, unexpired and not a rollback. The copy (and its signature) stays
// only for a verified manifest.
std::optional<ServerManifest> acceptedManifest(const UpdateContext& context, const CDownManager& manager,
                                               const std::string& url, const std::string& localCopy,
                                               const std::optional<std::vector<PublicKey>>& keys,
                                               const std::string& installFolder)
{
    const std::optional<std::string> bytes = readSmallFile(localCopy, kManifestLimit);
    std::error_code error;
    if (!keys) {
        fs::remove(localCopy, error);
        return bytes ? parseServerManifest(*bytes) : std::nullopt;
    }
    std::optional<ServerManifest> manifest;
    if (bytes && manifestVerified(context, manager, url, localCopy, *bytes, *keys)) {
        manifest = signedContent(context, *bytes, url, installFolder);
        if (manifest && (!manifest->expires || *manifest->expires < now(context))) {
            complain(context, "vmUpdate: " + url +
                                  (manifest->expires ? " expired at " + formatManifestTime(*manifest->expires)
                                                     : std::string(" carries no expiry")) +
                                  "; the manifest is refused\n");
            manifest.reset();
        }
    }
    if (!manifest) {
        fs::remove(localCopy, error);
        fs::remove(localCopy + kSignatureSuffix, error);
    }
    return manifest;
}

// The staged server manifest verified again at apply. Its expiry is not checked here:
// a release staged in time may wait for the member's next start.
std::optional<ServerManifest> stagedSignedManifest(const UpdateContext& context, const std::string& stagedCopy,
                                                   const std::vector<PublicKey>& keys,
                                                   const std::string& installFolder)
{
    const std::optional<std::string> bytes = readStagedFile(stagedCopy, kManifestLimit);
    const std::optional<std::string> text =
        bytes ? readStagedFile(stagedCopy + kSignatureSuffix, kSignatureLimit) : std::nullopt;
    const std::optional<Signature> signature = text ? parseSignature(*text) : std::nullopt;
    if (!signature || !verifySignature(*bytes, *signature, keys)) {
        complain(context, "vmUpdate: " + stagedCopy + " is not a manifest signed by a trusted key; nothing is installed\n");
        return std::nullopt;
    }
    return signedContent(context, *bytes, stagedCopy, installFolder);
}

std::string baseUrl(const std::string& url)
{
    const std::size_t slash = url.rfind('/');
    return slash == std::string::npos ? std::string() : url.substr(0, slash + 1);
}

void removeSignedCopy(const std::string& localCopy)
{
    std::error_code error;
    fs::remove(localCopy, error);
    fs::remove(localCopy + kSignatureSuffix, error);
}

// What the staged copy for `item` must be: the signed manifest's entry for its target
// when there is one, else what the staging manifest itself lists.
std::optional<ExpectedContent> expectedFor(const StagedItem& item, const std::optional<ServerManifest>& signedManifest)
{
    if (!signedManifest)
        return item.expected;
    for (const ServerManifestEntry& entry : signedManifest->entries)
        if (entry.path == item.target)
            return ExpectedContent{entry.md5, entry.size, entry.sha256};
    return std::nullopt;
}

} // namespace

std::string stagingFolder(const std::string& documentsFolder, const std::string& currentVersion,
                          const std::string& installFolder)
{
    const std::size_t slash = installFolder.rfind('/');
    const std::string name = slash == std::string::npos ? std::string() : installFolder.substr(slash + 1);
    return documentsFolder + "/" + name + "_update_" + currentVersion;
}

std::string manifestName(const std::string& url)
{
    const std::size_t slash = url.rfind('/');
    return slash == std::string::npos ? url : url.substr(slash + 1);
}

int check(const UpdateContext& context, const std::string& url, const std::string& currentVersion,
          const std::string& installFolder, const std::optional<std::string>& proxy, bool force)
{
    std::error_code error;
    if (!fs::exists(installFolder, error))
        fs::create_directory(installFolder, error);

    const std::string staging = stagingFolder(context.documentsFolder, currentVersion, installFolder);
    if (!recreateStagingFolder(staging)) {
        print(context, "fail create path: " + staging + "\r\n");
        return -1;
    }

    const std::optional<std::vector<PublicKey>> keys = trustedKeys(context, installFolder);
    if (keys && keys->empty())
        return -1;

    UpdateJob job;
    job.manager.setProxy(proxy.value_or(std::string()));
    job.manager.setTimeouts(context.transferTimeoutSeconds, context.connectTimeoutSeconds);
    job.manager.setLowSpeed(context.lowSpeedBytesPerSecond, context.lowSpeedSeconds);
    job.manager.setCaFile(context.caFile);

    const std::string localCopy = staging + "/" + manifestName(url);
    if (download(job.manager, url, localCopy, nullptr, kManifestLimit) != 0)
        return -1;
    const std::optional<ServerManifest> manifest =
        acceptedManifest(context, job.manager, url, localCopy, keys, installFolder);
    if (!manifest)
        return -1;
    if (compare(installFolder, job, *manifest, currentVersion, force) == -1) {
        removeSignedCopy(localCopy);
        return -1;
    }
    if (keys)
        recordAccepted(installFolder, *manifest);
    if (job.files.empty()) {
        removeSignedCopy(localCopy);
        return 0;
    }

    std::uint64_t needed = kFreeSpaceMargin;
    for (const FileRecord& record : job.files)
        needed += record.size;
    const std::optional<std::uint64_t> available = freeSpace(context, staging);
    if (!available || *available < needed) {
        complain(context, "vmUpdate: " + staging + " has " + (available ? std::to_string(*available) : "unknown") +
                              " bytes free, the update needs " + std::to_string(needed) + "; nothing is staged\n");
        removeSignedCopy(localCopy);
        return -1;
    }

    const std::string base = baseUrl(url);
    std::size_t stagedCount = 0;
    for (FileRecord& record : job.files) {
        const std::string name = baseName(record.path);
        const std::string staged = staging + "/" + name;
        const ExpectedContent expected{record.md5, record.size, record.sha256};
        // A file that fails stays listed: apply then reports it and installs the rest.
        if (download(job.manager, base + urlEncodeName(name), staged, &expected) == 0)
            ++stagedCount;
        record.secondPath = staged;
    }
    // Nothing arrived: a staging manifest would announce an update that installs nothing.
    if (stagedCount == 0) {
        removeSignedCopy(localCopy);
        return -1;
    }
    writeStagingManifest(job, installFolder, localCopy + "_tmp.xml");
    return 1;
}

int apply(const UpdateContext& context, const std::string& url, const std::string& currentVersion,
          const std::string& installFolder)
{
    std::error_code error;
    if (!fs::exists(installFolder, error))
        return -1;

    // An apply cut short after it changed the client: the staging folder is the one of
    // the version that started it.
    const std::optional<std::string> pending = pendingApply(installFolder);
    const std::string version = pending.value_or(currentVersion);
    const std::string staging = stagingFolder(context.documentsFolder, version, installFolder);
    const std::string stagedCopy = staging + "/" + manifestName(url);
    const std::string stagingManifest = stagedCopy + "_tmp.xml";
    bool missing = false;
    if (const std::optional<std::string> problem = stagingFolderProblem(staging, &missing)) {
        complain(context, "vmUpdate: " + staging + " " + *problem + "; nothing is installed from it\n");
        // A link is ours to remove (never what it points at), so the client stops
        // handing over; someone else's folder stays as it is.
        if (*problem == "is a link")
            fs::remove(staging, error);
        clearPendingApply(installFolder);
        return 1;
    }
    if (missing || !fs::exists(fs::symlink_status(stagingManifest, error))) {
        // An apply killed after it removed the staging manifest leaves the rest of its
        // folder behind: finish that clean-up, or it stays in the documents folder.
        if (!missing && pending)
            (void)deleteFolderTree(staging);
        clearPendingApply(installFolder);
        return 1;
    }
    const std::optional<std::string> listed = readStagedFile(stagingManifest, kManifestLimit);
    const std::optional<StagingManifest> manifest = listed ? parseStagingManifest(*listed) : std::nullopt;
    if (!manifest) {
        // Left in place it would make the client hand over to us at every start.
        fs::rename(stagingManifest, stagingManifest + ".bad", error);
        clearPendingApply(installFolder);
        return 1;
    }

    const std::optional<std::vector<PublicKey>> keys = trustedKeys(context, installFolder);
    std::optional<ServerManifest> signedManifest;
    if (keys && !keys->empty())
        signedManifest = stagedSignedManifest(context, stagedCopy, *keys, installFolder);
    const bool refused = keys && !signedManifest;
    const std::string stagedVersion = signedManifest ? signedManifest->version : manifest->version;

    if (refused) {
        for (const StagedItem& item : manifest->items)
            print(context, "RestoreFile " + installFolder + toFileSystemPath(item.target) + " fail\r\n");
    } else if (newer(version, stagedVersion) || version == stagedVersion) {
        markPendingApply(installFolder, version);
        // The client last: until it is replaced, a client of the old version starts and
        // hands over again, whatever else the release changes.
        std::vector<StagedItem> items = manifest->items;
        std::stable_partition(items.begin(), items.end(), [](const StagedItem& item) { return item.target != "\\Kavrel"; });
        for (const StagedItem& item : items) {
            const std::string target = installFolder + toFileSystemPath(item.target);
            const std::string staged = staging + "/" + baseName(target);
            const std::optional<ExpectedContent> expected = expectedFor(item, signedManifest);
            // A running executable, this updater included, can be replaced at once here.
            if (!expected || !installStagedCopy(context, target, staged, *expected))
                print(context, "RestoreFile " + target + " fail\r\n");
        }
    }

    fs::remove(stagingManifest, error);
    print(context, deleteFolderTree(staging) ? "delete folder succ\r\n" : "delete folder fail\r\n");
    clearPendingApply(installFolder);
    return 0;
}

bool installStagedCopy(const UpdateContext& context, const std::string& target, const std::string& staged,
                       const ExpectedContent& expected)
{
    std::error_code error;
    const std::size_t slash = target.rfind('/');
    if (slash != std::string::npos && slash > 0) {
        const std::string folder = target.substr(0, slash);
        if (!fs::exists(folder, error))
            fs::create_directories(folder, error);
    }
    // One descriptor from check to copy: a copy swapped after it was judged is never read.
    const int fd = openStagedFile(staged);
    if (fd < 0)
        return false;

    // The writer takes the installed file's permission bits (the client itself must stay
    // executable); a new file gets the default ones.
    platform::AtomicFileWriter writer(target);
    bool ok = writer.open();
    ContentCheck check(expected);
    static thread_local std::vector<char> buffer(1 << 16);
    while (ok) {
        const ssize_t got = ::read(fd, buffer.data(), buffer.size());
        if (got == 0)
            break;
        if (got < 0) {
            if (errno == EINTR)
                continue;
            ok = false;
            break;
        }
        check.update(reinterpret_cast<const unsigned char*>(buffer.data()), static_cast<std::size_t>(got));
        ok = !check.overrun() && writer.write(std::string_view(buffer.data(), static_cast<std::size_t>(got)));
    }
    ::close(fd);
    if (!ok || !check.matches())
        return false; // the writer removes its temporary; the target is untouched
    if (!writer.commit()) {
        print(context, "MoveFileEx fail err code:" + std::to_string(writer.error()) + " \r\n");
        return false;
    }
    return true;
}

bool deleteFolderTree(const std::string& path)
{
    std::error_code error;
    if (!fs::is_directory(fs::symlink_status(path, error)))
        return false;
    fs::remove_all(path, error);
    return !error;
}

} // namespace updater
