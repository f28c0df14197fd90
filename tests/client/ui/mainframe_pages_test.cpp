// The main window's pages on the headless window system with the shipped skin: the one
// hosted page view and the current page view, page addresses with the cache-buster, the
// browser pages, the way back home, and the message and quick-help windows.
#include "SessionFixture.h"

#include "client/service/RequestText.h"
#include "client/ui/HtmlView.h"
#include "client/ui/MainFrame.h"
#include "client/ui/WndMessage.h"
#include "client/ui/WndYhelp.h"
#include "platform/window/WebView.h"

#include <chrono>
#include <functional>
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

// What an element's event does to the face, by the member's state.
enum class Does {
    Page,          // opens its page in the page area (answer 0)
    NotLoggedIn,   // the not-logged-in notice, nothing else (answer -1)
    HelpRefused,   // the not-logged-in notice, nothing else (answer 0)
    NotAvailable,  // the not-yet-available notice, nothing else (answer -1)
    Browser,       // opens its page in the member's browser (answer 0)
    MessageWindow, // runs the message window on its page (answer 0)
    HelpWindow,    // runs the quick-help window on its page (answer 0)
    Home,          // back to the home panel (answer 0)
    PanelHome,     // hides its panel, shows the home panel (answer 0)
    MemberButton,  // the login window over the home panel and the mask (session)
    LogOut,        // logs out (session)
    Minimise,      // the main window leaves the screen for the tray (frame services)
    Maximise,      // the toggle's new state 1 maximises (frame services)
    Close,         // logs out; close requests to the main and the notice window (frame services)
    HelpTour,      // the tour from help over the home panel, the page gone (tour)
    DropDown,      // the settings drop-down, tracked until a click outside it (frame services)
    Owner,         // the tour's buttons: frameservices_test covers them; here only: no
                   // page, no notice
};

struct Row {
    int number;
    const char* element;
    int code;
    Does loggedOut;
    Does loggedIn;
    const char* page; // the page name, for the rows that open one
};

