// CMainFrame: creation, the message map, the event table, the width layout and the home
// panel's buttons.
#include "client/ui/MainFrame.h"

#include "client/ui/FunctionTiles.h"
#include "client/ui/ServerAddressError.h"
#include "client/settings/Settings.h"
#include "platform/window/DesktopShell.h"
#include "platform/window/WebView.h"

#include <cstdint>
#include <iterator>
#include <utility>
#include <vector>

CMainFrame* g_pMainFrame = nullptr;

// The rows of every element that is no function tile. Element names are unique across
// this table and the tile table, so the order of the rows never decides which one runs.
const EventMapEntry<CMainFrame> CMainFrame::s_events[] = {
    {"window_sysmin", PE_CLICK, &CMainFrame::OnSysMin},
    {"window_sysmax", PE_TOGGLE, &CMainFrame::OnSysMax},
    {"window_sysclose", PE_CLICK, &CMainFrame::OnSysClose},
    {"window_return", PE_CLICK, &CMainFrame::OnReturn},
    {"window_vip", PE_CLICK, &CMainFrame::OnMemberButton},
    {"window_ZC_returnbj", PE_CLICK, &CMainFrame::OnPanelReturn},
    {"window_MN_returnbj", PE_CLICK, &CMainFrame::OnPanelReturn},

    {"window_button_step1", PE_CLICK, &CMainFrame::OnTourNext},
    {"window_button_step21", PE_CLICK, &CMainFrame::OnTourNext},
    {"window_button_step31", PE_CLICK, &CMainFrame::OnTourNext},
    {"window_button_step41", PE_CLICK, &CMainFrame::OnTourNext},
    {"window_button_step51", PE_CLICK, &CMainFrame::OnTourNext},
    {"window_button_step22", PE_CLICK, &CMainFrame::OnTourEnd},
    {"window_button_step32", PE_CLICK, &CMainFrame::OnTourEnd},
    {"window_button_step42", PE_CLICK, &CMainFrame::OnTourEnd},
    {"window_button_step52", PE_CLICK, &CMainFrame::OnTourEnd},
    {"window_button_step6", PE_CLICK, &CMainFrame::OnTourEnd},

    {"window_last", PE_CLICK, &CMainFrame::OnLogoutButton},
    {"window_syshelp", PE_CLICK, &CMainFrame::OnSysHelp},
    {"window_sysset", PE_ACTIVATE, &CMainFrame::OnSysSet},
    {nullptr, 0, nullptr},
};

const EventMapEntry<CMainFrame>* CMainFrame::EventTable()
{
    static const std::vector<EventMapEntry<CMainFrame>> table = [] {
        std::vector<EventMapEntry<CMainFrame>> rows(std::begin(s_events), std::end(s_events) - 1);
        for (const FunctionTile& tile : kFunctionTiles)
            rows.push_back({tile.element, tile.code, &CMainFrame::OnTile});
        rows.push_back({nullptr, 0, nullptr});
        return rows;
    }();
    return table.data();
}

CMainFrame::CMainFrame(std::string appDir, SkinManager* skin, int firstRun)
    : CWnd(skin), m_strAppDir(std::move(appDir)), m_bFirstRun(firstRun)
{
}

CMainFrame::~CMainFrame()
{
    if (g_pMainFrame == this)
        g_pMainFrame = nullptr;
}

bool CMainFrame::Create()
{
    // The layout gives the frame its size; the window is centred on the work area.
    return CreateEx(0, "Kavrel", WS_POPUP | WS_OVERLAPPEDWINDOW, 0, 0, 1008, 640, nullptr, 0);
}

int CMainFrame::OnCreate(CREATESTRUCT* cs)
{
    if (CreateSkinned(cs, "MainFrame_Window") == -1)
        return -1;

    // The mask covers the face until a member logs in.
    ShowElement("window_mask", true);
    if (m_bFirstRun == 1)
        ShowGuidance();

    ServerAddressFile file = ReadServerAddressFile(m_strAppDir + "domain.vmx");
    if (!file.ok())
        FailOnServerAddressError(file.error);
    m_addresses = file.addresses;
    m_strWebSite = KAVREL_WEBSITE_HOST;
    // Every page opens at the zoom the member last chose.
    platform::SetWebViewZoom(Settings(Settings::PathIn(m_strAppDir)).zoom() / 100.0);

    m_member.Create();
    CreateUpdateParts();
    // These functions are not offered yet, whatever the skin says.
    for (const char* name : {"window_fudao", "window_yinpin"})
        ShowElement(name, false);
    m_member.RequestExamAds();

    RECT work = GetWorkArea();
    RECT frame;
    GetWindowRect(&frame);
    MoveWindow(work.left + (work.width() - frame.width()) / 2, work.top + (work.height() - frame.height()) / 2,
               frame.width(), frame.height());

    // The window starts at the layout's size, so no size change will come for it.
    Relayout();

    platform::MarkRunningInstance(m_hWnd);
    return 0;
}

LRESULT CMainFrame::WindowProc(UINT msg, WPARAM wParam, LPARAM lParam)
{
    LRESULT result = 0;
    if (m_member.OnMessage(msg, wParam, lParam, &result) || OnServicesMessage(msg, wParam, lParam, &result) ||
        OnUpdateMessage(msg, wParam, lParam, &result))
        return result;

    switch (msg) {
    case WM_SIZE:
        result = CWnd::WindowProc(msg, wParam, lParam);
        OnSize(LOWORD(static_cast<std::uintptr_t>(lParam)));
        return result;
    case WM_DESTROY:
        m_member.Destroy();
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

void CMainFrame::Relayout()
{
    RECT client;
    GetClientRect(&client);
    OnSize(client.width());
}

void CMainFrame::ShowElement(const char* name, bool show)
{
    Plugin_SetVisible(GetPluginByName(m_hWnd, name), show ? 1 : 0);
}

int CMainFrame::OnSkinEvent(Plugin* element, const PluginEvent* event)
{
    return DispatchSkinEvent(this, EventTable(), element, event);
}

int CMainFrame::OnTile(Plugin* element, int, int)
{
    const FunctionTile* tile = FindFunctionTile(element->GetName());
    return tile ? m_pages.OpenTile(*tile) : 0;
}

int CMainFrame::OnReturn(Plugin*, int, int)
{
    m_member.StopExternalLoginPoll();
    ShowElement("window_mid_part", true);
    m_member.ShowPlanPanels();
    m_pages.Close();
    return 0;
}

int CMainFrame::OnPanelReturn(Plugin* element, int, int)
{
    if (Plugin* panel = element ? element->GetParent() : nullptr)
        panel->Show(0);
    ShowElement("window_mid_part", true);
    InvalidateRect();
    UpdateWindow();
    return 0;
}

int CMainFrame::OnMemberButton(Plugin*, int, int)
{
    return m_member.OnMemberButton();
}

int CMainFrame::OnLogoutButton(Plugin* element, int, int)
{
    return m_member.OnLogoutButton(element);
}
