// The window system's shared core on the headless back end: windows, the queue, timers on
// the controllable clock, modal and nested loops.
#include "WindowTestSupport.h"

#include "platform/window/DesktopShell.h"
#include "platform/window/WebView.h"

#include <cairo.h>

#include <stdexcept>
#include <thread>

using testsupport::HeadlessWindowTest;
using testsupport::Received;

namespace {

class WindowSystemTest : public HeadlessWindowTest {
protected:
    std::vector<WPARAM> timerIds() const
    {
        std::vector<WPARAM> ids;
        for (const Received& r : received(WM_TIMER))
            ids.push_back(r.wParam);
        return ids;
    }
};

TEST_F(WindowSystemTest, RegisteredMessagesSameNameSameValueInReservedRange)
{
    UINT a = RegisterWindowMessage("HTTP_RETURN_SUCC");
    UINT b = RegisterWindowMessage("HTTP_RETURN_FAIL");
    EXPECT_GE(a, 0xC000u);
    EXPECT_LE(a, 0xFFFFu);
    EXPECT_GE(b, 0xC000u);
    EXPECT_NE(a, b);
    EXPECT_EQ(a, RegisterWindowMessage("HTTP_RETURN_SUCC"));
    // Names compare without case, as the classic registry does.
    EXPECT_EQ(a, RegisterWindowMessage("http_return_succ"));
    EXPECT_EQ(0u, RegisterWindowMessage(""));
    EXPECT_EQ(0u, RegisterWindowMessage(nullptr));
    // A value outlives a restart of the window system within the process.
    platform::ShutdownWindowSystem();
    ASSERT_TRUE(platform::InitWindowSystem(platform::Backend::Headless));
    EXPECT_EQ(b, RegisterWindowMessage("HTTP_RETURN_FAIL"));
}

// A record kept in the run's storage: whether its window still existed when it went.
struct RunRecord {
    static inline std::vector<bool> s_windowAliveAtEnd;
    HWND window = nullptr;
    ~RunRecord() { s_windowAliveAtEnd.push_back(window && IsWindow(window)); }
};

TEST_F(WindowSystemTest, RunStorageIsOnePerRunAndGoesAfterTheWindowsAtShutdown)
{
    RunRecord::s_windowAliveAtEnd.clear();
    RunRecord* first = platform::RunStorage<RunRecord>();
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(platform::RunStorage<RunRecord>(), first);
    first->window = makeWindow();
    platform::ShutdownWindowSystem();
    EXPECT_EQ(RunRecord::s_windowAliveAtEnd, std::vector<bool>{false});
    EXPECT_EQ(platform::RunStorage<RunRecord>(), nullptr);

    ASSERT_TRUE(platform::InitWindowSystem(platform::Backend::Headless));
    RunRecord* second = platform::RunStorage<RunRecord>();
    ASSERT_NE(second, nullptr);
    EXPECT_EQ(second->window, nullptr); // made anew, nothing of the first run
}

TEST_F(WindowSystemTest, CreateFailureDestroysWindowAndReturnsNull)
{
    HWND seen = nullptr;
    bool ncDestroyed = false;
    HWND made = CreateWindowEx(0, "", WS_POPUP, 0, 0, 10, 10, nullptr, 0, [&](HWND h, UINT m, WPARAM, LPARAM) -> LRESULT {
        if (m == WM_CREATE) {
            seen = h;
            return -1;
        }
        if (m == WM_NCDESTROY)
            ncDestroyed = true;
        return 0;
    });
    EXPECT_EQ(nullptr, made);
    ASSERT_NE(nullptr, seen);
    EXPECT_FALSE(IsWindow(seen));
    EXPECT_TRUE(ncDestroyed);
}

TEST_F(WindowSystemTest, CreateHandsCreateStructAndParams)
{
    int param = 7;
    CREATESTRUCT copy;
    HWND parent = makeWindow();
    HWND child = CreateWindowEx(0, "t", WS_CHILD, 5, 6, 30, 40, parent, 1000,
                                [&](HWND, UINT m, WPARAM, LPARAM l) -> LRESULT {
                                    if (m == WM_CREATE)
                                        copy = *reinterpret_cast<CREATESTRUCT*>(l);
                                    return 0;
                                },
                                &param);
    ASSERT_NE(nullptr, child);
    EXPECT_EQ(&param, copy.lpCreateParams);
    EXPECT_EQ(parent, copy.hwndParent);
    EXPECT_EQ(1000, copy.id);
    EXPECT_EQ(30, copy.cx);
    EXPECT_EQ(1000, GetDlgCtrlID(child));
    EXPECT_EQ(parent, GetParent(child));
    RECT r;
    ASSERT_TRUE(GetWindowRect(child, &r));
    EXPECT_EQ(5, r.left); // the parent sits at the origin of the screen
    EXPECT_EQ(46, r.bottom);
}

TEST_F(WindowSystemTest, DestroyOrderAndChildrenGoAlong)
{
    std::vector<std::pair<char, UINT>> order;
    auto recorder = [&](char name) {
        return [&, name](HWND, UINT m, WPARAM, LPARAM) -> LRESULT {
            if (m == WM_DESTROY || m == WM_NCDESTROY)
                order.push_back({name, m});
            return 0;
        };
    };
    HWND parent = CreateWindowEx(0, "", WS_POPUP, 0, 0, 10, 10, nullptr, 0, recorder('p'));
    HWND child = CreateWindowEx(0, "", WS_CHILD, 0, 0, 5, 5, parent, 1, recorder('c'));
    HWND owned = CreateWindowEx(0, "", WS_POPUP, 0, 0, 5, 5, parent, 0, recorder('o'));
    ASSERT_TRUE(SetTimer(child, 3, 10));
    ASSERT_TRUE(DestroyWindow(parent));
    std::vector<std::pair<char, UINT>> expected = {
        {'p', WM_DESTROY}, {'c', WM_DESTROY}, {'c', WM_NCDESTROY}, {'o', WM_DESTROY}, {'o', WM_NCDESTROY}, {'p', WM_NCDESTROY}};
    EXPECT_EQ(expected, order);
    EXPECT_FALSE(IsWindow(child));
    EXPECT_FALSE(IsWindow(owned));
    EXPECT_FALSE(DestroyWindow(parent));
    platform::AdvanceClock(100); // the child's timer went with it: nothing to fire, no crash
}

TEST_F(WindowSystemTest, MessagesToDestroyedWindowsAreDropped)
{
    HWND a = makeWindow();
    HWND b = makeWindow();
    ASSERT_TRUE(PostMessage(a, WM_USER + 1, 1, 0));
    ASSERT_TRUE(PostMessage(b, WM_USER + 1, 2, 0));
    DestroyWindow(a);
    EXPECT_FALSE(PostMessage(a, WM_USER + 1, 3, 0));
    EXPECT_EQ(0, SendMessage(a, WM_USER + 1, 4, 0));
    m_log.clear();
    pumpAll();
    std::vector<Received> expected = {{b, WM_USER + 1, 2, 0}};
    EXPECT_EQ(expected, received(WM_USER + 1));
    // A message fetched before the window died is not dispatched to it either.
    ASSERT_TRUE(PostMessage(b, WM_USER + 2, 0, 0));
    MSG msg;
    ASSERT_TRUE(PeekMessage(&msg, true));
    DestroyWindow(b);
    EXPECT_EQ(0, DispatchMessage(&msg));
    EXPECT_TRUE(received(WM_USER + 2).empty());
}

std::vector<WPARAM> g_disposed;

// What a posted message owns is handed back when the message can no longer be delivered:
// queued for a window that is destroyed, fetched but its window gone before dispatch, or
// still queued when the window system shuts down. Delivered messages are not disposed.
TEST_F(WindowSystemTest, DroppedMessagesThatOwnSomethingAreDisposed)
{
    const UINT owning = RegisterWindowMessage("KAVREL_TEST_OWNING");
    g_disposed.clear();
    SetDroppedMessageDisposer(owning, [](WPARAM w, LPARAM) { g_disposed.push_back(w); });
    HWND a = makeWindow();
    HWND b = makeWindow();
    ASSERT_TRUE(PostMessage(a, owning, 1, 0));
    ASSERT_TRUE(PostMessage(b, owning, 2, 0));
    ASSERT_TRUE(PostMessage(a, WM_USER + 1, 9, 0)); // owns nothing: dropped silently
    DestroyWindow(a);
    EXPECT_EQ(std::vector<WPARAM>{1}, g_disposed);
    pumpAll(); // b reads its message itself
    EXPECT_EQ(std::vector<WPARAM>{1}, g_disposed);

    ASSERT_TRUE(PostMessage(b, owning, 3, 0));
    MSG msg;
    ASSERT_TRUE(PeekMessage(&msg, true));
    DestroyWindow(b);
    EXPECT_EQ(0, DispatchMessage(&msg));
    EXPECT_EQ((std::vector<WPARAM>{1, 3}), g_disposed);

    HWND c = makeWindow();
    ASSERT_TRUE(PostMessage(c, owning, 4, 0));
    platform::ShutdownWindowSystem();
    EXPECT_EQ((std::vector<WPARAM>{1, 3, 4}), g_disposed);
    SetDroppedMessageDisposer(owning, nullptr);
    ASSERT_TRUE(platform::InitWindowSystem(platform::Backend::Headless)); // for TearDown
}

TEST_F(WindowSystemTest, CallerCanInspectReaddressAndDropFetchedMessages)
{
    HWND main = makeWindow();
    HWND dropDown = makeWindow();
    PostMessage(main, WM_KEYDOWN, VK_DOWN, 0);
    PostMessage(main, WM_USER + 5, 0, 0);
    PostMessage(main, WM_LBUTTONDOWN, 0, MAKELPARAM(10, 20));
    MSG msg;
    ASSERT_TRUE(GetMessage(&msg));
    EXPECT_EQ(static_cast<UINT>(WM_KEYDOWN), msg.message);
    msg.hwnd = dropDown;
    DispatchMessage(&msg);
    ASSERT_TRUE(GetMessage(&msg)); // dropped: never dispatched
    EXPECT_EQ(static_cast<UINT>(WM_USER + 5), msg.message);
    ASSERT_TRUE(GetMessage(&msg));
    DispatchMessage(&msg);
    std::vector<Received> keys = {{dropDown, WM_KEYDOWN, VK_DOWN, 0}};
    EXPECT_EQ(keys, received(WM_KEYDOWN));
    EXPECT_TRUE(received(WM_USER + 5).empty());
    EXPECT_EQ(main, received(WM_LBUTTONDOWN).at(0).hwnd);
    EXPECT_FALSE(PeekMessage(&msg, false));
}

TEST_F(WindowSystemTest, TranslateTypesControlCharactersBeforeLaterMessages)
{
    HWND w = makeWindow();
    m_log.clear();
    PostMessage(w, WM_KEYDOWN, VK_RETURN, 0);
    PostMessage(w, WM_USER, 0, 0);
    MSG msg;
    ASSERT_TRUE(GetMessage(&msg));
    TranslateMessage(&msg);
    DispatchMessage(&msg);
    pumpAll();
    ASSERT_GE(m_log.size(), 3u);
    EXPECT_EQ(static_cast<UINT>(WM_KEYDOWN), m_log[0].msg);
    EXPECT_EQ(static_cast<UINT>(WM_CHAR), m_log[1].msg);
    EXPECT_EQ(static_cast<WPARAM>(VK_RETURN), m_log[1].wParam);
    EXPECT_EQ(static_cast<UINT>(WM_USER), m_log[2].msg);
}

// Shift+Tab read while the Tab is handled: the state is the one of the message in hand, so a
// Shift released later in the queue does not change how the Tab before it reads.
TEST_F(WindowSystemTest, KeyStateFollowsTheKeyMessagesAsTheyAreDispatched)
{
    HWND w = makeWindow();
    std::vector<bool> shiftAtTab;
    m_answer = [&](HWND h, UINT m, WPARAM wp, LPARAM lp) -> LRESULT {
        if (m == WM_KEYDOWN && wp == VK_TAB)
            shiftAtTab.push_back(GetKeyState(VK_SHIFT) < 0);
        return DefWindowProc(h, m, wp, lp);
    };
    PostMessage(w, WM_KEYDOWN, VK_TAB, 0);
    PostMessage(w, WM_KEYDOWN, VK_SHIFT, 0);
    PostMessage(w, WM_KEYDOWN, VK_TAB, 0);
    PostMessage(w, WM_KEYUP, VK_SHIFT, 0);
    PostMessage(w, WM_KEYDOWN, VK_TAB, 0);
    EXPECT_EQ(GetKeyState(VK_SHIFT), 0) << "posted is not yet dispatched";
    pumpAll();
    EXPECT_EQ(shiftAtTab, (std::vector<bool>{false, true, false}));
    EXPECT_EQ(GetKeyState(-1), 0);
    EXPECT_EQ(GetKeyState(100000), 0);
}

TEST_F(WindowSystemTest, TimerResetRestartsAndIdsArePerWindow)
{
    HWND a = makeWindow();
    HWND b = makeWindow();
    SetTimer(a, 1, 100);
    SetTimer(b, 1, 150);
    platform::AdvanceClock(90);
    SetTimer(a, 1, 100); // restarts: next due 100 ms from now, not 10
    platform::AdvanceClock(50);
    EXPECT_TRUE(received(WM_TIMER).empty());
    platform::AdvanceClock(10); // b's timer at 150
    std::vector<Received> first = {{b, WM_TIMER, 1, 0}};
    EXPECT_EQ(first, received(WM_TIMER));
    platform::AdvanceClock(40); // a's restarted timer at 190
    ASSERT_EQ(2u, received(WM_TIMER).size());
    EXPECT_EQ(a, received(WM_TIMER)[1].hwnd);
    EXPECT_TRUE(KillTimer(a, 1));
    EXPECT_FALSE(KillTimer(a, 1));
    m_log.clear();
    platform::AdvanceClock(1000);
    for (const Received& r : received(WM_TIMER))
        EXPECT_EQ(b, r.hwnd);
    EXPECT_FALSE(received(WM_TIMER).empty());
}

TEST_F(WindowSystemTest, AdvanceFiresInTimeOrderAndTimersSetByHandlersWithinTheSpan)
{
    HWND w = makeWindow();
    // A sequence as the notice window runs it: one timer ends and starts the next.
    m_answer = [](HWND h, UINT m, WPARAM id, LPARAM) -> LRESULT {
        if (m == WM_TIMER && id == 1002) {
            KillTimer(h, 1002);
            SetTimer(h, 1003, 50);
        } else if (m == WM_TIMER && id == 1003) {
            KillTimer(h, 1003);
        }
        return 0;
    };
    SetTimer(w, 1004, 300);
    SetTimer(w, 1002, 100);
    std::uint64_t start = platform::ClockNow();
    platform::AdvanceClock(320);
    std::vector<WPARAM> expected = {1002, 1003, 1004};
    EXPECT_EQ(expected, timerIds());
    EXPECT_EQ(start + 320, platform::ClockNow());
    m_log.clear();
    platform::AdvanceClock(300); // 1004 repeats at 600; the others were killed
    expected = {1004};
    EXPECT_EQ(expected, timerIds());
}

TEST_F(WindowSystemTest, LateTimerFiresOnceNotOncePerMissedPeriod)
{
    HWND w = makeWindow();
    SetTimer(w, 7, 100);
    std::thread([] { platform::AdvanceClock(1000); }).join(); // the loop was busy meanwhile
    pumpAll();
    EXPECT_EQ(1u, received(WM_TIMER).size());
    platform::AdvanceClock(99);
    EXPECT_EQ(1u, received(WM_TIMER).size());
    platform::AdvanceClock(1);
    EXPECT_EQ(2u, received(WM_TIMER).size());
}

TEST_F(WindowSystemTest, ModalLoopEndsWithCodeAndEndOutsideChangesNothing)
{
    HWND w = makeWindow();
    EXPECT_FALSE(IsInModalLoop(w));
    EXPECT_FALSE(EndModalLoop(w, 5));
    m_answer = [](HWND h, UINT m, WPARAM, LPARAM) -> LRESULT {
        if (m == WM_TIMER) {
            EXPECT_TRUE(IsInModalLoop(h));
            EndModalLoop(h, 7);
        }
        return 0;
    };
    SetTimer(w, 1, 10);
    PostMessage(w, WM_USER, 0, 0);
    m_answer = [inner = m_answer](HWND h, UINT m, WPARAM wp, LPARAM lp) -> LRESULT {
        if (m == WM_USER)
            platform::AdvanceClock(10); // time passes inside the modal loop
        return inner(h, m, wp, lp);
    };
    EXPECT_EQ(7, RunModalLoop(w));
    EXPECT_FALSE(IsInModalLoop(w));
    EXPECT_TRUE(IsWindow(w));
}

TEST_F(WindowSystemTest, NestedModalLoopsEndInnermostFirst)
{
    HWND outer = makeWindow();
    HWND inner = makeWindow();
    int innerResult = -1;
    m_answer = [&](HWND h, UINT m, WPARAM, LPARAM) -> LRESULT {
        if (h == outer && m == WM_USER) {
            PostMessage(inner, WM_USER + 1, 0, 0);
            innerResult = RunModalLoop(inner);
            EndModalLoop(outer, 1);
        }
        if (h == inner && m == WM_USER + 1) {
            EXPECT_TRUE(IsInModalLoop(outer));
            EndModalLoop(inner, 2);
        }
        return 0;
    };
    PostMessage(outer, WM_USER, 0, 0);
    EXPECT_EQ(1, RunModalLoop(outer));
    EXPECT_EQ(2, innerResult);
}

TEST_F(WindowSystemTest, ModalWindowDestroyedKeepsLastResultAndQuitIsPassedOn)
{
    HWND w = makeWindow();
    m_answer = [](HWND h, UINT m, WPARAM, LPARAM) -> LRESULT {
        if (m == WM_USER)
            DestroyWindow(h);
        return DefWindowProc(h, m, 0, 0);
    };
    PostMessage(w, WM_USER, 0, 0);
    EXPECT_EQ(0, RunModalLoop(w));

    HWND v = makeWindow();
    PostQuitMessage(3);
    EXPECT_EQ(0, RunModalLoop(v));
    MSG msg;
    EXPECT_FALSE(GetMessage(&msg)); // the quit request reached the outer loop
    EXPECT_EQ(3u, msg.wParam);
}

TEST_F(WindowSystemTest, ShowMaximiseRestoreAndActivation)
{
    HWND w = makeWindow();
    MoveWindow(w, 10, 20, 300, 200);
    EXPECT_FALSE(IsWindowVisible(w));
    ShowWindow(w, SW_SHOW);
    EXPECT_TRUE(IsWindowVisible(w));
    EXPECT_EQ(w, GetActiveWindow());
    m_log.clear();
    ShowWindow(w, SW_SHOWMAXIMIZED);
    EXPECT_TRUE(IsZoomed(w));
    RECT r;
    GetWindowRect(w, &r);
    RECT work = GetWorkArea();
    EXPECT_EQ(work.width(), r.width());
    ASSERT_FALSE(received(WM_SIZE).empty());
    EXPECT_EQ(2u, received(WM_SIZE).back().wParam); // SIZE_MAXIMIZED
    ShowWindow(w, SW_RESTORE);
    GetWindowRect(w, &r);
    EXPECT_EQ(10, r.left);
    EXPECT_EQ(300, r.width());
    EXPECT_FALSE(IsZoomed(w));
    ShowWindow(w, SW_HIDE);
    EXPECT_FALSE(IsWindowVisible(w));
    EXPECT_EQ(nullptr, GetActiveWindow());
}

TEST_F(WindowSystemTest, DropDownChildOfDesktopNeverTakesActivation)
{
    HWND main = makeWindow();
    ShowWindow(main, SW_SHOW);
    ASSERT_EQ(main, GetActiveWindow());
    HWND dropDown = CreateWindowEx(WS_EX_TOPMOST | WS_EX_TOOLWINDOW, "", WS_CHILD | WS_VISIBLE, 0, 0, 0, 0,
                                   GetDesktopWindow(), 2000, nullptr);
    ASSERT_NE(nullptr, dropDown);
    EXPECT_EQ(nullptr, GetParent(dropDown));
    EXPECT_TRUE(IsWindowVisible(dropDown));
    MoveWindow(dropDown, 500, 300, 132, 112); // placed in screen coordinates
    RECT r;
    GetWindowRect(dropDown, &r);
    EXPECT_EQ(500, r.left);
    ShowWindow(dropDown, SW_SHOW);
    SetActiveWindow(dropDown);
    EXPECT_EQ(main, GetActiveWindow());
}

TEST_F(WindowSystemTest, EnableWindowAnswersOldStateAndTellsTheWindow)
{
    HWND w = makeWindow();
    EXPECT_TRUE(IsWindowEnabled(w));
    EXPECT_FALSE(EnableWindow(w, false)); // was enabled
    EXPECT_FALSE(IsWindowEnabled(w));
    EXPECT_TRUE(EnableWindow(w, true)); // was disabled
    ASSERT_EQ(2u, received(WM_ENABLE).size());
}

TEST_F(WindowSystemTest, PropertiesAndCoordinates)
{
    HWND parent = makeWindow();
    MoveWindow(parent, 100, 50, 400, 300);
    HWND child = CreateWindowEx(0, "", WS_CHILD, 20, 30, 50, 50, parent, 1, nullptr);
    int value = 1;
    EXPECT_TRUE(SetProp(parent, "Kavrel", &value));
    EXPECT_EQ(&value, GetProp(parent, "Kavrel"));
    EXPECT_EQ(nullptr, GetProp(child, "Kavrel"));
    EXPECT_EQ(&value, RemoveProp(parent, "Kavrel"));
    EXPECT_EQ(nullptr, GetProp(parent, "Kavrel"));
    POINT pt{5, 5};
    ClientToScreen(child, &pt);
    EXPECT_EQ(125, pt.x);
    EXPECT_EQ(85, pt.y);
    ScreenToClient(parent, &pt);
    EXPECT_EQ(25, pt.x);
    EXPECT_EQ(35, pt.y);
}

TEST_F(WindowSystemTest, CenterOverOwnerStaysOnWorkArea)
{
    HWND owner = makeWindow();
    MoveWindow(owner, 100, 100, 400, 400);
    ShowWindow(owner, SW_SHOW);
    HWND w = makeWindow(owner);
    MoveWindow(w, 0, 0, 200, 100);
    CenterWindow(w, owner);
    RECT r;
    GetWindowRect(w, &r);
    EXPECT_EQ(200, r.left);
    EXPECT_EQ(250, r.top);
    MoveWindow(owner, -300, -300, 400, 400);
    CenterWindow(w, owner);
    GetWindowRect(w, &r);
    EXPECT_EQ(0, r.left);
    EXPECT_EQ(0, r.top);
}

TEST_F(WindowSystemTest, PaintWindowToPaintsChildrenAtTheirPlace)
{
    auto fill = [](double red) {
        return [red](HWND, UINT m, WPARAM wp, LPARAM) -> LRESULT {
            if (m == WM_PAINT) {
                auto* cr = reinterpret_cast<cairo_t*>(wp);
                cairo_set_source_rgb(cr, red, 0, 0);
                cairo_paint(cr);
            }
            return 0;
        };
    };
    HWND parent = CreateWindowEx(0, "", WS_POPUP, 0, 0, 20, 20, nullptr, 0, fill(0));
    CreateWindowEx(0, "", WS_CHILD | WS_VISIBLE, 10, 10, 5, 5, parent, 1, fill(1));
    cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_RGB24, 20, 20);
    cairo_t* cr = cairo_create(surface);
    PaintWindowTo(parent, cr);
    cairo_surface_flush(surface);
    auto pixel = [&](int x, int y) {
        auto* row = cairo_image_surface_get_data(surface) + y * cairo_image_surface_get_stride(surface);
        return reinterpret_cast<std::uint32_t*>(row)[x] & 0xFFFFFF;
    };
    EXPECT_EQ(0x000000u, pixel(5, 5));
    EXPECT_EQ(0xFF0000u, pixel(12, 12));
    EXPECT_EQ(0x000000u, pixel(16, 16));
    cairo_destroy(cr);
    cairo_surface_destroy(surface);
}

