#include "client/ui/PageArea.h"

#include "client/ui/FunctionTiles.h"
#include "client/ui/HtmlView.h"
#include "client/ui/MainFrame.h"
#include "client/ui/WndMessage.h"
#include "client/ui/WndYhelp.h"

namespace {

// "哈哈哈,您还没有登陆啊！" (GBK).
constexpr char kNotLoggedIn[] = "\xb9\xfe\xb9\xfe\xb9\xfe,\xc4\xfa\xbb\xb9\xc3\xbb\xd3\xd0\xb5\xc7\xc2\xbd\xb0\xa1\xa3\xa1";

constexpr const char* kRootElement = "MainFrame_Window";
constexpr const char* kPageHost = "hwndobj_main_lobby_left";
constexpr int kPageViewId = 1000;

} // namespace

std::string CPageArea::PageAddress(const std::string& pageName) const
{
    return m_frame.serverAddresses().pageBase + "/" + pageName;
}

bool CPageArea::PassesLoginGate(const std::string& pageName)
{
    if (!m_frame.IsLoggedIn()) {
        m_frame.ShowNotice(kNotLoggedIn, CMainFrame::kNoticeDelay);
        return false;
    }
    if (pageName.empty()) {
        m_frame.ShowNotice(kNotAvailableNotice, CMainFrame::kNoticeDelay);
        return false;
    }
    return true;
}

bool CPageArea::CheckPage(const std::string& pageName)
{
    if (!PassesLoginGate(pageName))
        return false;
    Prepare();
    return true;
}

void CPageArea::Prepare()
{
    DestroyHostedPage();
    m_frame.ShowElement("window_mid_part", false);
    m_frame.ShowElement("window_hwndobj", true);
    m_frame.InvalidateRect();
    m_frame.UpdateWindow();
}

void CPageArea::Close()
{
    DestroyHostedPage();
    m_frame.ShowElement("window_hwndobj", false);
    m_frame.InvalidateRect();
    m_frame.UpdateWindow();
}

void CPageArea::HostPage(const std::string& address, bool cacheBuster)
{
    // One page view at a time, whoever asks.
    DestroyHostedPage();
    CKavrelHtmlView* view = nullptr;
    HostWebPage(m_frame.m_hWnd, kRootElement, kPageHost, kPageViewId, address, cacheBuster ? &m_pageClock : nullptr,
                &view);
    m_hPageView = view ? view->m_hWnd : nullptr;
}

void CPageArea::DestroyHostedPage()
{
    if (Plugin* host = GetPluginByName(m_frame.m_hWnd, kPageHost)) {
        if (HWND hosted = host->GetWindow())
            ::DestroyWindow(hosted);
    }
    // A view the layout never took (no host element) goes as well.
    if (m_hPageView && IsWindow(m_hPageView))
        ::DestroyWindow(m_hPageView);
    m_hPageView = nullptr;
}

HWND CPageArea::CurrentPageView() const
{
    // A view ends with its window however that goes (the tour, the frame's own end), and
    // handles are never reused, so a handle that is no window any more is no view.
    return m_hPageView && IsWindow(m_hPageView) ? m_hPageView : nullptr;
}

int CPageArea::OpenTile(const FunctionTile& tile)
{
    const std::string page(tile.page);
    switch (tile.opens) {
    case TileOpens::PageArea:
        if (!CheckPage(page))
            return -1;
        HostPage(PageAddress(page), true);
        return 0;
    case TileOpens::Browser:
        if (!page.empty())
            ShellOpen(PageAddress(page));
        return 0;
    case TileOpens::MessageWindow: {
        if (!PassesLoginGate(page))
            return -1;
        CWndMessage window(m_frame.GetSkin(), &m_frame, PageAddress(page));
        window.DoModal();
        return 0;
    }
    case TileOpens::QuickHelp: {
        if (!PassesLoginGate(page))
            return 0;
        CWndYhelp window(m_frame.GetSkin(), &m_frame, PageAddress(page));
        window.DoModal();
        return 0;
    }
    }
    return 0;
}
