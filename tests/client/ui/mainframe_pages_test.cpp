// The main window's pages on the headless window system with the shipped skin: the one
// hosted page view and the current page view, page addresses with the cache-buster, the
// browser pages, the way back home, and the message and quick-help windows.
#include "SessionFixture.h"

#include "client/service/RequestText.h"
#include "client/ui/FunctionTiles.h"
#include "client/ui/HtmlView.h"
#include "client/ui/MainFrame.h"
#include "client/ui/WndMessage.h"
#include "client/ui/WndPageWindow.h"
#include "client/ui/WndYhelp.h"
#include "platform/window/WebView.h"

#include <chrono>
#include <functional>
#include <map>
#include <set>
#include <thread>

namespace {

class MainFramePagesTest : public testsupport::SessionTest {
protected:
    void SetUp() override
    {
        SessionTest::SetUp();
        createFrame();
        // A still clock: page addresses become exact.
        m_frame->PageClock().SetPaused(true);
        ASSERT_TRUE(m_frame->PageClock().SetFromText("2013-05-06 07:08:09"));
    }

    HWND hwnd() const { return frame(); }
    HWND hosted() const { return element("hwndobj_main_lobby_left")->GetWindow(); }
    LRESULT raise(const char* name, int code, int param1 = 0) { return SessionTest::raise(frame(), name, code, param1); }

    // A member logs in (with today's plan, or without one) and the login notice has gone.
    void logIn(const char* plan)
    {
        answer(RK_LOGIN, std::string(R"({"success":true,"content":{"loginSuccess":true,"uid":1001,"loginMessage":"hi",)")
                             + R"("planIndexResult":{"plan":")" + plan + R"("}}})");
        ASSERT_TRUE(m_frame->IsLoggedIn());
        waitNoticeGone();
    }
    void waitNoticeGone()
    {
        platform::AdvanceClock(5000);
        ASSERT_EQ("", shownNotice());
    }