TEST_F(WindowSystemTest, MessageBoxWritesUtf8TextToStandardError)
{
    testing::internal::CaptureStderr();
    // GBK: caption "错误" (B4 ED CE F3), text "文件" (CE C4 BC FE).
    EXPECT_EQ(IDOK, MessageBox(nullptr, "\xCE\xC4\xBC\xFE", "\xB4\xED\xCE\xF3", MB_OK | MB_ICONERROR));
    EXPECT_EQ("\xE9\x94\x99\xE8\xAF\xAF: \xE6\x96\x87\xE4\xBB\xB6\n", testing::internal::GetCapturedStderr());
}

TEST_F(WindowSystemTest, ShellOpenAddsSchemeToBareHost)
{
    EXPECT_TRUE(ShellOpen("www.example.org"));
    EXPECT_TRUE(ShellOpen("https://a.example/x"));
    EXPECT_FALSE(ShellOpen(""));
    std::vector<std::string> expected = {"http://www.example.org", "https://a.example/x"};
    EXPECT_EQ(expected, platform::HeadlessOpenedAddresses());
}

TEST_F(WindowSystemTest, ImeTextBecomesOneGbkCharacterPerMessage)
{
    // "a", "中" (GBK D6 D0), "文" (CE C4), a character GBK lacks.
    std::vector<WPARAM> expected = {'a', 0xD6D0, 0xCEC4, '?'};
    EXPECT_EQ(expected, platform::ImeCharsFromUtf8("a\xE4\xB8\xAD\xE6\x96\x87\xF0\x9F\x98\x80"));
    EXPECT_TRUE(platform::ImeCharsFromUtf8("").empty());
    // A single-byte character also reaches a window that reads only WM_CHAR.
    HWND w = makeWindow();
    m_log.clear();
    SendMessage(w, WM_IME_CHAR, 'a', 1);
    SendMessage(w, WM_IME_CHAR, 0xD6D0, 1);
    ASSERT_EQ(1u, received(WM_CHAR).size());
    EXPECT_EQ(static_cast<WPARAM>('a'), received(WM_CHAR)[0].wParam);
}

