// The GTK back end's own records, shared by its files: window_gtk.cpp (windows, the loop),
// input_gtk.cpp (GDK events become messages), shell_gtk.cpp (tray icon, menu, message box,
// instance marker) and webview_gtk.cpp (the browser). GTK back-end files only.
#pragma once

#include "platform/window/GtkHost.h"
#include "platform/window/StatusNotifierItem.h"
#include "platform/window/WindowCore.h"

#include <gtk/gtk.h>

#include <chrono>
#include <map>
#include <memory>
#include <set>
#include <string>

namespace platform::detail {

// Every window of ours is a GtkFixed holding a drawing area (the window's own face) and
// the fixed containers of its child windows above it; a top-level window puts that into
// an undecorated GtkWindow, since the skin draws the frame.
struct NativeWindow {
    HWND hwnd = nullptr;
    GtkWidget* top = nullptr;     // GtkWindow of a top-level window
    GtkWidget* fixed = nullptr;   // the window: its face and its children
    GtkWidget* area = nullptr;    // the face: WM_PAINT and input
    GtkWidget* content = nullptr; // a widget that covers the whole client area (a web view)
    GtkWidget* holder = nullptr;  // holds the content at the window's size, whatever it asks
    GtkIMContext* im = nullptr;
    // A password box's keys: table-based composing (dead keys) only, never the desktop's
    // input method.
    GtkIMContext* plainIm = nullptr;
    ImeMode imeMode = ImeMode::Text;
    bool composing = false; // the input method shows a composition
    GdkRectangle imeCursor{0, 0, 0, 0};
    bool imeCursorSet = false;
    // The last key event delivered as a message: an input method that hands an event back
    // (IBus's asynchronous mode) must not make it a second message.
    struct DeliveredKey {
        guint32 time = 0;
        guint keyval = 0;
        GdkEventType type = GDK_NOTHING;
    } lastKey;
    bool inKeyFilter = false;
    std::string committed; // text the input method committed during a key filter
    // Double clicks are recognised here, so a double click reads down, up, double, up.
    guint32 lastPressTime = 0;
    guint lastPressButton = 0;
    double lastPressX = 0, lastPressY = 0;
    bool lastPressWasDouble = false;
    bool drawn = false; // its face has been drawn once
    // The browser view this window holds, and the address it shows.
    bool webView = false;
    std::string location;
};

NativeWindow* NativeOf(HWND hwnd);

// The face of a new window: a drawing area whose ATK object shows the window's
// AccessibleSource to screen readers (accessible_gtk.cpp).
GtkWidget* NewFaceWidget(HWND hwnd);
// The window's AccessibleSource may have changed: read it again soon, when a screen
// reader has looked at the face (accessible_gtk.cpp).
void FaceAccessibleChanged(HWND hwnd);

// Connects a window's events to the core (input_gtk.cpp): its face and input method, and
// a top-level window's close, move and focus.
void ConnectFaceInput(NativeWindow& n);
void ConnectTopInput(NativeWindow& n);
// The input method context the window's keys go to now (none when the mode is Off).
GtkIMContext* ActiveIm(NativeWindow& n);
// Tells the input method the window's caret again: after a focus change, or because the
// window moved on the screen.
void ReapplyImeCursor(NativeWindow& n, bool moved = false);

// Keys, error pages and the context menu of a new browser view (webview_page_gtk.cpp).
void ConnectPageBehaviour(HWND hwnd, GtkWidget* view);
// The display has GL drawn by a graphics card (probed once); the views' drawing policy.
bool DisplayHasHardwareGl();
// Starts the web process that every browser view shares once the loop is idle, so the
// first page need not wait for it (webview_gtk.cpp).
void PrepareWebViewsWhenIdle();
// Downloads of a new browser view (webview_download_gtk.cpp).
void ConnectDownloads(HWND hwnd, GtkWidget* view);
// New-window requests and window.close() of a new browser view (webview_policy_gtk.cpp).
void ConnectWindowPolicy(HWND hwnd, GtkWidget* view);

// A tray icon: a StatusNotifierItem where a panel hosts them, else an XEmbed GtkStatusIcon.
struct TrayIcon {
    std::unique_ptr<StatusNotifierItem> item;
    GtkStatusIcon* icon = nullptr;
    HWND target = nullptr;
    UINT id = 0;
    UINT message = 0;
};

class GtkBackend final : public Backend {
public:
    bool init() override;
    void shutdown() override;
    std::uint64_t now() override;
    void wait(std::unique_lock<std::mutex>& lock, std::optional<std::uint64_t> dueAt,
              const std::function<bool()>& ready) override;
    void wake() override;
    std::optional<std::uint64_t> firstFramesDue() override;
    // A window's face was drawn for the first time (input_gtk.cpp).
    void firstFrameDrawn(HWND hwnd) { m_undrawn.erase(hwnd); }

