// What tests drive and read in the headless back end, where no desktop, member or web
// page can: the clock, tray gestures, menu choices, the notification area, page moves,
// and the records of what the window system was asked to open or load. The program never
// calls these; under the GTK back end they do nothing and the records stay empty.
//
// Threads: user-interface thread only, except AdvanceClock (see below).
#pragma once

#include "platform/WinTypes.h"
#include "platform/window/Clipboard.h"
#include "platform/window/DesktopShell.h"
#include "platform/window/WindowSystem.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace platform {

// The clock that timers and message times run on (ClockNow) stands still until advanced.
// Advancing it on the user-interface thread steps to each timer as it falls due, in time
// order, and dispatches everything queued at each step (so a timer that sets another
// within the span sees it fire too); advancing it from another thread only moves the
// clock, and the user-interface thread's loop fires what fell due.
void AdvanceClock(std::uint64_t milliseconds);

// The addresses ShellOpen was asked to open, in order.
std::vector<std::string> HeadlessOpenedAddresses();

// A gesture on a tray icon, as the desktop would report it.
void HeadlessTrayGesture(UINT id, UINT mouseMessage);
// What the next pop-up menu answers (0 dismisses); the items the last one showed.
void HeadlessSetMenuChoice(UINT id);
std::vector<MenuItem> HeadlessLastMenu();

// What HasNotificationArea answers (true at start).
void HeadlessSetNotificationArea(bool present);

// The desktop's clipboard and primary selection (UTF-8), as our windows or the test left
// them; nothing until something was put there.
std::optional<std::string> HeadlessClipboardText(Clipboard which);
void HeadlessSetClipboardText(Clipboard which, std::optional<std::string> utf8);

// The input method: a composition in progress for the window (or the one with its
// keyboard), announced as WM_IME_COMPOSITION; a commit ends it and types the text.
void HeadlessImeCompose(HWND hwnd, const std::string& utf8, size_t cursor);
void HeadlessImeCommit(HWND hwnd, const std::string& utf8);
// What the window last told the input method (SetImeMode, SetImeCursorRect).
struct HeadlessImeState {
    ImeMode mode = ImeMode::Text;
    RECT caret;
};
HeadlessImeState HeadlessIme(HWND hwnd);

// Every address the web view in hwnd navigated to, in order.
std::vector<std::string> WebViewNavigations(HWND hwnd);
// The page moves itself to another address (a redirect, a script), as an external login
// page does; the parent is told as for a navigation.
void HeadlessWebViewMoveTo(HWND hwnd, const std::string& address);
// The page asks for address in a new window, with or without a member's gesture behind
// it, as a link with a blank target or a script would; width and height as window.open's
// features ask (0: not asked).
void HeadlessWebViewOpenWindow(HWND hwnd, const std::string& address, bool userGesture, int width = 0, int height = 0);

} // namespace platform