    // Runs act once the modal window that the next event opens is running; it gets
    // that window (the active one).
    void whenModalRuns(std::function<void(HWND)> act)
    {
        HWND helper = makeWindow();
        m_answer = [act, helper](HWND h, UINT m, WPARAM w, LPARAM l) -> LRESULT {
            if (h == helper && m == WM_USER + 5) {
                act(GetActiveWindow());
                return 0;
            }
            return DefWindowProc(h, m, w, l);
        };
        PostMessage(helper, WM_USER + 5, 0, 0);
    }
};

TEST_F(MainFramePagesTest, PageAddressKeepsTheNameVerbatimAndAddsTheRightCacheBuster)
{
    struct Case {
        const char* page;
        bool cacheBuster;
        const char* navigated;
    };
    const Case cases[] = {
        {"testSites_sitesList.htm", true, "http://host:81/soft/testSites_sitesList.htm?randomtime=2013-05-06 07:08:09"},
        {"./video_index.htm?rid=1&year=2012", true,
         "http://host:81/soft/./video_index.htm?rid=1&year=2012&randomtime=2013-05-06 07:08:09"},
        {"./rule_planStudy.htm", true, "http://host:81/soft/./rule_planStudy.htm?randomtime=2013-05-06 07:08:09"},
        {"social_login.htm?site=qq", false, "http://host:81/soft/social_login.htm?site=qq"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.page);
        m_frame->HostPage(m_frame->PageAddress(c.page), c.cacheBuster);
        ASSERT_NE(nullptr, m_frame->CurrentPageView());
        EXPECT_EQ(std::vector<std::string>{c.navigated}, platform::WebViewNavigations(m_frame->CurrentPageView()));
    }
}

// A page view that replaces another, or goes by any other way, leaves no current page
// view behind that points at a dead window.
TEST_F(MainFramePagesTest, OneHostedViewAndNoDanglingCurrentView)
{
    m_frame->HostPage(m_frame->PageAddress("a.htm"), true);
    HWND first = m_frame->CurrentPageView();
    ASSERT_NE(nullptr, first);
    EXPECT_EQ(first, hosted());
    EXPECT_EQ(1000, GetDlgCtrlID(first));
    EXPECT_EQ(hwnd(), GetParent(first));

    m_frame->HostPage(m_frame->PageAddress("b.htm"), true);
    HWND second = m_frame->CurrentPageView();
    EXPECT_FALSE(IsWindow(first));
    ASSERT_NE(nullptr, second);
    EXPECT_NE(first, second);
    EXPECT_EQ(second, hosted());

    // Destroyed behind the main window's back (as the tour does with the hosted window).
    DestroyWindow(hosted());
    EXPECT_EQ(nullptr, m_frame->CurrentPageView());

    m_frame->HostPage(m_frame->PageAddress("c.htm"), false);
    HWND third = m_frame->CurrentPageView();
    ASSERT_NE(nullptr, third);
    m_frame->DestroyHostedPage();
    EXPECT_FALSE(IsWindow(third));
    EXPECT_EQ(nullptr, m_frame->CurrentPageView());
    EXPECT_EQ(nullptr, hosted());
    m_frame->DestroyHostedPage(); // nothing left to destroy
    EXPECT_EQ(nullptr, m_frame->CurrentPageView());
}

TEST_F(MainFramePagesTest, PageClockRunsAheadSoOpeningsDiffer)
{
    CServerClock& clock = m_frame->PageClock();
    const std::string before = clock.Format();
    clock.SetPaused(false);
    // A millisecond per second of its time: it moves within a few real milliseconds.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (clock.Format() == before && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    EXPECT_NE(before, clock.Format());
}

TEST_F(MainFramePagesTest, BrowserButtonsOpenTheirPagesWithoutLoginAndLeaveThePageAreaAlone)
{
    EXPECT_FALSE(m_frame->IsLoggedIn());
    EXPECT_EQ(0, raise("window_vip_register", PE_CLICK));
    EXPECT_EQ(0, raise("window_vip_forget", PE_CLICK));
    EXPECT_EQ(0, raise("window_vip_forget", PE_ACTIVATE)); // wrong code: nothing
    const std::vector<std::string> expected = {std::string(kPageBase) + "/member_registe.htm",
                                               std::string(kPageBase) + "/pass_password.htm"};
    EXPECT_EQ(expected, platform::HeadlessOpenedAddresses());
    EXPECT_TRUE(visible("window_mid_part"));
    EXPECT_FALSE(visible("window_hwndobj"));
    EXPECT_EQ(nullptr, m_frame->CurrentPageView());
}

TEST_F(MainFramePagesTest, PanelReturnHidesItsPanelAndShowsHome)
{
    for (const char* button : {"window_ZC_returnbj", "window_MN_returnbj"}) {
        SCOPED_TRACE(button);
        Plugin* panel = element(button)->GetParent();
        ASSERT_NE(nullptr, panel);
        panel->Show(1);
        element("window_mid_part")->Show(0);
        EXPECT_EQ(0, raise(button, PE_CLICK));
        EXPECT_FALSE(panel->IsVisible());
        EXPECT_TRUE(visible("window_mid_part"));
    }
}

struct WebWindowCase {
    const char* label;
    std::function<std::unique_ptr<CModalWnd>(SkinManager*, CWnd*, std::string)> make;
    const char* host;
    const char* close;
    std::function<void(HWND window, const char* close)> end;
};

class WebPageWindowTest : public MainFramePagesTest {};

// Both windows host their page with identifier 2000 and the address unchanged, and close
// with their button or with Esc (answer 2).
TEST_F(WebPageWindowTest, HostTheirPageAndCloseByButtonOrEsc)
{
    auto byButton = [](HWND window, const char* close) {
        PluginEvent event{PE_CLICK, 0, 0};
        SendMessage(window, WM_SKINEVENT, reinterpret_cast<WPARAM>(GetPluginByName(window, close)),
                    reinterpret_cast<LPARAM>(&event));
    };
    auto byEsc = [](HWND window, const char*) { PostMessage(window, WM_KEYDOWN, 27, 0); };
    auto message = [](SkinManager* s, CWnd* o, std::string p) -> std::unique_ptr<CModalWnd> {
        return std::make_unique<CWndMessage>(s, o, std::move(p));
    };
    auto help = [](SkinManager* s, CWnd* o, std::string p) -> std::unique_ptr<CModalWnd> {
        return std::make_unique<CWndYhelp>(s, o, std::move(p));
    };
    const WebWindowCase cases[] = {
        {"message_button", message, "window_message_hwndobj", "window_message_close", byButton},
        {"message_esc", message, "window_message_hwndobj", "window_message_close", byEsc},
        {"help_button", help, "window_Yhelp_hwndobj", "window_Yhelp_close", byButton},
        {"help_esc", help, "window_Yhelp_hwndobj", "window_Yhelp_close", byEsc},
    };
    const std::string address = "http://host:81/soft/shortMessage_viewReceived.htm?pmid=7";
    for (const WebWindowCase& c : cases) {
        SCOPED_TRACE(c.label);
        auto window = c.make(m_skin, m_frame.get(), address);
        HWND seen = nullptr;
        HWND view = nullptr;
        int viewId = 0;
        std::vector<std::string> navigations;
        bool ownerDisabled = false;
        whenModalRuns([&](HWND active) {
            seen = active;
            ownerDisabled = !IsWindowEnabled(hwnd());
            if (Plugin* host = GetPluginByName(active, c.host))
                view = host->GetWindow();
            navigations = platform::WebViewNavigations(view);
            viewId = GetDlgCtrlID(view);
            c.end(active, c.close);
        });
        EXPECT_EQ(2, window->DoModal());
        ASSERT_NE(nullptr, seen);
        EXPECT_NE(hwnd(), seen);
        EXPECT_TRUE(ownerDisabled);
        ASSERT_NE(nullptr, view);
        EXPECT_EQ(2000, viewId);
        EXPECT_EQ(std::vector<std::string>{address}, navigations);
        EXPECT_FALSE(IsWindow(seen));
        EXPECT_FALSE(IsWindow(view));
        EXPECT_TRUE(IsWindowEnabled(hwnd()));
        // The main window's page area is not theirs.
        EXPECT_EQ(nullptr, m_frame->CurrentPageView());
    }
}

// The addresses a page may open in a page window: only http and https on the page base's
// host and port or the web site's; everything else goes to the desktop's browser.
TEST_F(WebPageWindowTest, OnlyTheServiceHostsCountAsTheService)
{
    const std::string site = m_frame->webSite();
    struct Case {
        const char* label;
        std::string address;
        bool service;
    };
    const Case cases[] = {
        {"page_base_host", "http://host:81/soft/other.htm", true},
        {"host_in_capitals", "HTTP://HOST:81/x", true},
        {"web_site", "http://" + site + "/news", true},
        {"https_on_the_page_base_port", "https://host:81/soft/x", true},
        {"other_port", "http://host:82/soft/x", false},
        {"default_port_is_not_81", "http://host/soft/x", false},
        {"other_host", "http://elsewhere:81/soft/x", false},
        {"credentials_before_another_host", "http://host:81@elsewhere/x", false},
        {"host_as_prefix_of_another", "http://host:8111/x", false},
        {"not_http", "ftp://host:81/x", false},
        {"no_scheme", "host:81/x", false},
        {"empty", "", false},
    };
    for (const Case& c : cases)
        EXPECT_EQ(c.service, IsServiceAddress(*m_frame, c.address)) << c.label << ": " << c.address;
}

// ---- The event table ------------------------------------------------------------------

class EventTableTest : public MainFramePagesTest {
protected:
    // The face a member sees on the home panel, no page open, no notice up.
    void homeFace()
    {
        ShowWindow(frame(), SW_RESTORE);
        ShowWindow(frame(), SW_SHOW);
        m_frame->DestroyHostedPage();
        element("window_mid_part")->Show(1);
        element("window_hwndobj")->Show(0);
        element("window_mask")->Show(0);
        element("window_guidance_parent")->Show(0);
        while (PeekMessage(&m_msg, true)) {} // nothing queued from the case before
        waitNoticeGone();
    }