// All 51 rows of the main window's event table, in their order.
const Row kRows[] = {
    {1, "window_sysmin", PE_CLICK, Does::Minimise, Does::Minimise, nullptr},
    {2, "window_sysmax", PE_TOGGLE, Does::Maximise, Does::Maximise, nullptr},
    {3, "window_sysclose", PE_CLICK, Does::Close, Does::Close, nullptr},
    {4, "window_yijianbangzhu", PE_CLICK, Does::HelpRefused, Does::HelpWindow, "fastHelp_showHelpPage.htm"},
    {5, "window_makeplan", PE_CLICK, Does::NotLoggedIn, Does::Page, "./rule_planStudy.htm"},
    {6, "window_return", PE_CLICK, Does::Home, Does::Home, nullptr},
    {7, "window_vip", PE_CLICK, Does::MemberButton, Does::MemberButton, nullptr},
    {8, "window_vip_forget", PE_CLICK, Does::Browser, Does::Browser, "pass_password.htm"},
    {9, "window_vip_register", PE_CLICK, Does::Browser, Does::Browser, "member_registe.htm"},
    {10, "window_ZC_returnbj", PE_CLICK, Does::PanelHome, Does::PanelHome, nullptr},
    {11, "window_MN_returnbj", PE_CLICK, Does::PanelHome, Does::PanelHome, nullptr},
    {12, "window_kaodian", PE_CLICK, Does::NotLoggedIn, Does::Page, "testSites_sitesList.htm"},
    {13, "window_fatiao", PE_CLICK, Does::NotLoggedIn, Does::Page, "regulation_showList.htm"},
    {14, "window_zhenti", PE_CLICK, Does::NotLoggedIn, Does::Page, "examPaper_getList.htm"},
    {15, "window_dagang", PE_CLICK, Does::NotLoggedIn, Does::Page, "outline_list.htm"},
    {16, "window_wodeziliao", PE_CLICK, Does::NotLoggedIn, Does::Page, "./resource_index.htm"},
    {17, "window_liaotianshi", PE_CLICK, Does::NotLoggedIn, Does::Page, "./chat_index.htm"},
    {18, "window_ziwoceshi", PE_CLICK, Does::NotLoggedIn, Does::Page, "testself_showList.htm"},
    {19, "window_wenda", PE_CLICK, Does::NotLoggedIn, Does::Page, "discuss_index.htm"},
    {20, "window_yinpin", PE_CLICK, Does::NotLoggedIn, Does::NotAvailable, nullptr},
    {21, "window_jihua", PE_CLICK, Does::NotLoggedIn, Does::Page, "./rule_planStudy.htm"},
    {22, "window_fudao", PE_CLICK, Does::NotLoggedIn, Does::NotAvailable, nullptr},
    {23, "window_dayin", PE_CLICK, Does::NotLoggedIn, Does::Page, "./print_index.htm"},
    {24, "window_molikaochang", PE_CLICK, Does::NotLoggedIn, Does::Page, "simExam_showSimExamList.htm"},
    {25, "window_button_step1", PE_CLICK, Does::Owner, Does::Owner, nullptr},
    {26, "window_button_step21", PE_CLICK, Does::Owner, Does::Owner, nullptr},
    {27, "window_button_step31", PE_CLICK, Does::Owner, Does::Owner, nullptr},
    {28, "window_button_step41", PE_CLICK, Does::Owner, Does::Owner, nullptr},
    {29, "window_button_step51", PE_CLICK, Does::Owner, Does::Owner, nullptr},
    {30, "window_button_step22", PE_CLICK, Does::Owner, Does::Owner, nullptr},
    {31, "window_button_step32", PE_CLICK, Does::Owner, Does::Owner, nullptr},
    {32, "window_button_step42", PE_CLICK, Does::Owner, Does::Owner, nullptr},
    {33, "window_button_step52", PE_CLICK, Does::Owner, Does::Owner, nullptr},
    {34, "window_button_step6", PE_CLICK, Does::Owner, Does::Owner, nullptr},
    {35, "window_email", PE_CLICK, Does::NotLoggedIn, Does::MessageWindow, "shortMessage_receivedBox.htm"},
    {36, "window_person", PE_CLICK, Does::NotLoggedIn, Does::Page, "memberCenter_testCenter.htm"},
    {37, "window_last", PE_CLICK, Does::LogOut, Does::LogOut, nullptr},
    {38, "window_review", PE_CLICK, Does::NotLoggedIn, Does::Page, "./rule_showReview.htm"},
    {39, "window_checkpoint", PE_CLICK, Does::NotLoggedIn, Does::Page, "./rule_showPoint.htm"},
    {40, "window_audio", PE_CLICK, Does::NotLoggedIn, Does::Page, "./rule_showAudio.htm"},
    {41, "window_rechtssatz", PE_CLICK, Does::NotLoggedIn, Does::Page, "./rule_showLaw.htm"},
    {42, "window_testyourself", PE_CLICK, Does::NotLoggedIn, Does::Page, "./rule_showPep.htm"},
    {43, "window_question", PE_CLICK, Does::NotLoggedIn, Does::Page, "discuss_index.htm"},
    {44, "window_chongzhigoumai", PE_CLICK, Does::NotLoggedIn, Does::Page, "./orders_index.htm"},
    {45, "window_shousuo", PE_CLICK, Does::NotLoggedIn, Does::Page, "softSearch_searchList.htm"},
    {46, "window_shipin", PE_CLICK, Does::NotLoggedIn, Does::Page, "./video_index.htm?rid=1&year=2012"},
    {47, "window_syshelp", PE_CLICK, Does::HelpTour, Does::HelpTour, nullptr},
    {48, "window_sysset", PE_ACTIVATE, Does::DropDown, Does::DropDown, nullptr},
    {49, "window_monishiti", PE_ACTIVATE, Does::NotLoggedIn, Does::Page, "./simSite_toIndex.htm"},
    {50, "window_quanzi", PE_ACTIVATE, Does::NotLoggedIn, Does::Page, "./group_myGroup.htm"},
    {51, "window_monishijuan", PE_ACTIVATE, Does::NotLoggedIn, Does::Page, "./examPaper_showSimPaperList.htm"},
};

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
        while (PeekMessage(&m_msg, true)) {} // nothing queued from the row before
        waitNoticeGone();
    }

    // Serves what an event left queued, except the close requests of the close button's
    // row (to the main and the notice window, counted in m_closes), and lets a notice come
    // up; answers its text.
    std::string settle()
    {
        while (PeekMessage(&m_msg, true)) {
            if (m_msg.message == WM_CLOSE && (m_msg.hwnd == frame() || m_msg.hwnd == notice()))
                ++m_closes;
            else
                DispatchMessage(&m_msg);
        }
        return nextNotice();
    }

    void check(const Row& row, bool loggedIn)
    {
        const Does does = loggedIn ? row.loggedIn : row.loggedOut;
        // Their handlers run loops of their own (drop-down tracking, the login window after
        // the tour) and close windows: frameservices_test covers them.
        if (does == Does::Owner)
            return;
        const std::string address = row.page ? std::string(kPageBase) + "/" + row.page : std::string();
        const std::size_t opened = platform::HeadlessOpenedAddresses().size();
        Plugin* panel = element(row.element)->GetParent();
        if (does == Does::PanelHome) {
            panel->Show(1);
            element("window_mid_part")->Show(0);
        }
        if (does == Does::Home || does == Does::HelpTour) {
            m_frame->HostPage(m_frame->PageAddress("a.htm"), true);
            element("window_mid_part")->Show(0);
            element("window_hwndobj")->Show(1);
            // The wrong one of plan and invitation up (as the tour may leave them).
            element("window_menu")->Show(loggedIn ? 0 : 1);
            element("window_moren")->Show(loggedIn ? 1 : 0);
        }

        HWND modal = nullptr;
        HWND modalView = nullptr;
        std::vector<std::string> modalNavigations;
        if (does == Does::Owner) {
            // The end of a tour may run the login window: close whatever window comes up.
            whenModalRuns([&](HWND active) {
                if (active && active != frame())
                    PostMessage(active, WM_CLOSE, 0, 0);
            });
        }
        bool tracked = false;
        if (does == Does::DropDown) {
            // A click on the main window away from the drop-down ends its tracking.
            whenModalRuns([&](HWND) {
                tracked = true;
                PostMessage(frame(), WM_LBUTTONDOWN, 0, MAKELPARAM(20, 400));
                PostMessage(frame(), WM_LBUTTONUP, 0, MAKELPARAM(20, 400));
            });
        }
        if (does == Does::MessageWindow || does == Does::HelpWindow || does == Does::MemberButton) {
            whenModalRuns([&](HWND active) {
                modal = active;
                const char* host = does == Does::MessageWindow ? "window_message_hwndobj"
                                   : does == Does::HelpWindow  ? "window_Yhelp_hwndobj"
                                                               : "landing_advantage_obj";
                if (Plugin* e = GetPluginByName(active, host))
                    modalView = e->GetWindow();
                modalNavigations = platform::WebViewNavigations(modalView);
                PostMessage(active, WM_CLOSE, 0, 0);
            });
        }

        m_closes = 0;
        const LRESULT result = raise(row.element, row.code, row.code == PE_TOGGLE ? 1 : 0);
        const std::string notice = settle();

        const bool refused = does == Does::NotLoggedIn || does == Does::NotAvailable;
        EXPECT_EQ(refused ? -1 : 0, result);
        switch (does) {
        case Does::NotLoggedIn:
        case Does::HelpRefused:
            EXPECT_EQ(gbk("哈哈哈,您还没有登陆啊！"), notice);
            break;
        case Does::NotAvailable:
            EXPECT_EQ(gbk("此功能尚未完善、敬请期待！"), notice);
            break;
        case Does::LogOut:
        case Does::Close:
            break; // the session's own notices, if any
        default:
            EXPECT_EQ("", notice);
        }
        if (refused || does == Does::HelpRefused) {
            EXPECT_TRUE(visible("window_mid_part"));
            EXPECT_FALSE(visible("window_hwndobj"));
        }

        switch (does) {
        case Does::Page: {
            const std::string expected = address + (std::string(row.page).find('?') == std::string::npos ? "?" : "&")
                                         + "randomtime=2013-05-06 07:08:09";
            ASSERT_NE(nullptr, m_frame->CurrentPageView());
            EXPECT_EQ(m_frame->CurrentPageView(), hosted());
            EXPECT_EQ(std::vector<std::string>{expected}, platform::WebViewNavigations(hosted()));
            EXPECT_FALSE(visible("window_mid_part"));
            EXPECT_TRUE(visible("window_hwndobj"));
            break;
        }
        case Does::Browser:
            ASSERT_EQ(opened + 1, platform::HeadlessOpenedAddresses().size());
            EXPECT_EQ(address, platform::HeadlessOpenedAddresses().back());
            EXPECT_TRUE(visible("window_mid_part"));
            break;
        case Does::MessageWindow:
        case Does::HelpWindow:
            ASSERT_NE(nullptr, modal);
            EXPECT_NE(frame(), modal);
            EXPECT_EQ(std::vector<std::string>{address}, modalNavigations); // no cache-buster
            EXPECT_FALSE(IsWindow(modal));
            EXPECT_TRUE(visible("window_mid_part")); // the page area stays as it was
            EXPECT_FALSE(visible("window_hwndobj"));
            break;
        case Does::Home:
            EXPECT_TRUE(visible("window_mid_part"));
            EXPECT_FALSE(visible("window_hwndobj"));
            EXPECT_EQ(nullptr, m_frame->CurrentPageView());
            EXPECT_EQ(nullptr, hosted());
            // Today's plan when the member has one, else the invitation to make one.
            EXPECT_EQ(loggedIn, visible("window_menu"));
            EXPECT_EQ(!loggedIn, visible("window_moren"));
            break;
        case Does::PanelHome:
            EXPECT_FALSE(panel->IsVisible());
            EXPECT_TRUE(visible("window_mid_part"));
            break;
        case Does::MemberButton:
            EXPECT_NE(nullptr, modal); // the login window ran
            EXPECT_NE(frame(), modal);
            EXPECT_TRUE(visible("window_mask"));
            EXPECT_TRUE(visible("window_mid_part"));
            EXPECT_EQ(nullptr, m_frame->CurrentPageView());
            EXPECT_EQ(loggedIn, m_frame->IsLoggedIn()); // its result is not used
            break;
        case Does::LogOut:
            EXPECT_FALSE(m_frame->IsLoggedIn());
            EXPECT_TRUE(visible("window_mid_part"));
            EXPECT_FALSE(visible("window_hwndobj"));
            break;
        case Does::Minimise:
            EXPECT_TRUE(!IsWindowVisible(frame()) || IsIconic(frame()));
            break;
        case Does::Maximise:
            EXPECT_TRUE(IsZoomed(frame()));
            break;
        case Does::Close:
            EXPECT_FALSE(m_frame->IsLoggedIn());
            EXPECT_EQ(2, m_closes);
            break;
        case Does::DropDown:
            EXPECT_TRUE(tracked); // the handler returned only once the click had ended it
            EXPECT_TRUE(visible("window_mid_part"));
            break;
        case Does::HelpTour:
            EXPECT_TRUE(visible("window_guidance_parent"));
            EXPECT_TRUE(visible("window_mid_part"));
            EXPECT_FALSE(IsWindow(hosted()));
            EXPECT_EQ(nullptr, m_frame->CurrentPageView());
            break;
        default:
            break;
        }
        if (does == Does::Owner || does == Does::DropDown || refused || does == Does::Browser
            || does == Does::PanelHome)
            EXPECT_EQ(nullptr, m_frame->CurrentPageView());
        if (does != Does::Browser)
            EXPECT_EQ(opened, platform::HeadlessOpenedAddresses().size());
    }

    // The same element with a code its row does not answer: nothing happens at all.
    void checkOtherCode(const Row& row)
    {
        const int other = row.code == PE_ACTIVATE ? PE_CLICK : PE_ACTIVATE;
        const std::size_t opened = platform::HeadlessOpenedAddresses().size();
        EXPECT_EQ(0, raise(row.element, other));
        EXPECT_EQ("", settle());
        EXPECT_EQ(nullptr, m_frame->CurrentPageView());
        EXPECT_TRUE(visible("window_mid_part"));
        EXPECT_EQ(opened, platform::HeadlessOpenedAddresses().size());
    }

    MSG m_msg{};
    int m_closes = 0;
};

TEST_F(EventTableTest, EveryRowBeforeAndAfterLogin)
{
    for (bool loggedIn : {false, true}) {
        for (const Row& row : kRows) {
            SCOPED_TRACE(std::to_string(row.number) + " " + row.element + (loggedIn ? " logged in" : " logged out"));
            ASSERT_NE(nullptr, element(row.element));
            if (loggedIn && !m_frame->IsLoggedIn())
                logIn("今日计划：复习物权法");
            homeFace();
            checkOtherCode(row);
            homeFace();
            check(row, loggedIn);
            ASSERT_TRUE(IsWindow(frame()));
        }
    }
}

} // namespace
