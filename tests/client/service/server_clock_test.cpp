// CServerClock: text in and out, ticks across calendar edges, pause, running by the steady
// clock from creation without a thread of its own.
#include "client/service/ServerClock.h"

#include <gtest/gtest.h>

#include <ctime>
#include <dirent.h>
#include <thread>

namespace {

using std::chrono::milliseconds;

struct TextCase {
    const char* text;
    bool accepted;
};

TEST(ServerClockTest, SetFromTextAcceptsOnlyValidDateTimes)
{
    const TextCase cases[] = {
        {"1970-01-01 12:00:00", true},  {"2012-02-29 23:59:59", true}, {"2013-2-3 4:05:06", true},
        {"2013-02-29 10:00:00", false}, {"2013-13-01 10:00:00", false}, {"2013-01-01 24:00:00", false},
        {"2013-01-01", false},          {"", false},                    {"garbage", false},
        {"2013-01-01 10:00:00x", false}, {"2013-01-01 10:60:00", false},
    };
    for (const TextCase& c : cases) {
        SCOPED_TRACE(c.text);
        CServerClock clock(milliseconds(0));
        ASSERT_TRUE(clock.SetFromText("2000-06-15 08:30:00"));
        EXPECT_EQ(c.accepted, clock.SetFromText(c.text));
        if (!c.accepted) {
            EXPECT_EQ("2000-06-15 08:30:00", clock.Format());
        }
    }
    CServerClock clock(milliseconds(0));
    clock.SetFromText("2013-2-3 4:05:06");
    EXPECT_EQ("2013-02-03 04:05:06", clock.Format());
}

TEST(ServerClockTest, TickAddsOneSecondAcrossCalendarEdges)
{
    const std::pair<const char*, const char*> cases[] = {
        {"2012-12-31 23:59:59", "2013-01-01 00:00:00"},
        {"2012-02-28 23:59:59", "2012-02-29 00:00:00"},
        {"2013-02-28 23:59:59", "2013-03-01 00:00:00"},
        {"1970-01-01 12:00:00", "1970-01-01 12:00:01"},
    };
    for (const auto& [from, to] : cases) {
        CServerClock clock(milliseconds(0));
        ASSERT_TRUE(clock.SetFromText(from));
        clock.Tick();
        EXPECT_EQ(to, clock.Format());
        EXPECT_EQ(1u, clock.Ticks());
    }
}

TEST(ServerClockTest, PausedClockStandsStill)
{
    CServerClock clock(milliseconds(0));
    clock.SetFromText("2013-01-01 00:00:00");
    clock.SetPaused(true);
    clock.Tick();
    EXPECT_EQ("2013-01-01 00:00:00", clock.Format());
    EXPECT_EQ(0u, clock.Ticks());
    clock.SetPaused(false);
    clock.Tick();
    EXPECT_EQ("2013-01-01 00:00:01", clock.Format());
}

TEST(ServerClockTest, StartsAtLocalTimeOfConstruction)
{
    auto localText = [] {
        std::time_t now = std::time(nullptr);
        std::tm local{};
        localtime_r(&now, &local);
        char text[32];
        std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &local);
        return std::string(text);
    };
    std::string before = localText();
    CServerClock clock(milliseconds(0));
    std::string value = clock.Format();
    std::string after = localText();
    EXPECT_GE(value, before);
    EXPECT_LE(value, after);
}

// Time moved by hand, so boundaries are crossed exactly where a case says.
struct HandTime {
    std::chrono::steady_clock::time_point at{std::chrono::hours(1)};
    CServerClock::TimeSource source()
    {
        return [this] { return at; };
    }
};

TEST(ServerClockTest, RunsAStepPerPeriodCountedFromCreationNotFromSetting)
{
    HandTime time;
    CServerClock clock(milliseconds(1000), std::chrono::seconds(1), time.source());
    time.at += milliseconds(900);
    ASSERT_TRUE(clock.SetFromText("2013-01-01 23:59:59"));
    time.at += milliseconds(99);
    EXPECT_EQ("2013-01-01 23:59:59", clock.Format());
    time.at += milliseconds(1); // the first boundary after creation
    EXPECT_EQ("2013-01-02 00:00:00", clock.Format());
    time.at += milliseconds(2500); // boundaries not read in between still count
    EXPECT_EQ("2013-01-02 00:00:02", clock.Format());
    EXPECT_EQ(3u, clock.Ticks());
}

TEST(ServerClockTest, BoundariesPassedWhilePausedOrStoppedAddNothing)
{
    HandTime time;
    CServerClock clock(milliseconds(1), std::chrono::seconds(1), time.source());
    ASSERT_TRUE(clock.SetFromText("2013-05-06 07:08:09"));
    clock.SetPaused(true);
    time.at += milliseconds(50);
    EXPECT_EQ("2013-05-06 07:08:09", clock.Format());
    clock.SetPaused(false);
    EXPECT_EQ("2013-05-06 07:08:09", clock.Format());
    time.at += milliseconds(3);
    EXPECT_EQ("2013-05-06 07:08:12", clock.Format());
    clock.Stop();
    time.at += milliseconds(10);
    EXPECT_EQ("2013-05-06 07:08:12", clock.Format());
    clock.Tick();
    EXPECT_EQ("2013-05-06 07:08:13", clock.Format());
}

std::size_t threadCount()
{
    std::size_t count = 0;
    if (DIR* tasks = opendir("/proc/self/task")) {
        while (dirent* entry = readdir(tasks))
            count += entry->d_name[0] != '.';
        closedir(tasks);
    }
    return count;
}

TEST(ServerClockTest, RunningClocksKeepNoThreadAwake)
{
    const std::size_t before = threadCount();
    CServerClock server;
    CServerClock page(milliseconds(1));
    EXPECT_EQ(before, threadCount());
}

TEST(ServerClockTest, RunsAheadByItselfWhileOthersReadAndSet)
{
    CServerClock clock(milliseconds(1));
    ASSERT_TRUE(clock.SetFromText("2013-01-01 00:00:00"));
    std::thread reader([&] {
        for (int i = 0; i < 200; ++i) {
            std::string text = clock.Format();
            ASSERT_EQ(19u, text.size());
        }
    });
    // Waits for ticks, not for a fixed time: at most a few seconds on a slow machine.
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (clock.Ticks() < 3 && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(milliseconds(1));
    reader.join();
    ASSERT_GE(clock.Ticks(), 3u);
    clock.Stop();
    std::uint64_t ticks = clock.Ticks();
    std::string stopped = clock.Format();
    EXPECT_GE(stopped, "2013-01-01 00:00:03");
    clock.Tick(); // a stopped clock can still be moved by hand
    EXPECT_EQ(ticks + 1, clock.Ticks());
}

} // namespace
