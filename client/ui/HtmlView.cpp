#include "client/ui/HtmlView.h"

#include "client/service/ServerClock.h"
#include "dulib/dulib.h"
#include "platform/window/WebView.h"

bool CKavrelHtmlView::Create(HWND parent, int id, DWORD style, const RECT& rect)
{
    m_created = CreateEx(0, "", style | WS_CHILD, rect.left, rect.top, rect.width(), rect.height(), parent, id);
    return m_created;
}

int CKavrelHtmlView::OnCreate(CREATESTRUCT* cs)
{
    if (CWnd::OnCreate(cs) == -1)
        return -1;
    return platform::AttachWebView(m_hWnd) ? 0 : -1;
}

void CKavrelHtmlView::PostNcDestroy()
{
    // A view that was never created is deleted by whoever made it.
    if (m_created)
        delete this;
}

bool CKavrelHtmlView::Navigate(const std::string& address)
{
    return platform::WebViewNavigate(m_hWnd, address);
}

std::string CKavrelHtmlView::GetLocationURL() const
{
    return platform::WebViewLocation(m_hWnd);
}

std::string AddCacheBuster(const std::string& address, const std::string& stamp)
{
    return address + (address.find('?') != std::string::npos ? "&randomtime=" : "?randomtime=") + stamp;
}

int HostWebPage(HWND owner, const char* rootElementName, const char* hostElementName, int identifier,
                const std::string& address, const CServerClock* cacheBuster, CKavrelHtmlView** view)
{
    if (view)
        *view = nullptr;
    Plugin* root = GetPluginByName(owner, rootElementName);

    CKavrelHtmlView* page = CKavrelHtmlView::CreateObject();
    if (!page->Create(owner, identifier, WS_CHILD, RECT{})) {
        delete page;
        return -1;
    }
    HWND pageWindow = page->m_hWnd;

    std::string target = cacheBuster ? AddCacheBuster(address, cacheBuster->Format()) : address;
    page->Navigate(target);
    page->InvalidateRect();
    page->UpdateWindow();

    // Without the root element (a layout that lacks it) the view stays hidden.
    if (Plugin* host = root && hostElementName ? root->FindChild(hostElementName) : nullptr) {
        // The engine places the view over the element and shows it with the element.
        host->AttachWindow(pageWindow);
    }
    InvalidateRect(owner, nullptr, true);
    UpdateWindow(owner);
    if (view)
        *view = IsWindow(pageWindow) ? page : nullptr;
    return 0;
}
