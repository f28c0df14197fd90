// Inside the window system: the window record the shared core keeps and the interface a
// back end implements. Only the window system's own files include this header.
//
// The core owns windows, the message queue, timers, properties and modal loops; a back end
// owns the display (or its absence), the clock, the way the user-interface thread waits,
// and the desktop around the windows (tray icons, menus, the instance marker, browser
// views). Back ends call into the core only on the user-interface thread.
#pragma once

#include "platform/window/WebView.h"

#include "platform/window/Clipboard.h"
#include "platform/window/DesktopShell.h"
#include "platform/window/WindowSystem.h"

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace platform::detail {

struct Window {
    HWND handle = nullptr;
    HWND parent = nullptr; // parent of a child window, owner of a top-level one
    bool child = false;    // placed inside its parent (WS_CHILD with a real parent)
    // WS_CHILD of the desktop (a drop-down): a top-level window that, like any child,
    // never becomes the active window; the window that opened it keeps the keyboard.
    bool desktopChild = false;
    int id = 0;
    DWORD style = 0;
    DWORD exStyle = 0;
    std::string title; // GBK
    std::shared_ptr<const WindowProc> proc;
    RECT rect;        // screen coordinates, or the parent's client coordinates for a child
    RECT restoreRect; // placement to return to from maximised
    bool visible = false;
    bool enabled = true;
    int showState = SW_SHOWNORMAL; // SW_SHOWNORMAL, SW_SHOWMINIMIZED or SW_SHOWMAXIMIZED
    bool destroying = false;
    std::map<std::string, void*> props;
    std::vector<HWND> children; // child windows and owned top-level windows, in creation order
    ImeComposition composition; // what WM_IME_COMPOSITION announced last
    void* native = nullptr;     // the back end's own record
};

class Backend {
public:
    virtual ~Backend() = default;

    // Lifecycle: init before any window, shutdown after the last one is destroyed. A back
    // end holds nothing of a run after shutdown.
    virtual bool init() = 0;
    virtual void shutdown() = 0;
    virtual std::uint64_t now() = 0;
    // Blocks the user-interface thread until ready() holds (checked with the lock held),
    // wake() is called or the clock reaches dueAt. Called and returns with lock held.
    virtual void wait(std::unique_lock<std::mutex>& lock, std::optional<std::uint64_t> dueAt,
                      const std::function<bool()>& ready) = 0;
    // Any thread: something was queued for the user-interface thread.
    virtual void wake() = 0;
    // While a top-level window just shown has not drawn its first frame: until when that
    // frame is waited for before posted work is served (user-interface thread).
    virtual std::optional<std::uint64_t> firstFramesDue() { return std::nullopt; }

    // Window life and looks; the core has already updated the record. destroyed() also
    // drops whatever the back end keeps for the window (its tray icons, its browser).
    virtual void created(Window&) {}
    virtual void destroyed(Window&) {}
    virtual void placed(Window&) {}
    virtual void shown(Window&) {}
    virtual void activated(Window&) {}
    virtual void focused(Window&) {}
    virtual void invalidate(Window&, const RECT*) {}
    virtual void update(Window&) {}
    // A modal loop starts or ends for the window (the desktop keeps it above its owner).
    virtual void modal(Window&, bool /*running*/) {}
    virtual bool beginMoveDrag(Window&) { return false; }
    virtual void imeCursor(Window&, const RECT&) {}
    virtual void imeMode(Window&, ImeMode) {}
    virtual SIZE screenSize() = 0;
    virtual RECT workArea() = 0;

    // The desktop shell (DesktopShell.h, MessageBox, ShellOpen). Texts are UTF-8.
    virtual int messageBox(Window* owner, const std::string& textUtf8, const std::string& captionUtf8,
                           UINT type) = 0;
    virtual bool shellOpen(const std::string& uri) = 0;
    // The client's icon: its pictures' files, one per size (SetApplicationIcon).
    virtual bool setApplicationIcon(const std::vector<std::string>& pngFiles) { return !pngFiles.empty(); }
    virtual bool addTrayIcon(Window& target, UINT id, UINT message, const std::string& tipUtf8,
                             const std::string& iconFile) = 0;
    virtual bool removeTrayIcon(UINT id) = 0;
    virtual bool hasNotificationArea() = 0;
    virtual bool isTrayIconShown(UINT id) = 0;
    virtual UINT trackPopupMenu(const std::vector<MenuItem>& items, int x, int y) = 0;
    // The clipboard (Clipboard.h), texts UTF-8. A request's answer may come later, on the
    // user-interface thread, but never after shutdown.
    virtual void setClipboardText(Clipboard which, const std::string& utf8) = 0;
    virtual void requestClipboardText(Clipboard which, std::function<void(std::optional<std::string>)> done) = 0;
    virtual POINT cursorPos() { return POINT{}; }
    virtual unsigned long nativeWindowId(Window&) { return 0; }
    virtual bool markRunningInstance(Window&, const char*) { return true; }
    virtual unsigned long findRunningInstance(const char*) { return 0; }
    virtual bool activateRunningInstance(unsigned long) { return false; }

    // Browser views (WebView.h). The view tells its parent through NotifyWebViewParent.
    virtual bool attachWebView(Window&) = 0;
    virtual bool isWebView(Window&) = 0;
    virtual void webViewNavigate(Window&, const std::string& address) = 0;
    virtual std::string webViewLocation(Window&) = 0;
    // Runs then once views can be made without starting the browser (at once when they can).
    virtual void whenWebViewsReady(std::function<void()> then) { then(); }
};

Backend* CurrentBackendObject();
std::unique_ptr<Backend> MakeHeadlessBackend();
std::unique_ptr<Backend> MakeGtkBackend();

// The lock of the queue; a back end's wake() may take it (never while holding it).
std::mutex& CoreMutex();

// User-interface thread only.
Window* FindWindow(HWND hwnd);
bool IsUiThread();
// Input from the back end: mouse messages follow the capture, keyboard messages the focus,
// and nothing reaches a window whose top-level window is disabled.
void DeliverInput(HWND target, UINT msg, WPARAM wParam, LPARAM lParam);
// The back end noticed a new size or position made by the desktop (the user, the window
// manager); the core records it and tells the window as MoveWindow would.
void NativePlaced(HWND hwnd, const RECT& rect);
void NativeActivated(HWND hwnd, bool active);
// The desktop's work area changed (a panel came, went or moved): maximised windows fill
// the new one.
void WorkAreaChanged();
// The input method's composition for the window changed: recorded for the window that has
// the keyboard (as for keys) and announced to it as WM_IME_COMPOSITION.
void NativeComposition(HWND source, const std::string& utf8, size_t cursor);
// Serves waiting cross-thread sends, then dispatches what is queued and every timer that
// is due, without waiting. Used where nobody is fetching: while a GTK dialog or menu runs
// its own loop, and by AdvanceClock.
void DrainQueue();
// True while a caller is fetching (inside GetMessage's wait): then the fetching loop, not
// the back end, dispatches.
bool IsFetching();
bool HasWork();
std::optional<std::uint64_t> NextTimerDue();
POINT ClientOriginOnScreen(const Window& w);
HWND TopLevelOf(HWND hwnd);
// A browser view's news for its parent window (WebViewNotifyMessage).
void NotifyWebViewParent(HWND view, LPARAM event);
// A browser view's news for the view window itself.
void NotifyWebViewItself(HWND view, LPARAM event);
// A page asked, with a member's gesture, for a new window: kept for
// WebViewTakeNewWindowRequests and told to the view itself.
void QueueNewWindowRequest(HWND view, WebViewNewWindow request);
// News of a download the view's page started: kept for WebViewTakeDownloads and told to
// the view itself.
void QueueDownloadNews(HWND view, WebViewDownload news);

} // namespace platform::detail
