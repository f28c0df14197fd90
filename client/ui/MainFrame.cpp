#include "client/ui/MainFrame.h"

#include "platform/window/DesktopShell.h"

#include <cstdint>
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

    // The window starts at the layout's size, so no size change will come for it.
    RECT client;
    GetClientRect(&client);
    OnSize(client.width());

    platform::MarkRunningInstance(m_hWnd);
    return 0;
}

LRESULT CMainFrame::WindowProc(UINT msg, WPARAM wParam, LPARAM lParam)
{
    switch (msg) {
    case WM_SIZE: {
        LRESULT result = CWnd::WindowProc(msg, wParam, lParam);
        OnSize(LOWORD(static_cast<std::uintptr_t>(lParam)));
        return result;
    }
    case WM_DESTROY:
        PostQuitMessage(0);
        return 0;
    default:
        return CWnd::WindowProc(msg, wParam, lParam);
    }
}

// The skin lays the groups out for a client area 789 pixels wide (the menu for 1008); a
// wider window spreads the extra width over the gaps.
void CMainFrame::OnSize(int width)
{
    const int gap = (width - 789) / 5;
    for (const char* name : {"top_button", "mid_button", "bottom_button"}) {
        if (Plugin* row = GetPluginByName(m_hWnd, name)) {
            row->SetLayoutC(gap);
            row->Relayout(0);
        }
    }
    Plugin* plan = GetPluginByName(m_hWnd, "window_moren");
    if (plan && plan->IsVisible()) {
        if (Plugin* button = GetPluginByName(m_hWnd, "window_makeplan"))
            button->SetLayoutA((width - 102) / 2 - 99);
        plan->Relayout(0);
    }
    Plugin* menu = GetPluginByName(m_hWnd, "window_menu");
    if (menu && menu->IsVisible()) {
        const int a = (width - 1008) / 5 + 65;
        if (Plugin* buttons = GetPluginByName(m_hWnd, "window_menu_buttom")) {
            buttons->SetLayoutC(a);
            buttons->Relayout(0);
        }
        if (Plugin* guide = GetPluginByName(m_hWnd, "window_menu_guide")) {
            guide->SetLayoutC(a + 27);
            guide->SetLayoutB((a - 61) / 2 + 130);
            guide->Relayout(0);
        }
    }
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