TEST_F(WindowSystemTest, HeadlessTrayMenuAndMarker)
{
    HWND w = makeWindow();
    UINT showTask = RegisterWindowMessage("WM_SHOWTASK");
    EXPECT_FALSE(platform::IsTrayIconShown(128));
    ASSERT_TRUE(platform::AddTrayIcon(w, 128, showTask, "Kavrel"));
    platform::HeadlessTrayGesture(128, WM_LBUTTONDBLCLK);
    platform::HeadlessTrayGesture(129, WM_RBUTTONUP); // no such icon
    m_log.clear();
    pumpAll();
    std::vector<Received> expected = {{w, showTask, 128, WM_LBUTTONDBLCLK}};
    EXPECT_EQ(expected, received(showTask));
    EXPECT_TRUE(platform::RemoveTrayIcon(128));
    EXPECT_FALSE(platform::RemoveTrayIcon(128));

    platform::HeadlessSetMenuChoice(0xC001);
    EXPECT_EQ(0xC001u, platform::TrackPopupMenu({{0xC000, "a"}, {0xC001, "b"}}, 5, 5, w));
    EXPECT_EQ(2u, platform::HeadlessLastMenu().size());
    EXPECT_EQ(0u, platform::TrackPopupMenu({{0xC000, "a"}}, 5, 5, w)); // the choice is used once
    pumpAll();
    ASSERT_EQ(1u, received(WM_COMMAND).size());
    EXPECT_EQ(0xC001u, received(WM_COMMAND)[0].wParam);

    EXPECT_TRUE(platform::MarkRunningInstance(w));
    EXPECT_EQ(reinterpret_cast<void*>(std::uintptr_t{0xE2603859u}), GetProp(w, "Kavrel"));
    EXPECT_EQ(0ul, platform::FindRunningInstance());
    EXPECT_FALSE(platform::ActivateRunningInstance());
}

