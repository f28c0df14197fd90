// Window records: creation and destruction, procedures, styles, texts and properties.
#include "platform/window/WindowState.h"

#include <algorithm>

namespace platform::detail {
namespace {

// Handles are never reused within the process, so a handle kept across a restart of the
// window system names nothing. Guarded by CoreMutex().
std::uintptr_t g_nextHandle = 0x10;

} // namespace

Window* FindWindow(HWND hwnd)
{
    std::lock_guard lock(CoreMutex());
    WindowSystemState* s = State();
    if (!s)
        return nullptr;
    auto it = s->windows.find(hwnd);
    return it == s->windows.end() ? nullptr : it->second.get();
}

HWND TopLevelOf(HWND hwnd)
{
    Window* w = FindWindow(hwnd);
    while (w && w->child) {
        Window* p = FindWindow(w->parent);
        if (!p)
            break;
        w = p;
    }
    return w ? w->handle : nullptr;
}

} // namespace platform::detail

using namespace platform::detail;

HWND CreateWindowEx(DWORD exStyle, const char* title, DWORD style, int x, int y, int cx, int cy, HWND parent,
                    int id, WindowProc proc, void* createParams)
{
    WindowSystemState* s = State();
    if (!s || !IsUiThread())
        return nullptr;
    if (parent == kDesktop)
        parent = nullptr;
    Window* parentWindow = parent ? FindWindow(parent) : nullptr;
    if (parent && !parentWindow)
        return nullptr;
    bool desktopChild = (style & WS_CHILD) && !parentWindow;
    if (desktopChild)
        style &= ~WS_CHILD; // a child of the desktop is a top-level window of its own

    auto record = std::make_unique<Window>();
    Window* w = record.get();
    {
        std::lock_guard lock(CoreMutex());
        g_nextHandle += 0x10;
        w->handle = reinterpret_cast<HWND>(g_nextHandle);
        s->windows.emplace(w->handle, std::move(record));
    }
    w->parent = parent;
    w->child = (style & WS_CHILD) && parentWindow;
    w->desktopChild = desktopChild;
    w->id = id;
    w->style = style & ~WS_VISIBLE;
    w->exStyle = exStyle;
    w->title = title ? title : "";
    w->proc = std::make_shared<const WindowProc>(std::move(proc));
    w->rect = RECT{x, y, x + std::max(cx, 0), y + std::max(cy, 0)};
    w->restoreRect = w->rect;
    w->enabled = !(style & WS_DISABLED);
    if (parentWindow)
        parentWindow->children.push_back(w->handle);
    s->backend->created(*w);

    CREATESTRUCT cs;
    cs.lpCreateParams = createParams;
    cs.hwndParent = parent;
    cs.id = id;
    cs.x = x;
    cs.y = y;
    cs.cx = cx;
    cs.cy = cy;
    cs.style = style;
    cs.exStyle = exStyle;
    cs.title = title ? title : "";
    HWND handle = w->handle;
    if (CallWindowProcedure(handle, WM_CREATE, 0, reinterpret_cast<LPARAM>(&cs)) == -1) {
        DestroyWindow(handle);
        return nullptr;
    }
    if (!FindWindow(handle))
        return nullptr; // destroyed by its own creation handler
    if (style & WS_VISIBLE)
        ShowWindow(handle, (style & WS_CHILD) || desktopChild ? SW_SHOWNOACTIVATE : SW_SHOW);
    return handle;
}

bool DestroyWindow(HWND hwnd)
{
    Window* w = FindWindow(hwnd);
    if (!w || w->destroying || !IsUiThread())
        return false;
    WindowSystemState* s = State();
    w->destroying = true;
    EndModalLoopsOf(hwnd);
    if (w->visible && !w->child) {
        w->visible = false;
        s->backend->shown(*w);
    }
    CallWindowProcedure(hwnd, WM_DESTROY, 0, 0);
    std::vector<HWND> children = w->children;
    for (HWND c : children)
        DestroyWindow(c);
    CallWindowProcedure(hwnd, WM_NCDESTROY, 0, 0);

    PurgeTimersAndMessages(hwnd);
    ForgetInputWindow(*w);
    if (Window* p = FindWindow(w->parent))
        std::erase(p->children, hwnd);
    s->backend->destroyed(*w);
    std::unique_ptr<Window> gone;
    {
        std::lock_guard lock(CoreMutex());
        auto it = s->windows.find(hwnd);
        gone = std::move(it->second);
        s->windows.erase(it);
        // Senders waiting on the dead window get 0 when their turn comes.
    }
    s->backend->wake();
    return true;
}

LRESULT DefWindowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM)
{
    switch (msg) {
    case WM_CLOSE:
        DestroyWindow(hwnd);
        return 0;
    case WM_SYSCOMMAND:
        switch (wParam & 0xFFF0) {
        case SC_CLOSE:
            SendMessage(hwnd, WM_CLOSE, 0, 0);
            break;
        case SC_MINIMIZE:
            ShowWindow(hwnd, SW_MINIMIZE);
            break;
        case SC_MAXIMIZE:
            ShowWindow(hwnd, SW_SHOWMAXIMIZED);
            break;
        case SC_RESTORE:
            ShowWindow(hwnd, SW_RESTORE);
            break;
        }
        return 0;
    case WM_IME_CHAR:
        // A single-byte character also reaches windows that only read WM_CHAR.
        if (wParam < 0x80)
            SendMessage(hwnd, WM_CHAR, wParam, 1);
        return 0;
    default:
        return 0;
    }
}

WindowProc SetWindowProc(HWND hwnd, WindowProc proc)
{
    Window* w = FindWindow(hwnd);
    if (!w)
        return {};
    WindowProc old = w->proc ? *w->proc : WindowProc{};
    w->proc = std::make_shared<const WindowProc>(std::move(proc));
    return old;
}

bool IsWindow(HWND hwnd)
{
    if (!hwnd)
        return false;
    std::lock_guard lock(CoreMutex());
    WindowSystemState* s = State();
    if (!s)
        return false;
    auto it = s->windows.find(hwnd);
    return it != s->windows.end() && !it->second->destroying;
}

bool IsWindowVisible(HWND hwnd)
{
    Window* w = FindWindow(hwnd);
    if (!w)
        return false;
    for (; w; w = w->child ? FindWindow(w->parent) : nullptr) {
        if (!w->visible)
            return false;
    }
    return true;
}

bool IsWindowEnabled(HWND hwnd)
{
    Window* w = FindWindow(hwnd);
    return w && w->enabled;
}

HWND GetParent(HWND hwnd)
{
    Window* w = FindWindow(hwnd);
    return w ? w->parent : nullptr;
}

HWND GetDesktopWindow() { return kDesktop; }

int GetDlgCtrlID(HWND hwnd)
{
    Window* w = FindWindow(hwnd);
    return w ? w->id : 0;
}

bool SetProp(HWND hwnd, const char* name, void* value)
{
    Window* w = FindWindow(hwnd);
    if (!w || !name)
        return false;
    w->props[name] = value;
    return true;
}

void* GetProp(HWND hwnd, const char* name)
{
    Window* w = FindWindow(hwnd);
    if (!w || !name)
        return nullptr;
    auto it = w->props.find(name);
    return it == w->props.end() ? nullptr : it->second;
}

void* RemoveProp(HWND hwnd, const char* name)
{
    Window* w = FindWindow(hwnd);
    if (!w || !name)
        return nullptr;
    auto it = w->props.find(name);
    if (it == w->props.end())
        return nullptr;
    void* value = it->second;
    w->props.erase(it);
    return value;
}
