// The embedded browser: a child window of ours that shows web pages. Under GTK it hosts a
// WebKitWebView over its whole client area (no border; scroll bars hidden by a user style
// sheet, the page still scrolls with wheel and keys); the headless back end keeps a
// recording view that remembers every navigation, for tests.
//
// Threads: user-interface thread only.
//
// Notifications: the view posts WebViewNotifyMessage() to its parent window with
// wParam = the view's window handle and lParam = a WebViewEvent. Under GTK they come as
// the page loads; the headless view posts "address changed" and "load finished" for every
// navigation at once.
#pragma once

#include "platform/WinTypes.h"

#include <string>
#include <vector>

namespace platform {

enum WebViewEvent : LPARAM {
    WebViewAddressChanged = 1,
    WebViewLoadFinished = 2,
};

// The registered message "KAVREL_WEBVIEW_NOTIFY".
UINT WebViewNotifyMessage();

// Makes an existing child window a browser view (call it from its WM_CREATE); false when
// the browser cannot be made. The browser goes with the window.
[[nodiscard]] bool AttachWebView(HWND hwnd);
bool IsWebView(HWND hwnd);
// Starts loading the address (as given, no encoding added). False when hwnd is no view.
bool WebViewNavigate(HWND hwnd, const std::string& address);
// The address the view shows now (after redirects), empty before the first navigation.
std::string WebViewLocation(HWND hwnd);

} // namespace platform
