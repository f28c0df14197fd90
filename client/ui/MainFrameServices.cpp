// CMainFrame's frame services: the tray, close, minimise and maximise, the caption double
// click, the settings drop-down and the colour scheme.
#include "client/settings/Settings.h"
#include "client/ui/DropDownTracking.h"
#include "client/ui/MainFrame.h"
#include "client/ui/WndMenu.h"
#include "platform/window/DesktopShell.h"
#include "platform/window/NotificationArea.h"

#include <strings.h>

namespace {

constexpr UINT kTrayIconId = 128;
constexpr int kCaptionHeight = 61; // a double click above this line maximises or restores
constexpr int kDropDownId = 2000;

// Registered on first use; each name gives the same value for the whole process.
UINT showTaskMessage()
{
    static const UINT message = RegisterWindowMessage("WM_SHOWTASK");
    return message;
}
UINT closeTaskCommand()
{
    static const UINT message = RegisterWindowMessage("WM_CLOSETASK");
    return message;
}
UINT goToKavrelCommand()
{
    static const UINT message = RegisterWindowMessage("WM_GOTOKAVREL");
    return message;
}

// The style groups a colour scheme rewrites, in the order they are rewritten.
constexpr const char* kRecolourGroups[] = {
    "review",         "checkpoint",  "audio",          "rechtssatz",    "testyourself", "question",
    "yijianbangzhu",  "shousuo",     "chongzhigoumai", "kaodian",       "fatiao",       "zhenti",
    "dagang",         "molikaochang", "shipin",        "ziwoceshi",     "wenda",        "yinpin",
    "jihua",          "fudao",       "dayin",          "wodeziliao",    "liti",         "changeskin_back",
    "makeplan",       "about_back",  "landing_back",   "login_sysnew",  "message_back", "choose",
    "edit_1",         "updatemessage_back", "Yhelp_back", "return",     "quanzi",       "monishiti",
    "monishijuan",    "liaotianshi", "focus_ring",
};
// Colour-scheme suffixes other than the blue default (which has none).
constexpr const char* kColourSuffixes[] = {"_Orange"};

// The suffix as the skin spells it, or null for a value that names no scheme.
const char* knownSuffix(const std::string& scheme)
{
    if (scheme.empty())
        return "";
    for (const char* suffix : kColourSuffixes) {
        if (strcasecmp(scheme.c_str(), suffix) == 0)
            return suffix;
    }
    return nullptr;
}

std::string withoutColourSuffixes(std::string value)
{
    for (const std::string suffix : kColourSuffixes) {
        for (auto at = value.find(suffix); at != std::string::npos; at = value.find(suffix))
            value.erase(at, suffix.size());
    }
    return value;
}

} // namespace

bool CMainFrame::OnServicesMessage(UINT msg, WPARAM wParam, LPARAM lParam, LRESULT* result)
{
    if (msg == showTaskMessage()) {
        *result = OnShowTask(wParam, lParam);
        return true;
    }
    if (msg == WM_COMMAND) {
        const int command = LOWORD(wParam);
        if (command == LOWORD(goToKavrelCommand())) {
            ShellOpen(m_strWebSite);
            *result = 0;
            return true;
        }
        if (command == LOWORD(closeTaskCommand())) {
            CloseClient();
            *result = 0;
            return true;
        }
        return false;
    }
    if (msg == WM_LBUTTONDBLCLK)
        OnCaptionDoubleClick(lParam); // and then handled as usual
    else if (msg == WM_DESTROY)
        platform::RemoveTrayIcon(kTrayIconId); // the icon does not outlive the client
    return false;
}

int CMainFrame::OnSysMin(Plugin*, int, int)
{
    // Adding the icon again updates the one already there.
    platform::AddTrayIcon(m_hWnd, kTrayIconId, showTaskMessage(), "Kavrel");
    // Hidden with no notification area to show the icon, the window could not come back.
    ShowWindow(platform::HasNotificationArea() ? SW_HIDE : SW_MINIMIZE);
    return 0;
}