    // A page open over the home panel, with the wrong one of plan and invitation up (as
    // the tour may leave them).
    void pageOverHome(bool loggedIn)
    {
        m_frame->HostPage(m_frame->PageAddress("a.htm"), true);
        element("window_mid_part")->Show(0);
        element("window_hwndobj")->Show(1);
        element("window_menu")->Show(loggedIn ? 0 : 1);
        element("window_moren")->Show(loggedIn ? 1 : 0);
    }

    struct Outcome {
        LRESULT result;
        std::string notice;
    };
    // Raises the event, then serves what it left queued except the close requests to the
    // main and the notice window (counted in m_closes), and lets a notice come up.
    Outcome fire(const char* name, int code, int param1 = 0)
    {
        m_closes = 0;
        const LRESULT result = raise(name, code, param1);
        while (PeekMessage(&m_msg, true)) {
            if (m_msg.message == WM_CLOSE && (m_msg.hwnd == frame() || m_msg.hwnd == notice()))
                ++m_closes;
            else
                DispatchMessage(&m_msg);
        }
        return {result, nextNotice()};
    }

    // The home panel as it was: no page view, the page area hidden.
    void expectHomePanel()
    {
        EXPECT_TRUE(visible("window_mid_part"));
        EXPECT_FALSE(visible("window_hwndobj"));
        EXPECT_EQ(nullptr, m_frame->CurrentPageView());
    }

