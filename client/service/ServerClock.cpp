#include "client/service/ServerClock.h"

#include <cstdio>
#include <ctime>
#include <utility>

namespace {

using namespace std::chrono;

std::int64_t fromFields(int year, unsigned month, unsigned day, int hour, int minute, int second)
{
    sys_days date{year_month_day{std::chrono::year{year}, std::chrono::month{month}, std::chrono::day{day}}};
    return duration_cast<seconds>(date.time_since_epoch()).count() + hour * 3600 + minute * 60 + second;
}

std::int64_t localNow()
{
    std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    return fromFields(local.tm_year + 1900, static_cast<unsigned>(local.tm_mon + 1), static_cast<unsigned>(local.tm_mday),
                      local.tm_hour, local.tm_min, local.tm_sec);
}

} // namespace

CServerClock::CServerClock(std::chrono::milliseconds period, std::chrono::seconds step, TimeSource now)
    : m_current(localNow()), m_step(step), m_period(period), m_now(std::move(now)), m_created(this->now())
{
}

CServerClock::~CServerClock() { Stop(); }

bool CServerClock::SetFromText(const std::string& text)
{
    int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0, used = 0;
    if (std::sscanf(text.c_str(), " %d-%d-%d %d:%d:%d %n", &year, &month, &day, &hour, &minute, &second, &used) != 6
        || used != static_cast<int>(text.size()))
        return false;
    year_month_day date{std::chrono::year{year}, std::chrono::month{static_cast<unsigned>(month)},
                        std::chrono::day{static_cast<unsigned>(day)}};
    if (year < 100 || year > 9999 || month < 1 || day < 1 || !date.ok() || hour < 0 || hour > 23 || minute < 0
        || minute > 59 || second < 0 || second > 59)
        return false;
    std::int64_t value = fromFields(year, static_cast<unsigned>(month), static_cast<unsigned>(day), hour, minute, second);
    std::lock_guard lock(m_lock);
    catchUp();
    m_current = value;
    return true;
}

std::string CServerClock::Format() const
{
    std::int64_t value;
    {
        std::lock_guard lock(m_lock);
        catchUp();
        value = m_current;
    }
    sys_seconds at{seconds{value}};
    sys_days date = floor<days>(at);
    year_month_day ymd{date};
    hh_mm_ss<seconds> time{at - date};
    char text[32];
    std::snprintf(text, sizeof text, "%04d-%02u-%02u %02d:%02d:%02d", static_cast<int>(ymd.year()),
                  static_cast<unsigned>(ymd.month()), static_cast<unsigned>(ymd.day()),
                  static_cast<int>(time.hours().count()), static_cast<int>(time.minutes().count()),
                  static_cast<int>(time.seconds().count()));
    return text;
}

void CServerClock::SetPaused(bool paused)
{
    std::lock_guard lock(m_lock);
    catchUp();
    m_paused = paused;
}

std::uint64_t CServerClock::Ticks() const
{
    std::lock_guard lock(m_lock);
    catchUp();
    return m_ticks;
}

void CServerClock::Tick()
{
    std::lock_guard lock(m_lock);
    catchUp();
    if (m_paused)
        return;
    m_current += m_step.count();
    ++m_ticks;
}

void CServerClock::Stop()
{
    std::lock_guard lock(m_lock);
    catchUp();
    m_stopped = true;
}

void CServerClock::catchUp() const
{
    if (m_stopped || m_period.count() <= 0)
        return;
    const std::int64_t boundaries = (now() - m_created) / m_period;
    const std::int64_t passed = boundaries - m_boundaries;
    if (passed <= 0)
        return;
    m_boundaries = boundaries;
    if (m_paused)
        return;
    m_current += passed * m_step.count();
    m_ticks += static_cast<std::uint64_t>(passed);
}
