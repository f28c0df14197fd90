// Our window system: window handles, one message queue for the user-interface thread,
// window procedures, timers, properties and modal loops, behind one interface with two
// back ends (GTK on X11 for the program, headless with a controllable clock for tests).
//
// Threads: every call here belongs to the user-interface thread (the thread that called
// InitWindowSystem) except PostMessage, SendMessage, IsWindow and
// RegisterWindowMessage, which any thread may call.
#pragma once

#include "platform/WinTypes.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

struct _cairo;

namespace platform {

enum class Backend { Gtk, Headless };

// Starts the window system on the calling thread, which becomes its user-interface thread;
// a run already going on this thread is shut down first. Gtk fails (returns false) when no
// X display can be opened (GTK's X11 back end only, under Wayland through XWayland);
// Headless always succeeds. Fails too while another thread's run is going.
[[nodiscard]] bool InitWindowSystem(Backend backend);
// Destroys every window (each gets its WM_DESTROY and WM_NCDESTROY), drops what is queued
// (disposing what owns something), answers waiting senders with 0, and ends the back end:
// no window, timer, tray icon, menu or browser record outlives it. User-interface thread
// only; a no-op when nothing runs.
void ShutdownWindowSystem();
// The back end of the running window system (Headless while none runs).
Backend CurrentBackend();

namespace detail {
// The run's slot for `key`, empty until first filled; null while no run is going.
std::shared_ptr<void>* RunStorageSlot(const void* key);
} // namespace detail

// One T per run of the window system, for the layers above it that keep records by window
// handle (the skin engine's attached views, the client's window objects): made on first
// use in a run and destroyed by ShutdownWindowSystem once every window is gone, so no
// record of a run's windows reaches the next run. Null while no run is going.
// User-interface thread only.
template <class T>
T* RunStorage()
{
    static const char key = 0; // one address per T in the whole program
    std::shared_ptr<void>* slot = detail::RunStorageSlot(&key);
    if (!slot)
        return nullptr;
    if (!*slot)
        *slot = std::make_shared<T>();
    return static_cast<T*>(slot->get());
}

// The clock that timers and message times run on, in milliseconds: steady_clock under
// GTK, the tests' clock in the headless back end (HeadlessControls.h advances it).
std::uint64_t ClockNow();
// Text committed by an input method as the WM_IME_CHAR parameters that deliver it: one per
// character, a GBK byte or lead byte << 8 | trail byte; a character GBK lacks is "?".
std::vector<WPARAM> ImeCharsFromUtf8(const std::string& utf8);

} // namespace platform

using WindowProc = std::function<LRESULT(HWND, UINT, WPARAM, LPARAM)>;

struct CREATESTRUCT {
    void* lpCreateParams = nullptr;
    HWND hwndParent = nullptr;
    int id = 0;
    int x = 0, y = 0, cx = 0, cy = 0;
    DWORD style = 0;
    DWORD exStyle = 0;
    const char* title = "";
};

// Creates a window; its procedure receives WM_CREATE (lParam = CREATESTRUCT*) before this
// returns. A WM_CREATE result of -1 destroys the window and yields nullptr.
HWND CreateWindowEx(DWORD exStyle, const char* title, DWORD style, int x, int y, int cx, int cy,
                    HWND parent, int id, WindowProc proc, void* createParams = nullptr);
// WM_DESTROY to the window, then its children and owned windows are destroyed, then
// WM_NCDESTROY; its timers, queued messages and properties go with it.
bool DestroyWindow(HWND hwnd);
LRESULT DefWindowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
// Replaces the procedure (the skin engine hooks windows this way); returns the old one.
WindowProc SetWindowProc(HWND hwnd, WindowProc proc);

bool IsWindow(HWND hwnd);
bool IsWindowVisible(HWND hwnd);
bool IsWindowEnabled(HWND hwnd);
bool EnableWindow(HWND hwnd, bool enable); // answers whether it was disabled before
bool ShowWindow(HWND hwnd, int cmd);
bool IsIconic(HWND hwnd);
bool IsZoomed(HWND hwnd);
HWND GetParent(HWND hwnd);
HWND GetDesktopWindow();
HWND GetActiveWindow();
HWND SetActiveWindow(HWND hwnd);
bool SetForegroundWindow(HWND hwnd);
int GetDlgCtrlID(HWND hwnd);

// Placement: screen coordinates for top-level windows, parent client coordinates for
// children.
bool MoveWindow(HWND hwnd, int x, int y, int cx, int cy, bool repaint = true);
bool GetWindowRect(HWND hwnd, RECT* rect);
bool GetClientRect(HWND hwnd, RECT* rect);
bool CenterWindow(HWND hwnd, HWND over);
bool ScreenToClient(HWND hwnd, POINT* pt);
bool ClientToScreen(HWND hwnd, POINT* pt);
SIZE GetScreenSize();
// Lets the desktop move the window with the pointer from the current button press (a
// caption area); a no-op in the headless back end.
bool BeginMoveDrag(HWND hwnd);
RECT GetWorkArea(); // the screen less panels and task bars

