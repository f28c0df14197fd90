// Timers per (window, id). WM_TIMER is made when it is fetched, never queued, so a late
// timer fires once and KillTimer leaves nothing behind.
#include "platform/window/WindowState.h"

#include <algorithm>

namespace platform::detail {

std::optional<MSG> TakeDueTimer(std::uint64_t now, bool remove)
{
    WindowSystemState* s = State();
    auto best = s->timers.end();
    for (auto it = s->timers.begin(); it != s->timers.end(); ++it) {
        if (it->second.due > now)
            continue;
        if (best == s->timers.end() || it->second.due < best->second.due
            || (it->second.due == best->second.due && it->second.order < best->second.order))
            best = it;
    }
    if (best == s->timers.end())
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
        best->second.order = ++s->timerOrder;
    }
    return msg;
}

std::optional<std::uint64_t> NextTimerDue()
{
    WindowSystemState* s = State();
    std::optional<std::uint64_t> due;
    if (!s)
        return due;
    for (const auto& [key, timer] : s->timers) {
        if (!due || timer.due < *due)
            due = timer.due;
    }
    return due;
}

void PurgeTimersAndMessages(HWND hwnd)
{
    WindowSystemState* s = State();
    std::erase_if(s->timers, [hwnd](const auto& entry) { return entry.first.first == hwnd; });
    DroppedMessages dropped;
    {
        std::lock_guard lock(CoreMutex());
        dropped = TakePostedLocked([hwnd](const MSG& m) { return m.hwnd == hwnd; });
    }
    DisposeDropped(dropped);
}

} // namespace platform::detail

using namespace platform::detail;

UINT_PTR SetTimer(HWND hwnd, UINT_PTR id, UINT elapseMs)
{
    if (!FindWindow(hwnd))
        return 0;
    WindowSystemState* s = State();
    Timer& timer = s->timers[{hwnd, id}];
    timer.interval = std::max<std::uint64_t>(elapseMs, 1);
    timer.due = s->backend->now() + timer.interval;
    timer.order = ++s->timerOrder;
    s->backend->wake();
    return id == 0 ? 1 : id;
}

bool KillTimer(HWND hwnd, UINT_PTR id)
{
    WindowSystemState* s = State();
    // A WM_TIMER already fetched cannot be recalled, but none stays queued: timers are
    // generated on fetch.
    return s && s->timers.erase({hwnd, id}) > 0;
}
