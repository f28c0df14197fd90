// The web view and HostWebPage on the headless window system (a recording browser).
#include "client/ui/HtmlView.h"

#include "client/service/ServerClock.h"
#include "dulib/dulib.h"
#include "platform/window/WebView.h"

#include "WindowTestSupport.h"

#include <chrono>

namespace {

struct BusterCase {
    const char* label;
    const char* address;
    const char* expected;
};

class CacheBusterTest : public ::testing::TestWithParam<BusterCase> {};

TEST_P(CacheBusterTest, AppendsWithTheRightSeparatorUnencoded)
{
    EXPECT_EQ(GetParam().expected, AddCacheBuster(GetParam().address, "2013-05-06 07:08:09"));
}

INSTANTIATE_TEST_SUITE_P(
    Addresses, CacheBusterTest,
    ::testing::Values(
        BusterCase{"no_query", "http://127.0.0.1:8080/pages/testSites_sitesList.htm",
                   "http://127.0.0.1:8080/pages/testSites_sitesList.htm?randomtime=2013-05-06 07:08:09"},
        BusterCase{"with_query", "http://127.0.0.1:8080/pages/./video_index.htm?rid=1&year=2012",
                   "http://127.0.0.1:8080/pages/./video_index.htm?rid=1&year=2012&randomtime=2013-05-06 07:08:09"},
        BusterCase{"empty_query", "a.htm?", "a.htm?&randomtime=2013-05-06 07:08:09"}),
    [](const ::testing::TestParamInfo<BusterCase>& row) { return row.param.label; });

// The progress a download notice shows: the sizes by their unit, a share that never
// passes 100 %, and only the bytes so far when the answer named no size.
TEST(DownloadProgressText, ShowsShareAndSizesOrTheBytesSoFar)
{
    struct Case {
        std::uint64_t received, total;
        const char* expected;
    };
    const Case cases[] = {
        {0, 0, "f.zip 0 B"},
        {1023, 0, "f.zip 1023 B"},
        {348160, 0, "f.zip 340 KB"},
        {0, 2831155, "f.zip 0% (0 B / 2.7 MB)"},
        {1258291, 2831155, "f.zip 44% (1.2 MB / 2.7 MB)"},
        {2831155, 2831155, "f.zip 100% (2.7 MB / 2.7 MB)"},
        {5000, 4000, "f.zip 100% (4 KB / 3 KB)"},
        {std::uint64_t{1} << 62, std::uint64_t{1} << 63, "f.zip 50% (4398046511104.0 MB / 8796093022208.0 MB)"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.expected);
        EXPECT_EQ(c.expected, DownloadProgressText("f.zip", c.received, c.total));
    }
}

class HostWebPageTest : public testsupport::HeadlessWindowTest {
protected:
    void SetUp() override
    {
        HeadlessWindowTest::SetUp();
        m_skin = LoadStyleA(KAVREL_SOURCE_DIR "/skin/config.xml");
        ASSERT_TRUE(m_skin->GetError().empty()) << m_skin->GetError();
        m_owner = makeWindow();
        ASSERT_NE(0, WindowManager_Attach(m_skin, m_owner, "MainFrame_Window"));
        ASSERT_TRUE(m_clock.SetFromText("2013-05-06 07:08:09"));
    }
    void TearDown() override
    {
        DestroyWindow(m_owner);
        HeadlessWindowTest::TearDown();
        dulib::FreeSkin(m_skin);
    }

