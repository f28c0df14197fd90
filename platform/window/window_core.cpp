// The back-end-independent half of the window system: window records, the message queue,
// cross-thread sends, timers, properties and modal loops.
#include "platform/window/WindowCore.h"

#include "platform/CodeLib.h"

#include <algorithm>
#include <atomic>
#include <cctype>
#include <cstdio>
#include <deque>
#include <thread>
#include <unordered_map>

namespace platform::detail {
namespace {

struct SendRequest {
    MSG msg;
    LRESULT result = 0;
    bool done = false;
};

struct Timer {
    std::uint64_t due = 0;
    std::uint64_t interval = 1;
    std::uint64_t order = 0; // ties fire in the order the timers were set
};

struct ModalFrame {
    HWND hwnd = nullptr;
    int result = 0;
    bool ended = false;
};

// Shared with other threads: guarded by g_mutex.
std::mutex g_mutex;
std::condition_variable g_sendDone;
std::unordered_map<HWND, std::unique_ptr<Window>> g_windows;
std::deque<MSG> g_posted;
std::deque<SendRequest*> g_sends;
bool g_quitPending = false;
int g_quitCode = 0;
bool g_running = false;
std::unordered_map<std::string, UINT> g_registered; // lives for the process
UINT g_nextRegistered = 0xC000;
std::unordered_map<UINT, void (*)(WPARAM, LPARAM)> g_disposers; // lives for the process
std::uintptr_t g_nextHandle = 0x10;

std::atomic<std::thread::id> g_uiThread{};
// Replaced only by the user-interface thread, under g_mutex; other threads copy it under
// g_mutex, so a late wake never reaches a back end that is gone.
std::shared_ptr<Backend> g_backend;
platform::Backend g_backendKind = platform::Backend::Headless;

// User-interface thread only.
std::map<std::pair<HWND, UINT_PTR>, Timer> g_timers;
std::uint64_t g_timerOrder = 0;
std::vector<ModalFrame*> g_modalFrames;
int g_fetching = 0;
HWND g_capture = nullptr;
HWND g_focus = nullptr;
HWND g_active = nullptr;
bool g_nativeActivation = false; // inside NativeActivated

// A handle no window of ours ever has; top-level windows report it as their parent's
// stand-in and treat it as "no parent".
HWND const kDesktop = reinterpret_cast<HWND>(std::uintptr_t{0x8});

Window* find(HWND hwnd)
{
    std::lock_guard lock(g_mutex);
    auto it = g_windows.find(hwnd);
    return it == g_windows.end() ? nullptr : it->second.get();
}

std::shared_ptr<const WindowProc> procOf(HWND hwnd)
{
    Window* w = find(hwnd);
    return w ? w->proc : nullptr;
}

LRESULT callProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    // A copy keeps the procedure alive when the handler replaces it or destroys the window.
    std::shared_ptr<const WindowProc> proc = procOf(hwnd);
    if (!proc || !*proc)
        return DefWindowProc(hwnd, msg, wParam, lParam);
    return (*proc)(hwnd, msg, wParam, lParam);
}

void serveSends()
{
    for (;;) {
        SendRequest* request = nullptr;
        {
            std::lock_guard lock(g_mutex);
            if (g_sends.empty())
                return;
            request = g_sends.front();
            g_sends.pop_front();
        }
        LRESULT result = 0;
        if (find(request->msg.hwnd))
            result = callProc(request->msg.hwnd, request->msg.message, request->msg.wParam, request->msg.lParam);
        {
            std::lock_guard lock(g_mutex);
            request->result = result;
            request->done = true;
        }
        g_sendDone.notify_all();
    }
}

void releaseSendsLocked()
{
    for (SendRequest* request : g_sends) {
        request->result = 0;
        request->done = true;
    }
    g_sends.clear();
    g_sendDone.notify_all();
}

// The earliest due timer at `now`, rescheduled when `remove`.
std::optional<MSG> takeDueTimer(std::uint64_t now, bool remove)
{
    auto best = g_timers.end();
    for (auto it = g_timers.begin(); it != g_timers.end(); ++it) {
        if (it->second.due > now)
            continue;
        if (best == g_timers.end() || it->second.due < best->second.due
            || (it->second.due == best->second.due && it->second.order < best->second.order))
            best = it;
    }
    if (best == g_timers.end())
        return std::nullopt;
    MSG msg;
    msg.hwnd = best->first.first;
    msg.message = WM_TIMER;
    msg.wParam = best->first.second;
    msg.time = now;
    if (remove) {
        // A late timer fires once, not once per missed period.
        best->second.due += best->second.interval;
        if (best->second.due <= now)
            best->second.due = now + best->second.interval;
        best->second.order = ++g_timerOrder;
    }
    return msg;
}

// One fetch attempt: a sent message is served first, then a posted message, the quit
// request, a due timer. Returns 0 nothing, 1 message, 2 quit.
int fetchOnce(MSG* out, bool remove)
{
    serveSends();
    std::uint64_t now = g_backend ? g_backend->now() : 0;
    {
        std::lock_guard lock(g_mutex);
        if (!g_posted.empty()) {
            *out = g_posted.front();
            if (remove)
                g_posted.pop_front();
            return 1;
        }
        if (g_quitPending) {
            *out = MSG{};
            out->message = WM_QUIT;
            out->wParam = static_cast<WPARAM>(g_quitCode);
            out->time = now;
            if (remove)
                g_quitPending = false;
            return 2;
        }
    }
    if (auto timer = takeDueTimer(now, remove)) {
        *out = *timer;
        return 1;
    }
    return 0;
}

// Runs the disposers of dropped messages; called without g_mutex held.
void disposeDropped(const std::vector<std::pair<void (*)(WPARAM, LPARAM), MSG>>& dropped)
{
    for (const auto& [dispose, m] : dropped)
        dispose(m.wParam, m.lParam);
}

// Takes out the messages that match and remembers those that own something. g_mutex held.
template <class Pred>
std::vector<std::pair<void (*)(WPARAM, LPARAM), MSG>> takePostedLocked(Pred pred)
{
    std::vector<std::pair<void (*)(WPARAM, LPARAM), MSG>> dropped;
    std::erase_if(g_posted, [&](const MSG& m) {
        if (!pred(m))
            return false;
        auto it = g_disposers.find(m.message);
        if (it != g_disposers.end())
            dropped.emplace_back(it->second, m);
        return true;
    });
    return dropped;
}

void purgeWindow(HWND hwnd)
{
    for (auto it = g_timers.begin(); it != g_timers.end();)
        it = it->first.first == hwnd ? g_timers.erase(it) : std::next(it);
    std::vector<std::pair<void (*)(WPARAM, LPARAM), MSG>> dropped;
    {
        std::lock_guard lock(g_mutex);
        dropped = takePostedLocked([hwnd](const MSG& m) { return m.hwnd == hwnd; });
    }
    disposeDropped(dropped);
}

void sendSize(Window& w, WPARAM kind)
{
    SendMessage(w.handle, WM_SIZE, kind, MAKELPARAM(w.rect.width(), w.rect.height()));
}

WPARAM sizeKind(const Window& w)
{
    if (w.showState == SW_SHOWMAXIMIZED)
        return 2; // SIZE_MAXIMIZED
    if (w.showState == SW_SHOWMINIMIZED)
        return 1; // SIZE_MINIMIZED
    return 0;
}

void setActive(HWND hwnd)
{
    if (g_active == hwnd)
        return;
    HWND old = g_active;
    g_active = hwnd;
    if (old && find(old))
        SendMessage(old, WM_ACTIVATE, 0, reinterpret_cast<LPARAM>(hwnd));
    if (find(hwnd)) {
        SendMessage(hwnd, WM_ACTIVATE, 1, reinterpret_cast<LPARAM>(old));
        // When the desktop made the change, asking it again would start a focus ping-pong.
        Window* w = find(hwnd);
        if (w && g_backend && !g_nativeActivation)
            g_backend->activated(*w);
    }
}

bool topLevelEnabled(HWND hwnd)
{
    for (Window* w = find(hwnd); w; w = w->child ? find(w->parent) : nullptr) {
        if (!w->enabled)
            return false;
    }
    return true;
}

} // namespace

