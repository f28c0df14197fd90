// The drop-down tracking loop with plain windows: where each kind of message goes while a
// drop-down is tracked, what ends the tracking, and that nothing but input is lost.
#include "WindowTestSupport.h"

#include "client/skin/Wnd.h"
#include "client/ui/DropDownTracking.h"

#include <thread>

namespace {

constexpr UINT kAnswer = WM_USER + 9; // stands for a worker's posted answer
constexpr UINT kNcLeftButtonDown = 0xA1;

// A drop-down that records what reaches it and dismisses itself on WM_USER + 1.
class RecordingDropDown : public CWnd {
public:
    explicit RecordingDropDown(int& dismissed) : m_dismissed(dismissed) {}
    std::vector<testsupport::Received> log;

protected:
    LRESULT WindowProc(UINT msg, WPARAM wParam, LPARAM lParam) override
    {
        log.push_back({m_hWnd, msg, wParam, lParam});
        if (msg == WM_USER + 1)
            m_dismissed = 1;
        return CWnd::WindowProc(msg, wParam, lParam);
    }

private:
    int& m_dismissed;
};

class DropDownTrackingTest : public testsupport::HeadlessWindowTest {
protected:
    void SetUp() override
    {
        HeadlessWindowTest::SetUp();
        m_owner = makeWindow();
        ShowWindow(m_owner, SW_SHOW);
        ASSERT_EQ(m_owner, GetActiveWindow());
        m_drop = std::make_unique<RecordingDropDown>(m_dismissed);
        ASSERT_TRUE(m_drop->CreateEx(0, "", WS_CHILD | WS_VISIBLE, 200, 100, 60, 40, GetDesktopWindow(), 2000));
        m_dropHwnd = m_drop->m_hWnd;
    }
    void TearDown() override
    {
        m_drop.reset();
        HeadlessWindowTest::TearDown();
    }

    std::vector<testsupport::Received> dropReceived(UINT msg) const
    {
        std::vector<testsupport::Received> out;
        for (const auto& r : m_drop->log) {
            if (r.msg == msg)
                out.push_back(r);
        }
        return out;
    }
    // Ends the tracking from inside, after what was posted before it.
    void postDismiss() { PostMessage(m_dropHwnd, WM_USER + 1, 0, 0); }
    void track() { TrackDropDown(m_owner, *m_drop, m_dismissed); }

