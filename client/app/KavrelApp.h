// CKavrelApp: the application record and the start-up sequence of the client.
//
// Start-up runs on the user-interface thread: a second copy hands over to the running
// one and ends; otherwise the first start is recorded, a staged update is handed to the
// updater (and the start ends), the skin is loaded, the main window is created and
// shown, a restart by the updater is announced, the background update check starts, and
// the message loop runs until the main window is closed.
#pragma once

#include "client/update/UpdateIntegration.h"

#include <memory>
#include <string>

class CMainFrame;
class CRequestWorker;
class SkinManager;
using HWND = struct HWND__*;

class CKavrelApp {
public:
    CKavrelApp();
    ~CKavrelApp();

    // The start-up sequence. False: nothing more to do, the process ends with
    // m_nExitCode: 0 after handing over to a running copy, 1 when no X server is reachable.
    bool InitInstance(int argc, char** argv);
    // The message loop until the main window is gone; the process exit code.
    int Run();

    std::string m_strAppDir;  // program folder, ends with "/"
    std::string m_strIniPath; // settings file in it
    SkinManager* m_hSkin = nullptr;
    int m_bFirstRun = 0;
    HWND m_hNoticeWnd = nullptr;
    int m_nExitCode = 0;

private:
    // The one request worker of the process; made before the main window, gone after it.
    std::unique_ptr<CRequestWorker> m_pWorker;
    std::unique_ptr<CMainFrame> m_pMainWnd;
    update::UpdateCheck m_updateCheck;
};