Backend* CurrentBackendObject() { return g_backend.get(); }
std::mutex& CoreMutex() { return g_mutex; }
Window* FindWindow(HWND hwnd) { return find(hwnd); }
void AddDestroyHook(HWND hwnd, std::function<void()> hook)
{
    if (Window* w = find(hwnd))
        w->destroyHooks.push_back(std::move(hook));
}

bool IsUiThread() { return g_uiThread.load() == std::this_thread::get_id(); }
bool IsFetching() { return g_fetching > 0; }

HWND TopLevelOf(HWND hwnd)
{
    Window* w = find(hwnd);
    while (w && w->child) {
        Window* p = find(w->parent);
        if (!p)
            break;
        w = p;
    }
    return w ? w->handle : nullptr;
}

POINT ClientOriginOnScreen(const Window& w)
{
    POINT origin{w.rect.left, w.rect.top};
    const Window* at = &w;
    while (at->child) {
        const Window* p = find(at->parent);
        if (!p)
            break;
        origin.x += p->rect.left;
        origin.y += p->rect.top;
        at = p;
    }
    return origin;
}

void DeliverInput(HWND target, UINT msg, WPARAM wParam, LPARAM lParam)
{
    Window* w = find(target);
    if (!w)
        return;
    bool mouse = msg >= WM_MOUSEFIRST && msg <= WM_MOUSELAST && msg != WM_MOUSEWHEEL;
    bool key = (msg >= WM_KEYFIRST && msg <= WM_KEYLAST) || msg == WM_IME_CHAR;
    if (mouse && g_capture && g_capture != target && find(g_capture)) {
        POINT pt{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
        ClientToScreen(target, &pt);
        ScreenToClient(g_capture, &pt);
        target = g_capture;
        lParam = MAKELPARAM(pt.x, pt.y);
    } else if (key && g_focus && g_focus != target && TopLevelOf(g_focus) == TopLevelOf(target)) {
        target = g_focus;
    }
    if (!topLevelEnabled(target))
        return;
    PostMessage(target, msg, wParam, lParam);
}

void NativePlaced(HWND hwnd, const RECT& rect)
{
    Window* w = find(hwnd);
    if (!w)
        return;
    bool sized = rect.width() != w->rect.width() || rect.height() != w->rect.height();
    bool moved = rect.left != w->rect.left || rect.top != w->rect.top;
    w->rect = rect;
    if (moved)
        SendMessage(hwnd, WM_MOVE, 0, MAKELPARAM(rect.left, rect.top));
    if (sized && find(hwnd))
        sendSize(*w, sizeKind(*w));
}

void NativeActivated(HWND hwnd, bool active)
{
    Window* w = find(hwnd);
    if (!w || w->desktopChild)
        return;
    g_nativeActivation = true;
    if (active)
        setActive(hwnd);
    else if (g_active == hwnd)
        setActive(nullptr);
    g_nativeActivation = false;
}

void DrainQueue()
{
    MSG msg;
    for (;;) {
        int got = fetchOnce(&msg, false);
        if (got != 1)
            return; // a quit request stays for the loop that fetches it
        fetchOnce(&msg, true);
        TranslateMessage(&msg);
        DispatchMessage(&msg);
    }
}

bool HasWork()
{
    std::uint64_t now = g_backend ? g_backend->now() : 0;
    {
        std::lock_guard lock(g_mutex);
        if (!g_posted.empty() || !g_sends.empty())
            return true;
    }
    auto due = NextTimerDue();
    return due && *due <= now;
}

std::optional<std::uint64_t> NextTimerDue()
{
    std::optional<std::uint64_t> due;
    for (const auto& [key, timer] : g_timers) {
        if (!due || timer.due < *due)
            due = timer.due;
    }
    return due;
}

} // namespace platform::detail