    HWND m_owner = nullptr;
    int m_dismissed = 0;
    std::unique_ptr<RecordingDropDown> m_drop;
    HWND m_dropHwnd = nullptr;
};

TEST_F(DropDownTrackingTest, KeysWheelAndMouseGoToTheDropDownWithItsOwnCoordinates)
{
    PostMessage(m_owner, WM_KEYDOWN, VK_ESCAPE, 0);
    PostMessage(m_owner, WM_MOUSEWHEEL, 120 << 16, MAKELPARAM(30, 20));
    // The owner's client origin is (0, 0) on the screen, the drop-down's (200, 100).
    PostMessage(m_owner, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(250, 130));
    PostMessage(m_owner, WM_MOUSEMOVE, 0, MAKELPARAM(10, 20));
    PostMessage(m_owner, kAnswer, 1, 2);
    postDismiss();
    track();

    ASSERT_EQ(1u, dropReceived(WM_KEYDOWN).size());
    EXPECT_EQ(static_cast<WPARAM>(VK_ESCAPE), dropReceived(WM_KEYDOWN)[0].wParam);
    ASSERT_EQ(1u, dropReceived(WM_MOUSEWHEEL).size());
    EXPECT_EQ(MAKELPARAM(30, 20), dropReceived(WM_MOUSEWHEEL)[0].lParam); // screen point, unchanged
    ASSERT_EQ(1u, dropReceived(WM_LBUTTONDOWN).size());
    EXPECT_EQ(MAKELPARAM(50, 30), dropReceived(WM_LBUTTONDOWN)[0].lParam);
    ASSERT_EQ(1u, dropReceived(WM_MOUSEMOVE).size());
    EXPECT_EQ(-190, GET_X_LPARAM(dropReceived(WM_MOUSEMOVE)[0].lParam)); // left of the drop-down
    EXPECT_EQ(-80, GET_Y_LPARAM(dropReceived(WM_MOUSEMOVE)[0].lParam));

    EXPECT_TRUE(received(WM_KEYDOWN).empty());
    EXPECT_TRUE(received(WM_LBUTTONDOWN).empty());
    ASSERT_EQ(1u, received(kAnswer).size()); // everything else stays with its window
    EXPECT_FALSE(IsWindow(m_dropHwnd));
}

TEST_F(DropDownTrackingTest, FrameClickEndsTrackingAtOnceAndIsDropped)
{
    PostMessage(m_owner, kNcLeftButtonDown, 0, 0);
    PostMessage(m_owner, kAnswer, 0, 0);
    track();
    EXPECT_FALSE(IsWindow(m_dropHwnd));
    EXPECT_TRUE(received(kNcLeftButtonDown).empty());
    EXPECT_TRUE(dropReceived(kNcLeftButtonDown).empty());
    EXPECT_TRUE(received(kAnswer).empty()); // not fetched by the tracking
    pumpAll();
    EXPECT_EQ(1u, received(kAnswer).size());
}

TEST_F(DropDownTrackingTest, QuitDuringTrackingIsPostedAgainWithItsCode)
{
    PostQuitMessage(7);
    track();
    EXPECT_FALSE(IsWindow(m_dropHwnd));
    MSG msg;
    EXPECT_FALSE(GetMessage(&msg));
    EXPECT_EQ(static_cast<UINT>(WM_QUIT), msg.message);
    EXPECT_EQ(7u, msg.wParam);
}

// Activation moved away before the message was fetched: the drop-down is no longer
// tracked, so input for it goes nowhere, but what was meant for other windows is handled.
TEST_F(DropDownTrackingTest, AfterActivationMovedOnlyInputIsDropped)
{
    struct Case {
        const char* name;
        UINT msg;
        bool handled;
    };
    const Case cases[] = {
        {"posted answer", kAnswer, true},     {"timer", WM_TIMER, true},       {"key", WM_KEYDOWN, false},
        {"mouse", WM_LBUTTONDOWN, false},     {"wheel", WM_MOUSEWHEEL, false},
    };
    HWND other = makeWindow();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        m_log.clear();
        if (!m_drop->m_hWnd) {
            ASSERT_TRUE(m_drop->CreateEx(0, "", WS_CHILD | WS_VISIBLE, 200, 100, 60, 40, GetDesktopWindow(), 2000));
            m_dropHwnd = m_drop->m_hWnd;
        }
        ShowWindow(other, SW_SHOW);
        ASSERT_EQ(other, GetActiveWindow());
        std::thread clock;
        if (c.msg == WM_TIMER) {
            // Timers come after posted messages, so nothing else is queued. The clock moves
            // from another thread, as it does while the loop waits.
            SetTimer(m_owner, 5, 10);
            clock = std::thread([] { platform::AdvanceClock(10); });
        } else {
            PostMessage(m_owner, c.msg, 0, 0);
            PostMessage(m_owner, kAnswer + 1, 0, 0); // must stay queued: the tracking has ended
        }
        track();
        if (clock.joinable())
            clock.join();
        KillTimer(m_owner, 5);
        EXPECT_EQ(c.handled ? 1u : 0u, received(c.msg).size());
        EXPECT_TRUE(received(kAnswer + 1).empty());
        EXPECT_FALSE(IsWindow(m_dropHwnd));
        pumpAll();
        SetActiveWindow(m_owner);
    }
}

TEST_F(DropDownTrackingTest, DropDownDestroyedDuringTrackingIsNotDestroyedAgain)
{
    PostMessage(m_owner, kAnswer, 0, 0);
    m_answer = [this](HWND h, UINT m, WPARAM w, LPARAM l) -> LRESULT {
        if (m == kAnswer)
            m_drop->DestroyWindow();
        return DefWindowProc(h, m, w, l);
    };
    track();
    EXPECT_FALSE(IsWindow(m_dropHwnd));
    EXPECT_EQ(1u, dropReceived(WM_DESTROY).size());
    EXPECT_EQ(nullptr, m_drop->m_hWnd);
}

} // namespace
