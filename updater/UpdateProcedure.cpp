#include "updater/UpdateProcedure.h"

#include "platform/FileMove.h"
#include "updater/DownManager.h"
#include "updater/Manifest.h"
#include "updater/ManifestPath.h"
#include "updater/Signature.h"
#include "updater/Version.h"

#include <fcntl.h>
#include <sys/stat.h>
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

// The public keys of a signed installation: nothing when it has no key file; an empty
// list when the file is there but unusable (then no manifest can verify).
std::optional<std::vector<PublicKey>> installedKeys(const UpdateContext& context, const std::string& keyFile)
{
    std::error_code error;
    if (!fs::exists(fs::symlink_status(keyFile, error)))
        return std::nullopt;
    std::string why = "it cannot be read";
    const std::optional<std::string> text = readSmallFile(keyFile);
    std::optional<std::vector<PublicKey>> keys = text ? parsePublicKeys(*text, &why) : std::nullopt;
    if (!keys) {
        complain(context, "vmUpdate: " + keyFile + ": " + why + "; no update is accepted\n");
        return std::vector<PublicKey>{};
    }
    return keys;
}

// Fetches "<url>.sig" and checks the manifest's bytes at `localCopy` against it.
bool manifestVerified(const UpdateContext& context, const CDownManager& manager, const std::string& url,
                      const std::string& localCopy, const std::vector<PublicKey>& keys)
{
    const std::string signatureUrl = url + kSignatureSuffix;
    const std::string signatureCopy = localCopy + kSignatureSuffix;
    const int fetched = download(manager, signatureUrl, signatureCopy);
    const std::optional<std::string> text = fetched == 0 ? readSmallFile(signatureCopy, 4096) : std::nullopt;
    std::error_code error;
    fs::remove(signatureCopy, error);
    fs::remove(signatureCopy + ".~vm", error);
    if (!text) {
        complain(context, "vmUpdate: no signature at " + signatureUrl + "; the manifest is refused\n");
        return false;
    }
    const std::optional<Signature> signature = parseSignature(*text);
    if (!signature) {
        complain(context, "vmUpdate: " + signatureUrl + " is not a signature; the manifest is refused\n");
        return false;
    }
    const std::optional<std::string> bytes = readSmallFile(localCopy, std::size_t{1} << 30);
    if (!bytes || !verifySignature(*bytes, *signature, keys)) {
        complain(context, "vmUpdate: no listed key verifies the signature of " + url + "; the manifest is refused\n");
        return false;
    }
    return true;
}

// Flushes a file's bytes to disk, so that a rename never makes a file whose content is
// still only in memory the installed one.
void syncFile(const std::string& path)
{
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd >= 0) {
        (void)::fsync(fd);
        ::close(fd);
    }
}

std::string baseUrl(const std::string& url)
{
    const std::size_t slash = url.rfind('/');
    return slash == std::string::npos ? std::string() : url.substr(0, slash + 1);
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
    if (fs::exists(staging, error))
        deleteFolderTree(staging);
    if (!fs::create_directory(staging, error)) {
        print(context, "fail create path: " + staging + "\r\n");
        return -1;
    }

    const std::optional<std::vector<PublicKey>> keys =
        installedKeys(context, installFolder + "/" + kPublicKeyFileName);
    if (keys && keys->empty())
        return -1;

    UpdateJob job;
    job.manager.setProxy(proxy.value_or(std::string()));
    job.manager.setTimeouts(context.transferTimeoutSeconds, context.connectTimeoutSeconds);

    const std::string localCopy = staging + "/" + manifestName(url);
    if (download(job.manager, url, localCopy) != 0)
        return -1;
    if (keys && !manifestVerified(context, job.manager, url, localCopy, *keys)) {
        fs::remove(localCopy, error);
        return -1;
    }
    if (compare(installFolder, job, localCopy, currentVersion, force) == -1)
        return -1;

    const std::string base = baseUrl(url);
    std::size_t stagedCount = 0;
    for (FileRecord& record : job.files) {
        const std::string name = baseName(record.path);
        const std::string staged = staging + "/" + name;
        const ExpectedContent expected{record.md5, record.size};
        // A file that fails stays listed: apply then reports it and installs the rest.
        if (download(job.manager, base + urlEncodeName(name), staged, &expected) == 0)
            ++stagedCount;
        record.secondPath = staged;
    }
    if (job.files.empty())
        return 0;
    // Nothing arrived: a staging manifest would announce an update that installs nothing.
    if (stagedCount == 0)
        return -1;
    writeStagingManifest(job, installFolder, localCopy + "_tmp.xml");
    return 1;
}

int apply(const UpdateContext& context, const std::string& url, const std::string& currentVersion,
          const std::string& installFolder)
{
    std::error_code error;
    if (!fs::exists(installFolder, error))
        return -1;

    const std::string staging = stagingFolder(context.documentsFolder, currentVersion, installFolder);
    const std::string stagingManifest = staging + "/" + manifestName(url) + "_tmp.xml";
    if (!fs::exists(stagingManifest, error))
        return 1;
    const std::optional<StagingManifest> manifest = readStagingManifest(stagingManifest);
    if (!manifest) {
        // Left in place it would make the client hand over to us at every start.
        fs::rename(stagingManifest, stagingManifest + ".bad", error);
        return 1;
    }

    if (newer(currentVersion, manifest->version) || currentVersion == manifest->version) {
        for (const StagedItem& item : manifest->items) {
            const std::string target = installFolder + toFileSystemPath(item.target);
            const std::string staged = staging + "/" + baseName(target);
            // The copy may have changed since check staged it; only the listed bytes go in.
            const bool intact = item.expected && hasContent(staged, *item.expected);
            // A running executable, this updater included, can be replaced at once here.
            if (!intact || !moveIntoPlace(context, target, staged))
                print(context, "RestoreFile " + target + " fail\r\n");
        }
    }

    fs::remove(stagingManifest, error);
    print(context, deleteFolderTree(staging) ? "delete folder succ\r\n" : "delete folder fail\r\n");
    return 0;
}

bool moveIntoPlace(const UpdateContext& context, const std::string& target, const std::string& staged)
{
    std::error_code error;
    const std::size_t slash = target.rfind('/');
    if (slash != std::string::npos && slash > 0) {
        const std::string folder = target.substr(0, slash);
        if (!fs::exists(folder, error))
            fs::create_directories(folder, error);
    }
    if (!fs::exists(staged, error))
        return false;

    // Downloads are created with default permissions; the installed file's bits are what
    // the installation needs (the client itself must stay executable).
    struct stat existing {};
    if (::stat(target.c_str(), &existing) == 0 && S_ISREG(existing.st_mode))
        ::chmod(staged.c_str(), existing.st_mode & 07777);
    syncFile(staged);

    int code = 0;
    if (!platform::MoveFileReplacing(staged, target, &code)) {
        print(context, "MoveFileEx fail err code:" + std::to_string(code) + " \r\n");
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
