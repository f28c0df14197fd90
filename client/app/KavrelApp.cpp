#include "client/app/KavrelApp.h"

#include "client/log/Log.h"
#include "client/service/CookieJar.h"
#include "client/service/RequestWorker.h"
#include "client/settings/Settings.h"
#include "client/ui/MainFrame.h"
#include "client/update/UpdateIntegration.h"
#include "dulib/dulib.h"
#include "platform/Paths.h"
#include "platform/window/DesktopShell.h"
#include "platform/window/WindowSystem.h"

#include <cstdio>
#include <cstdlib>
#include <strings.h>

CKavrelApp::CKavrelApp() = default;

CKavrelApp::~CKavrelApp()
{
    // A check still running has nobody to tell once the client is going.
    m_updateCheck.Forget();
    m_pMainWnd.reset();
}

bool CKavrelApp::InitInstance(int argc, char** argv)
{
    if (!platform::InitWindowSystem(platform::Backend::Gtk)) {
        const char* display = std::getenv("DISPLAY");
        std::fprintf(stderr, "Kavrel: no X server could be reached (DISPLAY=%s); the client needs X11 or XWayland\n",
                     display && *display ? display : "unset");
        m_nExitCode = 1;
        return false;
    }

    // A client already running (perhaps hidden in the tray) is brought forward instead.
    if (platform::ActivateRunningInstance())
        return false;

    m_strAppDir = platform::ProgramFolder();
    // Every window and the tray icon show the client's own picture, from the program folder.
    platform::SetApplicationIcon(m_strAppDir + "icons/");

    m_strIniPath = Settings::PathIn(m_strAppDir);
    Settings settings(m_strIniPath);
    int firstLogin = settings.firstlogin();
    if (firstLogin == 0) {
        m_bFirstRun = 1;
        settings.setFirstlogin(firstLogin + 1);
    }

    // A staged update is applied before any window: the updater waits for this process
    // to end. A start by the updater itself never hands over again, so an update that
    // could not be applied cannot restart the client in a loop.
    const bool restarted = update::IsRestartAfterUpdate(argc, argv);
    const std::string manifestUrl = update::ManifestUrl(update::DownloadHost());
    if (!restarted && update::PendingUpdateHandOver(m_strAppDir, manifestUrl))
        return false;

    // One cookie store for the transport and the web views, with what earlier runs kept,
    // before the first request or page.
    ShareCookiesWithWebViews(m_strAppDir + kWebDataFolder);

    // Loaded only now: a start that hands over to the updater never needs it.
    m_hSkin = LoadStyleA((m_strAppDir + "skin/config.xml").c_str());
    m_pWorker = std::make_unique<CRequestWorker>(m_strAppDir);
    m_pMainWnd = std::make_unique<CMainFrame>(m_strAppDir, m_hSkin, m_bFirstRun);
    g_pMainFrame = m_pMainWnd.get();
    m_pMainWnd->UseRequestWorker(m_pWorker.get());
    if (!m_pMainWnd->Create())
        return false;
    m_hNoticeWnd = m_pMainWnd->NoticeWindow();
    m_pMainWnd->ShowWindow(SW_SHOW);
    m_pMainWnd->UpdateWindow();

    // The member's colour scheme; "_blue" in any letter case is the skin as drawn.
    const std::string scheme = settings.background();
    if (!scheme.empty() && strcasecmp(scheme.c_str(), "_blue") != 0)
        m_pMainWnd->ChangeColourScheme(scheme);

    if (restarted) {
        settings.setHasupdate(0);
        m_pMainWnd->PostMessage(update::WM_UPDATE_APPLIED);
    }
    m_updateCheck.Start(m_pMainWnd->GetSafeHwnd(), m_strAppDir, manifestUrl);

    // On a first start the login follows the guidance tour instead.
    if (m_bFirstRun == 0)
        m_pMainWnd->LoginFlow();

    DetailLog().SetFile((m_strAppDir + "detail.log").c_str(), false);
    return true;
}

int CKavrelApp::Run()
{
    return RunMessageLoop();
}
