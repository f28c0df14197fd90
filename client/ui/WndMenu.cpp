#include "client/ui/WndMenu.h"

#include "client/ui/MainFrame.h"
#include "client/ui/WndAbout.h"
#include "client/ui/WndChangeSkin.h"

const EventMapEntry<CWndMenu> CWndMenu::s_events[] = {
    {"window_help_easy", PE_CLICK, &CWndMenu::OnWebSite},
    {"window_help_color", PE_CLICK, &CWndMenu::OnColour},
    {"window_help_about", PE_CLICK, &CWndMenu::OnAbout},
    {nullptr, 0, nullptr},
};

int CWndMenu::OnCreate(CREATESTRUCT*)
{
    // A drop-down is only its face: no default creation step.
    if (GetSkin())
        (void)WindowManager_Attach(GetSkin(), m_hWnd, "window_listbox"); // undrawn without its layout
    return 0;
}

LRESULT CWndMenu::WindowProc(UINT msg, WPARAM wParam, LPARAM lParam)
{
    if (msg == WM_LBUTTONDOWN) {
        // While tracked, every click of the thread arrives here in this window's
        // coordinates: one outside it dismisses it.
        RECT client;
        GetClientRect(&client);
        const int x = GET_X_LPARAM(lParam), y = GET_Y_LPARAM(lParam);
        if (x < client.left || x >= client.right || y < client.top || y >= client.bottom)
            m_pFrame->SetDropDownDismissed();
        return Default();
    }
    return CWnd::WindowProc(msg, wParam, lParam);
}

int CWndMenu::OnSkinEvent(Plugin* element, const PluginEvent* event)
{
    return DispatchSkinEvent(this, s_events, element, event);
}

int CWndMenu::OnWebSite(Plugin*, int, int)
{
    ShellOpen(m_pFrame->WebSite());
    ShowWindow(SW_HIDE);
    // Hidden, the drop-down would otherwise keep taking the keys and the next click.
    m_pFrame->SetDropDownDismissed();
    return 0;
}

template <class Window>
void CWndMenu::RunFromDropDown()
{
    m_pFrame->SetDropDownDismissed();
    ShowWindow(SW_HIDE);
    Window window(GetSkin(), m_pFrame);
    window.DoModal();
}

int CWndMenu::OnColour(Plugin*, int, int)
{
    RunFromDropDown<CWndChangeSkin>();
    return 0;
}

int CWndMenu::OnAbout(Plugin*, int, int)
{
    RunFromDropDown<CWndAbout>();
    return 0;
}
