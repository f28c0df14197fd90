// The window system's life: InitWindowSystem makes one state with its back end,
// ShutdownWindowSystem destroys every window and then the state, so nothing of a run
// outlives it. Registered message names and disposers of dropped messages stay for the
// process, as registered names do on the desktop.
#include "platform/window/WindowState.h"

#include <cctype>

namespace platform::detail {
namespace {

std::mutex g_mutex;
std::condition_variable g_sendDone;
std::unique_ptr<WindowSystemState> g_state; // replaced under g_mutex

// Process-wide, guarded by g_mutex.
std::unordered_map<std::string, UINT> g_registered;
UINT g_nextRegistered = 0xC000;
std::unordered_map<UINT, void (*)(WPARAM, LPARAM)> g_disposers;

} // namespace

std::mutex& CoreMutex() { return g_mutex; }
std::condition_variable& SendDone() { return g_sendDone; }
WindowSystemState* State() { return g_state.get(); }
Backend* CurrentBackendObject() { return g_state ? g_state->backend.get() : nullptr; }

bool IsUiThread()
{
    std::lock_guard lock(g_mutex);
    return g_state && g_state->uiThread == std::this_thread::get_id();
}

DroppedMessages TakePostedLocked(const std::function<bool(const MSG&)>& match)
{
    DroppedMessages dropped;
    std::erase_if(g_state->posted, [&](const MSG& m) {
        if (!match(m))
            return false;
        auto it = g_disposers.find(m.message);
        if (it != g_disposers.end())
            dropped.emplace_back(it->second, m);
        return true;
    });
    return dropped;
}

void DisposeDropped(const DroppedMessages& dropped)
{
    for (const auto& [dispose, m] : dropped)
        dispose(m.wParam, m.lParam);
}

void DisposeUndelivered(const MSG& msg)
{
    void (*dispose)(WPARAM, LPARAM) = nullptr;
    {
        std::lock_guard lock(g_mutex);
        auto it = g_disposers.find(msg.message);
        if (it != g_disposers.end())
            dispose = it->second;
    }
    if (dispose)
        dispose(msg.wParam, msg.lParam);
}

} // namespace platform::detail

using namespace platform::detail;

namespace platform {

bool InitWindowSystem(Backend backend)
{
    if (g_state)
        ShutdownWindowSystem();
    if (g_state)
        return false; // running on another user-interface thread, which alone may end it
    std::unique_ptr<detail::Backend> made = backend == Backend::Gtk ? MakeGtkBackend() : MakeHeadlessBackend();
    if (!made || !made->init())
        return false;
    auto state = std::make_unique<WindowSystemState>();
    state->backend = std::move(made);
    state->kind = backend;
    state->uiThread = std::this_thread::get_id();
    std::lock_guard lock(g_mutex);
    g_state = std::move(state);
    return true;
}

void ShutdownWindowSystem()
{
    WindowSystemState* s = g_state.get();
    if (!s || s->uiThread != std::this_thread::get_id())
        return;
    // Top-level windows first; each takes its children and owned windows along.
    for (;;) {
        HWND top = nullptr;
        {
            std::lock_guard lock(g_mutex);
            for (auto& [handle, w] : s->windows) {
                if (!w->destroying && (!w->child || !s->windows.count(w->parent))) {
                    top = handle;
                    break;
                }
            }
        }
        if (!top)
            break;
        DestroyWindow(top);
    }
    // The layers' records go while the run still answers their calls (IsWindow is false
    // for everything now). Moved out first: a record's destructor may look up another.
    auto storage = std::move(s->runStorage);
    storage.clear();
    DroppedMessages dropped;
    std::unique_ptr<WindowSystemState> gone;
    {
        std::lock_guard lock(g_mutex);
        dropped = TakePostedLocked([](const MSG&) { return true; });
        for (SendRequest* request : s->sends) {
            request->result = 0;
            request->done = true;
        }
        s->sends.clear();
        gone = std::move(g_state);
    }
    g_sendDone.notify_all();
    DisposeDropped(dropped);
    // The back end goes last: its shutdown may still run the desktop's callbacks, which
    // find no window system any more.
    gone->backend->shutdown();
}

Backend CurrentBackend() { return g_state ? g_state->kind : Backend::Headless; }

std::shared_ptr<void>* detail::RunStorageSlot(const void* key)
{
    return g_state ? &g_state->runStorage[key] : nullptr;
}

std::uint64_t ClockNow() { return g_state ? g_state->backend->now() : 0; }

} // namespace platform

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