// Each run of the window system starts empty: windows, their timers, tray icons, browser
// views, menus and queued messages of an earlier run are all gone, twice over.
TEST_F(WindowSystemTest, ShutdownLeavesNoWindowTrayTimerOrViewBehind)
{
    const UINT trayMessage = RegisterWindowMessage("WM_SHOWTASK");
    for (int run = 0; run < 2; ++run) {
        SCOPED_TRACE(run);
        HWND top = makeWindow();
        HWND owned = makeWindow(top);
        HWND view = CreateWindowEx(0, "", WS_CHILD, 0, 0, 50, 50, top, 7, [](HWND h, UINT m, WPARAM w, LPARAM l) {
            if (m == WM_CREATE)
                return platform::AttachWebView(h) ? LRESULT{0} : LRESULT{-1};
            return DefWindowProc(h, m, w, l);
        });
        ASSERT_NE(nullptr, view);
        ASSERT_TRUE(platform::WebViewNavigate(view, "http://127.0.0.1/a.htm"));
        ASSERT_TRUE(platform::AddTrayIcon(top, 128, trayMessage, "Kavrel"));
        ASSERT_TRUE(platform::AddTrayIcon(owned, 129, trayMessage, "Kavrel"));
        SetTimer(top, 1, 100);
        SetTimer(owned, 2, 100);
        ASSERT_TRUE(ShellOpen("127.0.0.1/page.htm"));
        platform::HeadlessSetMenuChoice(0xC001);
        ASSERT_TRUE(PostMessage(top, WM_USER, 0, 0));

        platform::ShutdownWindowSystem();
        EXPECT_FALSE(IsWindow(top));
        EXPECT_FALSE(PostMessage(nullptr, WM_USER, 0, 0)) << "no queue while the window system is down";
        ASSERT_TRUE(platform::InitWindowSystem(platform::Backend::Headless));

        m_log.clear();
        for (HWND gone : {top, owned, view})
            EXPECT_FALSE(IsWindow(gone));
        EXPECT_FALSE(platform::IsTrayIconShown(128));
        EXPECT_FALSE(platform::IsTrayIconShown(129));
        EXPECT_TRUE(platform::WebViewNavigations(view).empty());
        EXPECT_TRUE(platform::HeadlessOpenedAddresses().empty());
        EXPECT_TRUE(platform::HeadlessLastMenu().empty());
        HWND fresh = makeWindow();
        EXPECT_EQ(0u, platform::TrackPopupMenu({{0xC001, "a"}}, 0, 0, fresh)) << "an earlier run's menu choice";
        platform::AdvanceClock(1000);
        pumpAll();
        EXPECT_TRUE(received(WM_TIMER).empty()) << "an earlier run's timer fired";
        EXPECT_TRUE(received(WM_USER).empty()) << "an earlier run's message arrived";
    }
}

