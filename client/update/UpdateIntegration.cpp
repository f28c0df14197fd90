#include "client/update/UpdateIntegration.h"

#include "client/service/Version.h"
#include "platform/Process.h"
#include "platform/DocumentsFolder.h"
#include "platform/window/WindowSystem.h"

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <mutex>
#include <thread>
#include <unistd.h>

namespace update {

namespace {

constexpr char kManifestPath[] = "/SOFTWARES/VEL_SOFT_V2013/update/vmupdate.xml";

// "系统为您准备好了，需要更新的文件。将会在下次启动时帮你自动更新。"
constexpr char kStagedNotice[] =
    "\xcf\xb5\xcd\xb3\xce\xaa\xc4\xfa\xd7\xbc\xb1\xb8\xba\xc3\xc1\xcb\xa3\xac\xd0\xe8\xd2\xaa\xb8\xfc\xd0\xc2\xb5\xc4"
    "\xce\xc4\xbc\xfe\xa1\xa3\xbd\xab\xbb\xe1\xd4\xda\xcf\xc2\xb4\xce\xc6\xf4\xb6\xaf\xca\xb1\xb0\xef\xc4\xe3\xd7\xd4"
    "\xb6\xaf\xb8\xfc\xd0\xc2\xa1\xa3";
// "您好，没有发现需要更新的文件。"
constexpr char kNothingNotice[] =
    "\xc4\xfa\xba\xc3\xa3\xac\xc3\xbb\xd3\xd0\xb7\xa2\xcf\xd6\xd0\xe8\xd2\xaa\xb8\xfc\xd0\xc2\xb5\xc4\xce\xc4\xbc\xfe"
    "\xa1\xa3";

// vmUpdate may outlive the client (check mode) or replace it (apply mode): it must hold
// none of the client's sockets, lock files or X connection.
std::optional<platform::Process> StartUpdater(const std::string& program, const std::vector<std::string>& arguments)
{
    return platform::Process::start(program, arguments, nullptr, platform::Process::Descriptors::StandardOnly);
}

} // namespace

// "您好，系统已为你更新到新的版本。"
const char kUpdatedNotice[] =
    "\xc4\xfa\xba\xc3\xa3\xac\xcf\xb5\xcd\xb3\xd2\xd1\xce\xaa\xc4\xe3\xb8\xfc\xd0\xc2\xb5\xbd\xd0\xc2\xb5\xc4\xb0\xe6"
    "\xb1\xbe\xa1\xa3";

std::string DownloadHost()
{
    const char* host = std::getenv("KAVREL_DOWNLOAD_HOST");
    return host != nullptr && *host != '\0' ? host : KAVREL_DOWNLOAD_HOST;
}

std::string ManifestUrl(const std::string& host)
{
    return (host.find("://") == std::string::npos ? "http://" + host : host) + kManifestPath;
}

UpdatePaths PathsFor(const std::string& programFolder)
{
    UpdatePaths paths;
    paths.updater = programFolder + "vmUpdate";
    paths.installFolder = programFolder;
    while (paths.installFolder.size() > 1 && paths.installFolder.back() == '/')
        paths.installFolder.pop_back();
    const std::string name = paths.installFolder.substr(paths.installFolder.rfind('/') + 1);
    paths.stagingManifest =
        platform::DocumentsFolder() + "/" + name + "_update_" + kClientVersion + "/vmupdate.xml_tmp.xml";
    paths.pendingApply = paths.installFolder + "/vmupdate.pending";
    return paths;
}

std::vector<std::string> UpdaterArguments(const char* mode, const std::string& url, const std::string& installFolder)
{
    return {mode, url, kClientVersion, installFolder};
}

bool IsRestartAfterUpdate(int argc, char** argv)
{
    return argc >= 2 && argv[1] != nullptr && std::strcmp(argv[1], "-finup") == 0;
}

bool PendingUpdateHandOver(const std::string& programFolder, const std::string& url)
{
    const UpdatePaths paths = PathsFor(programFolder);
    if (access(paths.stagingManifest.c_str(), F_OK) != 0 && access(paths.pendingApply.c_str(), F_OK) != 0)
        return false;
    // Only a started updater takes over; otherwise this start goes on and the staged
    // update waits, instead of every start ending before its window.
    return StartUpdater(paths.updater, UpdaterArguments("-r", url, paths.installFolder)).has_value();
}

const char* CheckDoneNotice(int exitCode, int noUpdateFlag)
{
    if (exitCode == kCheckStaged)
        return kStagedNotice;
    if (exitCode == kCheckNothing && noUpdateFlag != 0)
        return kNothingNotice;
    return nullptr;
}

struct UpdateCheck::Receiver {
    std::mutex mutex;
    HWND hwnd = nullptr;
};

UpdateCheck::~UpdateCheck()
{
    Forget();
}

void UpdateCheck::Forget()
{
    if (!m_receiver)
        return;
    // Waits for a post in progress, so none happens after this returns.
    std::lock_guard<std::mutex> lock(m_receiver->mutex);
    m_receiver->hwnd = nullptr;
}

void UpdateCheck::Start(HWND receiver, const std::string& programFolder, const std::string& url)
{
    Forget();
    m_receiver = std::make_shared<Receiver>();
    m_receiver->hwnd = receiver;
    const UpdatePaths paths = PathsFor(programFolder);
    std::thread([target = m_receiver, program = paths.updater,
                 arguments = UpdaterArguments("-c", url, paths.installFolder)] {
        std::optional<platform::Process> updater = StartUpdater(program, arguments);
        const int code = updater ? updater->wait().value_or(0) : 0;
        std::lock_guard<std::mutex> lock(target->mutex);
        if (target->hwnd != nullptr)
            PostMessage(target->hwnd, WM_UPDATE_CHECK_DONE, static_cast<WPARAM>(code), 0);
    }).detach();
}

} // namespace update
