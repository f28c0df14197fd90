// The headless back end: windows without a display, for tests. Its clock stands still
// until AdvanceClock moves it, so timer sequences run without waiting.
#include "platform/window/WindowCore.h"

#include <atomic>

namespace platform::detail {
namespace {

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

    SIZE screenSize() override { return SIZE{1280, 1024}; }
    RECT workArea() override { return RECT{0, 0, 1280, 984}; }

    int messageBox(Window*, const std::string&, const std::string&, UINT) override { return IDOK; }
    bool shellOpen(const std::string& uri) override
    {
        std::lock_guard lock(m_wakeMutex);
        m_opened.push_back(uri);
        return true;
    }
    std::vector<std::string> opened()
    {
        std::lock_guard lock(m_wakeMutex);
        return m_opened;
    }

private:
    std::atomic<std::uint64_t> m_clock{1000};
    std::atomic<std::uint64_t> m_wakes{0};
    std::mutex m_wakeMutex;
    std::condition_variable m_wake;
    std::vector<std::string> m_opened;
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

} // namespace platform