// Painting: WM_PAINT carries a cairo context (wParam, cairo_t*) set to the client area.
bool InvalidateRect(HWND hwnd, const RECT* rect, bool erase);
bool UpdateWindow(HWND hwnd);
// Paints the window into the given context as WM_PAINT would (tests, PNG rendering).
void PaintWindowTo(HWND hwnd, _cairo* cr);

// Where the text cursor of the window is (client coordinates), so the input method puts
// its candidate list beside it; kept when the window moves. A no-op in the headless back end.
void SetImeCursorRect(HWND hwnd, const RECT& caret);
// What the window's focused control takes from the input method: nothing (keys reach the
// window as they are; a composition in progress is dropped), text (the default), or a
// password: the input method is told, and its keys never reach a composition or a
// prediction (typed characters arrive as WM_IME_CHAR like any other).
enum class ImeMode { Off, Text, Password };
void SetImeMode(HWND hwnd, ImeMode mode);
// The composition the input method has in progress for the window, as WM_IME_COMPOSITION
// last announced it: UTF-8 and the composition's own cursor as a byte offset in it.
// Empty once it was committed or cancelled.
struct ImeComposition {
    std::string utf8;
    size_t cursor = 0;
};
ImeComposition GetImeComposition(HWND hwnd);

// Mouse capture and keyboard focus among our windows.
HWND SetCapture(HWND hwnd);
bool ReleaseCapture();
HWND GetCapture();
HWND SetFocus(HWND hwnd);
// Whether a key was held when the keyboard message being handled was made: negative while
// held (the high bit), as the classic call answers. Follows the key messages as they are
// handled, so it agrees with the message in hand rather than with the keyboard now; all
// keys read as up after the active window changes (their release went elsewhere).
[[nodiscard]] short GetKeyState(int virtualKey);

// Messages. PostMessage and SendMessage may be called from any thread; a SendMessage
// from another thread blocks until the user-interface thread has handled it and is
// served inside nested and modal loops too. Messages to a destroyed window are dropped
// (SendMessage then returns 0).
bool PostMessage(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
LRESULT SendMessage(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
void PostQuitMessage(int exitCode);
UINT RegisterWindowMessage(const char* name); // same name, same value; 0xC000..0xFFFF
// A posted message whose parameters own something (an answer handed to a window) is
// never left to leak: when a message of that number is dropped undelivered (its window
// destroyed before dispatch, or the window system shut down with it queued), dispose
// runs with its parameters, on the thread that dropped it. One disposer per message
// number, for the life of the process; a later call replaces it.
void SetDroppedMessageDisposer(UINT msg, void (*dispose)(WPARAM wParam, LPARAM lParam));

// Message loop primitives. GetMessage waits (pumping the back end) and returns false on
// WM_QUIT; PeekMessage never waits. A caller may inspect, re-address (change msg.hwnd),
// drop or dispatch what it fetched. Messages without a window (hwnd null, such as the
// WM_NULL that wakes a modal loop) may be fetched too; DispatchMessage ignores them.
// Cross-thread sends are served inside GetMessage and PeekMessage, never returned.
bool GetMessage(MSG* msg);
bool PeekMessage(MSG* msg, bool remove);
void TranslateMessage(const MSG* msg);
LRESULT DispatchMessage(const MSG* msg);
int RunMessageLoop(); // until WM_QUIT; returns its exit code

// Modal loops: runs a nested loop until EndModalLoop(hwnd, code) or the window is
// destroyed (result then stays as last set, 0 unless ended); returns the code.
int RunModalLoop(HWND hwnd);
bool EndModalLoop(HWND hwnd, int code);
bool IsInModalLoop(HWND hwnd);

// Timers per (window, id): setting an existing id restarts it; WM_TIMER wParam = id.
UINT_PTR SetTimer(HWND hwnd, UINT_PTR id, UINT elapseMs);
bool KillTimer(HWND hwnd, UINT_PTR id);

// Window properties.
bool SetProp(HWND hwnd, const char* name, void* value);
void* GetProp(HWND hwnd, const char* name);
void* RemoveProp(HWND hwnd, const char* name);

// Message box: a modal dialog when a display exists; the text always goes to standard
// error as well. Returns the pressed button (IDOK).
constexpr UINT MB_OK = 0x0;
constexpr UINT MB_ICONERROR = 0x10;
constexpr UINT MB_TOPMOST = 0x40000;
constexpr int IDOK = 1;
int MessageBox(HWND owner, const char* text, const char* caption, UINT type); // GBK texts

// Shell "open": the desktop's default handler; a host without scheme gets "http://".
bool ShellOpen(const std::string& address);
