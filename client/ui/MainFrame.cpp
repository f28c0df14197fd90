#include "client/ui/MainFrame.h"

#include "client/ui/ServerAddressError.h"
#include "platform/window/DesktopShell.h"

#include <cstdint>
#include <utility>

CMainFrame* g_pMainFrame = nullptr;

// Tried in this order; the first row whose name and code match runs.
const EventMapEntry<CMainFrame> CMainFrame::s_events[] = {
    {"window_sysmin", PE_CLICK, &CMainFrame::OnSysMin},
    {"window_sysmax", PE_TOGGLE, &CMainFrame::OnSysMax},
    {"window_sysclose", PE_CLICK, &CMainFrame::OnSysClose},
    {"window_yijianbangzhu", PE_CLICK, &CMainFrame::OnQuickHelp},
    {"window_makeplan", PE_CLICK, &CMainFrame::OnPageButton},
    {"window_return", PE_CLICK, &CMainFrame::OnReturn},
    {"window_vip", PE_CLICK, &CMainFrame::OnMemberButton},
    {"window_vip_forget", PE_CLICK, &CMainFrame::OnBrowserPage},
    {"window_vip_register", PE_CLICK, &CMainFrame::OnBrowserPage},
    {"window_ZC_returnbj", PE_CLICK, &CMainFrame::OnPanelReturn},
    {"window_MN_returnbj", PE_CLICK, &CMainFrame::OnPanelReturn},

    {"window_kaodian", PE_CLICK, &CMainFrame::OnPageButton},
    {"window_fatiao", PE_CLICK, &CMainFrame::OnPageButton},
    {"window_zhenti", PE_CLICK, &CMainFrame::OnPageButton},
    {"window_dagang", PE_CLICK, &CMainFrame::OnPageButton},
    {"window_wodeziliao", PE_CLICK, &CMainFrame::OnPageButton},
    {"window_liaotianshi", PE_CLICK, &CMainFrame::OnPageButton},
    {"window_ziwoceshi", PE_CLICK, &CMainFrame::OnPageButton},
    {"window_wenda", PE_CLICK, &CMainFrame::OnPageButton},
    {"window_yinpin", PE_CLICK, &CMainFrame::OnPageButton},
    {"window_jihua", PE_CLICK, &CMainFrame::OnPageButton},
    {"window_fudao", PE_CLICK, &CMainFrame::OnPageButton},
    {"window_dayin", PE_CLICK, &CMainFrame::OnPageButton},
    {"window_molikaochang", PE_CLICK, &CMainFrame::OnPageButton},

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

    {"window_email", PE_CLICK, &CMainFrame::OnMessageWindow},
    {"window_person", PE_CLICK, &CMainFrame::OnPageButton},

    {"window_last", PE_CLICK, &CMainFrame::OnLogoutButton},

    {"window_review", PE_CLICK, &CMainFrame::OnPageButton},
    {"window_checkpoint", PE_CLICK, &CMainFrame::OnPageButton},
    {"window_audio", PE_CLICK, &CMainFrame::OnPageButton},
    {"window_rechtssatz", PE_CLICK, &CMainFrame::OnPageButton},
    {"window_testyourself", PE_CLICK, &CMainFrame::OnPageButton},
    {"window_question", PE_CLICK, &CMainFrame::OnPageButton},
    {"window_chongzhigoumai", PE_CLICK, &CMainFrame::OnPageButton},
    {"window_shousuo", PE_CLICK, &CMainFrame::OnPageButton},
    {"window_shipin", PE_CLICK, &CMainFrame::OnPageButton},

    {"window_syshelp", PE_CLICK, &CMainFrame::OnSysHelp},
    {"window_sysset", PE_ACTIVATE, &CMainFrame::OnSysSet},

    {"window_monishiti", PE_ACTIVATE, &CMainFrame::OnPageButton},
    {"window_quanzi", PE_ACTIVATE, &CMainFrame::OnPageButton},
    {"window_monishijuan", PE_ACTIVATE, &CMainFrame::OnPageButton},
    {nullptr, 0, nullptr},
};

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
    if (Plugin* mask = GetPluginByName(m_hWnd, "window_mask"))
        mask->Show(1);
    if (m_bFirstRun == 1)
        ShowGuidance();

    ServerAddressFile file = ReadServerAddressFile(m_strAppDir + "domain.vmx");
    if (!file.ok())
        FailOnServerAddressError(file.error);
    m_addresses = file.addresses;
    m_strWebSite = KAVREL_WEBSITE_HOST;

    CreateSessionParts();
    CreateUpdateParts();
    // These functions are not offered yet, whatever the skin says.
    for (const char* name : {"window_fudao", "window_yinpin"}) {
        if (Plugin* element = GetPluginByName(m_hWnd, name))
            element->Show(0);
    }
    RequestExamAds();

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
    LRESULT result = 0;
    if (OnSessionMessage(msg, wParam, lParam, &result) || OnServicesMessage(msg, wParam, lParam, &result) ||
        OnUpdateMessage(msg, wParam, lParam, &result))
        return result;

    switch (msg) {
    case WM_SIZE:
        result = CWnd::WindowProc(msg, wParam, lParam);
        OnSize(LOWORD(static_cast<std::uintptr_t>(lParam)));
        return result;
    case WM_DESTROY:
        DestroySessionParts();
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

void CMainFrame::ShowElement(const char* name, bool show)
{
    if (Plugin* element = GetPluginByName(m_hWnd, name))
        element->Show(show ? 1 : 0);
}

void CMainFrame::ShowPlanPanels()
{
    const bool hasPlan = !Session().plan.empty();
    ShowElement("window_moren", !hasPlan);
    ShowElement("window_menu", hasPlan);
}

int CMainFrame::OnSkinEvent(Plugin* element, const PluginEvent* event)
{
    return DispatchSkinEvent(this, s_events, element, event);
}
