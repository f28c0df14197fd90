// The desktop around our windows: the notification-area (tray) icon, pop-up menus, the
// running-instance marker and the pointer position.
//
// Threads: user-interface thread only.
#pragma once

#include "platform/WinTypes.h"

#include <cstdint>
#include <string>
#include <vector>

namespace platform {

// The client's own icon: every "*.png" in the folder, one picture per size. Every top-level
// window (message boxes too) carries it, and a tray icon added without an icon file shows
// it at the size the tray asks for. False when the folder holds no readable picture; the
// icon then stays as it was. Kept until the window system shuts down.
bool SetApplicationIcon(const std::string& folder);

// Tray icon. Gestures on the icon are posted to target as `message` with wParam = id and
// lParam = the mouse message: WM_LBUTTONDBLCLK for a double click, WM_RBUTTONUP when the
// right button is released. Adding an id that exists updates it. The icon goes when its
// target window is destroyed or the window system shuts down. Under GTK the icon is a
// StatusNotifierItem on the session bus where a host watches for one, else a
// GtkStatusIcon (XEmbed; it appears where the desktop has a notification area).
bool AddTrayIcon(HWND target, UINT id, UINT message, const std::string& tipGbk, const std::string& iconFile = {});
bool RemoveTrayIcon(UINT id);
bool IsTrayIconShown(UINT id);

// Pop-up menu. Shows the items at the screen point and waits (serving our queue) until
// the member picks one or dismisses the menu. Answers the chosen id, 0 when dismissed;
// a choice is also posted to owner as WM_COMMAND (wParam = id) when owner is given.
struct MenuItem {
    UINT id = 0;
    std::string text; // GBK
    bool enabled = true; // shown greyed out and never chosen when false
};
UINT TrackPopupMenu(const std::vector<MenuItem>& items, int x, int y, HWND owner);

// The pointer in screen coordinates.
POINT GetCursorPos();

// The X window of a top-level window (GTK back end; 0 otherwise or before it exists).
unsigned long NativeWindowId(HWND hwnd);

// Running-instance marker: a property on the main window's X window (type CARDINAL,
// format 32) that a second start looks for. The name is "Kavrel" and the value
// 0xE2603859; tests pass a name of their own so parallel runs do not meet.
constexpr const char* kInstanceMarkerName = "Kavrel";
constexpr std::uint32_t kInstanceMarkerValue = 0xE2603859u;
// Marks the window (and answers activation requests sent to it: the window is shown in
// its normal state and brought to the front). Also sets the window property of that name.
bool MarkRunningInstance(HWND mainWindow, const char* name = kInstanceMarkerName);
// Searches every top-level X window, unmapped ones included, for the marker; the X window
// id, or 0 when none (always 0 in the headless back end).
unsigned long FindRunningInstance(const char* name = kInstanceMarkerName);
// Finds a running instance and asks it to show itself normally and come to the front.
// False when none was found.
bool ActivateRunningInstance(const char* name = kInstanceMarkerName);

} // namespace platform