    void created(Window& w) override;
    void destroyed(Window& w) override;
    void placed(Window& w) override;
    void shown(Window& w) override;
    void activated(Window& w) override;
    void focused(Window& w) override;
    void invalidate(Window& w, const RECT* r) override;
    void update(Window& w) override;
    void modal(Window& w, bool running) override;
    bool beginMoveDrag(Window& w) override;
    void imeCursor(Window& w, const RECT& caret) override;
    void imeMode(Window& w, ImeMode mode) override;
    void setClipboardText(Clipboard which, const std::string& utf8) override;
    void requestClipboardText(Clipboard which, std::function<void(std::optional<std::string>)> done) override;
    SIZE screenSize() override;
    RECT workArea() override;

    int messageBox(Window* owner, const std::string& text, const std::string& caption, UINT type) override;
    bool shellOpen(const std::string& uri) override;
    bool setApplicationIcon(const std::vector<std::string>& pngFiles) override;
    // The client's icon at that size (from the nearest picture not smaller, scaled when
    // needed), a new reference; null while no icon is set.
    GdkPixbuf* applicationIcon(int size) const;
    bool addTrayIcon(Window& target, UINT id, UINT message, const std::string& tipUtf8,
                     const std::string& iconFile) override;
    bool removeTrayIcon(UINT id) override;
    bool isTrayIconShown(UINT id) override;
    bool hasNotificationArea() override;
    UINT trackPopupMenu(const std::vector<MenuItem>& items, int x, int y) override;
    POINT cursorPos() override;
    unsigned long nativeWindowId(Window& w) override;
    bool markRunningInstance(Window& w, const char* name) override;
    unsigned long findRunningInstance(const char* name) override;
    bool activateRunningInstance(unsigned long xid) override;

    bool attachWebView(Window& w) override;
    bool isWebView(Window& w) override;
    void webViewNavigate(Window& w, const std::string& address) override;
    std::string webViewLocation(Window& w) override;
    void whenWebViewsReady(std::function<void()> then) override;

    // The press that may start a move drag of the window (input_gtk.cpp records it).
    struct Press {
        guint button = 0;
        gint rootX = 0, rootY = 0;
        guint32 time = 0;
    } lastPress;

private:
    void removeTrayIconsOf(HWND target);
    void makeTrayIcon(TrayIcon& tray, bool notifier, const std::string& iconFile);
    // Our connection to the session bus, made at the first need; null without a bus.
    GDBusConnection* sessionBus();
    // Whether a panel hosts StatusNotifierItems, asked now.
    bool notifierHosted() { return StatusNotifierHostRegistered(sessionBus()); }
    void releaseSessionBus();

    GSource* m_source = nullptr;
    guint m_workAreaIdle = 0; // a pending refit of maximised windows to a new work area
    std::chrono::steady_clock::time_point m_start;
    std::map<UINT, std::unique_ptr<TrayIcon>> m_icons;
    GList* m_appIcon = nullptr; // GdkPixbuf references, one per size
    GDBusConnection* m_bus = nullptr;
    bool m_busTried = false;
    // Top-level windows shown and not drawn yet, waited for until m_firstFramesDue at most
    // (a window the X server never exposes, on another workspace say, must not hold the
    // queue).
    std::set<HWND> m_undrawn;
    std::uint64_t m_firstFramesDue = 0;
};

// The running GTK back end, or null.
GtkBackend* CurrentGtkBackend();

} // namespace platform::detail
