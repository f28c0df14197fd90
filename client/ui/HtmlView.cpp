#include "client/ui/HtmlView.h"

#include "client/service/ServerClock.h"
#include "client/settings/Settings.h"
#include "client/ui/MainFrame.h"
#include "client/ui/WndLoginsysnew.h"
#include "client/ui/WndPageWindow.h"
#include "platform/CodeLib.h"

#include <cctype>
#include <cstdio>
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

LRESULT CKavrelHtmlView::WindowProc(UINT msg, WPARAM wParam, LPARAM lParam)
{
    if (msg == platform::WebViewNotifyMessage() && lParam == platform::WebViewZoomChanged) {
        if (g_pMainFrame)
            Settings(Settings::PathIn(g_pMainFrame->appDir())).setZoom(static_cast<int>(platform::WebViewZoom() * 100 + 0.5));
        return 0;
    }
    if (msg == platform::WebViewNotifyMessage() && lParam == platform::WebViewNewWindowRequested) {
        // The owner of a page window is the window this page lies in. A page window runs
        // modally, and this view may be gone when it ends: nothing of it is used after.
        const HWND parent = GetParent(m_hWnd);
        for (const platform::WebViewNewWindow& request : platform::WebViewTakeNewWindowRequests(m_hWnd)) {
            if (g_pMainFrame && IsWindow(parent))
                OpenRequestedWindow(*g_pMainFrame, CWnd::FromHandle(parent), request.address,
                                    SIZE{request.width, request.height});
        }
        return 0;
    }
    if (msg == platform::WebViewNotifyMessage() && lParam == platform::WebViewDownloadNews) {
        for (const platform::WebViewDownload& d : platform::WebViewTakeDownloads(m_hWnd))
            ShowDownloadNotice(d);
        return 0;
    }
    return CWnd::WindowProc(msg, wParam, lParam);
}

void CKavrelHtmlView::ShowDownloadNotice(const platform::WebViewDownload& download)
{
    if (!g_pMainFrame)
        return;
    const std::string name = CCodeLib::Utf8ToAnsi(download.name);
    switch (download.state) {
    case platform::WebViewDownload::Started:
        m_downloadNotices[name] = kDownloadStarted + name;
        g_pMainFrame->ShowNotice(m_downloadNotices[name], CMainFrame::kNoticeDelay);
        break;
    case platform::WebViewDownload::Progress: {
        // Only while the window still holds this download's notice: a newer notice stays.
        auto it = m_downloadNotices.find(name);
        if (it == m_downloadNotices.end())
            break;
        std::string text = kDownloadStarted + DownloadProgressText(name, download.received, download.total);
        if (g_pMainFrame->UpdateNotice(it->second, text))
            it->second = std::move(text);
        break;
    }
    case platform::WebViewDownload::Finished: {
        m_downloadNotices.erase(name);
        // The link opens the file with the desktop's handler for its type.
        g_pMainFrame->ShowNoticeLink(kDownloadFinished + name, FileAddress(download.path), CMainFrame::kNoticeDelay,
                                     CWndLoginsysnew::kFileLink);
        break;
    }
    case platform::WebViewDownload::Failed:
        m_downloadNotices.erase(name);
        g_pMainFrame->ShowNotice(kDownloadFailed + name, CMainFrame::kNoticeDelay);
        break;
    }
}

bool CKavrelHtmlView::Navigate(const std::string& address)
{
    return platform::WebViewNavigate(m_hWnd, address);
}

std::string CKavrelHtmlView::GetLocationURL() const
{
    return platform::WebViewLocation(m_hWnd);
}

namespace {

std::string sizeText(std::uint64_t bytes)
{
    char text[32];
    if (bytes < 1024)
        std::snprintf(text, sizeof text, "%llu B", static_cast<unsigned long long>(bytes));
    else if (bytes < 1024 * 1024)
        std::snprintf(text, sizeof text, "%llu KB", static_cast<unsigned long long>(bytes / 1024));
    else
        std::snprintf(text, sizeof text, "%.1f MB", static_cast<double>(bytes) / (1024.0 * 1024.0));
    return text;
}

} // namespace

std::string DownloadProgressText(const std::string& name, std::uint64_t received, std::uint64_t total)
{
    if (total == 0)
        return name + " " + sizeText(received);
    // An answer longer than it said reads 100 %, never more.
    const unsigned percent =
        received >= total ? 100u : static_cast<unsigned>(static_cast<long double>(received) * 100 / static_cast<long double>(total));
    return name + " " + std::to_string(percent) + "% (" + sizeText(received) + " / " + sizeText(total) + ")";
}

std::string FileAddress(const std::string& path)
{
    std::string out = "file://";
    for (unsigned char c : path) {
        if (std::isalnum(c) || c == '/' || c == '-' || c == '_' || c == '.' || c == '~') {
            out += static_cast<char>(c);
        } else {
            char escaped[4];
            std::snprintf(escaped, sizeof escaped, "%%%02X", c);
            out += escaped;
        }
    }
    return out;
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
