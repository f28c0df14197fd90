// How the client drives vmUpdate: the hand-over to apply mode at start, the background
// check, and the notices their outcomes become.
//
// Nothing passes between the client and the updater but command lines, the updater's
// exit code and the staging folder's content.
#pragma once

#include "platform/WinTypes.h"

#include <memory>
#include <string>
#include <vector>

namespace update {

// Posted to the main window.
constexpr UINT WM_UPDATE_APPLIED = 10624;    // 0x2980, after a restart with "-finup"
constexpr UINT WM_UPDATE_CHECK_DONE = 10649; // 0x2999, wParam: the updater's exit code

// The updater's exit codes the client tells apart.
constexpr int kCheckStaged = 2;
constexpr int kCheckNothing = 3;

// host[:port] or scheme://host[:port] of the download server: the build's constant, unless
// the environment sets KAVREL_DOWNLOAD_HOST (tests point the client at their own server
// this way).
[[nodiscard]] std::string DownloadHost();
// "http://" + host + the fixed path of the server manifest; a host that names its scheme
// ("https://host:port") keeps it.
[[nodiscard]] std::string ManifestUrl(const std::string& host);

// Where the client is and where its updates are staged, derived from the program folder
// (ending with "/").
struct UpdatePaths {
    std::string updater;         // program folder + "vmUpdate"
    std::string installFolder;   // the program folder without its trailing "/"
    std::string stagingManifest; // <documents>/<install folder name>_update_<version>/vmupdate.xml_tmp.xml
    // The updater's marker of an apply under way (install folder + "/vmupdate.pending"):
    // found by a client of any version, also one whose version that apply changed.
    std::string pendingApply;
};
[[nodiscard]] UpdatePaths PathsFor(const std::string& programFolder);

// The updater's arguments: mode ("-c" or "-r"), URL, client version, install folder.
[[nodiscard]] std::vector<std::string> UpdaterArguments(const char* mode, const std::string& url,
                                                        const std::string& installFolder);

// The first argument is exactly "-finup": the updater has just restarted the client.
[[nodiscard]] bool IsRestartAfterUpdate(int argc, char** argv);

// Start-up, before any window: when an update is staged or an apply did not finish,
// starts the updater in apply mode
// and answers true (start-up must end so the updater can replace the files). False when
// nothing is staged or the updater could not be started; the staged update then waits
// for a later start.
[[nodiscard]] bool PendingUpdateHandOver(const std::string& programFolder, const std::string& url);

// The notice for a check's exit code: code 2 always, code 3 only while noUpdateFlag is
// not 0; null for every other outcome (GBK text).
[[nodiscard]] const char* CheckDoneNotice(int exitCode, int noUpdateFlag);
// The notice after a restart with "-finup" (GBK text).
extern const char kUpdatedNotice[];

// The background check: vmUpdate in check mode on its own thread, waited for without a
// time limit, its exit code posted as WM_UPDATE_CHECK_DONE to the window handle given.
// A program that cannot be started reports 0.
//
// The thread is detached and owns what it uses. Dropping the object (or calling
// Forget) means nobody listens any more: a check that ends later posts nothing, so a
// client that exits while the updater still runs neither waits for it nor touches
// anything of its own that is being torn down.
class UpdateCheck {
public:
    UpdateCheck() = default;
    ~UpdateCheck();
    UpdateCheck(const UpdateCheck&) = delete;
    UpdateCheck& operator=(const UpdateCheck&) = delete;

    void Start(HWND receiver, const std::string& programFolder, const std::string& url);
    void Forget();

private:
    struct Receiver;
    std::shared_ptr<Receiver> m_receiver;
};

} // namespace update
