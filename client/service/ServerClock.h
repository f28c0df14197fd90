// CServerClock: a date and time that runs by itself. A tick thread of its own wakes once
// per period and adds the step (one second) unless paused. The main window keeps two: the
// session's server time (period 1000 ms) and the page-address clock (period 1 ms), whose
// text makes every page address unique.
//
// Threads: any thread may read, set, pause or stop; the value is guarded by the clock's
// own lock. Stop (or destruction) ends the tick thread and waits for it.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>

class CServerClock {
public:
    // Starts at the local time of construction and begins ticking. A period of zero
    // starts no thread: the clock then moves only by Tick (tests).
    explicit CServerClock(std::chrono::milliseconds period = std::chrono::milliseconds(1000),
                          std::chrono::seconds step = std::chrono::seconds(1));
    ~CServerClock();
    CServerClock(const CServerClock&) = delete;
    CServerClock& operator=(const CServerClock&) = delete;

    // Parses "year-month-day hours:minutes:seconds" ("1970-01-01 12:00:00"); a text that
    // is not a valid date and time leaves the value unchanged and answers false.
    bool SetFromText(const std::string& text);
    // "%Y-%m-%d %H:%M:%S"
    std::string Format() const;

    void SetPaused(bool paused);
    std::uint64_t Ticks() const;
    // Applies one tick now, as the tick thread does.
    void Tick();
    void Stop();

private:
    void run();

    mutable std::mutex m_lock;
    std::condition_variable m_wake;
    // Seconds of the calendar date and time counted as if it were UTC: the clock keeps the
    // wall-clock fields and never converts between zones.
    std::int64_t m_current = 0;
    std::chrono::seconds m_step;
    std::chrono::milliseconds m_period;
    bool m_paused = false;
    bool m_stopping = false;
    std::uint64_t m_ticks = 0;
    std::thread m_thread;
};
