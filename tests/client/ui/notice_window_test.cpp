// The notice window on the headless clock: when a notice shows and for how long, which
// element shows it, the link addresses, the wrapping of its text and its two elements.
#include "SessionFixture.h"

#include "client/service/RequestText.h"
#include "platform/window/WebView.h"

#include <functional>

namespace {

using testsupport::SessionTest;

class NoticeWindowTest : public SessionTest {
protected:
    void SetUp() override
    {
        SessionTest::SetUp();
        createFrame();
    }
};

TEST_F(NoticeWindowTest, SitsInTheLowerRightCornerOfTheWorkAreaHiddenAndInactive)
{
    RECT rect;
    GetWindowRect(notice(), &rect);
    // The headless desktop has a panel along the bottom: the notice stands on it.
    const RECT work = GetWorkArea();
    ASSERT_LT(work.bottom, GetScreenSize().cy);
    EXPECT_EQ(work.right - 261, rect.left);
    EXPECT_EQ(work.bottom - 194, rect.top);
    EXPECT_EQ(261, rect.width());
    EXPECT_EQ(194, rect.height());
    EXPECT_FALSE(IsWindowVisible(notice()));

    m_frame->ShowNotice("hello", 100);
    EXPECT_EQ("hello", nextNotice());
    EXPECT_NE(notice(), GetActiveWindow()); // typing elsewhere goes on
}

TEST_F(NoticeWindowTest, ShowsAfterDelayAndASecondForThreeSeconds)
{
    m_frame->ShowNotice("one", 100);
    platform::AdvanceClock(1099);
    EXPECT_EQ("", shownNotice());
    platform::AdvanceClock(1);
    EXPECT_EQ("one", shownNotice());
    platform::AdvanceClock(2999);
    EXPECT_EQ("one", shownNotice());
    platform::AdvanceClock(1);
    EXPECT_FALSE(IsWindowVisible(notice()));
}

TEST_F(NoticeWindowTest, OfTwoNoticesAskedForQuicklyOnlyTheSecondShows)
{
    std::vector<std::string> seen;
    m_frame->ShowNotice("first", 100);
    platform::AdvanceClock(200);
    m_frame->ShowNotice("second", 100);
    for (int step = 0; step < 60; ++step) {
        platform::AdvanceClock(100);
        const std::string now = shownNotice();
        if (!now.empty() && (seen.empty() || seen.back() != now))
            seen.push_back(now);
    }
    EXPECT_EQ(std::vector<std::string>{"second"}, seen);
}

TEST_F(NoticeWindowTest, LinkNoticesAddressTheirPageByKind)
{
    struct Case {
        int kind;
        const char* param;
        std::string url;
    };
    const Case cases[] = {
        {1, "77", std::string(kPageBase) + "/shortMessage_viewReceived.htm?pmid=77"},
        {2, "15", std::string(kPageBase) + "/discuss_forum.htm?tid=15"},
        {3, "http://elsewhere/page.htm", "http://elsewhere/page.htm"},
    };
    auto* window = static_cast<CWndLoginsysnew*>(CWnd::FromHandle(notice()));
    ASSERT_NE(nullptr, window);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.kind);
        m_frame->ShowNoticeLink("news", c.param, 100, c.kind);
        EXPECT_EQ("news", nextNotice());
        EXPECT_EQ(c.url, window->m_strUrl);
        EXPECT_EQ(c.kind, window->m_nKind);
        EXPECT_TRUE(GetPluginByName(notice(), "window_login_sysnew_link")->IsVisible());
        EXPECT_FALSE(GetPluginByName(notice(), "window_login_success")->IsVisible());
    }
    // A plain notice afterwards shows in the plain element again.
    m_frame->ShowNotice("plain", 100);
    EXPECT_EQ("plain", nextNotice());
    EXPECT_FALSE(GetPluginByName(notice(), "window_login_sysnew_link")->IsVisible());
}

TEST_F(NoticeWindowTest, CloseHidesAndAForumLinkWaitsForALogin)
{
    m_frame->ShowNotice("bye", 100);
    nextNotice();
    EXPECT_EQ(0, raise(notice(), "window_login_sysnew_close", PE_CLICK));
    EXPECT_FALSE(IsWindowVisible(notice()));

    // Nobody is logged in: the page does not open and the notice stays up.
    m_frame->ShowNoticeLink("thread", "15", 100, 2);
    nextNotice();
    EXPECT_EQ(-1, raise(notice(), "window_login_sysnew_link", PE_CLICK));
    EXPECT_TRUE(IsWindowVisible(notice()));
}

