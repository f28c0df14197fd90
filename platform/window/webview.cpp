// The browser view's record and its headless form; the GTK browser is webview_gtk.cpp.
#include "platform/window/WebView.h"

#include "platform/window/WindowCore.h"

#include <memory>
#include <unordered_map>

namespace platform::detail {

// Implemented by webview_gtk.cpp.
bool GtkAttachWebView(HWND hwnd, std::function<void(LPARAM, const std::string&)> notify);
void GtkWebViewNavigate(HWND hwnd, const std::string& address);

} // namespace platform::detail

namespace platform {
namespace {

struct ViewRecord {
    std::string location;
    std::vector<std::string> navigations;
};

// Views by window; user-interface thread only.
std::unordered_map<HWND, std::unique_ptr<ViewRecord>>& views()
{
    static std::unordered_map<HWND, std::unique_ptr<ViewRecord>> map;
    return map;
}

ViewRecord* recordOf(HWND hwnd)
{
    if (!IsWindow(hwnd))
        return nullptr;
    auto it = views().find(hwnd);
    return it == views().end() ? nullptr : it->second.get();
}

void tellParent(HWND hwnd, LPARAM event)
{
    if (HWND parent = GetParent(hwnd))
        PostMessage(parent, WebViewNotifyMessage(), reinterpret_cast<WPARAM>(hwnd), event);
}

} // namespace

UINT WebViewNotifyMessage()
{
    static const UINT message = RegisterWindowMessage("KAVREL_WEBVIEW_NOTIFY");
    return message;
}

bool AttachWebView(HWND hwnd)
{
    if (!IsWindow(hwnd) || views().count(hwnd))
        return false;
    auto record = std::make_unique<ViewRecord>();
    ViewRecord* raw = record.get();
    if (CurrentBackend() == Backend::Gtk) {
        bool made = detail::GtkAttachWebView(hwnd, [hwnd, raw](LPARAM event, const std::string& uri) {
            if (!IsWindow(hwnd))
                return;
            if (event == WebViewAddressChanged)
                raw->location = uri;
            tellParent(hwnd, event);
        });
        if (!made)
            return false;
    }
    views().emplace(hwnd, std::move(record));
    detail::AddDestroyHook(hwnd, [hwnd] { views().erase(hwnd); });
    return true;
}

bool IsWebView(HWND hwnd) { return recordOf(hwnd) != nullptr; }

bool WebViewNavigate(HWND hwnd, const std::string& address)
{
    ViewRecord* record = recordOf(hwnd);
    if (!record)
        return false;
    record->navigations.push_back(address);
    if (CurrentBackend() == Backend::Gtk) {
        detail::GtkWebViewNavigate(hwnd, address);
        return true;
    }
    record->location = address;
    tellParent(hwnd, WebViewAddressChanged);
    tellParent(hwnd, WebViewLoadFinished);
    return true;
}

std::string WebViewLocation(HWND hwnd)
{
    ViewRecord* record = recordOf(hwnd);
    return record ? record->location : std::string();
}

std::vector<std::string> WebViewNavigations(HWND hwnd)
{
    ViewRecord* record = recordOf(hwnd);
    return record ? record->navigations : std::vector<std::string>{};
}

void HeadlessWebViewMoveTo(HWND hwnd, const std::string& address)
{
    ViewRecord* record = recordOf(hwnd);
    if (!record || CurrentBackend() != Backend::Headless)
        return;
    record->location = address;
    tellParent(hwnd, WebViewAddressChanged);
    tellParent(hwnd, WebViewLoadFinished);
}

} // namespace platform