using namespace platform::detail;

namespace platform {

bool InitWindowSystem(Backend backend)
{
    if (g_backend)
        ShutdownWindowSystem();
    std::unique_ptr<detail::Backend> made =
        backend == Backend::Gtk ? MakeGtkBackend() : MakeHeadlessBackend();
    if (!made || !made->init())
        return false;
    g_uiThread.store(std::this_thread::get_id());
    g_backendKind = backend;
    std::lock_guard lock(g_mutex);
    g_backend = std::move(made);
    g_running = true;
    g_quitPending = false;
    return true;
}

void ShutdownWindowSystem()
{
    if (!g_backend)
        return;
    // Top-level windows first; each takes its children and owned windows along.
    for (;;) {
        HWND top = nullptr;
        {
            std::lock_guard lock(g_mutex);
            for (auto& [handle, w] : g_windows) {
                if (!w->destroying && (!w->child || !g_windows.count(w->parent))) {
                    top = handle;
                    break;
                }
            }
        }
        if (!top)
            break;
        DestroyWindow(top);
    }
    std::vector<std::pair<void (*)(WPARAM, LPARAM), MSG>> dropped;
    {
        std::lock_guard lock(g_mutex);
        g_running = false;
        dropped = takePostedLocked([](const MSG&) { return true; });
        g_quitPending = false;
        releaseSendsLocked();
        g_windows.clear();
    }
    disposeDropped(dropped);
    g_timers.clear();
    g_modalFrames.clear();
    g_capture = g_focus = g_active = nullptr;
    std::shared_ptr<detail::Backend> old;
    {
        std::lock_guard lock(g_mutex);
        old = std::move(g_backend);
    }
    old->shutdown();
    g_uiThread.store(std::thread::id{});
}

Backend CurrentBackend() { return g_backendKind; }

std::uint64_t ClockNow() { return g_backend ? g_backend->now() : 0; }

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

HWND CreateWindowEx(DWORD exStyle, const char* title, DWORD style, int x, int y, int cx, int cy, HWND parent,
                    int id, WindowProc proc, void* createParams)
{
    if (!g_backend || !IsUiThread())
        return nullptr;
    if (parent == kDesktop)
        parent = nullptr;
    Window* parentWindow = parent ? find(parent) : nullptr;
    if (parent && !parentWindow)
        return nullptr;
    bool desktopChild = (style & WS_CHILD) && !parentWindow;
    if (desktopChild)
        style &= ~WS_CHILD; // a child of the desktop is a top-level window of its own

    auto record = std::make_unique<Window>();
    Window* w = record.get();
    {
        std::lock_guard lock(g_mutex);
        g_nextHandle += 0x10;
        w->handle = reinterpret_cast<HWND>(g_nextHandle);
        g_windows.emplace(w->handle, std::move(record));
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
    g_backend->created(*w);

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
    if (callProc(handle, WM_CREATE, 0, reinterpret_cast<LPARAM>(&cs)) == -1) {
        DestroyWindow(handle);
        return nullptr;
    }
    if (!find(handle))
        return nullptr; // destroyed by its own creation handler
    if (style & WS_VISIBLE)
        ShowWindow(handle, (style & WS_CHILD) || desktopChild ? SW_SHOWNOACTIVATE : SW_SHOW);
    return handle;
}

bool DestroyWindow(HWND hwnd)
{
    Window* w = find(hwnd);
    if (!w || w->destroying || !IsUiThread())
        return false;
    w->destroying = true;
    for (ModalFrame* frame : g_modalFrames) {
        if (frame->hwnd == hwnd && !frame->ended) {
            frame->ended = true;
            PostMessage(nullptr, WM_NULL, 0, 0);
        }
    }
    if (w->visible && !w->child) {
        w->visible = false;
        g_backend->shown(*w);
    }
    callProc(hwnd, WM_DESTROY, 0, 0);
    std::vector<HWND> children = w->children;
    for (HWND c : children)
        DestroyWindow(c);
    callProc(hwnd, WM_NCDESTROY, 0, 0);

    purgeWindow(hwnd);
    if (g_capture == hwnd)
        g_capture = nullptr;
    if (g_focus == hwnd)
        g_focus = nullptr;
    if (g_active == hwnd) {
        // As on the classic desktop, the owner of a dying active window takes over.
        g_active = nullptr;
        if (!w->child && IsWindowVisible(w->parent))
            setActive(w->parent);
    }
    if (Window* p = find(w->parent))
        std::erase(p->children, hwnd);
    g_backend->destroyed(*w);
    for (auto& hook : w->destroyHooks)
        hook();
    std::unique_ptr<Window> gone;
    {
        std::lock_guard lock(g_mutex);
        auto it = g_windows.find(hwnd);
        gone = std::move(it->second);
        g_windows.erase(it);
        // Senders waiting on the dead window get 0 when their turn comes.
    }
    g_backend->wake();
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
    Window* w = find(hwnd);
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
    std::lock_guard lock(g_mutex);
    auto it = g_windows.find(hwnd);
    return it != g_windows.end() && !it->second->destroying;
}

bool IsWindowVisible(HWND hwnd)
{
    Window* w = find(hwnd);
    if (!w)
        return false;
    for (; w; w = w->child ? find(w->parent) : nullptr) {
        if (!w->visible)
            return false;
    }
    return true;
}

bool IsWindowEnabled(HWND hwnd)
{
    Window* w = find(hwnd);
    return w && w->enabled;
}

// Answers whether the window was disabled before, as the classic call does.
bool EnableWindow(HWND hwnd, bool enable)
{
    Window* w = find(hwnd);
    if (!w)
        return false;
    bool wasDisabled = !w->enabled;
    if (w->enabled != enable) {
        w->enabled = enable;
        if (enable)
            w->style &= ~WS_DISABLED;
        else
            w->style |= WS_DISABLED;
        if (!enable && g_capture && TopLevelOf(g_capture) == hwnd)
            g_capture = nullptr;
        SendMessage(hwnd, WM_ENABLE, enable ? 1 : 0, 0);
    }
    return wasDisabled;
}

bool ShowWindow(HWND hwnd, int cmd)
{
    Window* w = find(hwnd);
    if (!w || w->destroying)
        return false;
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
    if (!(w = find(hwnd)))
        return wasVisible;
    g_backend->shown(*w);

    // Maximising fills the work area (the frame is the skin's, so the window does it
    // itself); restoring returns to the remembered placement.
    if (!w->child && oldState != w->showState) {
        RECT target = w->rect;
        if (w->showState == SW_SHOWMAXIMIZED) {
            if (oldState == SW_SHOWNORMAL)
                w->restoreRect = w->rect;
            target = g_backend->workArea();
        } else if (w->showState == SW_SHOWNORMAL && oldState == SW_SHOWMAXIMIZED) {
            target = w->restoreRect;
        }
        bool sized = target.width() != w->rect.width() || target.height() != w->rect.height();
        w->rect = target;
        g_backend->placed(*w);
        if (sized || w->showState == SW_SHOWMINIMIZED || oldState == SW_SHOWMINIMIZED)
            sendSize(*w, sizeKind(*w));
    }
    if ((w = find(hwnd)) && activate && !w->child && !w->desktopChild && w->visible && w->showState != SW_SHOWMINIMIZED)
        setActive(hwnd);
    if ((w = find(hwnd)) && !w->visible && g_active == hwnd)
        setActive(nullptr);
    return wasVisible;
}

bool IsIconic(HWND hwnd)
{
    Window* w = find(hwnd);
    return w && w->showState == SW_SHOWMINIMIZED;
}

bool IsZoomed(HWND hwnd)
{
    Window* w = find(hwnd);
    return w && w->showState == SW_SHOWMAXIMIZED;
}

HWND GetParent(HWND hwnd)
{
    Window* w = find(hwnd);
    return w ? w->parent : nullptr;
}

HWND GetDesktopWindow() { return kDesktop; }
HWND GetActiveWindow() { return g_active; }

HWND SetActiveWindow(HWND hwnd)
{
    HWND old = g_active;
    Window* w = find(hwnd);
    if (!w || w->desktopChild)
        return nullptr;
    setActive(TopLevelOf(hwnd));
    return old;
}

bool SetForegroundWindow(HWND hwnd)
{
    if (!find(hwnd))
        return false;
    SetActiveWindow(hwnd);
    return true;
}

int GetDlgCtrlID(HWND hwnd)
{
    Window* w = find(hwnd);
    return w ? w->id : 0;
}

DWORD GetWindowStyle(HWND hwnd)
{
    Window* w = find(hwnd);
    if (!w)
        return 0;
    return w->style | (w->visible ? WS_VISIBLE : 0);
}

void SetWindowStyle(HWND hwnd, DWORD style)
{
    if (Window* w = find(hwnd))
        w->style = style & ~WS_VISIBLE;
}

DWORD GetWindowExStyle(HWND hwnd)
{
    Window* w = find(hwnd);
    return w ? w->exStyle : 0;
}

bool SetWindowText(HWND hwnd, const char* text)
{
    Window* w = find(hwnd);
    if (!w)
        return false;
    w->title = text ? text : "";
    g_backend->titled(*w);
    return true;
}

std::string GetWindowText(HWND hwnd)
{
    Window* w = find(hwnd);
    return w ? w->title : std::string();
}

bool MoveWindow(HWND hwnd, int x, int y, int cx, int cy, bool repaint)
{
    Window* w = find(hwnd);
    if (!w)
        return false;
    RECT next{x, y, x + std::max(cx, 0), y + std::max(cy, 0)};
    bool sized = next.width() != w->rect.width() || next.height() != w->rect.height();
    bool moved = next.left != w->rect.left || next.top != w->rect.top;
    w->rect = next;
    if (w->showState == SW_SHOWNORMAL)
        w->restoreRect = next;
    g_backend->placed(*w);
    if (moved)
        SendMessage(hwnd, WM_MOVE, 0, MAKELPARAM(x, y));
    if (sized && (w = find(hwnd)))
        sendSize(*w, sizeKind(*w));
    if (repaint && (w = find(hwnd)))
        g_backend->invalidate(*w, nullptr);
    return true;
}

bool GetWindowRect(HWND hwnd, RECT* rect)
{
    Window* w = find(hwnd);
    if (!w || !rect)
        return false;
    POINT origin = ClientOriginOnScreen(*w);
    *rect = RECT{origin.x, origin.y, origin.x + w->rect.width(), origin.y + w->rect.height()};
    return true;
}

bool GetClientRect(HWND hwnd, RECT* rect)
{
    Window* w = find(hwnd);
    if (!w || !rect)
        return false;
    *rect = RECT{0, 0, w->rect.width(), w->rect.height()};
    return true;
}

bool CenterWindow(HWND hwnd, HWND over)
{
    Window* w = find(hwnd);
    if (!w)
        return false;
    RECT area;
    RECT bounds = g_backend->workArea();
    if (w->child) {
        GetClientRect(w->parent, &area);
        bounds = area;
    } else if (over && over != kDesktop && find(over) && IsWindowVisible(over) && !IsIconic(over)) {
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

bool ScreenToClient(HWND hwnd, POINT* pt)
{
    Window* w = find(hwnd);
    if (!w || !pt)
        return false;
    POINT origin = ClientOriginOnScreen(*w);
    pt->x -= origin.x;
    pt->y -= origin.y;
    return true;
}

bool ClientToScreen(HWND hwnd, POINT* pt)
{
    Window* w = find(hwnd);
    if (!w || !pt)
        return false;
    POINT origin = ClientOriginOnScreen(*w);
    pt->x += origin.x;
    pt->y += origin.y;
    return true;
}

SIZE GetScreenSize() { return g_backend ? g_backend->screenSize() : SIZE{}; }
RECT GetWorkArea() { return g_backend ? g_backend->workArea() : RECT{}; }

bool BeginMoveDrag(HWND hwnd)
{
    Window* w = find(TopLevelOf(hwnd));
    return w && g_backend->beginMoveDrag(*w);
}

bool InvalidateRect(HWND hwnd, const RECT* rect, bool)
{
    Window* w = find(hwnd);
    if (!w)
        return false;
    g_backend->invalidate(*w, rect);
    return true;
}

bool UpdateWindow(HWND hwnd)
{
    Window* w = find(hwnd);
    if (!w)
        return false;
    g_backend->update(*w);
    return true;
}

void SetImeCursorRect(HWND hwnd, const RECT& caret)
{
    if (Window* w = find(hwnd))
        g_backend->imeCursor(*w, caret);
}

HWND SetCapture(HWND hwnd)
{
    HWND old = g_capture;
    g_capture = find(hwnd) ? hwnd : nullptr;
    return old;
}

bool ReleaseCapture()
{
    g_capture = nullptr;
    return true;
}

HWND GetCapture() { return g_capture; }

HWND SetFocus(HWND hwnd)
{
    HWND old = g_focus;
    if (hwnd && !find(hwnd))
        return nullptr;
    if (old == hwnd)
        return old;
    g_focus = hwnd;
    if (old && find(old))
        SendMessage(old, WM_KILLFOCUS, reinterpret_cast<WPARAM>(hwnd), 0);
    if (Window* w = find(hwnd)) {
        SendMessage(hwnd, WM_SETFOCUS, reinterpret_cast<WPARAM>(old), 0);
        if ((w = find(hwnd)))
            g_backend->focused(*w);
    }
    return old;
}

HWND GetFocus() { return g_focus; }

bool PostMessage(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    std::shared_ptr<Backend> backend;
    {
        std::lock_guard lock(g_mutex);
        if (!g_running)
            return false;
        backend = g_backend;
        if (hwnd) {
            auto it = g_windows.find(hwnd);
            if (it == g_windows.end() || it->second->destroying)
                return false;
        }
        MSG m;
        m.hwnd = hwnd;
        m.message = msg;
        m.wParam = wParam;
        m.lParam = lParam;
        m.time = 0;
        g_posted.push_back(m);
    }
    backend->wake();
    return true;
}

LRESULT SendMessage(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    if (!IsWindow(hwnd))
        return 0;
    if (IsUiThread())
        return callProc(hwnd, msg, wParam, lParam);

    SendRequest request;
    request.msg.hwnd = hwnd;
    request.msg.message = msg;
    request.msg.wParam = wParam;
    request.msg.lParam = lParam;
    std::unique_lock lock(g_mutex);
    if (!g_running)
        return 0;
    g_sends.push_back(&request);
    std::shared_ptr<Backend> backend = g_backend;
    lock.unlock();
    backend->wake();
    lock.lock();
    g_sendDone.wait(lock, [&] { return request.done; });
    return request.result;
}

void PostQuitMessage(int exitCode)
{
    std::shared_ptr<Backend> backend;
    {
        std::lock_guard lock(g_mutex);
        g_quitPending = true;
        g_quitCode = exitCode;
        backend = g_backend;
    }
    if (backend)
        backend->wake();
}

void SetDroppedMessageDisposer(UINT msg, void (*dispose)(WPARAM wParam, LPARAM lParam))
{
    std::lock_guard lock(g_mutex);
    if (dispose)
        g_disposers[msg] = dispose;
    else
        g_disposers.erase(msg);
}

UINT RegisterWindowMessage(const char* name)
{
    if (!name || !*name)
        return 0;
    std::string key(name);
    for (char& c : key)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    std::lock_guard lock(g_mutex);
    auto it = g_registered.find(key);
    if (it != g_registered.end())
        return it->second;
    if (g_nextRegistered > 0xFFFF)
        return 0;
    UINT value = g_nextRegistered++;
    g_registered.emplace(key, value);
    return value;
}

bool GetMessage(MSG* msg)
{
    if (!g_backend || !msg)
        return false;
    for (;;) {
        int got = fetchOnce(msg, true);
        if (got == 1)
            return true;
        if (got == 2)
            return false;
        std::unique_lock lock(g_mutex);
        ++g_fetching;
        auto due = NextTimerDue();
        g_backend->wait(lock, due, [due] {
            return !g_posted.empty() || !g_sends.empty() || g_quitPending
                || (due && g_backend->now() >= *due);
        });
        --g_fetching;
    }
}

bool PeekMessage(MSG* msg, bool remove)
{
    if (!g_backend || !msg)
        return false;
    return fetchOnce(msg, remove) != 0;
}

void TranslateMessage(const MSG* msg)
{
    if (!msg || msg->message != WM_KEYDOWN)
        return;
    // Keys that type a control character; printable text arrives from the input method.
    switch (msg->wParam) {
    case VK_BACK:
    case VK_TAB:
    case VK_RETURN:
    case VK_ESCAPE: {
        MSG ch = *msg;
        ch.message = WM_CHAR;
        ch.lParam = 1;
        std::lock_guard lock(g_mutex);
        g_posted.push_front(ch);
        break;
    }
    default:
        break;
    }
}

LRESULT DispatchMessage(const MSG* msg)
{
    if (!msg || !msg->hwnd)
        return 0;
    if (!IsWindow(msg->hwnd)) {
        // Fetched while its window still lived; the window went before dispatch.
        void (*dispose)(WPARAM, LPARAM) = nullptr;
        {
            std::lock_guard lock(g_mutex);
            auto it = g_disposers.find(msg->message);
            if (it != g_disposers.end())
                dispose = it->second;
        }
        if (dispose)
            dispose(msg->wParam, msg->lParam);
        return 0;
    }
    return callProc(msg->hwnd, msg->message, msg->wParam, msg->lParam);
}

int RunMessageLoop()
{
    MSG msg;
    while (GetMessage(&msg)) {
        TranslateMessage(&msg);
        DispatchMessage(&msg);
    }
    return static_cast<int>(msg.wParam);
}

int RunModalLoop(HWND hwnd)
{
    if (!IsWindow(hwnd))
        return 0;
    ModalFrame frame;
    frame.hwnd = hwnd;
    g_modalFrames.push_back(&frame);
    MSG msg;
    while (!frame.ended && IsWindow(hwnd)) {
        if (!GetMessage(&msg)) {
            // The quit request belongs to the outer loop.
            PostQuitMessage(static_cast<int>(msg.wParam));
            break;
        }
        TranslateMessage(&msg);
        DispatchMessage(&msg);
    }
    std::erase(g_modalFrames, &frame);
    return frame.result;
}

bool EndModalLoop(HWND hwnd, int code)
{
    for (auto it = g_modalFrames.rbegin(); it != g_modalFrames.rend(); ++it) {
        ModalFrame* frame = *it;
        if (frame->hwnd == hwnd && !frame->ended) {
            frame->result = code;
            frame->ended = true;
            // The loop may be waiting inside GetMessage (the end came from a sent message):
            // an empty message lets it look at its flag again.
            PostMessage(nullptr, WM_NULL, 0, 0);
            return true;
        }
    }
    return false;
}

bool IsInModalLoop(HWND hwnd)
{
    return std::any_of(g_modalFrames.begin(), g_modalFrames.end(),
                       [hwnd](const ModalFrame* f) { return f->hwnd == hwnd && !f->ended; });
}

UINT_PTR SetTimer(HWND hwnd, UINT_PTR id, UINT elapseMs)
{
    if (!find(hwnd) || !g_backend)
        return 0;
    Timer& timer = g_timers[{hwnd, id}];
    timer.interval = std::max<std::uint64_t>(elapseMs, 1);
    timer.due = g_backend->now() + timer.interval;
    timer.order = ++g_timerOrder;
    g_backend->wake();
    return id == 0 ? 1 : id;
}

bool KillTimer(HWND hwnd, UINT_PTR id)
{
    bool had = g_timers.erase({hwnd, id}) > 0;
    // A WM_TIMER already fetched cannot be recalled, but none stays queued: timers are
    // generated on fetch.
    return had;
}

bool SetProp(HWND hwnd, const char* name, void* value)
{
    Window* w = find(hwnd);
    if (!w || !name)
        return false;
    w->props[name] = value;
    return true;
}

void* GetProp(HWND hwnd, const char* name)
{
    Window* w = find(hwnd);
    if (!w || !name)
        return nullptr;
    auto it = w->props.find(name);
    return it == w->props.end() ? nullptr : it->second;
}

void* RemoveProp(HWND hwnd, const char* name)
{
    Window* w = find(hwnd);
    if (!w || !name)
        return nullptr;
    auto it = w->props.find(name);
    if (it == w->props.end())
        return nullptr;
    void* value = it->second;
    w->props.erase(it);
    return value;
}

int MessageBox(HWND owner, const char* text, const char* caption, UINT type)
{
    std::string textUtf8 = CCodeLib::AnsiToUtf8(text ? text : "");
    std::string captionUtf8 = CCodeLib::AnsiToUtf8(caption ? caption : "");
    std::fprintf(stderr, "%s: %s\n", captionUtf8.c_str(), textUtf8.c_str());
    std::fflush(stderr);
    if (!g_backend)
        return IDOK;
    return g_backend->messageBox(find(owner), textUtf8, captionUtf8, type);
}

bool ShellOpen(const std::string& address)
{
    if (address.empty() || !g_backend)
        return false;
    std::string uri = address;
    if (uri.find("://") == std::string::npos)
        uri = "http://" + uri;
    return g_backend->shellOpen(uri);
}
