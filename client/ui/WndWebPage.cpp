#include "client/ui/WndWebPage.h"

#include "client/ui/HtmlView.h"
#include "platform/window/WebView.h"

#include <utility>

namespace {
constexpr int kViewId = 2000;
constexpr WPARAM kVkEscape = 27;
} // namespace

CWndWebPage::CWndWebPage(SkinManager* skin, CWnd* owner, const char* layout, const char* hostElement, std::string page)
    : CModalWnd(skin, owner), m_layout(layout), m_hostElement(hostElement), m_strPage(std::move(page))
{
}

int CWndWebPage::OnCreate(CREATESTRUCT* cs)
{
    if (CreateSkinned(cs, m_layout) == -1)
        return -1;
    if (HostWebPage(m_hWnd, m_layout, m_hostElement, kViewId, m_strPage, nullptr, &m_pView) == -1)
        return -1;
    return 0;
}

LRESULT CWndWebPage::WindowProc(UINT msg, WPARAM wParam, LPARAM lParam)
{
    if (msg == platform::WebViewNotifyMessage() && lParam == platform::WebViewCloseRequested) {
        if (m_bClosedByPage)
            OnCancel();
        return 0;
    }
    switch (msg) {
    case WM_KEYDOWN:
        if (wParam == kVkEscape) {
            OnCancel();
            return 0;
        }
        break;
    case WM_DESTROY:
        // The view goes with this window.
        m_pView = nullptr;
        break;
    default:
        break;
    }
    return CModalWnd::WindowProc(msg, wParam, lParam);
}

int CWndWebPage::OnClose(Plugin*, int, int)
{
    OnCancel();
    return 0;
}