int CMainFrame::OnSysMax(Plugin*, int param1, int)
{
    ShowWindow(param1 != 0 ? SW_SHOWMAXIMIZED : SW_RESTORE);
    return 0;
}

int CMainFrame::OnSysClose(Plugin*, int, int)
{
    CloseClient();
    return 0;
}

void CMainFrame::CloseClient()
{
    Logout();
    PostMessage(WM_CLOSE);
    if (HWND notice = NoticeWindow())
        ::PostMessage(notice, WM_CLOSE, 0, 0);
}

LRESULT CMainFrame::OnShowTask(WPARAM iconId, LPARAM mouseMessage)
{
    if (iconId != kTrayIconId)
        return 1;
    switch (static_cast<UINT>(mouseMessage)) {
    case WM_LBUTTONDBLCLK:
        ShowWindow(IsIconic(m_hWnd) ? SW_RESTORE : SW_SHOW);
        SetForegroundWindow(m_hWnd);
        break;
    case WM_RBUTTONUP: {
        const POINT at = platform::GetCursorPos();
        // "Kavrel官网" and "退出" in GBK; a choice comes back as WM_COMMAND.
        platform::TrackPopupMenu({{goToKavrelCommand(), "Kavrel\xB9\xD9\xCD\xF8"}, {closeTaskCommand(), "\xCD\xCB\xB3\xF6"}},
                                 at.x, at.y, m_hWnd);
        break;
    }
    default:
        break;
    }
    return 0;
}

void CMainFrame::OnCaptionDoubleClick(LPARAM point)
{
    Plugin* mask = GetPluginByName(m_hWnd, "window_mask");
    if ((mask && mask->IsVisible()) || GET_Y_LPARAM(point) >= kCaptionHeight)
        return;
    ShowWindow(IsZoomed(m_hWnd) ? SW_RESTORE : SW_SHOWMAXIMIZED);
}

int CMainFrame::OnSysSet(Plugin* element, int, int)
{
    SetForegroundWindow(m_hWnd);
    CWndMenu menu(GetSkin(), this);
    // Created hidden, so it never shows at the screen's corner before it is placed.
    if (!menu.CreateEx(WS_EX_TOPMOST | WS_EX_TOOLWINDOW, "", WS_CHILD, 0, 0, 0, 0, GetDesktopWindow(), kDropDownId))
        return -1;

    // Under the button, 30 pixels to its left, shown without taking the activation.
    RECT button;
    element->GetRect(&button);
    POINT corner{button.left, button.bottom};
    ClientToScreen(m_hWnd, &corner);
    RECT face;
    menu.GetWindowRect(&face);
    menu.MoveWindow(corner.x - 30, corner.y, face.width(), face.height(), false);
    menu.ShowWindow(SW_SHOWNOACTIVATE);

    m_nDropDownDismissed = 0;
    TrackDropDown(m_hWnd, menu, m_nDropDownDismissed);
    m_nDropDownDismissed = 0;
    // The window may have gone during the tracking (a close request), and its elements
    // with it.
    if (m_hWnd)
        Plugin_Redraw(element, 1);
    return 0;
}

void CMainFrame::ChangeColourScheme(const std::string& scheme)
{
    const char* suffix = knownSuffix(scheme);
    if (!suffix)
        return;

    if (ResourceTable* resources = GetSkin() ? GetSkin()->GetResources() : nullptr) {
        Resource* back = resources->Find("window_back_change", RES_STYLE);
        if (StyleItem* item = back ? back->Item(0) : nullptr)
            item->SetValue((std::string("back") + suffix).c_str());
        if (Plugin* root = GetPluginByName(m_hWnd, "MainFrame_Window"))
            root->SetStyle("window_back_change");
        for (const char* name : kRecolourGroups) {
            Resource* group = resources->Find(name, RES_STYLE);
            for (int i = 0; group && i < group->Count(); ++i) {
                StyleItem* item = group->Item(i);
                item->SetValue((withoutColourSuffixes(item->GetValue()) + suffix).c_str());
            }
        }
    }
    InvalidateRect();
    UpdateWindow();
    Settings(Settings::PathIn(m_strAppDir)).setBackground(suffix);
}
