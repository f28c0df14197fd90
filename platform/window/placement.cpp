// Placement: showing, moving, maximising and centring windows, and their coordinates.
#include "platform/window/WindowState.h"

#include <algorithm>
#include <mutex>
#include <vector>

namespace platform::detail {
namespace {

WPARAM sizeKind(const Window& w)
{
    if (w.showState == SW_SHOWMAXIMIZED)
        return 2; // SIZE_MAXIMIZED
    if (w.showState == SW_SHOWMINIMIZED)
        return 1; // SIZE_MINIMIZED
    return 0;
}

// Moves the point by the window's client origin on screen: +1 to the screen, -1 from it.
bool ShiftByClientOrigin(HWND hwnd, POINT* pt, int direction)
{
    Window* w = FindWindow(hwnd);
    if (!w || !pt)
        return false;
    POINT origin = ClientOriginOnScreen(*w);
    pt->x += direction * origin.x;
    pt->y += direction * origin.y;
    return true;
}

} // namespace

void SendSize(Window& w)
{
    SendMessage(w.handle, WM_SIZE, sizeKind(w), MAKELPARAM(w.rect.width(), w.rect.height()));
}

POINT ClientOriginOnScreen(const Window& w)
{
    POINT origin{w.rect.left, w.rect.top};
    const Window* at = &w;
    while (at->child) {
        const Window* p = FindWindow(at->parent);
        if (!p)
            break;
        origin.x += p->rect.left;
        origin.y += p->rect.top;
        at = p;
    }
    return origin;
}

void NativePlaced(HWND hwnd, const RECT& rect)
{
    Window* w = FindWindow(hwnd);
    if (!w)
        return;
    bool sized = rect.width() != w->rect.width() || rect.height() != w->rect.height();
    bool moved = rect.left != w->rect.left || rect.top != w->rect.top;
    w->rect = rect;
    if (moved)
        SendMessage(hwnd, WM_MOVE, 0, MAKELPARAM(rect.left, rect.top));
    if (sized && FindWindow(hwnd))
        SendSize(*w);
}

void WorkAreaChanged()
{
    WindowSystemState* s = State();
    if (!s)
        return;
    std::vector<HWND> maximised;
    {
        std::lock_guard lock(CoreMutex());
        for (const auto& [handle, w] : s->windows)
            if (!w->child && !w->destroying && w->showState == SW_SHOWMAXIMIZED)
                maximised.push_back(handle);
    }
    const RECT work = s->backend->workArea();
    for (HWND hwnd : maximised) {
        Window* w = FindWindow(hwnd);
        if (!w || (work.left == w->rect.left && work.top == w->rect.top && work.width() == w->rect.width()
                   && work.height() == w->rect.height()))
            continue;
        const bool sized = work.width() != w->rect.width() || work.height() != w->rect.height();
        w->rect = work;
        s->backend->placed(*w);
        if (sized)
            SendSize(*w);
    }
}

} // namespace platform::detail

using namespace platform::detail;

bool ShowWindow(HWND hwnd, int cmd)
{
    Window* w = FindWindow(hwnd);
    if (!w || w->destroying)
        return false;
    Backend* backend = State()->backend.get();
    bool wasVisible = w->visible;
    int oldState = w->showState;
    bool activate = false;
    switch (cmd) {
    case SW_HIDE:
        w->visible = false;
        break;
    case SW_SHOWMINIMIZED:
    case SW_MINIMIZE:
        w->visible = true;
        w->showState = SW_SHOWMINIMIZED;
        break;
    case SW_SHOWMAXIMIZED:
        w->visible = true;
        w->showState = SW_SHOWMAXIMIZED;
        activate = true;
        break;
    case SW_SHOWNORMAL:
    case SW_RESTORE:
        w->visible = true;
        w->showState = (cmd == SW_RESTORE && oldState == SW_SHOWMINIMIZED && w->style & WS_MAXIMIZE)
            ? SW_SHOWMAXIMIZED
            : SW_SHOWNORMAL;
        activate = true;
        break;
    case SW_SHOWNOACTIVATE:
        w->visible = true;
        break;
    default: // SW_SHOW and the rest
        w->visible = true;
        activate = true;
        break;
    }
    if (w->showState == SW_SHOWMINIMIZED)
        w->style = (w->style | WS_MINIMIZE);
    else
        w->style &= ~WS_MINIMIZE;
    if (oldState != SW_SHOWMINIMIZED && w->showState == SW_SHOWMINIMIZED)
        w->style = (oldState == SW_SHOWMAXIMIZED) ? (w->style | WS_MAXIMIZE) : (w->style & ~WS_MAXIMIZE);
    else if (w->showState == SW_SHOWMAXIMIZED)
        w->style |= WS_MAXIMIZE;
    else if (w->showState == SW_SHOWNORMAL)
        w->style &= ~WS_MAXIMIZE;

    if (w->visible != wasVisible)
        SendMessage(hwnd, WM_SHOWWINDOW, w->visible ? 1 : 0, 0);
    if (!(w = FindWindow(hwnd)))
        return wasVisible;
    backend->shown(*w);

    // Maximising fills the work area (the frame is the skin's, so the window does it
    // itself); restoring returns to the remembered placement.
    if (!w->child && oldState != w->showState) {
        RECT target = w->rect;
        if (w->showState == SW_SHOWMAXIMIZED) {
            if (oldState == SW_SHOWNORMAL)
                w->restoreRect = w->rect;
            target = backend->workArea();
        } else if (w->showState == SW_SHOWNORMAL && oldState == SW_SHOWMAXIMIZED) {
            target = w->restoreRect;
        }
        bool sized = target.width() != w->rect.width() || target.height() != w->rect.height();
        w->rect = target;
        backend->placed(*w);
        if (sized || w->showState == SW_SHOWMINIMIZED || oldState == SW_SHOWMINIMIZED)
            SendSize(*w);
    }
    if ((w = FindWindow(hwnd)) && activate && !w->child && !w->desktopChild && w->visible
        && w->showState != SW_SHOWMINIMIZED)
        SetActive(hwnd);
    if ((w = FindWindow(hwnd)) && !w->visible && GetActiveWindow() == hwnd)
        SetActive(nullptr);
    return wasVisible;
}

