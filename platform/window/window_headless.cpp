// The headless back end: windows without a display, for tests. Its clock stands still
// until AdvanceClock moves it, so timer sequences run without waiting. What the desktop
// would show (tray icons, menus, opened addresses, browser views) is recorded here, for
// the run of the window system only.
#include "platform/window/HeadlessControls.h"
#include "platform/window/NotificationArea.h"
#include "platform/window/WebView.h"
#include "platform/window/WindowCore.h"

#include <atomic>
#include <condition_variable>
#include <unordered_map>
#include <utility>

namespace platform::detail {
namespace {

struct TrayRecord {
    HWND target = nullptr;
    UINT message = 0;
};

struct ViewRecord {
    std::string location;
    std::vector<std::string> navigations;
};

class HeadlessBackend final : public Backend {
public:
    bool init() override { return true; }
    void shutdown() override {}
    std::uint64_t now() override { return m_clock.load(); }

    void wait(std::unique_lock<std::mutex>& lock, std::optional<std::uint64_t>,
              const std::function<bool()>& ready) override
    {
        std::uint64_t seen = m_wakes.load();
        m_wake.wait(lock, [&] { return ready() || m_wakes.load() != seen; });
    }

    void wake() override
    {
        {
            // Under the queue's lock, so the wake cannot fall between a waiter's check of
            // its condition and its sleep.
            std::lock_guard lock(CoreMutex());
            m_wakes.fetch_add(1);
        }
        m_wake.notify_all();
    }

    void advance(std::uint64_t ms)
    {
        m_clock.fetch_add(ms);
        wake();
    }
    void setClock(std::uint64_t t) { m_clock.store(t); }

    void destroyed(Window& w) override
    {
        std::erase_if(m_trays, [&w](const auto& entry) { return entry.second.target == w.handle; });
        m_views.erase(w.handle);
        m_ime.erase(w.handle);
    }

    void imeCursor(Window& w, const RECT& caret) override { m_ime[w.handle].caret = caret; }
    void imeMode(Window& w, ImeMode mode) override { m_ime[w.handle].mode = mode; }
    HeadlessImeState ime(HWND hwnd)
    {
        auto it = m_ime.find(hwnd);
        return it == m_ime.end() ? HeadlessImeState{} : it->second;
    }

    // Like a desktop, the clipboard answers at once when it holds our own text.
    void setClipboardText(Clipboard which, const std::string& utf8) override { m_clipboard[slot(which)] = utf8; }
    void requestClipboardText(Clipboard which, std::function<void(std::optional<std::string>)> done) override
    {
        done(m_clipboard[slot(which)]);
    }
    std::optional<std::string>& clipboard(Clipboard which) { return m_clipboard[slot(which)]; }

    SIZE screenSize() override { return SIZE{1280, 1024}; }
    RECT workArea() override { return RECT{0, 0, 1280, 984}; }

    int messageBox(Window*, const std::string&, const std::string&, UINT) override { return IDOK; }
    bool shellOpen(const std::string& uri) override
    {
        std::lock_guard lock(m_openedMutex);
        m_opened.push_back(uri);
        return true;
    }
    std::vector<std::string> opened()
    {
        std::lock_guard lock(m_openedMutex);
        return m_opened;
    }

    bool addTrayIcon(Window& target, UINT id, UINT message, const std::string&, const std::string&) override
    {
        m_trays[id] = TrayRecord{target.handle, message};
        return true;
    }
    bool removeTrayIcon(UINT id) override { return m_trays.erase(id) != 0; }
    bool isTrayIconShown(UINT id) override { return m_trays.count(id) != 0; }
    bool hasNotificationArea() override { return m_notificationArea; }
    void setNotificationArea(bool present) { m_notificationArea = present; }
    void trayGesture(UINT id, UINT mouseMessage)
    {
        auto it = m_trays.find(id);
        if (it != m_trays.end())
            PostMessage(it->second.target, it->second.message, id, static_cast<LPARAM>(mouseMessage));
    }

    UINT trackPopupMenu(const std::vector<MenuItem>& items, int, int) override
    {
        m_lastMenu = items;
        return std::exchange(m_menuChoice, 0);
    }
    void setMenuChoice(UINT id) { m_menuChoice = id; }
    const std::vector<MenuItem>& lastMenu() const { return m_lastMenu; }

    bool attachWebView(Window& w) override
    {
        m_views.emplace(w.handle, ViewRecord{});
        return true;
    }
    bool isWebView(Window& w) override { return m_views.count(w.handle) != 0; }
    void webViewNavigate(Window& w, const std::string& address) override
    {
        m_views[w.handle].navigations.push_back(address);
        moveTo(w.handle, address);
    }
    std::string webViewLocation(Window& w) override { return m_views[w.handle].location; }
    ViewRecord* view(HWND hwnd)
    {
        auto it = m_views.find(hwnd);
        return it == m_views.end() ? nullptr : &it->second;
    }
    // The view shows the address at once: the parent hears of the change and the end of
    // the load together.
    void moveTo(HWND hwnd, const std::string& address)
    {
        m_views[hwnd].location = address;
        NotifyWebViewParent(hwnd, WebViewAddressChanged);
        NotifyWebViewParent(hwnd, WebViewLoadFinished);
    }

private:
    static size_t slot(Clipboard which) { return which == Clipboard::Primary ? 1 : 0; }

