// The browser view's calls, served by the back end of the running window system.
#include "platform/window/WebView.h"

#include "platform/window/WindowCore.h"

#include <map>
#include <utility>

namespace platform {
namespace {

// The live window's record and the back end, or nulls.
std::pair<detail::Window*, detail::Backend*> viewOf(HWND hwnd)
{
    detail::Window* w = IsWindow(hwnd) ? detail::FindWindow(hwnd) : nullptr;
    detail::Backend* backend = detail::CurrentBackendObject();
    if (!w || !backend || !backend->isWebView(*w))
        return {nullptr, nullptr};
    return {w, backend};
}

// Views are made on the user-interface thread only, so a plain value serves.
double g_zoom = 1.0;
std::map<HWND, std::vector<WebViewNewWindow>> g_newWindows;
std::map<HWND, std::vector<WebViewDownload>> g_downloads;

template <typename T>
std::vector<T> takeFrom(std::map<HWND, std::vector<T>>& queues, HWND hwnd)
{
    auto it = queues.find(hwnd);
    if (it == queues.end())
        return {};
    std::vector<T> out = std::move(it->second);
    queues.erase(it);
    return out;
}

} // namespace

void SetWebViewZoom(double level) { g_zoom = level >= 0.25 && level <= 5.0 ? level : 1.0; }

double WebViewZoom() { return g_zoom; }

std::vector<WebViewNewWindow> WebViewTakeNewWindowRequests(HWND hwnd) { return takeFrom(g_newWindows, hwnd); }

std::vector<WebViewDownload> WebViewTakeDownloads(HWND hwnd) { return takeFrom(g_downloads, hwnd); }

UINT WebViewNotifyMessage()
{
    static const UINT message = RegisterWindowMessage("KAVREL_WEBVIEW_NOTIFY");
    return message;
}

void PostWhenWebViewsReady(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    detail::Backend* backend = detail::CurrentBackendObject();
    if (!backend)
        return;
    backend->whenWebViewsReady([hwnd, msg, wParam, lParam] { PostMessage(hwnd, msg, wParam, lParam); });
}

bool AttachWebView(HWND hwnd)
{
    detail::Window* w = IsWindow(hwnd) ? detail::FindWindow(hwnd) : nullptr;
    detail::Backend* backend = detail::CurrentBackendObject();
    if (!w || !backend || backend->isWebView(*w))
        return false;
    return backend->attachWebView(*w);
}

bool IsWebView(HWND hwnd) { return viewOf(hwnd).first != nullptr; }

bool WebViewNavigate(HWND hwnd, const std::string& address)
{
    auto [w, backend] = viewOf(hwnd);
    if (!w)
        return false;
    backend->webViewNavigate(*w, address);
    return true;
}

std::string WebViewLocation(HWND hwnd)
{
    auto [w, backend] = viewOf(hwnd);
    return w ? backend->webViewLocation(*w) : std::string();
}

} // namespace platform

namespace platform::detail {

void NotifyWebViewParent(HWND view, LPARAM event)
{
    if (HWND parent = GetParent(view))
        PostMessage(parent, WebViewNotifyMessage(), reinterpret_cast<WPARAM>(view), event);
}

void QueueNewWindowRequest(HWND view, WebViewNewWindow request)
{
    g_newWindows[view].push_back(std::move(request));
    NotifyWebViewItself(view, WebViewNewWindowRequested);
}

void QueueDownloadNews(HWND view, WebViewDownload news)
{
    g_downloads[view].push_back(std::move(news));
    NotifyWebViewItself(view, WebViewDownloadNews);
}

void NotifyWebViewItself(HWND view, LPARAM event)
{
    PostMessage(view, WebViewNotifyMessage(), reinterpret_cast<WPARAM>(view), event);
}

} // namespace platform::detail