bool IsIconic(HWND hwnd)
{
    Window* w = FindWindow(hwnd);
    return w && w->showState == SW_SHOWMINIMIZED;
}

bool IsZoomed(HWND hwnd)
{
    Window* w = FindWindow(hwnd);
    return w && w->showState == SW_SHOWMAXIMIZED;
}

bool MoveWindow(HWND hwnd, int x, int y, int cx, int cy, bool repaint)
{
    Window* w = FindWindow(hwnd);
    if (!w)
        return false;
    Backend* backend = State()->backend.get();
    RECT next{x, y, x + std::max(cx, 0), y + std::max(cy, 0)};
    bool sized = next.width() != w->rect.width() || next.height() != w->rect.height();
    bool moved = next.left != w->rect.left || next.top != w->rect.top;
    w->rect = next;
    if (w->showState == SW_SHOWNORMAL)
        w->restoreRect = next;
    backend->placed(*w);
    if (moved)
        SendMessage(hwnd, WM_MOVE, 0, MAKELPARAM(x, y));
    if (sized && (w = FindWindow(hwnd)))
        SendSize(*w);
    if (repaint && (w = FindWindow(hwnd)))
        backend->invalidate(*w, nullptr);
    return true;
}

bool GetWindowRect(HWND hwnd, RECT* rect)
{
    Window* w = FindWindow(hwnd);
    if (!w || !rect)
        return false;
    POINT origin = ClientOriginOnScreen(*w);
    *rect = RECT{origin.x, origin.y, origin.x + w->rect.width(), origin.y + w->rect.height()};
    return true;
}

bool GetClientRect(HWND hwnd, RECT* rect)
{
    Window* w = FindWindow(hwnd);
    if (!w || !rect)
        return false;
    *rect = RECT{0, 0, w->rect.width(), w->rect.height()};
    return true;
}

bool CenterWindow(HWND hwnd, HWND over)
{
    Window* w = FindWindow(hwnd);
    if (!w)
        return false;
    RECT area;
    RECT bounds = State()->backend->workArea();
    if (w->child) {
        GetClientRect(w->parent, &area);
        bounds = area;
    } else if (over && over != kDesktop && FindWindow(over) && IsWindowVisible(over) && !IsIconic(over)) {
        GetWindowRect(over, &area);
    } else {
        area = bounds;
    }
    int cx = w->rect.width();
    int cy = w->rect.height();
    int x = area.left + (area.width() - cx) / 2;
    int y = area.top + (area.height() - cy) / 2;
    // Keep the window on the work area when the owner sits near its edge.
    x = std::max(bounds.left, std::min(x, bounds.right - cx));
    y = std::max(bounds.top, std::min(y, bounds.bottom - cy));
    return MoveWindow(hwnd, x, y, cx, cy, false);
}

bool ScreenToClient(HWND hwnd, POINT* pt) { return ShiftByClientOrigin(hwnd, pt, -1); }

bool ClientToScreen(HWND hwnd, POINT* pt) { return ShiftByClientOrigin(hwnd, pt, +1); }

SIZE GetScreenSize()
{
    WindowSystemState* s = State();
    return s ? s->backend->screenSize() : SIZE{};
}

RECT GetWorkArea()
{
    WindowSystemState* s = State();
    return s ? s->backend->workArea() : RECT{};
}

bool BeginMoveDrag(HWND hwnd)
{
    Window* w = FindWindow(TopLevelOf(hwnd));
    return w && State()->backend->beginMoveDrag(*w);
}

bool InvalidateRect(HWND hwnd, const RECT* rect, bool)
{
    Window* w = FindWindow(hwnd);
    if (!w)
        return false;
    State()->backend->invalidate(*w, rect);
    return true;
}

bool UpdateWindow(HWND hwnd)
{
    Window* w = FindWindow(hwnd);
    if (!w)
        return false;
    State()->backend->update(*w);
    return true;
}
