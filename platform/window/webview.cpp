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
std::map<HWND, std::vector<std::string>> g_newWindows;

} // namespace

void SetWebViewZoom(double level) { g_zoom = level >= 0.25 && level <= 5.0 ? level : 1.0; }

double WebViewZoom() { return g_zoom; }

std::vector<std::string> WebViewTakeNewWindowRequests(HWND hwnd)
{
    auto it = g_newWindows.find(hwnd);
    if (it == g_newWindows.end())
        return {};
    std::vector<std::string> out = std::move(it->second);
    g_newWindows.erase(it);
    return out;
}

UINT WebViewNotifyMessage()
{
    static const UINT message = RegisterWindowMessage("KAVREL_WEBVIEW_NOTIFY");
    return message;
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

void QueueNewWindowRequest(HWND view, const std::string& address)
{
    g_newWindows[view].push_back(address);
    NotifyWebViewItself(view, WebViewNewWindowRequested);
}

void NotifyWebViewItself(HWND view, LPARAM event)
{
    PostMessage(view, WebViewNotifyMessage(), reinterpret_cast<WPARAM>(view), event);
}

} // namespace platform::detail
