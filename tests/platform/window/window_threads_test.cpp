// The window system across threads: posts from many threads, sends from workers served
// in modal loops, sends to windows that die, the clock moved from another thread.
#include "WindowTestSupport.h"

#include <atomic>
#include <map>
#include <thread>

using testsupport::HeadlessWindowTest;

namespace {

class WindowThreadsTest : public HeadlessWindowTest {};

TEST_F(WindowThreadsTest, PostsFromManyThreadsAllArriveInEachThreadsOrder)
{
    constexpr int kThreads = 8;
    constexpr int kEach = 400;
    HWND w = makeWindow();
    std::map<int, std::vector<int>> byThread;
    m_answer = [&](HWND, UINT m, WPARAM from, LPARAM seq) -> LRESULT {
        if (m == WM_USER)
            byThread[static_cast<int>(from)].push_back(static_cast<int>(seq));
        return 0;
    };
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([w, t] {
            for (int i = 0; i < kEach; ++i)
                PostMessage(w, WM_USER, static_cast<WPARAM>(t), i);
        });
    }
    int got = 0;
    MSG msg;
    while (got < kThreads * kEach && GetMessage(&msg)) {
        if (msg.message == WM_USER)
            ++got;
        DispatchMessage(&msg);
    }
    for (std::thread& t : threads)
        t.join();
    ASSERT_EQ(static_cast<size_t>(kThreads), byThread.size());
    for (auto& [thread, seqs] : byThread) {
        ASSERT_EQ(static_cast<size_t>(kEach), seqs.size()) << "thread " << thread;
        for (int i = 0; i < kEach; ++i)
            ASSERT_EQ(i, seqs[i]) << "thread " << thread;
    }
}

TEST_F(WindowThreadsTest, WorkerSendIsAnsweredWhileModalWindowRuns)
{
    HWND main = makeWindow();
    HWND modal = makeWindow(main);
    std::atomic<LRESULT> answer{-1};
    m_answer = [&](HWND h, UINT m, WPARAM wp, LPARAM) -> LRESULT {
        if (h == main && m == WM_USER + 9) {
            EXPECT_TRUE(IsInModalLoop(modal)); // served from inside the modal loop
            EndModalLoop(modal, 1);
            return static_cast<LRESULT>(wp) + 1;
        }
        return 0;
    };
    std::thread worker([&] { answer = SendMessage(main, WM_USER + 9, 41, 0); });
    int result = RunModalLoop(modal);
    worker.join();
    EXPECT_EQ(1, result);
    EXPECT_EQ(42, answer.load());
}

TEST_F(WindowThreadsTest, SendToWindowThatDiesAnswersZeroWithoutRunningHandler)
{
    HWND doomed = makeWindow();
    HWND other = makeWindow();
    std::atomic<bool> handled{false};
    m_answer = [&](HWND h, UINT m, WPARAM, LPARAM) -> LRESULT {
        if (h == doomed && m == WM_USER)
            handled = true;
        return 5;
    };
    std::atomic<LRESULT> answer{-1};
    std::thread worker([&] {
        answer = SendMessage(doomed, WM_USER, 0, 0);
        PostMessage(other, WM_USER + 1, 0, 0);
    });
    DestroyWindow(doomed);
    MSG msg;
    while (GetMessage(&msg)) {
        DispatchMessage(&msg);
        if (msg.message == WM_USER + 1)
            break;
    }
    worker.join();
    EXPECT_EQ(0, answer.load());
    EXPECT_FALSE(handled.load());
}

TEST_F(WindowThreadsTest, ShutdownReleasesWaitingSenders)
{
    HWND w = makeWindow();
    std::atomic<LRESULT> answer{-1};
    std::thread worker([&] { answer = SendMessage(w, WM_USER, 0, 0); });
    // The user-interface thread never fetches again; shutting down must not strand the worker.
    platform::ShutdownWindowSystem();
    worker.join();
    EXPECT_EQ(0, answer.load());
    ASSERT_TRUE(platform::InitWindowSystem(platform::Backend::Headless));
}

TEST_F(WindowThreadsTest, RegisteringFromManyThreadsGivesOneValue)
{
    std::vector<UINT> values(8);
    std::vector<std::thread> threads;
    for (size_t i = 0; i < values.size(); ++i)
        threads.emplace_back([&values, i] { values[i] = RegisterWindowMessage("WM_THREADED_NAME"); });
    for (std::thread& t : threads)
        t.join();
    for (UINT v : values)
        EXPECT_EQ(values[0], v);
    EXPECT_GE(values[0], 0xC000u);
}

TEST_F(WindowThreadsTest, ClockMovedFromAnotherThreadWakesTheLoop)
{
    HWND w = makeWindow();
    SetTimer(w, 1001, 1000);
    std::thread driver([] { platform::AdvanceClock(1000); });
    MSG msg;
    ASSERT_TRUE(GetMessage(&msg)); // waits until the timer falls due
    driver.join();
    EXPECT_EQ(static_cast<UINT>(WM_TIMER), msg.message);
    EXPECT_EQ(1001u, msg.wParam);
    EXPECT_EQ(w, msg.hwnd);
}

} // namespace
