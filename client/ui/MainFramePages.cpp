// The main window's study pages: the login gate, the page area with its one hosted view,
// the browser pages, the message and quick-help windows and the way back to the home panel.
#include "client/ui/MainFrame.h"

#include "client/ui/HtmlView.h"
#include "client/ui/WndMessage.h"
#include "client/ui/WndYhelp.h"

#include <string_view>

namespace {

// "哈哈哈,您还没有登陆啊！" (GBK).
constexpr char kNotLoggedIn[] = "\xb9\xfe\xb9\xfe\xb9\xfe,\xc4\xfa\xbb\xb9\xc3\xbb\xd3\xd0\xb5\xc7\xc2\xbd\xb0\xa1\xa3\xa1";

constexpr const char* kRootElement = "MainFrame_Window";
constexpr const char* kPageHost = "hwndobj_main_lobby_left";
constexpr int kPageViewId = 1000;

struct PageRow {
    std::string_view element;
    std::string_view page; // empty: the function is not offered yet
};

// Every element that opens a page, with the page's name exactly as the service knows it.
constexpr PageRow kPages[] = {
    {"window_kaodian", "testSites_sitesList.htm"},
    {"window_fatiao", "regulation_showList.htm"},
    {"window_zhenti", "examPaper_getList.htm"},
    {"window_dagang", "outline_list.htm"},
    {"window_wodeziliao", "./resource_index.htm"},
    {"window_liaotianshi", "./chat_index.htm"},
    {"window_ziwoceshi", "testself_showList.htm"},
    {"window_wenda", "discuss_index.htm"},
    {"window_yinpin", ""},
    {"window_jihua", "./rule_planStudy.htm"},
    {"window_makeplan", "./rule_planStudy.htm"},
    {"window_fudao", ""},
    {"window_dayin", "./print_index.htm"},
    {"window_molikaochang", "simExam_showSimExamList.htm"},
    {"window_person", "memberCenter_testCenter.htm"},
    {"window_review", "./rule_showReview.htm"},
    {"window_checkpoint", "./rule_showPoint.htm"},
    {"window_audio", "./rule_showAudio.htm"},
    {"window_rechtssatz", "./rule_showLaw.htm"},
    {"window_testyourself", "./rule_showPep.htm"},
    {"window_question", "discuss_index.htm"},
    {"window_chongzhigoumai", "./orders_index.htm"},
    {"window_shousuo", "softSearch_searchList.htm"},
    {"window_shipin", "./video_index.htm?rid=1&year=2012"},
    {"window_monishiti", "./simSite_toIndex.htm"},
    {"window_quanzi", "./group_myGroup.htm"},
    {"window_monishijuan", "./examPaper_showSimPaperList.htm"},
    // Opened in the member's browser, without a login.
    {"window_vip_register", "member_registe.htm"},
    {"window_vip_forget", "pass_password.htm"},
    // Opened in their own modal windows.
    {"window_email", "shortMessage_receivedBox.htm"},
    {"window_yijianbangzhu", "fastHelp_showHelpPage.htm"},
};

// The page name of an element; empty for an element without a page.
std::string pageOf(Plugin* element)
{
    const std::string name = element ? element->GetName() : std::string();
    for (const PageRow& row : kPages) {
        if (row.element == name)
            return std::string(row.page);
    }
    return {};
}

} // namespace

std::string CMainFrame::PageAddress(const std::string& pageName) const
{
    return m_addresses.pageBase + "/" + pageName;
}

bool CMainFrame::PassesLoginGate(const std::string& pageName)
{
    if (!IsLoggedIn()) {
        ShowNotice(kNotLoggedIn, kNoticeDelay);
        return false;
    }
    if (pageName.empty()) {
        ShowNotice(kNotAvailableNotice, kNoticeDelay);
        return false;
    }
    return true;
}

bool CMainFrame::CheckPage(const std::string& pageName)
{
    if (!PassesLoginGate(pageName))
        return false;
    DestroyHostedPage();
    ShowElement("window_mid_part", false);
    ShowElement("window_hwndobj", true);
    InvalidateRect();
    UpdateWindow();
    return true;
}

void CMainFrame::HostPage(const std::string& address, bool cacheBuster)
{
    // One page view at a time, whoever asks.
    DestroyHostedPage();
    CKavrelHtmlView* view = nullptr;
    HostWebPage(m_hWnd, kRootElement, kPageHost, kPageViewId, address, cacheBuster ? &m_pageClock : nullptr, &view);
    m_hPageView = view ? view->m_hWnd : nullptr;
}

void CMainFrame::DestroyHostedPage()
{
    if (Plugin* host = GetPluginByName(m_hWnd, kPageHost)) {
        if (HWND hosted = host->GetWindow())
            ::DestroyWindow(hosted);
    }
    // A view the layout never took (no host element) goes as well.
    if (m_hPageView && IsWindow(m_hPageView))
        ::DestroyWindow(m_hPageView);
    m_hPageView = nullptr;
}

HWND CMainFrame::CurrentPageView() const
{
    // A view ends with its window however that goes (the tour, the frame's own end), and
    // handles are never reused, so a handle that is no window any more is no view.
    return m_hPageView && IsWindow(m_hPageView) ? m_hPageView : nullptr;
}

int CMainFrame::OnPageButton(Plugin* element, int, int)
{
    const std::string page = pageOf(element);
    if (!CheckPage(page))
        return -1;
    HostPage(PageAddress(page), true);
    return 0;
}

int CMainFrame::OnBrowserPage(Plugin* element, int, int)
{
    const std::string page = pageOf(element);
    if (!page.empty())
        ShellOpen(PageAddress(page));
    return 0;
}

int CMainFrame::OnMessageWindow(Plugin* element, int, int)
{
    const std::string page = pageOf(element);
    if (!PassesLoginGate(page))
        return -1;
    CWndMessage window(GetSkin(), this, PageAddress(page));
    window.DoModal();
    return 0;
}

int CMainFrame::OnQuickHelp(Plugin* element, int, int)
{
    const std::string page = pageOf(element);
    if (!PassesLoginGate(page))
        return 0;
    CWndYhelp window(GetSkin(), this, PageAddress(page));
    window.DoModal();
    return 0;
}

int CMainFrame::OnReturn(Plugin*, int, int)
{
    KillTimer(kExternalLoginTimer);
    ShowElement("window_mid_part", true);
    // Today's plan, or the invitation to make one.
    ShowPlanPanels();
    DestroyHostedPage();
    ShowElement("window_hwndobj", false);
    InvalidateRect();
    UpdateWindow();
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