TEST_F(WindowSystemTest, TrayIconGoesWithItsWindow)
{
    HWND w = makeWindow();
    HWND other = makeWindow();
    UINT trayMessage = RegisterWindowMessage("WM_SHOWTASK");
    ASSERT_TRUE(platform::AddTrayIcon(w, 128, trayMessage, "Kavrel"));
    ASSERT_TRUE(platform::AddTrayIcon(other, 129, trayMessage, "Kavrel"));
    DestroyWindow(w);
    EXPECT_FALSE(platform::IsTrayIconShown(128));
    EXPECT_TRUE(platform::IsTrayIconShown(129)) << "another window's icon stays";
    platform::HeadlessTrayGesture(128, WM_LBUTTONDBLCLK);
    m_log.clear();
    pumpAll();
    EXPECT_TRUE(received(trayMessage).empty());
}

// A procedure that lets an exception out would unwind through the desktop's C callbacks;
// the window system reports it with the message and ends the process instead.
TEST_F(WindowSystemTest, ExceptionLeavingAProcedureIsReportedAndEndsTheProcess)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_DEATH(
        {
            HWND w = CreateWindowEx(0, "", WS_POPUP, 0, 0, 10, 10, nullptr, 0, [](HWND h, UINT m, WPARAM wp, LPARAM lp) {
                if (m == WM_COMMAND)
                    throw std::runtime_error("menu handler failed");
                return DefWindowProc(h, m, wp, lp);
            });
            PostMessage(w, WM_COMMAND, 5, 0);
            pumpAll();
        },
        "message 0x0111: menu handler failed");
}

} // namespace
