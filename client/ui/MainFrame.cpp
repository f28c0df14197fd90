#include "client/ui/MainFrame.h"

#include "platform/window/DesktopShell.h"

#include <utility>

const EventMapEntry<CMainFrame> CMainFrame::s_events[] = {
    {"window_sysmin", PE_CLICK, &CMainFrame::OnSysMin},
    {"window_sysmax", PE_TOGGLE, &CMainFrame::OnSysMax},
    {"window_sysclose", PE_CLICK, &CMainFrame::OnSysClose},
    {nullptr, 0, nullptr},
};

CMainFrame::CMainFrame(std::string appDir) : m_strAppDir(std::move(appDir)) {}

bool CMainFrame::Create()
{
    // The layout gives the frame its size; the window is centred on the work area.
    return CreateEx(0, "Kavrel", WS_POPUP | WS_OVERLAPPEDWINDOW, 0, 0, 1008, 640, nullptr, 0);
}

int CMainFrame::OnCreate(CREATESTRUCT* cs)
{
    if (CreateSkinned(cs, "MainFrame_Window") == -1)
        return -1;

    ServerAddressFile file = ReadServerAddressFile(m_strAppDir + "domain.vmx");
    if (!file.ok())
        FailOnServerAddressError(file.error);
    m_addresses = file.addresses;

    RECT work = GetWorkArea();
    RECT frame;
    GetWindowRect(&frame);
    MoveWindow(work.left + (work.width() - frame.width()) / 2, work.top + (work.height() - frame.height()) / 2,
               frame.width(), frame.height());

    platform::MarkRunningInstance(m_hWnd);
    return 0;
}

LRESULT CMainFrame::WindowProc(UINT msg, WPARAM wParam, LPARAM lParam)
{
    if (msg == WM_DESTROY) {
        PostQuitMessage(0);
        return 0;
    }
    return CWnd::WindowProc(msg, wParam, lParam);
}

int CMainFrame::OnSkinEvent(Plugin* element, const PluginEvent* event)
{
    return DispatchSkinEvent(this, s_events, element, event);
}

int CMainFrame::OnSysMin(Plugin*, int, int)
{
    ShowWindow(SW_MINIMIZE);
    return 0;
}

int CMainFrame::OnSysMax(Plugin*, int param1, int)
{
    ShowWindow(param1 != 0 ? SW_SHOWMAXIMIZED : SW_RESTORE);
    return 0;
}

int CMainFrame::OnSysClose(Plugin*, int, int)
{
    PostMessage(WM_CLOSE);
    return 0;
}
