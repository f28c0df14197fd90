// Input among our windows: activation, keyboard focus, mouse capture, enabling, and the
// delivery of the back end's mouse, key and input-method events.
#include "platform/window/WindowState.h"

#include "platform/CodeLib.h"

#include <algorithm>
#include <iterator>

namespace platform::detail {
namespace {

// The window keyboard input for `target` goes to: the focused window of the same
// top-level window.
HWND keyboardTarget(HWND target)
{
    WindowSystemState* s = State();
    if (s->focus && s->focus != target && FindWindow(s->focus) && TopLevelOf(s->focus) == TopLevelOf(target))
        return s->focus;
    return target;
}

bool topLevelEnabled(HWND hwnd)
{
    for (Window* w = FindWindow(hwnd); w; w = w->child ? FindWindow(w->parent) : nullptr) {
        if (!w->enabled)
            return false;
    }
    return true;
}

} // namespace

void SetActive(HWND hwnd)
{
    WindowSystemState* s = State();
    if (s->active == hwnd)
        return;
    HWND old = s->active;
    s->active = hwnd;
    if (old && FindWindow(old))
        SendMessage(old, WM_ACTIVATE, 0, reinterpret_cast<LPARAM>(hwnd));
    if (FindWindow(hwnd)) {
        SendMessage(hwnd, WM_ACTIVATE, 1, reinterpret_cast<LPARAM>(old));
        // When the desktop made the change, asking it again would start a focus ping-pong.
        Window* w = FindWindow(hwnd);
        if (w && !s->nativeActivation)
            s->backend->activated(*w);
    }
}

void ForgetInputWindow(const Window& w)
{
    WindowSystemState* s = State();
    if (s->capture == w.handle)
        s->capture = nullptr;
    if (s->focus == w.handle)
        s->focus = nullptr;
    if (s->active == w.handle) {
        // As on the classic desktop, the owner of a dying active window takes over.
        s->active = nullptr;
        if (!w.child && IsWindowVisible(w.parent))
            SetActive(w.parent);
    }
}

void DeliverInput(HWND target, UINT msg, WPARAM wParam, LPARAM lParam)
{
    Window* w = FindWindow(target);
    if (!w)
        return;
    WindowSystemState* s = State();
    bool mouse = msg >= WM_MOUSEFIRST && msg <= WM_MOUSELAST && msg != WM_MOUSEWHEEL;
    bool key = (msg >= WM_KEYFIRST && msg <= WM_KEYLAST) || msg == WM_IME_CHAR || msg == WM_IME_COMPOSITION;
    if (mouse && s->capture && s->capture != target && FindWindow(s->capture)) {
        POINT pt{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
        ClientToScreen(target, &pt);
        ScreenToClient(s->capture, &pt);
        target = s->capture;
        lParam = MAKELPARAM(pt.x, pt.y);
    } else if (key) {
        target = keyboardTarget(target);
    }
    if (!topLevelEnabled(target))
        return;
    PostMessage(target, msg, wParam, lParam);
}

void NativeActivated(HWND hwnd, bool active)
{
    Window* w = FindWindow(hwnd);
    if (!w || w->desktopChild)
        return;
    WindowSystemState* s = State();
    // Keys released while another window had the keyboard never reach us.
    s->keysDown.reset();
    s->nativeActivation = true;
    if (active)
        SetActive(hwnd);
    else if (s->active == hwnd)
        SetActive(nullptr);
    s->nativeActivation = false;
}

void TrackKeyState(UINT msg, WPARAM wParam)
{
    if (msg != WM_KEYDOWN && msg != WM_KEYUP)
        return;
    if (WindowSystemState* s = State(); s && wParam < s->keysDown.size())
        s->keysDown[wParam] = msg == WM_KEYDOWN;
}

void NativeComposition(HWND source, const std::string& utf8, size_t cursor)
{
    if (!FindWindow(source))
        return;
    HWND target = keyboardTarget(source);
    Window* w = FindWindow(target);
    w->composition = ImeComposition{utf8, std::min(cursor, utf8.size())};
    if (topLevelEnabled(target))
        PostMessage(target, WM_IME_COMPOSITION, 0, 0);
}

} // namespace platform::detail

using namespace platform::detail;

namespace platform {

std::vector<WPARAM> ImeCharsFromUtf8(const std::string& utf8)
{
    std::vector<WPARAM> codes;
    size_t i = 0;
    while (i < utf8.size()) {
        unsigned char lead = static_cast<unsigned char>(utf8[i]);
        size_t length = lead < 0x80 ? 1 : (lead >> 5) == 0x6 ? 2 : (lead >> 4) == 0xE ? 3 : (lead >> 3) == 0x1E ? 4 : 1;
        length = std::min(length, utf8.size() - i);
        std::string gbk = CCodeLib::Utf8ToAnsi(utf8.substr(i, length));
        i += length;
        if (gbk.empty())
            continue;
        WPARAM code = static_cast<unsigned char>(gbk[0]);
        if (gbk.size() >= 2 && code >= 0x81)
            code = (code << 8) | static_cast<unsigned char>(gbk[1]);
        codes.push_back(code);
    }
    return codes;
}

} // namespace platform

HWND GetActiveWindow()
{
    WindowSystemState* s = State();
    return s ? s->active : nullptr;
}

HWND SetActiveWindow(HWND hwnd)
{
    Window* w = FindWindow(hwnd);
    if (!w || w->desktopChild)
        return nullptr;
    HWND old = State()->active;
    SetActive(TopLevelOf(hwnd));
    return old;
}

bool SetForegroundWindow(HWND hwnd)
{
    if (!FindWindow(hwnd))
        return false;
    SetActiveWindow(hwnd);
    return true;
}

// Answers whether the window was disabled before, as the classic call does.
bool EnableWindow(HWND hwnd, bool enable)
{
    Window* w = FindWindow(hwnd);
    if (!w)
        return false;
    WindowSystemState* s = State();
    bool wasDisabled = !w->enabled;
    if (w->enabled != enable) {
        w->enabled = enable;
        if (enable)
            w->style &= ~WS_DISABLED;
        else
            w->style |= WS_DISABLED;
        if (!enable && s->capture && TopLevelOf(s->capture) == hwnd)
            s->capture = nullptr;
        SendMessage(hwnd, WM_ENABLE, enable ? 1 : 0, 0);
    }
    return wasDisabled;
}

HWND SetCapture(HWND hwnd)
{
    WindowSystemState* s = State();
    if (!s)
        return nullptr;
    HWND old = s->capture;
    s->capture = FindWindow(hwnd) ? hwnd : nullptr;
    return old;
}

bool ReleaseCapture()
{
    if (WindowSystemState* s = State())
        s->capture = nullptr;
    return true;
}

HWND GetCapture()
{
    WindowSystemState* s = State();
    return s ? s->capture : nullptr;
}

short GetKeyState(int virtualKey)
{
    WindowSystemState* s = State();
    if (!s || virtualKey < 0 || static_cast<std::size_t>(virtualKey) >= s->keysDown.size())
        return 0;
    return s->keysDown[static_cast<std::size_t>(virtualKey)] ? static_cast<short>(0x8000) : 0;
}

HWND SetFocus(HWND hwnd)
{
    WindowSystemState* s = State();
    if (!s)
        return nullptr;
    HWND old = s->focus;
    if (hwnd && !FindWindow(hwnd))
        return nullptr;
    if (old == hwnd)
        return old;
    s->focus = hwnd;
    if (old && FindWindow(old))
        SendMessage(old, WM_KILLFOCUS, reinterpret_cast<WPARAM>(hwnd), 0);
    if (FindWindow(hwnd)) {
        SendMessage(hwnd, WM_SETFOCUS, reinterpret_cast<WPARAM>(old), 0);
        if (Window* w = FindWindow(hwnd))
            s->backend->focused(*w);
    }
    return old;
}

void SetImeCursorRect(HWND hwnd, const RECT& caret)
{
    if (Window* w = FindWindow(hwnd))
        State()->backend->imeCursor(*w, caret);
}

void SetImeMode(HWND hwnd, ImeMode mode)
{
    if (Window* w = FindWindow(hwnd))
        State()->backend->imeMode(*w, mode);
}

ImeComposition GetImeComposition(HWND hwnd)
{
    Window* w = FindWindow(hwnd);
    return w ? w->composition : ImeComposition{};
}