    SkinManager* m_skin = nullptr;
    HWND m_owner = nullptr;
    CServerClock m_clock{std::chrono::milliseconds(0)}; // moves only by Tick
};

TEST_F(HostWebPageTest, FunctionPageGetsCacheBusterAndLandsOnHostElement)
{
    // The page panel is shown, as the main window does before it opens a page.
    GetPluginByName(m_owner, "window_hwndobj")->Show(1);
    ShowWindow(m_owner, SW_SHOW);
    CKavrelHtmlView* view = nullptr;
    ASSERT_EQ(0, HostWebPage(m_owner, "MainFrame_Window", "hwndobj_main_lobby_left", 1000,
                             "http://127.0.0.1/pages/testSites_sitesList.htm", &m_clock, &view));
    ASSERT_NE(nullptr, view);
    HWND hwnd = view->m_hWnd;
    std::vector<std::string> expected = {"http://127.0.0.1/pages/testSites_sitesList.htm?randomtime=2013-05-06 07:08:09"};
    EXPECT_EQ(expected, platform::WebViewNavigations(hwnd));
    EXPECT_EQ(expected[0], view->GetLocationURL());
    EXPECT_EQ(1000, GetDlgCtrlID(hwnd));
    EXPECT_EQ(m_owner, GetParent(hwnd));

    Plugin* host = GetPluginByName(m_owner, "hwndobj_main_lobby_left");
    ASSERT_NE(nullptr, host);
    EXPECT_EQ(hwnd, host->GetWindow());
    EXPECT_TRUE(IsWindowVisible(hwnd));
    RECT place, window;
    host->GetRect(&place);
    GetWindowRect(hwnd, &window);
    RECT ownerRect;
    GetWindowRect(m_owner, &ownerRect);
    EXPECT_EQ(place.left, window.left - ownerRect.left);
    EXPECT_EQ(place.width(), window.width());

    // The parent hears of the page.
    pumpAll();
    bool finished = false;
    for (const auto& r : received(platform::WebViewNotifyMessage()))
        finished |= r.hwnd == m_owner && r.wParam == reinterpret_cast<WPARAM>(hwnd) && r.lParam == platform::WebViewLoadFinished;
    EXPECT_TRUE(finished);
}

TEST_F(HostWebPageTest, WithoutCacheBusterAddressIsUnchangedAndOpeningsDiffer)
{
    CKavrelHtmlView* view = nullptr;
    const std::string external = "http://127.0.0.1/extlogin.htm?from=qq&back=a b";
    ASSERT_EQ(0, HostWebPage(m_owner, "MainFrame_Window", "hwndobj_main_lobby_left", 1000, external, nullptr, &view));
    EXPECT_EQ(std::vector<std::string>{external}, platform::WebViewNavigations(view->m_hWnd));

    CKavrelHtmlView* first = nullptr;
    CKavrelHtmlView* second = nullptr;
    ASSERT_EQ(0, HostWebPage(m_owner, "MainFrame_Window", "hwndobj_main_lobby_left", 1000, "p.htm", &m_clock, &first));
    m_clock.Tick();
    ASSERT_EQ(0, HostWebPage(m_owner, "MainFrame_Window", "hwndobj_main_lobby_left", 1000, "p.htm", &m_clock, &second));
    EXPECT_NE(platform::WebViewNavigations(first->m_hWnd), platform::WebViewNavigations(second->m_hWnd));
}

TEST_F(HostWebPageTest, ViewDiesWithItsOwnerAndDeletesItself)
{
    CKavrelHtmlView* view = nullptr;
    ASSERT_EQ(0, HostWebPage(m_owner, "MainFrame_Window", "hwndobj_main_lobby_left", 1000, "p.htm", nullptr, &view));
    HWND hwnd = view->m_hWnd;
    EXPECT_EQ(view, CWnd::FromHandle(hwnd));
    DestroyWindow(m_owner);
    EXPECT_FALSE(IsWindow(hwnd));
    EXPECT_EQ(nullptr, CWnd::FromHandle(hwnd));
    EXPECT_FALSE(platform::IsWebView(hwnd));
}

TEST_F(HostWebPageTest, MissingOwnerFailsAndMissingElementsStillNavigate)
{
    HWND gone = makeWindow();
    DestroyWindow(gone);
    CKavrelHtmlView* view = reinterpret_cast<CKavrelHtmlView*>(1);
    EXPECT_EQ(-1, HostWebPage(gone, "MainFrame_Window", "hwndobj_main_lobby_left", 1000, "p.htm", nullptr, &view));
    EXPECT_EQ(nullptr, view);

    HWND bare = makeWindow(); // no layout: no root, no host
    ASSERT_EQ(0, HostWebPage(bare, "MainFrame_Window", "hwndobj_main_lobby_left", 2000, "q.htm", nullptr, &view));
    ASSERT_NE(nullptr, view);
    EXPECT_EQ(std::vector<std::string>{"q.htm"}, platform::WebViewNavigations(view->m_hWnd));
    EXPECT_FALSE(IsWindowVisible(view->m_hWnd));
}

} // namespace
