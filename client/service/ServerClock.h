// CServerClock: a date and time that runs by itself: it gains the step (one second) at
// every period boundary counted from its creation, unless paused. The main window keeps
// two: the session's server time (period 1000 ms) and the page-address clock (period
// 1 ms), whose text makes every page address unique.
//
// No thread ticks it: every call first adds the boundaries the steady clock has passed
// since the last call, so an idle client never wakes for its clocks, and what a reader
// sees equals what a thread ticking at those boundaries would have made.
//
// Threads: any thread may read, set, pause or stop; the value is guarded by the clock's
// own lock. After Stop the clock moves only by Tick.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>

class CServerClock {
public:
    // Starts at the local time of construction and begins running. With a period of
    // zero it moves only by Tick (tests).
    // now: the steady time source; tests pass their own to move time by hand.
    using TimeSource = std::function<std::chrono::steady_clock::time_point()>;
    explicit CServerClock(std::chrono::milliseconds period = std::chrono::milliseconds(1000),
                          std::chrono::seconds step = std::chrono::seconds(1), TimeSource now = {});
    ~CServerClock();
    CServerClock(const CServerClock&) = delete;
    CServerClock& operator=(const CServerClock&) = delete;

    // Parses "year-month-day hours:minutes:seconds" ("1970-01-01 12:00:00"); a text that
    // is not a valid date and time leaves the value unchanged and answers false.
    bool SetFromText(const std::string& text);
    // "%Y-%m-%d %H:%M:%S"
    std::string Format() const;

    // While paused, the boundaries that pass add nothing.
    void SetPaused(bool paused);
    // Steps applied so far, by boundaries and by Tick.
    std::uint64_t Ticks() const;
    // Applies one step now, as a boundary does.
    void Tick();
    // Ends the running by itself.
    void Stop();

private:
    using Clock = std::chrono::steady_clock;
    Clock::time_point now() const { return m_now ? m_now() : Clock::now(); }

    // Applies the boundaries passed since the last call; m_lock held.
    void catchUp() const;

    mutable std::mutex m_lock;
    // Seconds of the calendar date and time counted as if it were UTC: the clock keeps the
    // wall-clock fields and never converts between zones.
    mutable std::int64_t m_current = 0;
    std::chrono::seconds m_step;
    std::chrono::milliseconds m_period;
    TimeSource m_now;
    Clock::time_point m_created;
    // Boundaries since creation already accounted for (applied, or passed while paused).
    mutable std::int64_t m_boundaries = 0;
    bool m_paused = false;
    bool m_stopped = false;
    mutable std::uint64_t m_ticks = 0;
};
