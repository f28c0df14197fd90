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
//
// Keys: Ctrl+plus, Ctrl+minus and Ctrl+0 zoom the page, F5 reloads it, Alt+Left goes back;
// any other key the page leaves alone that a window acts on (Esc) reaches the view's parent
// as WM_KEYDOWN. A zoom by key applies to every view made afterwards too and is told to the
// view window itself (its owner keeps the choice), not to the parent.
#pragma once

#include "platform/WinTypes.h"

#include <cstdint>
#include <string>
#include <vector>

namespace platform {

enum WebViewEvent : LPARAM {
    WebViewAddressChanged = 1,
    WebViewLoadFinished = 2,
    WebViewZoomChanged = 3,
    // The page asked for a new window (told to the view itself; the addresses wait in
    // WebViewTakeNewWindowRequests). Pop-ups without a member's gesture are dropped.
    WebViewNewWindowRequested = 4,
    // The page called window.close() (told to the parent, which decides).
    WebViewCloseRequested = 5,
    // A download began, ended or failed (told to the view itself; the news waits in
    // WebViewTakeDownloads).
    WebViewDownloadNews = 6,
};

// A window the page asked for: the address, and the size of the page area it asked for
// (window.open's width and height), 0 where it asked none.
struct WebViewNewWindow {
    std::string address;
    int width = 0;
    int height = 0;
};

// A file the page handed out. Saved into DownloadFolder() (platform/DocumentsFolder.h)
// under the suggested name, "name (1).ext" and so on when that is taken; nothing is left
// of one that failed or was cancelled. While the bytes come, Progress news is told at
// most every kDownloadProgressIntervalMs, the latest count always told before the end.
struct WebViewDownload {
    enum State { Started, Finished, Failed, Progress };
    std::string name; // the file's name, UTF-8
    std::string path; // where it lies, once Finished
    State state = Started;
    std::uint64_t received = 0; // bytes so far (Progress, Finished)
    std::uint64_t total = 0;    // the size the answer announced, 0 when it named none
};
constexpr int kDownloadProgressIntervalMs = 250;

// The registered message "KAVREL_WEBVIEW_NOTIFY".
UINT WebViewNotifyMessage();

// Posts msg to hwnd once the browser's shared web process has been started, which happens
// once the loop is idle after the start (at once when it has been; a window gone by then
// gets nothing). A page that comes with the start's first answers waits for it this way,
// instead of the first frames waiting for the browser to start.
void PostWhenWebViewsReady(HWND hwnd, UINT msg, WPARAM wParam = 0, LPARAM lParam = 0);

// Makes an existing child window a browser view (call it from its WM_CREATE); false when
// the browser cannot be made. The browser goes with the window.
[[nodiscard]] bool AttachWebView(HWND hwnd);
bool IsWebView(HWND hwnd);
// Starts loading the address (as given, no encoding added). False when hwnd is no view.
bool WebViewNavigate(HWND hwnd, const std::string& address);
// The address the view shows now (after redirects), empty before the first navigation.
std::string WebViewLocation(HWND hwnd);

// The zoom level of views made from now on (1.0 = 100 %); a level outside 0.25..5 reads
// as 1.0. The last level a member chose by key, before any choice the level set here.
void SetWebViewZoom(double level);
[[nodiscard]] double WebViewZoom();

// The windows the page asked for since the last call, oldest first.
std::vector<WebViewNewWindow> WebViewTakeNewWindowRequests(HWND hwnd);

// The download news since the last call, oldest first.
std::vector<WebViewDownload> WebViewTakeDownloads(HWND hwnd);

} // namespace platform