    std::string pageAddress(const FunctionTile& tile) const { return std::string(kPageBase) + "/" + std::string(tile.page); }

    MSG m_msg{};
    int m_closes = 0;
};

const std::string kNotLoggedIn = CCodeLib::Utf8ToAnsi("哈哈哈,您还没有登陆啊！");
const std::string kNotAvailable = CCodeLib::Utf8ToAnsi("此功能尚未完善、敬请期待！");

// A row lost, doubled or answering the wrong code: every row names an element of the face
// once, and the element's other gestures do nothing at all, before and after a login.
TEST_F(EventTableTest, EveryRowIsOneElementOfTheFaceAndIgnoresOtherCodes)
{
    std::set<std::string> seen;
    for (const EventMapEntry<CMainFrame>* row = CMainFrame::EventTable(); row->pattern; ++row) {
        EXPECT_TRUE(seen.insert(row->pattern).second) << "two rows for " << row->pattern;
        EXPECT_NE(nullptr, element(row->pattern)) << row->pattern;
    }
    EXPECT_EQ(51u, seen.size());

    for (bool loggedIn : {false, true}) {
        if (loggedIn)
            logIn("今日计划：复习物权法");
        for (const EventMapEntry<CMainFrame>* row = CMainFrame::EventTable(); row->pattern; ++row) {
            SCOPED_TRACE(std::string(row->pattern) + (loggedIn ? " logged in" : " logged out"));
            homeFace();
            const std::size_t opened = platform::HeadlessOpenedAddresses().size();
            const Outcome outcome = fire(row->pattern, row->code == PE_ACTIVATE ? PE_CLICK : PE_ACTIVATE);
            EXPECT_EQ(0, outcome.result);
            EXPECT_EQ("", outcome.notice);
            expectHomePanel();
            EXPECT_EQ(opened, platform::HeadlessOpenedAddresses().size());
            EXPECT_EQ(loggedIn, m_frame->IsLoggedIn());
        }
    }
}

// Before a login every tile behind the gate shows the not-logged-in notice and changes
// nothing; the refusal answers -1 except for the quick help.
TEST_F(EventTableTest, BeforeLoginGatedTilesShowTheNoticeAndChangeNothing)
{
    const std::map<TileOpens, LRESULT> refusal = {
        {TileOpens::PageArea, -1}, {TileOpens::MessageWindow, -1}, {TileOpens::QuickHelp, 0}};
    for (const FunctionTile& tile : kFunctionTiles) {
        if (tile.opens == TileOpens::Browser)
            continue;
        SCOPED_TRACE(tile.element);
        homeFace();
        const std::size_t opened = platform::HeadlessOpenedAddresses().size();
        const Outcome outcome = fire(tile.element, tile.code);
        EXPECT_EQ(refusal.at(tile.opens), outcome.result);
        EXPECT_EQ(kNotLoggedIn, outcome.notice);
        expectHomePanel();
        EXPECT_EQ(opened, platform::HeadlessOpenedAddresses().size());
    }
}

// A logged-in member's page tile opens its page, with the cache-buster, in the page area;
// a tile whose function is not offered yet says so and changes nothing.
TEST_F(EventTableTest, LoggedInPageTilesOpenTheirPageInThePageArea)
{
    logIn("今日计划：复习物权法");
    for (const FunctionTile& tile : kFunctionTiles) {
        if (tile.opens != TileOpens::PageArea)
            continue;
        SCOPED_TRACE(tile.element);
        homeFace();
        const Outcome outcome = fire(tile.element, tile.code);
        if (tile.page.empty()) {
            EXPECT_EQ(-1, outcome.result);
            EXPECT_EQ(kNotAvailable, outcome.notice);
            expectHomePanel();
            continue;
        }
        EXPECT_EQ(0, outcome.result);
        EXPECT_EQ("", outcome.notice);
        ASSERT_NE(nullptr, m_frame->CurrentPageView());
        EXPECT_EQ(m_frame->CurrentPageView(), hosted());
        const std::string address = pageAddress(tile);
        const std::string expected =
            address + (address.find('?') == std::string::npos ? "?" : "&") + "randomtime=2013-05-06 07:08:09";
        EXPECT_EQ(std::vector<std::string>{expected}, platform::WebViewNavigations(hosted()));
        EXPECT_FALSE(visible("window_mid_part"));
        EXPECT_TRUE(visible("window_hwndobj"));
    }
}

// The message and quick-help tiles run their own window on their page (no cache-buster)
// and leave the page area alone.
TEST_F(EventTableTest, LoggedInWindowTilesRunTheirWindowOnTheirPage)
{
    const std::map<TileOpens, const char*> hostOf = {{TileOpens::MessageWindow, "window_message_hwndobj"},
                                                     {TileOpens::QuickHelp, "window_Yhelp_hwndobj"}};
    logIn("今日计划：复习物权法");
    int windows = 0;
    for (const FunctionTile& tile : kFunctionTiles) {
        if (!hostOf.count(tile.opens))
            continue;
        SCOPED_TRACE(tile.element);
        ++windows;
        homeFace();
        HWND modal = nullptr;
        std::vector<std::string> navigations;
        whenModalRuns([&](HWND active) {
            modal = active;
            if (Plugin* host = GetPluginByName(active, hostOf.at(tile.opens)))
                navigations = platform::WebViewNavigations(host->GetWindow());
            PostMessage(active, WM_CLOSE, 0, 0);
        });
        const Outcome outcome = fire(tile.element, tile.code);
        EXPECT_EQ(0, outcome.result);
        EXPECT_EQ("", outcome.notice);
        ASSERT_NE(nullptr, modal);
        EXPECT_NE(frame(), modal);
        EXPECT_FALSE(IsWindow(modal));
        EXPECT_EQ(std::vector<std::string>{pageAddress(tile)}, navigations);
        expectHomePanel();
    }
    EXPECT_EQ(2, windows);
}

// The browser tiles open their page in the browser, logged in or not, and leave the page
// area alone.
TEST_F(EventTableTest, BrowserTilesOpenTheirPageInEitherState)
{
    for (bool loggedIn : {false, true}) {
        if (loggedIn)
            logIn("今日计划：复习物权法");
        for (const FunctionTile& tile : kFunctionTiles) {
            if (tile.opens != TileOpens::Browser)
                continue;
            SCOPED_TRACE(std::string(tile.element) + (loggedIn ? " logged in" : " logged out"));
            homeFace();
            const std::size_t opened = platform::HeadlessOpenedAddresses().size();
            const Outcome outcome = fire(tile.element, tile.code);
            EXPECT_EQ(0, outcome.result);
            EXPECT_EQ("", outcome.notice);
            ASSERT_EQ(opened + 1, platform::HeadlessOpenedAddresses().size());
            EXPECT_EQ(pageAddress(tile), platform::HeadlessOpenedAddresses().back());
            expectHomePanel();
        }
    }
}

// The rows that are no tile, before and after a login. The tour's buttons run loops of
// their own (the login window after a first-start tour): frameservices_test covers them.
TEST_F(EventTableTest, OtherRowsDoTheirJobInEitherState)
{
    struct Case {
        const char* element;
        int code;
        bool sessionNotices; // the session may show notices of its own
        std::function<void(bool loggedIn)> arrange;
        std::function<void(bool loggedIn)> expect;
    };
    HWND modal = nullptr;
    bool tracked = false;
    Plugin* panel = nullptr;
    auto none = [](bool) {};
    auto hidePanel = [&](const char* button) {
        return [this, &panel, button](bool) {
            panel = element(button)->GetParent();
            panel->Show(1);
            element("window_mid_part")->Show(0);
        };
    };
    auto panelHidden = [&](bool) {
        EXPECT_FALSE(panel->IsVisible());
        EXPECT_TRUE(visible("window_mid_part"));
        EXPECT_EQ(nullptr, m_frame->CurrentPageView());
    };
    const Case cases[] = {
        {"window_sysmin", PE_CLICK, false, none,
         [&](bool) { EXPECT_TRUE(!IsWindowVisible(frame()) || IsIconic(frame())); }},
        {"window_sysmax", PE_TOGGLE, false, none, [&](bool) { EXPECT_TRUE(IsZoomed(frame())); }},
        {"window_sysclose", PE_CLICK, true, none,
         [&](bool) {
             EXPECT_FALSE(m_frame->IsLoggedIn());
             EXPECT_EQ(2, m_closes); // the main and the notice window
         }},
        {"window_return", PE_CLICK, false, [&](bool loggedIn) { pageOverHome(loggedIn); },
         [&](bool loggedIn) {
             expectHomePanel();
             EXPECT_EQ(nullptr, hosted());
             // Today's plan when the member has one, else the invitation to make one.
             EXPECT_EQ(loggedIn, visible("window_menu"));
             EXPECT_EQ(!loggedIn, visible("window_moren"));
         }},
        {"window_vip", PE_CLICK, false,
         [&](bool) {
             whenModalRuns([&](HWND active) {
                 modal = active;
                 PostMessage(active, WM_CLOSE, 0, 0);
             });
         },
         [&](bool loggedIn) {
             EXPECT_NE(nullptr, modal); // the login window ran
             EXPECT_NE(frame(), modal);
             EXPECT_TRUE(visible("window_mask"));
             EXPECT_TRUE(visible("window_mid_part"));
             EXPECT_EQ(nullptr, m_frame->CurrentPageView());
             EXPECT_EQ(loggedIn, m_frame->IsLoggedIn()); // its result is not used
         }},
        {"window_ZC_returnbj", PE_CLICK, false, hidePanel("window_ZC_returnbj"), panelHidden},
        {"window_MN_returnbj", PE_CLICK, false, hidePanel("window_MN_returnbj"), panelHidden},
        {"window_last", PE_CLICK, true, none,
         [&](bool) {
             EXPECT_FALSE(m_frame->IsLoggedIn());
             expectHomePanel();
         }},
        {"window_syshelp", PE_CLICK, false, [&](bool loggedIn) { pageOverHome(loggedIn); },
         [&](bool) {
             EXPECT_TRUE(visible("window_guidance_parent"));
             EXPECT_TRUE(visible("window_mid_part"));
             EXPECT_FALSE(IsWindow(hosted()));
             EXPECT_EQ(nullptr, m_frame->CurrentPageView());
         }},
        {"window_sysset", PE_ACTIVATE, false,
         [&](bool) {
             // A click on the main window away from the drop-down ends its tracking.
             whenModalRuns([&](HWND) {
                 tracked = true;
                 PostMessage(frame(), WM_LBUTTONDOWN, 0, MAKELPARAM(20, 400));
                 PostMessage(frame(), WM_LBUTTONUP, 0, MAKELPARAM(20, 400));
             });
         },
         [&](bool) {
             EXPECT_TRUE(tracked); // the handler returned only once the click had ended it
             expectHomePanel();
         }},
    };
    for (bool loggedIn : {false, true}) {
        for (const Case& c : cases) {
            SCOPED_TRACE(std::string(c.element) + (loggedIn ? " logged in" : " logged out"));
            if (loggedIn && !m_frame->IsLoggedIn())
                logIn("今日计划：复习物权法");
            homeFace();
            modal = nullptr;
            tracked = false;
            c.arrange(loggedIn);
            const std::size_t opened = platform::HeadlessOpenedAddresses().size();
            const Outcome outcome = fire(c.element, c.code, c.code == PE_TOGGLE ? 1 : 0);
            EXPECT_EQ(0, outcome.result);
            if (!c.sessionNotices) {
                EXPECT_EQ("", outcome.notice);
            }
            c.expect(loggedIn);
            EXPECT_EQ(opened, platform::HeadlessOpenedAddresses().size());
            ASSERT_TRUE(IsWindow(frame()));
        }
    }
}

} // namespace