    std::atomic<std::uint64_t> m_clock{1000};
    std::atomic<std::uint64_t> m_wakes{0};
    std::condition_variable m_wake;
    std::mutex m_openedMutex;
    std::vector<std::string> m_opened;
    // User-interface thread only.
    std::map<UINT, TrayRecord> m_trays;
    bool m_notificationArea = true;
    UINT m_menuChoice = 0;
    std::vector<MenuItem> m_lastMenu;
    std::unordered_map<HWND, ViewRecord> m_views;
    std::unordered_map<HWND, HeadlessImeState> m_ime;
    std::optional<std::string> m_clipboard[2];
};

HeadlessBackend* headless()
{
    if (CurrentBackend() != platform::Backend::Headless)
        return nullptr;
    return static_cast<HeadlessBackend*>(CurrentBackendObject());
}

} // namespace

std::unique_ptr<Backend> MakeHeadlessBackend() { return std::make_unique<HeadlessBackend>(); }

} // namespace platform::detail

namespace platform {

void AdvanceClock(std::uint64_t milliseconds)
{
    detail::HeadlessBackend* backend = detail::headless();
    if (!backend)
        return;
    if (!detail::IsUiThread()) {
        // Another thread only moves the clock; the user-interface thread's loop fires
        // what fell due.
        backend->advance(milliseconds);
        return;
    }
    std::uint64_t target = backend->now() + milliseconds;
    for (;;) {
        detail::DrainQueue();
        auto due = detail::NextTimerDue();
        if (!due || *due > target)
            break;
        if (*due > backend->now())
            backend->setClock(*due);
    }
    backend->setClock(target);
    detail::DrainQueue();
}

std::vector<std::string> HeadlessOpenedAddresses()
{
    detail::HeadlessBackend* backend = detail::headless();
    return backend ? backend->opened() : std::vector<std::string>{};
}

void HeadlessTrayGesture(UINT id, UINT mouseMessage)
{
    if (detail::HeadlessBackend* backend = detail::headless())
        backend->trayGesture(id, mouseMessage);
}

void HeadlessSetNotificationArea(bool present)
{
    if (detail::HeadlessBackend* backend = detail::headless())
        backend->setNotificationArea(present);
}

void HeadlessSetMenuChoice(UINT id)
{
    if (detail::HeadlessBackend* backend = detail::headless())
        backend->setMenuChoice(id);
}

std::vector<MenuItem> HeadlessLastMenu()
{
    detail::HeadlessBackend* backend = detail::headless();
    return backend ? backend->lastMenu() : std::vector<MenuItem>{};
}

std::optional<std::string> HeadlessClipboardText(Clipboard which)
{
    detail::HeadlessBackend* backend = detail::headless();
    return backend ? backend->clipboard(which) : std::nullopt;
}

void HeadlessSetClipboardText(Clipboard which, std::optional<std::string> utf8)
{
    if (detail::HeadlessBackend* backend = detail::headless())
        backend->clipboard(which) = std::move(utf8);
}

void HeadlessImeCompose(HWND hwnd, const std::string& utf8, size_t cursor)
{
    if (detail::headless() && IsWindow(hwnd))
        detail::NativeComposition(hwnd, utf8, cursor);
}

void HeadlessImeCommit(HWND hwnd, const std::string& utf8)
{
    if (!detail::headless() || !IsWindow(hwnd))
        return;
    detail::NativeComposition(hwnd, "", 0);
    for (WPARAM code : ImeCharsFromUtf8(utf8))
        detail::DeliverInput(hwnd, WM_IME_CHAR, code, 1);
}

HeadlessImeState HeadlessIme(HWND hwnd)
{
    detail::HeadlessBackend* backend = detail::headless();
    return backend ? backend->ime(hwnd) : HeadlessImeState{};
}

std::vector<std::string> WebViewNavigations(HWND hwnd)
{
    detail::HeadlessBackend* backend = detail::headless();
    detail::ViewRecord* view = backend && IsWindow(hwnd) ? backend->view(hwnd) : nullptr;
    return view ? view->navigations : std::vector<std::string>{};
}

void HeadlessWebViewMoveTo(HWND hwnd, const std::string& address)
{
    detail::HeadlessBackend* backend = detail::headless();
    if (backend && IsWindow(hwnd) && backend->view(hwnd))
        backend->moveTo(hwnd, address);
}

void HeadlessWebViewOpenWindow(HWND hwnd, const std::string& address, bool userGesture, int width, int height)
{
    detail::HeadlessBackend* backend = detail::headless();
    if (backend && IsWindow(hwnd) && backend->view(hwnd) && userGesture)
        detail::QueueNewWindowRequest(hwnd, WebViewNewWindow{address, width, height});
}

} // namespace platform
