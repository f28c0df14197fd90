// The main window's pages on the headless window system with the shipped skin: the one
// hosted page view and the current page view, page addresses with the cache-buster, the
// browser pages, the way back home, and the message and quick-help windows.
#include "TempDir.h"
#include "WindowTestSupport.h"

#include "client/ui/HtmlView.h"
#include "client/ui/MainFrame.h"
#include "client/ui/WndMessage.h"
#include "client/ui/WndYhelp.h"
#include "dulib/dulib.h"
#include "platform/window/WebView.h"

#include <chrono>
#include <functional>
#include <thread>

namespace {

constexpr const char* kPageBase = "http://host:81/soft";

class MainFramePagesTest : public testsupport::HeadlessWindowTest {
protected:
    void SetUp() override
    {
        HeadlessWindowTest::SetUp();
        m_skin = LoadStyleA(KAVREL_SOURCE_DIR "/skin/config.xml");
        ASSERT_TRUE(m_skin->GetError().empty()) << m_skin->GetError();
        m_dir.write("domain.vmx", "<VelmarRoot><url><domain>http://host:81</domain><posturl>service/post</posturl>"
                                  "<domain_soft>http://host:81/soft</domain_soft></url></VelmarRoot>");
        m_frame = std::make_unique<CMainFrame>(m_dir.folder(), m_skin);
        ASSERT_TRUE(m_frame->Create());
        m_frame->ShowWindow(SW_SHOW);
        // A still clock: page addresses become exact.
        m_frame->PageClock().SetPaused(true);
        ASSERT_TRUE(m_frame->PageClock().SetFromText("2013-05-06 07:08:09"));
    }
    void TearDown() override
    {
        m_frame.reset();
        HeadlessWindowTest::TearDown();
        dulib::FreeSkin(m_skin);
    }

    HWND hwnd() const { return m_frame->GetSafeHwnd(); }
    Plugin* element(const char* name) const { return GetPluginByName(hwnd(), name); }
    bool visible(const char* name) const { return element(name) && element(name)->IsVisible(); }
    HWND hosted() const { return element("hwndobj_main_lobby_left")->GetWindow(); }

    LRESULT raise(const char* name, int code, int param1 = 0)
    {
        PluginEvent event{code, param1, 0};
        return SendMessage(hwnd(), WM_SKINEVENT, reinterpret_cast<WPARAM>(element(name)),
                           reinterpret_cast<LPARAM>(&event));
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

    testsupport::TempDir m_dir;
    SkinManager* m_skin = nullptr;
    std::unique_ptr<CMainFrame> m_frame;
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

} // namespace