TEST_F(NoticeWindowTest, LinksOpenTheirPageForALoggedInMember)
{
    answer(RK_LOGIN, R"({"success": true, "content": {"loginSuccess": true, "uid": 1001}})");
    platform::AdvanceClock(5000);

    // A forum thread opens in the page area.
    m_frame->ShowNoticeLink("thread", "15", 100, 2);
    nextNotice();
    EXPECT_EQ(0, raise(notice(), "window_login_sysnew_link", PE_CLICK));
    EXPECT_FALSE(IsWindowVisible(notice()));
    ASSERT_NE(nullptr, m_frame->CurrentPageView());
    EXPECT_EQ(std::vector<std::string>{std::string(kPageBase) + "/discuss_forum.htm?tid=15"},
              platform::WebViewNavigations(m_frame->CurrentPageView()));

    // A short message opens in the message window, run modally over the main window.
    HWND helper = makeWindow();
    HWND messageWindow = nullptr;
    m_answer = [&](HWND h, UINT m, WPARAM w, LPARAM l) -> LRESULT {
        if (m == WM_USER + 41) {
            messageWindow = GetActiveWindow();
            PostMessage(messageWindow, WM_CLOSE, 0, 0);
            return 0;
        }
        return DefWindowProc(h, m, w, l);
    };
    m_frame->ShowNoticeLink("message", "77", 100, 1);
    nextNotice();
    PostMessage(helper, WM_USER + 41, 0, 0);
    EXPECT_EQ(0, raise(notice(), "window_login_sysnew_link", PE_CLICK));
    EXPECT_NE(nullptr, messageWindow);
    EXPECT_NE(frame(), messageWindow);
    EXPECT_NE(notice(), messageWindow);
    EXPECT_FALSE(IsWindow(messageWindow));
    EXPECT_FALSE(IsWindowVisible(notice()));
}

// News that goes on (a download's progress) changes the notice it belongs to without
// starting its time again, keeps it up while it comes, and never takes over another
// notice, a link or a notice that has gone.
TEST_F(NoticeWindowTest, GoingOnNoticeChangesItsTextWithoutRestartingItsTime)
{
    m_frame->ShowNotice("a", 100);
    platform::AdvanceClock(500);
    EXPECT_TRUE(m_frame->UpdateNotice("a", "b"));
    platform::AdvanceClock(599);
    EXPECT_EQ("", shownNotice());
    platform::AdvanceClock(1);
    EXPECT_EQ("b", shownNotice()); // when "a" was due
    platform::AdvanceClock(2000);
    EXPECT_TRUE(m_frame->UpdateNotice("b", "c"));
    EXPECT_EQ("c", shownNotice()); // redrawn at once
    platform::AdvanceClock(2999);
    EXPECT_EQ("c", shownNotice()); // three seconds from the last news
    platform::AdvanceClock(1);
    EXPECT_FALSE(IsWindowVisible(notice()));
    EXPECT_FALSE(m_frame->UpdateNotice("c", "d")); // its time ran out
    platform::AdvanceClock(5000);
    EXPECT_FALSE(IsWindowVisible(notice()));

    struct Case {
        const char* label;
        std::function<void()> show; // the notice the window holds
        const char* current;        // what the news thinks it holds
    };
    const Case cases[] = {
        {"another_notice", [&] { m_frame->ShowNotice("other", 100); }, "c"},
        {"a_link", [&] { m_frame->ShowNoticeLink("c", "77", 100, 1); }, "c"},
        {"closed_by_the_member",
         [&] {
             m_frame->ShowNotice("c", 100);
             nextNotice();
             raise(notice(), "window_login_sysnew_close", PE_CLICK);
         },
         "c"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        c.show();
        const std::string before = shownNotice();
        EXPECT_FALSE(m_frame->UpdateNotice(c.current, "d"));
        platform::AdvanceClock(1100);
        EXPECT_NE("d", shownNotice());
        if (!before.empty()) {
            EXPECT_EQ(before, shownNotice());
        }
        platform::AdvanceClock(5000);
    }
}

struct WrapCase {
    const char* label;
    std::string text;
    std::vector<std::size_t> lineBytes; // bytes of each line, line feeds not counted
};

TEST(WrapNoticeText, BreaksLinesAtThirtyColumns)
{
    std::string chinese35;
    for (int i = 0; i < 35; ++i)
        chinese35 += "\xd6\xd0"; // 中
    const WrapCase cases[] = {
        {"35 two-byte characters: 15, 15, 5", chinese35, {30, 30, 10}},
        {"70 ASCII characters: 30, 29, 11", std::string(70, 'a'), {30, 29, 11}},
        {"short text unchanged", "abc", {3}},
        {"exactly 30 columns ends with a line feed", std::string(30, 'b'), {30, 0}},
        {"lone final lead byte counts two columns", std::string(29, 'c') + "\xd6", {30, 0}},
        {"lone lead byte alone", "\xd6", {1}},
        {"empty", "", {0}},
    };
    for (const WrapCase& c : cases) {
        SCOPED_TRACE(c.label);
        const std::string wrapped = WrapNoticeText(c.text);
        std::vector<std::size_t> lines;
        std::size_t start = 0;
        for (std::size_t lf = wrapped.find('\n'); lf != std::string::npos; lf = wrapped.find('\n', start)) {
            lines.push_back(lf - start);
            start = lf + 1;
        }
        lines.push_back(wrapped.size() - start);
        EXPECT_EQ(c.lineBytes, lines);
        std::string unwrapped = wrapped;
        std::erase(unwrapped, '\n');
        EXPECT_EQ(c.text, unwrapped); // nothing added but line feeds, nothing read past the end
    }
}

} // namespace
