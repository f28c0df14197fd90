// The study pages on the X server against the dev service on a free loopback port: real
// WebKit views, real HTTP, clicks and keys made by the X server's test extension.
// KAVREL_SCREENSHOT_DIR=<folder> keeps a picture of each window once its page is shown.
// Before any X11 header, whose macros (Success) clash with the HTTP library's names.
#include "LoopbackHttpServer.h"

#include "DevServiceFixture.h"
#include "DomainVmx.h"
#include "GtkTestSupport.h"
#include "LoopbackSocket.h"
#include "StudyPageOnScreen.h"
#include "TempDir.h"
#include "TestCertificates.h"

#include "client/service/CookieJar.h"
#include "client/service/RequestWorker.h"
#include "client/settings/Settings.h"
#include "client/ui/HtmlView.h"
#include "client/ui/MainFrame.h"
#include "client/ui/WndLoginsysnew.h"
#include "client/ui/WndMessage.h"
#include "client/ui/WndYhelp.h"
#include "devservice/StudyPages.h"
#include "dulib/dulib.h"
#include "platform/window/DesktopShell.h"
#include "platform/CodeLib.h"
#include "platform/window/WebView.h"

#include <X11/keysym.h>
#include <gtk/gtkunixprint.h>

#include <csignal>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <thread>
#include <cstdlib>
#include <deque>
#include <fstream>
#include <functional>
#include <memory>
#include <regex>
#include <string>

namespace {

// Steps run one after another from a timer on a window of their own, so they also run
// inside the modal loops the steps start. A step answers true when it is done; a script
// that is not done by its deadline calls `expired` (which must end any modal run).
class Script {
public:
    using Step = std::function<bool()>;

    Script()
    {
        m_hwnd = CreateWindowEx(0, "", WS_POPUP, 0, 0, 1, 1, nullptr, 0,
                                [this](HWND h, UINT m, WPARAM w, LPARAM l) -> LRESULT {
                                    if (m == WM_TIMER && w == 1) {
                                        tick();
                                        return 0;
                                    }
                                    return DefWindowProc(h, m, w, l);
                                });
    }
    ~Script() { DestroyWindow(m_hwnd); }

    void then(Step step) { m_steps.push_back(std::move(step)); }
    void start(int timeoutMs, std::function<void()> expired)
    {
        m_deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
        m_expired = std::move(expired);
        SetTimer(m_hwnd, 1, 20);
    }
    bool finished() const { return m_steps.empty(); }
    bool timedOut() const { return m_timedOut; }
    std::size_t remaining() const { return m_steps.size(); }

private:
    void tick()
    {
        if (m_steps.empty())
            return;
        if (std::chrono::steady_clock::now() > m_deadline) {
            m_timedOut = true;
            m_steps.clear();
            KillTimer(m_hwnd, 1);
            if (m_expired)
                m_expired();
            return;
        }
        if (m_steps.front()())
            m_steps.pop_front();
        if (m_steps.empty())
            KillTimer(m_hwnd, 1);
    }

    HWND m_hwnd = nullptr;
    std::deque<Step> m_steps;
    std::chrono::steady_clock::time_point m_deadline;
    std::function<void()> m_expired;
    bool m_timedOut = false;
};

// A key pressed and released on the X server, going to the window that has the focus;
// with a modifier (XK_Control_L, XK_Alt_L) held down around it when given.
void pressKey(KeySym key, KeySym modifier = NoSymbol)
{
    Display* dpy = gdk_x11_display_get_xdisplay(gdk_display_get_default());
    const KeyCode code = XKeysymToKeycode(dpy, key);
    const KeyCode held = modifier == NoSymbol ? 0 : XKeysymToKeycode(dpy, modifier);
    if (held)
        XTestFakeKeyEvent(dpy, held, True, CurrentTime);
    XTestFakeKeyEvent(dpy, code, True, CurrentTime);
    XTestFakeKeyEvent(dpy, code, False, CurrentTime);
    if (held)
        XTestFakeKeyEvent(dpy, held, False, CurrentTime);
    XFlush(dpy);
}

// The centre of a skin element in the client coordinates of its window.
POINT centreOf(HWND window, const char* name)
{
    RECT r{};
    if (Plugin* e = GetPluginByName(window, name))
        e->GetRect(&r);
    return POINT{(r.left + r.right) / 2, (r.top + r.bottom) / 2};
}

void clickElement(HWND window, const char* name)
{
    const POINT p = centreOf(window, name);
    testsupport::GtkWindowTest::clickAt(platform::NativeWindowId(window), p.x, p.y);
}

// A page of the dev service is drawn in the view.
bool pageDrawnIn(HWND view)
{
    RECT r{};
    return IsWindow(view) && IsWindowVisible(view) && GetWindowRect(view, &r) && testsupport::studyPageShown(r);
}

// How many pixels of the view's area are dark (text): a blank view has none.
int darkPixelsIn(HWND view)
{
    if (!IsWindow(view) || !IsWindowVisible(view))
        return 0;
    RECT r{};
    GetWindowRect(view, &r);
    GdkPixbuf* shot = gdk_pixbuf_get_from_window(gdk_get_default_root_window(), r.left, r.top, r.width(), r.height());
    if (!shot)
        return 0;
    const int channels = gdk_pixbuf_get_n_channels(shot), stride = gdk_pixbuf_get_rowstride(shot);
    const guchar* pixels = gdk_pixbuf_get_pixels(shot);
    int dark = 0;
    for (int y = 0; y < gdk_pixbuf_get_height(shot); ++y) {
        for (int x = 0; x < gdk_pixbuf_get_width(shot); ++x) {
            const guchar* p = pixels + y * stride + x * channels;
            dark += (p[0] + p[1] + p[2]) < 3 * 100;
        }
    }
    g_object_unref(shot);
    return dark;
}

void screenshot(HWND window, const std::string& name)
{
    const char* dir = std::getenv("KAVREL_SCREENSHOT_DIR");
    if (!dir || !IsWindow(window))
        return;
    RECT r{};
    GetWindowRect(window, &r);
    testsupport::saveScreen(std::string(dir) + "/" + name + ".png", r.left, r.top, r.width(), r.height());
}

class PagesDisplayTest : public testsupport::GtkWindowTest {
protected:
    void SetUp() override
    {
        GtkWindowTest::SetUp();
        if (IsSkipped())
            return;
        ASSERT_TRUE(m_service.started());
        // As the program does at start: the views and the transport keep one session.
        static const bool shared = (ShareCookiesWithWebViews(""), true);
        (void)shared;
        m_skin = LoadStyleA(KAVREL_SOURCE_DIR "/skin/config.xml");
        ASSERT_TRUE(m_skin->GetError().empty()) << m_skin->GetError();
        const std::string site = m_service->siteBase();
        m_dir.write("domain.vmx", testsupport::domainVmx(site, testsupport::kWebAddress, m_service->pageBaseAddress()));
        m_worker = std::make_unique<CRequestWorker>(m_dir.folder());
        m_frame = std::make_unique<CMainFrame>(m_dir.folder(), m_skin);
        m_frame->UseRequestWorker(m_worker.get());
        ASSERT_TRUE(m_frame->Create());
        m_frame->ShowWindow(SW_SHOW);
        ASSERT_TRUE(pumpUntil([&] { return platform::NativeWindowId(hwnd()) != 0; }));
        pumpFor(200);
    }
    void TearDown() override
    {
        m_frame.reset();
        GtkWindowTest::TearDown();
        m_worker.reset();
        if (m_skin)
            dulib::FreeSkin(m_skin);
    }

    HWND hwnd() const { return m_frame->GetSafeHwnd(); }

    // Paths of the GETs the service answered under the page base. The service records a
    // request once its answer is out, so the page may be drawn a moment before: wait.
    std::vector<std::string> pageGets(const std::string& pageName)
    {
        pumpUntil([&] { return !recordedGets(pageName).empty(); }, 5000);
        return recordedGets(pageName);
    }
    std::vector<std::string> recordedGets(const std::string& pageName) const
    {
        std::vector<std::string> out;
        for (const auto& r : const_cast<testsupport::DevServiceRunner&>(m_service)->requests()) {
            if (r.method == "GET" && r.path.rfind("/soft/" + pageName, 0) == 0)
                out.push_back(r.path);
        }
        return out;
    }

    // The modal window running over the main window now, or null.
    HWND modalWindow() const
    {
        HWND active = GetActiveWindow();
        return active && active != hwnd() && active != m_frame->NoticeWindow() && CWnd::FromHandle(active) ? active
                                                                                                          : nullptr;
    }

    testsupport::DevServiceRunner m_service;
    testsupport::TempDir m_dir;
    SkinManager* m_skin = nullptr;
    std::unique_ptr<CRequestWorker> m_worker;
    std::unique_ptr<CMainFrame> m_frame;
};

struct WebWindowCase {
    const char* label;
    bool help; // CWndYhelp, else CWndMessage
    const char* page;
    const char* host;
    const char* close; // element clicked, or null: Esc
    bool clickPageFirst; // the member has clicked into the page: the browser has the keys
};

// A member logs in against the service, clicks a function tile and reads its page in the
// main window; the mail and help buttons open their windows, which close by Esc and by
// their close button.
TEST_F(PagesDisplayTest, MemberOpensAPageAndTheMessageAndHelpWindowsByClicks)
{
    m_frame->RequestLogin("zhangsan", "123456");
    ASSERT_TRUE(pumpUntil([&] { return m_frame->IsLoggedIn(); }, 15000)) << "no login";
    pumpFor(300);
    m_service->clearRequests();

    HWND view = nullptr;
    HWND modal = nullptr;
    Script script;
    script.then([&] {
        clickElement(hwnd(), "window_kaodian");
        return true;
    });
    script.then([&] {
        view = m_frame->CurrentPageView();
        return view && !recordedGets("testSites_sitesList.htm").empty() && pageDrawnIn(view);
    });
    script.then([&] {
        screenshot(hwnd(), "main_window_page");
        clickElement(hwnd(), "window_email");
        return true;
    });
    // The window over the main window shows its page from the service.
    auto windowShows = [&](const char* host, const char* page) {
        return [&, host, page] {
            modal = modalWindow();
            Plugin* e = modal ? GetPluginByName(modal, host) : nullptr;
            return e && !recordedGets(page).empty() && pageDrawnIn(e->GetWindow());
        };
    };
    script.then(windowShows("window_message_hwndobj", "shortMessage_receivedBox.htm"));
    script.then([&] {
        screenshot(hwnd(), "main_window_message");
        pressKey(XK_Escape);
        return true;
    });
    script.then([&] { return !IsWindow(modal); });
    script.then([&] {
        clickElement(hwnd(), "window_yijianbangzhu");
        return true;
    });
    script.then(windowShows("window_Yhelp_hwndobj", "fastHelp_showHelpPage.htm"));
    script.then([&] {
        clickElement(modal, "window_Yhelp_close");
        return true;
    });
    script.then([&] { return !IsWindow(modal); });
    script.start(60000, [&] {
        if (CModalWnd* open = dynamic_cast<CModalWnd*>(CWnd::FromHandle(modalWindow())))
            open->EndModal(99);
    });
    EXPECT_TRUE(pumpUntil([&] { return script.finished(); }, 70000));
    EXPECT_FALSE(script.timedOut()) << script.remaining() << " steps left";

    // The tile's page came from the service with its cache-buster (a space and colons,
    // sent percent-encoded by the browser); the windows' pages came without one.
    const std::vector<std::string> gets = pageGets("testSites_sitesList.htm");
    ASSERT_EQ(1u, gets.size());
    EXPECT_TRUE(std::regex_match(gets[0], std::regex(R"(/soft/testSites_sitesList\.htm\?randomtime=)"
                                                     R"(\d{4}-\d\d-\d\d(%20| )\d\d:\d\d:\d\d)")))
        << gets[0];
    EXPECT_EQ(std::vector<std::string>{"/soft/shortMessage_receivedBox.htm"}, pageGets("shortMessage_receivedBox.htm"));
    EXPECT_EQ(std::vector<std::string>{"/soft/fastHelp_showHelpPage.htm"}, pageGets("fastHelp_showHelpPage.htm"));
    EXPECT_EQ(view, m_frame->CurrentPageView()); // the windows left the page area alone
    EXPECT_TRUE(IsWindowEnabled(hwnd()));
}

// The message and quick-help windows load their page from the service and close with
// their close button (a real click) or with Esc (a real key).
TEST_F(PagesDisplayTest, MessageAndHelpWindowsShowTheirPageAndCloseByButtonAndEsc)
{
    const WebWindowCase cases[] = {
        {"message_window", false, "shortMessage_receivedBox.htm", "window_message_hwndobj", "window_message_close", false},
        {"message_window_esc", false, "shortMessage_receivedBox.htm", "window_message_hwndobj", nullptr, false},
        {"help_window", true, "fastHelp_showHelpPage.htm", "window_Yhelp_hwndobj", "window_Yhelp_close", true},
        {"help_window_esc", true, "fastHelp_showHelpPage.htm", "window_Yhelp_hwndobj", nullptr, false},
        // Once the member has clicked into the page the browser has the keys; the Esc it
        // leaves alone still closes the window.
        {"help_window_esc_page_has_keys", true, "fastHelp_showHelpPage.htm", "window_Yhelp_hwndobj", nullptr, true},
        {"message_window_esc_page_has_keys", false, "shortMessage_receivedBox.htm", "window_message_hwndobj", nullptr,
         true},
    };
    for (const WebWindowCase& c : cases) {
        SCOPED_TRACE(c.label);
        const std::string address = m_service->pageBaseAddress() + "/" + c.page;
        std::unique_ptr<CModalWnd> window;
        if (c.help)
            window = std::make_unique<CWndYhelp>(m_skin, m_frame.get(), address);
        else
            window = std::make_unique<CWndMessage>(m_skin, m_frame.get(), address);

        HWND seen = nullptr;
        HWND view = nullptr;
        Script script;
        script.then([&] {
            seen = window->m_hWnd;
            Plugin* host = seen ? GetPluginByName(seen, c.host) : nullptr;
            view = host ? host->GetWindow() : nullptr;
            return view && !recordedGets(c.page).empty() && pageDrawnIn(view);
        });
        script.then([&] {
            screenshot(seen, c.label);
            if (c.clickPageFirst) {
                RECT r{};
                GetPluginByName(seen, c.host)->GetRect(&r);
                testsupport::GtkWindowTest::clickAt(platform::NativeWindowId(seen), (r.left + r.right) / 2, r.bottom - 20);
            }
            return true;
        });
        int settled = 0;
        script.then([&] { return ++settled > 10; }); // the click reaches the browser
        script.then([&] {
            if (c.close)
                clickElement(seen, c.close);
            else
                pressKey(XK_Escape);
            return true;
        });
        script.then([&] { return false; }); // the window ends the run; the deadline is the fallback
        script.start(20000, [&] { window->EndModal(99); });

        EXPECT_EQ(2, window->DoModal());
        EXPECT_EQ(1u, script.remaining()) << "page not shown in time";
        EXPECT_EQ(std::vector<std::string>{std::string("/soft/") + c.page}, pageGets(c.page));
        EXPECT_FALSE(IsWindow(seen));
        EXPECT_FALSE(IsWindow(view));
        EXPECT_TRUE(IsWindowEnabled(hwnd()));
        m_service->clearRequests();
    }
}

// A page that cannot be had (the service gone, a 404, an error answer without a body)
// leaves the engine's error page, the service's answer or a page of ours in the view:
// never a blank view, never a crash.
TEST_F(PagesDisplayTest, FailedPageShowsAnErrorPageInTheView)
{
    const int closed = ::socket(AF_INET, SOCK_STREAM, 0);
    const int deadPort = testsupport::bindLoopback(closed); // bound, never listening: refused
    ASSERT_NE(0, deadPort);
    devservice::Fault notFound;
    notFound.path = "/soft/outline_list.htm";
    notFound.status = 404;
    m_service->addFault(notFound);
    devservice::Fault emptyNotFound;
    emptyNotFound.path = "/soft/outline_empty.htm";
    emptyNotFound.status = 404;
    emptyNotFound.emptyBody = true;
    m_service->addFault(emptyNotFound);
    devservice::Fault emptyServerError = emptyNotFound;
    emptyServerError.path = "/soft/outline_broken.htm";
    emptyServerError.status = 503;
    m_service->addFault(emptyServerError);

    struct Case {
        const char* label;
        std::string address;
    };
    const Case cases[] = {
        {"service_down", "http://127.0.0.1:" + std::to_string(deadPort) + "/soft/testSites_sitesList.htm"},
        {"not_found", m_frame->PageAddress("outline_list.htm")},
        {"not_found_empty_body", m_frame->PageAddress("outline_empty.htm")},
        {"server_error_empty_body", m_frame->PageAddress("outline_broken.htm")},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        // The face as a page shows it to a member (no mask, the page area up).
        GetPluginByName(hwnd(), "window_mask")->Show(0);
        GetPluginByName(hwnd(), "window_mid_part")->Show(0);
        GetPluginByName(hwnd(), "window_hwndobj")->Show(1);
        m_frame->HostPage(c.address, true);
        HWND view = m_frame->CurrentPageView();
        ASSERT_NE(nullptr, view);
        EXPECT_TRUE(pumpUntil([&] { return darkPixelsIn(view) > 50; }, 15000)) << "the view stayed blank";
        screenshot(hwnd(), std::string("failed_page_") + c.label);
        EXPECT_TRUE(IsWindow(hwnd()));
        EXPECT_EQ(view, m_frame->CurrentPageView());
        EXPECT_FALSE(IsWindowVisible(m_frame->NoticeWindow())); // a failed page raises no notice
    }
    ::close(closed);
}

// The browser keys of a page in the page area, pressed while the page has the keyboard:
// zoom steps reach the page and the settings file, F5 asks the service again, Alt+Left
// returns to the page before.
TEST_F(PagesDisplayTest, PageKeysZoomReloadAndGoBack)
{
    m_dir.write("data/config.ini", "[info]\r\n");
    g_pMainFrame = m_frame.get(); // the views keep the zoom in the main window's settings
    platform::SetWebViewZoom(1.0);
    GetPluginByName(hwnd(), "window_mask")->Show(0);
    GetPluginByName(hwnd(), "window_mid_part")->Show(0);
    GetPluginByName(hwnd(), "window_hwndobj")->Show(1);
    const std::string first = m_frame->PageAddress("outline_list.htm");
    const std::string second = m_frame->PageAddress("testSites_sitesList.htm");
    m_frame->HostPage(first, false);
    HWND view = m_frame->CurrentPageView();
    ASSERT_TRUE(pumpUntil([&] { return pageDrawnIn(view); }, 15000));
    // A click low in the page gives it the keyboard.
    auto clickIntoPage = [&] {
        RECT page{}, frame{};
        GetWindowRect(view, &page);
        GetWindowRect(hwnd(), &frame);
        testsupport::GtkWindowTest::clickAt(platform::NativeWindowId(hwnd()), (page.left + page.right) / 2 - frame.left,
                                            page.bottom - 20 - frame.top);
        pumpFor(300);
    };
    clickIntoPage();
    auto zoomSetting = [&] { return Settings(Settings::PathIn(m_dir.folder())).zoom(); };

    struct Step {
        const char* label;
        KeySym key;
        KeySym modifier;
        int zoom; // percent the view and the settings file say afterwards
    };
    const Step zoomSteps[] = {
        {"ctrl_equal_zooms_in", XK_equal, XK_Control_L, 110},
        {"ctrl_equal_again", XK_equal, XK_Control_L, 125},
        {"ctrl_minus_zooms_out", XK_minus, XK_Control_L, 110},
        {"ctrl_0_resets", XK_0, XK_Control_L, 100},
        {"keypad_plus", XK_KP_Add, XK_Control_L, 110},
    };
    for (const Step& step : zoomSteps) {
        SCOPED_TRACE(step.label);
        pressKey(step.key, step.modifier);
        EXPECT_TRUE(pumpUntil([&] { return zoomSetting() == step.zoom; }, 5000)) << zoomSetting();
        EXPECT_EQ(step.zoom, static_cast<int>(platform::WebViewZoom() * 100 + 0.5));
    }
    EXPECT_NE(std::string::npos, m_dir.read("data/config.ini").find("zoom=110")) << m_dir.read("data/config.ini");

    m_service->clearRequests();
    pressKey(XK_F5);
    EXPECT_TRUE(pumpUntil([&] { return recordedGets("outline_list.htm").size() == 1; }, 5000)) << "F5 did not reload";

    ASSERT_TRUE(platform::WebViewNavigate(view, second));
    ASSERT_TRUE(pumpUntil([&] { return platform::WebViewLocation(view) == second && pageDrawnIn(view); }, 15000));
    clickIntoPage();
    pressKey(XK_Left, XK_Alt_L);
    EXPECT_TRUE(pumpUntil([&] { return platform::WebViewLocation(view) == first; }, 5000))
        << platform::WebViewLocation(view);
    screenshot(hwnd(), "page_keys_zoomed");
    g_pMainFrame = nullptr;
    platform::SetWebViewZoom(1.0);
}

// The desktop's browser of the test: a desktop entry, default for http and for files of
// no particular type, that writes the address it is given to a file. GLib reads the data and config folders once, so they are
// set before the first test starts.
class RecordingBrowser : public ::testing::Environment {
public:
    void SetUp() override
    {
        m_dir = std::make_unique<testsupport::TempDir>();
        const std::filesystem::path script = m_dir->write(
            "browser.sh", "#!/bin/sh\nprintf '%s\\n' \"$1\" >> '" + (m_dir->path() / "opened").string() + "'\n");
        std::filesystem::permissions(script, std::filesystem::perms::owner_all);
        m_dir->write("share/applications/kavrel-test-browser.desktop",
                     "[Desktop Entry]\nType=Application\nName=Test browser\n"
                     "MimeType=x-scheme-handler/http;application/octet-stream;\nExec=" +
                         script.string() + " %u\n");
        m_dir->write("config/mimeapps.list", "[Default Applications]\nx-scheme-handler/http=kavrel-test-browser.desktop\n"
                                               "application/octet-stream=kavrel-test-browser.desktop\n");
        m_dir->write("config/user-dirs.dirs", "XDG_DOWNLOAD_DIR=\"" + (m_dir->path() / "Downloads").string() + "\"\n");
        setenv("XDG_DATA_HOME", (m_dir->path() / "share").c_str(), 1);
        setenv("XDG_CONFIG_HOME", (m_dir->path() / "config").c_str(), 1);
    }
    void TearDown() override { m_dir.reset(); }
    static std::string opened() { return s_instance->m_dir->read("opened"); }
    // The download folder the desktop names.
    static std::filesystem::path downloads() { return s_instance->m_dir->path() / "Downloads"; }

    static RecordingBrowser* s_instance;

private:
    std::unique_ptr<testsupport::TempDir> m_dir;
};
RecordingBrowser* RecordingBrowser::s_instance =
    static_cast<RecordingBrowser*>(::testing::AddGlobalTestEnvironment(new RecordingBrowser));

// A logged-in member clicks the study page's links and buttons that open new windows: the
// service's own pages open in a page window over the main window that carries the
// session's cookie and closes by the page's window.close() or by Esc; another host's page
// goes to the desktop's browser; the pop-up the page opens by itself is never requested.
TEST_F(PagesDisplayTest, NewWindowsOpenInPageWindowsOrTheDesktopBrowser)
{
    g_pMainFrame = m_frame.get();
    m_frame->RequestLogin("zhangsan", "123456");
    ASSERT_TRUE(pumpUntil([&] { return m_frame->IsLoggedIn(); }, 15000)) << "no login";
    GetPluginByName(hwnd(), "window_mask")->Show(0);
    GetPluginByName(hwnd(), "window_mid_part")->Show(0);
    GetPluginByName(hwnd(), "window_hwndobj")->Show(1);
    const std::string other = "http://127.0.0.2:" + std::to_string(m_service->port()) + "/elsewhere.htm";
    m_frame->HostPage(m_frame->PageAddress("browser/links.htm?other=" + other), false);
    HWND view = m_frame->CurrentPageView();
    ASSERT_TRUE(pumpUntil([&] { return IsWindow(view) && !recordedGets("browser/links.htm").empty(); }, 15000));
    pumpFor(800); // the page's own pop-up has had its moment
    EXPECT_TRUE(recordedGets("browser/unasked.htm").empty()) << "a pop-up without a gesture was opened";
    EXPECT_EQ(nullptr, modalWindow());
    m_service->clearRequests();

    auto clickPageAt = [&](int y) {
        RECT page{}, frame{};
        GetWindowRect(view, &page);
        GetWindowRect(hwnd(), &frame);
        testsupport::GtkWindowTest::clickAt(platform::NativeWindowId(hwnd()), page.left - frame.left + 200,
                                            page.top - frame.top + y);
    };
    struct Case {
        const char* label;
        int bandY;          // where in the page the member clicks
        bool closeByScript; // else Esc
    };
    const Case cases[] = {
        {"blank_target_link", 75, true},
        {"window_open_button", 375, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        HWND popup = nullptr;
        Script script;
        script.then([&] {
            clickPageAt(c.bandY);
            return true;
        });
        script.then([&] {
            popup = modalWindow();
            Plugin* host = popup ? GetPluginByName(popup, "window_page_hwndobj") : nullptr;
            return host && !recordedGets("browser/popup.htm").empty() && darkPixelsIn(host->GetWindow()) >= 0 &&
                   IsWindowVisible(host->GetWindow());
        });
        int settled = 0;
        script.then([&] { return ++settled > 25; }); // the page is drawn and takes clicks
        script.then([&] {
            screenshot(popup, std::string("page_window_") + c.label);
            if (c.closeByScript)
                clickElement(popup, "window_page_hwndobj");
            else
                pressKey(XK_Escape);
            return true;
        });
        script.then([&] { return popup && !IsWindow(popup); });
        script.start(30000, [&] {
            if (CModalWnd* open = dynamic_cast<CModalWnd*>(CWnd::FromHandle(modalWindow())))
                open->EndModal(99);
        });
        EXPECT_TRUE(pumpUntil([&] { return script.finished(); }, 40000));
        EXPECT_FALSE(script.timedOut()) << script.remaining() << " steps left";
        const auto requests = m_service->requests();
        const auto got = std::find_if(requests.begin(), requests.end(),
                                      [](const auto& r) { return r.path == "/soft/browser/popup.htm"; });
        ASSERT_NE(requests.end(), got);
        EXPECT_NE(std::string::npos, got->header("Cookie").find("SID=")) << "the page window lost the session";
        EXPECT_TRUE(IsWindowEnabled(hwnd()));
        m_service->clearRequests();
    }

    clickPageAt(225);
    EXPECT_TRUE(pumpUntil([&] { return !RecordingBrowser::opened().empty(); }, 10000)) << "the desktop's browser was not asked";
    EXPECT_EQ(other + "\n", RecordingBrowser::opened());
    EXPECT_EQ(nullptr, modalWindow());
    g_pMainFrame = nullptr;
}

// A page window's page area is the size window.open asked for, inside the skin's frame;
// a request beyond the screen gets the work area, one below 100 px gets 100 px, and a
// size not asked for (a link with a blank target, a width alone) keeps the layout's.
TEST_F(PagesDisplayTest, PageWindowTakesTheSizeThePageAskedForWithinTheScreen)
{
    g_pMainFrame = m_frame.get();
    GetPluginByName(hwnd(), "window_mask")->Show(0);
    GetPluginByName(hwnd(), "window_mid_part")->Show(0);
    GetPluginByName(hwnd(), "window_hwndobj")->Show(1);
    const RECT work = GetWorkArea();
    struct Case {
        const char* label;
        const char* features; // encoded for the address
        int bandY;           // the blank-target link, or the window.open button
        int width, height;   // the page window, 0: the work area's
        int pageWidth, pageHeight; // its page area, 0: not checked
    };
    const Case cases[] = {
        {"no_size_asked", "width%3D500%2Cheight%3D400", 75, 720, 520, 718, 479},
        {"asks_500x400", "width%3D500%2Cheight%3D400", 375, 502, 441, 500, 400},
        {"asks_more_than_the_screen", "width%3D4000%2Cheight%3D3000", 375, 0, 0, 0, 0},
        {"asks_a_width_only", "width%3D300", 375, 302, 520, 300, 479},
        {"asks_less_than_a_page_needs", "width%3D20%2Cheight%3D20", 375, 102, 141, 100, 100},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        m_frame->HostPage(m_frame->PageAddress(std::string("browser/links.htm?features=") + c.features), false);
        HWND view = m_frame->CurrentPageView();
        ASSERT_TRUE(pumpUntil([&] { return IsWindow(view) && !recordedGets("browser/links.htm").empty(); }, 15000));
        pumpFor(800);
        m_service->clearRequests();
        RECT window{}, page{};
        HWND popup = nullptr;
        Script script;
        script.then([&] {
            RECT pageRect{}, frame{};
            GetWindowRect(view, &pageRect);
            GetWindowRect(hwnd(), &frame);
            testsupport::GtkWindowTest::clickAt(platform::NativeWindowId(hwnd()), pageRect.left - frame.left + 200,
                                                pageRect.top - frame.top + c.bandY);
            return true;
        });
        script.then([&] {
            popup = modalWindow();
            Plugin* host = popup ? GetPluginByName(popup, "window_page_hwndobj") : nullptr;
            return host && IsWindowVisible(host->GetWindow()) && !recordedGets("browser/popup.htm").empty();
        });
        int settled = 0;
        script.then([&] { return ++settled > 25; }); // the page is drawn
        script.then([&] {
            GetWindowRect(popup, &window);
            GetWindowRect(GetPluginByName(popup, "window_page_hwndobj")->GetWindow(), &page);
            screenshot(popup, std::string("page_window_size_") + c.label);
            pressKey(XK_Escape);
            return true;
        });
        script.then([&] { return !IsWindow(popup); });
        script.start(30000, [&] {
            if (CModalWnd* open = dynamic_cast<CModalWnd*>(CWnd::FromHandle(modalWindow())))
                open->EndModal(99);
        });
        EXPECT_TRUE(pumpUntil([&] { return script.finished(); }, 40000));
        ASSERT_FALSE(script.timedOut()) << script.remaining() << " steps left";
        EXPECT_EQ(c.width ? c.width : work.width(), window.width());
        EXPECT_EQ(c.height ? c.height : work.height(), window.height());
        if (c.pageWidth) {
            EXPECT_EQ(c.pageWidth, page.width());
            EXPECT_EQ(c.pageHeight, page.height());
        }
        // Wholly on the work area.
        EXPECT_GE(window.left, work.left);
        EXPECT_GE(window.top, work.top);
        EXPECT_LE(window.right, work.right);
        EXPECT_LE(window.bottom, work.bottom);
    }
    g_pMainFrame = nullptr;
}

// A member clicks the links of a page that hands out files: each lands whole in the
// download folder under its own name, beside (never over) what is there; a transfer cut
// short leaves nothing; the page stays; the notice window says so and its link opens the
// saved file with the desktop's handler.
TEST_F(PagesDisplayTest, DownloadsLandWholeInTheDownloadFolder)
{
    namespace fs = std::filesystem;
    g_pMainFrame = m_frame.get();
    const fs::path folder = RecordingBrowser::downloads();
    fs::remove_all(folder);
    fs::create_directories(folder);
    std::ofstream(folder / "notes.pdf") << "the member's own";
    devservice::Fault cut;
    cut.path = "/soft/browser/file/lecture.zip";
    cut.truncate = 5000;
    m_service->addFault(cut);

    GetPluginByName(hwnd(), "window_mask")->Show(0);
    GetPluginByName(hwnd(), "window_mid_part")->Show(0);
    GetPluginByName(hwnd(), "window_hwndobj")->Show(1);
    const std::string page = m_frame->PageAddress("browser/downloads.htm");
    m_frame->HostPage(page, false);
    HWND view = m_frame->CurrentPageView();
    ASSERT_TRUE(pumpUntil([&] { return IsWindow(view) && !recordedGets("browser/downloads.htm").empty(); }, 15000));
    pumpFor(500);
    auto clickPageAt = [&](int y) {
        RECT pageRect{}, frame{};
        GetWindowRect(view, &pageRect);
        GetWindowRect(hwnd(), &frame);
        testsupport::GtkWindowTest::clickAt(platform::NativeWindowId(hwnd()), pageRect.left - frame.left + 200,
                                            pageRect.top - frame.top + y);
    };
    auto namesIn = [&] {
        std::vector<std::string> names;
        for (const auto& entry : fs::directory_iterator(folder))
            names.push_back(entry.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    };
    const std::string whole = devservice::BrowserTestFile();

    struct Case {
        const char* label;
        int bandY;
        const char* saved; // the new file, or null when nothing may be kept
        const char* request;
    };
    const Case cases[] = {
        {"attachment_beside_the_members_file", 75, "notes (1).pdf", "/soft/browser/file/notes.pdf"},
        {"attachment_again", 75, "notes (2).pdf", "/soft/browser/file/notes.pdf"},
        {"type_the_view_cannot_show", 225, "data.bin", "/soft/browser/file/data.bin"},
        {"cut_short", 375, nullptr, "/soft/browser/file/lecture.zip"},
    };
    std::vector<std::string> expected = {"notes.pdf"};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        m_service->clearRequests();
        clickPageAt(c.bandY);
        const std::string pageName = std::string(c.request).substr(6);
        ASSERT_TRUE(pumpUntil([&] { return !recordedGets(pageName).empty(); }, 10000)) << "no request";
        if (c.saved) {
            expected.push_back(c.saved);
            std::sort(expected.begin(), expected.end());
            EXPECT_TRUE(pumpUntil([&] { return namesIn() == expected; }, 15000)) << testing::PrintToString(namesIn());
            EXPECT_EQ(whole, testsupport::TempDir::readFile(folder / c.saved));
        } else {
            // Nothing new for as long as a transfer takes here, and nothing half-written.
            pumpFor(3000);
            EXPECT_EQ(expected, namesIn());
        }
        EXPECT_EQ(page, platform::WebViewLocation(view)); // the page stays
    }
    EXPECT_EQ("the member's own", testsupport::TempDir::readFile(folder / "notes.pdf"));

    // The last notice told of the failure; an earlier one's link opens its file.
    EXPECT_TRUE(pumpUntil([&] { return IsWindowVisible(m_frame->NoticeWindow()); }, 5000));
    screenshot(m_frame->NoticeWindow(), "download_notice");
    auto* notice = dynamic_cast<CWndLoginsysnew*>(CWnd::FromHandle(m_frame->NoticeWindow()));
    ASSERT_NE(nullptr, notice);
    EXPECT_EQ(std::string(CKavrelHtmlView::kDownloadFailed) + "lecture.zip", notice->m_strText);
    m_frame->ShowNoticeLink(std::string(CKavrelHtmlView::kDownloadFinished) + "data.bin",
                            FileAddress((folder / "data.bin").string()), CMainFrame::kNoticeDelay,
                            CWndLoginsysnew::kFileLink);
    const std::string before = RecordingBrowser::opened();
    PluginEvent click{PE_CLICK, 0, 0};
    SendMessage(m_frame->NoticeWindow(), WM_SKINEVENT,
                reinterpret_cast<WPARAM>(GetPluginByName(m_frame->NoticeWindow(), "window_login_sysnew_link")),
                reinterpret_cast<LPARAM>(&click));
    EXPECT_TRUE(pumpUntil([&] { return RecordingBrowser::opened() != before; }, 10000));
    // The desktop hands a local file to its handler as a path.
    EXPECT_EQ(before + (folder / "data.bin").string() + "\n", RecordingBrowser::opened());
    g_pMainFrame = nullptr;
}

// A large file that comes slowly: while it comes, the notice that told of its start shows
// how much has arrived (the count when the server stops halfway, before anything takes the
// file's name); once the rest has come, the whole file lies under its name and the notice
// says so with its link.
TEST_F(PagesDisplayTest, SlowDownloadShowsItsProgressBeforeTheEnd)
{
    namespace fs = std::filesystem;
    g_pMainFrame = m_frame.get();
    const fs::path folder = RecordingBrowser::downloads();
    fs::remove_all(folder);
    fs::create_directories(folder);
    std::string bytes(4 << 20, '\0');
    for (std::size_t i = 0; i < bytes.size(); ++i)
        bytes[i] = static_cast<char>((i * 13 + i / 509) & 0xFF);
    const std::size_t half = bytes.size() / 2;

    std::atomic<bool> release{false}, ending{false}, pageServed{false};
    httplib::Server server;
    server.Get("/big.htm", [&](const httplib::Request&, httplib::Response& res) {
        pageServed = true;
        res.set_content("<!DOCTYPE html><html><body style=\"margin:0\"><a href=\"/file/big.zip\" style=\"display:block;"
                        "height:150px;background:#1565c0;color:#fff;font-size:24px\">big.zip</a></body></html>",
                        "text/html");
    });
    server.Get("/file/big.zip", [&](const httplib::Request&, httplib::Response& res) {
        res.set_header("Content-Disposition", "attachment; filename=\"big.zip\"");
        res.set_content_provider(bytes.size(), "application/zip",
                                 [&](std::size_t offset, std::size_t, httplib::DataSink& sink) {
                                     // Halfway the answer waits for the test (on the server's thread).
                                     while (offset >= half && !release && !ending)
                                         std::this_thread::sleep_for(std::chrono::milliseconds(2));
                                     if (ending && !release)
                                         return false;
                                     const std::size_t end = offset < half ? half : bytes.size();
                                     return sink.write(bytes.data() + offset, std::min<std::size_t>(64 << 10, end - offset));
                                 });
    });
    testsupport::LoopbackHttpServer running(server);
    ASSERT_TRUE(running.started());
    struct Ending {
        std::atomic<bool>& flag;
        ~Ending() { flag = true; }
    } endingOnExit{ending};

    GetPluginByName(hwnd(), "window_mask")->Show(0);
    GetPluginByName(hwnd(), "window_mid_part")->Show(0);
    GetPluginByName(hwnd(), "window_hwndobj")->Show(1);
    const std::string page = running.origin() + "/big.htm";
    m_frame->HostPage(page, false);
    HWND view = m_frame->CurrentPageView();
    ASSERT_TRUE(pumpUntil([&] { return IsWindow(view) && pageServed; }, 15000)) << "the page was not asked for";
    pumpFor(800);
    RECT pageRect{}, frame{};
    GetWindowRect(view, &pageRect);
    GetWindowRect(hwnd(), &frame);
    testsupport::GtkWindowTest::clickAt(platform::NativeWindowId(hwnd()), pageRect.left - frame.left + 200,
                                        pageRect.top - frame.top + 75);

    auto* notice = dynamic_cast<CWndLoginsysnew*>(CWnd::FromHandle(m_frame->NoticeWindow()));
    ASSERT_NE(nullptr, notice);
    const std::string midway =
        std::string(CKavrelHtmlView::kDownloadStarted) + DownloadProgressText("big.zip", half, bytes.size());
    EXPECT_EQ("big.zip 50% (2.0 MB / 4.0 MB)", DownloadProgressText("big.zip", half, bytes.size()));
    EXPECT_TRUE(pumpUntil([&] { return IsWindowVisible(notice->GetSafeHwnd()) && notice->m_strText == midway; }, 15000))
        << "shown: " << CCodeLib::AnsiToUtf8(notice->m_strText);
    EXPECT_EQ(WrapNoticeText(midway), GetPluginByName(notice->GetSafeHwnd(), "window_login_success")->GetText());
    pumpFor(300); // drawn
    screenshot(notice->GetSafeHwnd(), "download_progress");
    EXPECT_FALSE(fs::exists(folder / "big.zip")) << "the name was taken before the file was whole";

    release = true;
    EXPECT_TRUE(pumpUntil([&] { return fs::exists(folder / "big.zip"); }, 15000));
    EXPECT_EQ(bytes, testsupport::TempDir::readFile(folder / "big.zip"));
    EXPECT_TRUE(pumpUntil(
        [&] {
            return IsWindowVisible(notice->GetSafeHwnd()) && notice->m_bLink &&
                   notice->m_strText == std::string(CKavrelHtmlView::kDownloadFinished) + "big.zip";
        },
        10000));
    EXPECT_EQ(FileAddress((folder / "big.zip").string()), notice->m_strUrl);
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder))
        names.push_back(entry.path().filename().string());
    EXPECT_EQ(std::vector<std::string>{"big.zip"}, names) << "a hidden part was left";
    EXPECT_EQ(page, platform::WebViewLocation(view));
    g_pMainFrame = nullptr;
}

// Printing a page opens the desktop's print dialog over the client; the member picks
// printing to a file, and a PDF of the page lands there. Both ways a member prints: a
// page's own window.print(), and the print function's page (its tile, then its button).
TEST_F(PagesDisplayTest, PrintingOpensThePrintDialogAndPrintsToPdf)
{
    // No print server here: the dialog offers printing to a file only.
    g_object_set(gtk_settings_get_default(), "gtk-print-backends", "file", nullptr);
    m_frame->RequestLogin("zhangsan", "123456");
    ASSERT_TRUE(pumpUntil([&] { return m_frame->IsLoggedIn(); }, 15000)) << "no login";
    pumpFor(300);

    auto clickPageAt = [&](HWND view, int y) {
        RECT page{}, frame{};
        GetWindowRect(view, &page);
        GetWindowRect(hwnd(), &frame);
        testsupport::GtkWindowTest::clickAt(platform::NativeWindowId(hwnd()), page.left - frame.left + 200,
                                            page.top - frame.top + y);
    };
    struct Case {
        const char* label;
        const char* pageName;     // the page printed, as the service records it
        std::function<void()> open; // shows the page in the page area
        int printY;               // where in the page the member clicks to print
    };
    const Case cases[] = {
        // From the home panel the member sees after logging in.
        {"print_function", "print_index.htm", [&] { clickElement(hwnd(), "window_dayin"); }, 185},
        {"page_window_print", "browser/print.htm",
         [&] { m_frame->HostPage(m_frame->PageAddress("browser/print.htm"), false); }, 75},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        testsupport::TempDir out;
        const std::string pdf = (out.path() / "page.pdf").string();
        m_service->clearRequests();
        c.open();
        HWND view = nullptr;
        ASSERT_TRUE(pumpUntil(
            [&] {
                view = m_frame->CurrentPageView();
                return IsWindow(view) && !recordedGets(c.pageName).empty();
            },
            15000));
        const std::string shown = platform::WebViewLocation(view);
        pumpFor(800);
        screenshot(hwnd(), std::string("print_") + c.label);

        // The dialog runs its own loop; the member's part is played from a plain GLib timer,
        // which that loop runs too.
        struct Member {
            std::string pdf;
            GtkPrintUnixDialog* dialog = nullptr;
            int step = 0;
            int ticks = 0;
        } member{pdf};
        clickPageAt(view, c.printY);
        auto act = [](gpointer data) -> gboolean {
            auto* m = static_cast<Member*>(data);
            if (++m->ticks > 1000) // 20 s: give up, let the test fail
                return G_SOURCE_REMOVE;
            if (m->step == 0) {
                GList* windows = gtk_window_list_toplevels();
                for (GList* w = windows; w; w = w->next)
                    if (GTK_IS_PRINT_UNIX_DIALOG(w->data) && gtk_widget_get_visible(GTK_WIDGET(w->data)))
                        m->dialog = GTK_PRINT_UNIX_DIALOG(w->data);
                g_list_free(windows);
                if (!m->dialog)
                    return G_SOURCE_CONTINUE;
                GtkPrintSettings* settings = gtk_print_settings_new();
                gtk_print_settings_set_printer(settings, "Print to File");
                gtk_print_settings_set(settings, GTK_PRINT_SETTINGS_OUTPUT_FILE_FORMAT, "pdf");
                gchar* uri = g_filename_to_uri(m->pdf.c_str(), nullptr, nullptr);
                gtk_print_settings_set(settings, GTK_PRINT_SETTINGS_OUTPUT_URI, uri);
                g_free(uri);
                gtk_print_unix_dialog_set_settings(m->dialog, settings);
                g_object_unref(settings);
                m->step = 1;
                return G_SOURCE_CONTINUE;
            }
            GtkPrinter* printer = gtk_print_unix_dialog_get_selected_printer(m->dialog);
            if (!printer || !gtk_printer_is_virtual(printer))
                return G_SOURCE_CONTINUE;
            m->step = 2;
            gtk_dialog_response(GTK_DIALOG(m->dialog), GTK_RESPONSE_OK);
            return G_SOURCE_REMOVE;
        };
        const guint timer = g_timeout_add(20, act, &member);
        EXPECT_TRUE(pumpUntil([&] { return member.step == 2 || member.ticks > 1000; }, 30000));
        if (member.step != 2 && member.ticks <= 1000)
            g_source_remove(timer);
        EXPECT_EQ(2, member.step) << "the print dialog was not seen or offered no file printer";
        EXPECT_TRUE(pumpUntil([&] { return testsupport::TempDir::readFile(pdf).size() > 1000; }, 20000));
        pumpFor(500);
        const std::string bytes = testsupport::TempDir::readFile(pdf);
        EXPECT_EQ("%PDF-", bytes.substr(0, 5));
        EXPECT_NE(std::string::npos, bytes.find("%%EOF")) << "the PDF is not whole";
        EXPECT_EQ(shown, platform::WebViewLocation(view)); // the page stays
    }
}

// A video lecture plays in the page area: a clip made here with the desktop's own media
// tools, served by the service; the page shows that its playback position went past one
// second.
TEST_F(PagesDisplayTest, VideoInAPagePlays)
{
    testsupport::TempDir media;
    const std::string clip = (media.path() / "clip.webm").string();
    const std::string make = "gst-launch-1.0 -q videotestsrc num-buffers=120 ! "
                             "video/x-raw,width=320,height=240,framerate=30/1 ! vp8enc deadline=1 ! webmmux ! "
                             "filesink location=" + clip;
    if (std::system(make.c_str()) != 0)
        GTEST_SKIP() << "gst-launch-1.0 with the VP8 encoder is not installed";
    m_service->addMedia("clip.webm", testsupport::TempDir::readFile(clip), "video/webm");
    GetPluginByName(hwnd(), "window_mask")->Show(0);
    GetPluginByName(hwnd(), "window_mid_part")->Show(0);
    GetPluginByName(hwnd(), "window_hwndobj")->Show(1);
    m_frame->HostPage(m_frame->PageAddress("browser/video.htm"), false);
    HWND view = m_frame->CurrentPageView();
    ASSERT_TRUE(pumpUntil([&] { return IsWindow(view) && !recordedGets("browser/media/clip.webm").empty(); }, 15000))
        << "the page did not ask for its video";
    // The green the page turns: a corner far from the video.
    auto green = [&] {
        RECT r{};
        GetWindowRect(view, &r);
        GdkPixbuf* shot = gdk_pixbuf_get_from_window(gdk_get_default_root_window(), r.right - 20, r.bottom - 20, 4, 4);
        if (!shot)
            return false;
        const guchar* p = gdk_pixbuf_get_pixels(shot);
        const bool is = p[0] < 40 && p[1] > 160 && p[2] < 120;
        g_object_unref(shot);
        return is;
    };
    EXPECT_TRUE(pumpUntil(green, 20000)) << "the video's position did not advance";
    screenshot(hwnd(), "video_playing");
}

// A secure page whose certificate does not verify (made here, signed by no authority the
// system trusts) is never shown: the page area tells the member why, and the address stays
// the one asked for.
TEST_F(PagesDisplayTest, UntrustedCertificateShowsAReadableErrorPage)
{
    testsupport::TempDir tls;
    const std::string key = (tls.path() / "key.pem").string(), cert = (tls.path() / "cert.pem").string();
    const std::string make = "openssl req -x509 -newkey rsa:2048 -nodes -days 1 -subj /CN=127.0.0.1 "
                             "-addext subjectAltName=IP:127.0.0.1 -keyout " + key + " -out " + cert + " 2>/dev/null";
    if (std::system(make.c_str()) != 0)
        GTEST_SKIP() << "openssl is not installed";
    const int probe = ::socket(AF_INET, SOCK_STREAM, 0);
    const int port = testsupport::bindLoopback(probe);
    ::close(probe);
    ASSERT_NE(0, port);
    const pid_t server = fork();
    if (server == 0) {
        execlp("openssl", "openssl", "s_server", "-quiet", "-www", "-accept", ("127.0.0.1:" + std::to_string(port)).c_str(),
               "-cert", cert.c_str(), "-key", key.c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }
    ASSERT_GT(server, 0);
    pumpFor(800); // the server is listening

    GetPluginByName(hwnd(), "window_mask")->Show(0);
    GetPluginByName(hwnd(), "window_mid_part")->Show(0);
    GetPluginByName(hwnd(), "window_hwndobj")->Show(1);
    const std::string address = "https://127.0.0.1:" + std::to_string(port) + "/soft/outline_list.htm";
    m_frame->HostPage(address, false);
    HWND view = m_frame->CurrentPageView();
    EXPECT_TRUE(pumpUntil([&] { return darkPixelsIn(view) > 50; }, 15000)) << "the view stayed blank";
    pumpFor(500);
    screenshot(hwnd(), "page_certificate_error");
    EXPECT_EQ(address, platform::WebViewLocation(view));
    ::kill(server, SIGTERM);
    ::waitpid(server, nullptr, 0);
}

// Secure pages are verified against the system's certificate store and nothing else. This
// test gives the store a test authority the way a machine's administrator would, but for
// one process only: it runs itself again in a mount namespace of its own where the
// system's bundle has the authority added. There a page whose certificate the authority
// signed for the address is shown; one it signed for another host, one that has expired
// and one that signs itself get the error page, the address unchanged.
constexpr const char* kSystemBundle = "/etc/ssl/certs/ca-certificates.crt";
constexpr const char* kTrustedRunFolder = "KAVREL_TEST_TRUSTED_AUTHORITY_DIR";

TEST_F(PagesDisplayTest, SecurePagesVerifyAgainstTheSystemStoreThatTrustsATestAuthority)
{
    const char* inner = std::getenv(kTrustedRunFolder);
    if (!inner) {
        testsupport::TempDir tls;
        testsupport::TestCertificates certificates(tls.path());
        if (!certificates.ok())
            GTEST_SKIP() << "openssl could not make the test authority";
        if (!std::filesystem::exists(kSystemBundle))
            GTEST_SKIP() << kSystemBundle << " is missing (package ca-certificates)";
        const char* unshare = getuid() == 0 ? "unshare -m" : "unshare -r -m";
        if (std::system((std::string(unshare) + " true 2>/dev/null").c_str()) != 0)
            GTEST_SKIP() << "no private mount namespace here";
        const std::filesystem::path bundle = tls.path() / "bundle.crt";
        std::filesystem::copy_file(kSystemBundle, bundle);
        std::ofstream(bundle, std::ios::app) << testsupport::TempDir::readFile(certificates.authorityFile());
        const std::string self = std::filesystem::read_symlink("/proc/self/exe").string();
        const std::string name = std::string(::testing::UnitTest::GetInstance()->current_test_info()->test_suite_name()) +
                                 "." + ::testing::UnitTest::GetInstance()->current_test_info()->name();
        const std::string command = std::string(kTrustedRunFolder) + "='" + tls.path().string() + "' " + unshare +
                                    " sh -c 'mount --bind \"$0\" " + kSystemBundle + " && exec \"$1\" --gtest_filter=\"$2\"' '" +
                                    bundle.string() + "' '" + self + "' '" + name + "'";
        const int status = std::system(command.c_str());
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "the run with the authority trusted failed";
        return;
    }

    // The run in the namespace: the system's store now holds the authority.
    testsupport::TestCertificates certificates(inner, testsupport::TestCertificates::AlreadyMade{});
    ASSERT_TRUE(certificates.ok());
    GetPluginByName(hwnd(), "window_mask")->Show(0);
    GetPluginByName(hwnd(), "window_mid_part")->Show(0);
    GetPluginByName(hwnd(), "window_hwndobj")->Show(1);
    struct Case {
        const char* label;
        testsupport::ServerCertificate certificate;
        bool shown;
    };
    const Case cases[] = {
        {"signed_for_the_address", certificates.good(), true},
        {"signed_for_another_host", certificates.wrongHost(), false},
        {"expired", certificates.expired(), false},
        {"signs_itself", certificates.selfSigned(), false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        httplib::SSLServer server(c.certificate.cert.c_str(), c.certificate.key.c_str());
        std::atomic<bool> served{false};
        server.Get("/soft/outline_list.htm", [&](const httplib::Request&, httplib::Response& res) {
            served = true;
            res.set_content(devservice::StudyPage("outline_list.htm", {}), "text/html; charset=utf-8");
        });
        testsupport::LoopbackHttpServer running(server);
        ASSERT_TRUE(running.started());
        const std::string address = "https://127.0.0.1:" + std::to_string(running.port()) + "/soft/outline_list.htm";
        m_frame->HostPage(address, false);
        HWND view = m_frame->CurrentPageView();
        if (c.shown) {
            EXPECT_TRUE(pumpUntil([&] { return served && pageDrawnIn(view); }, 15000)) << "the secure page was not shown";
        } else {
            EXPECT_TRUE(pumpUntil([&] { return darkPixelsIn(view) > 50; }, 15000)) << "the view stayed blank";
            pumpFor(500);
            EXPECT_FALSE(pageDrawnIn(view)) << "a page that does not verify was shown";
            EXPECT_FALSE(served) << "the request went out over a connection that does not verify";
        }
        EXPECT_EQ(address, platform::WebViewLocation(view));
        screenshot(hwnd(), std::string("secure_page_") + c.label);
    }
}

// The page's context menu, opened by a right click on a page of links: copy, select all,
// back and reload, and nothing that takes a link or the page elsewhere.
TEST_F(PagesDisplayTest, ContextMenuOffersOnlyWhatKeepsThePage)
{
    GetPluginByName(hwnd(), "window_mask")->Show(0);
    GetPluginByName(hwnd(), "window_mid_part")->Show(0);
    GetPluginByName(hwnd(), "window_hwndobj")->Show(1);
    m_frame->HostPage(m_frame->PageAddress("browser/links.htm"), false);
    HWND view = m_frame->CurrentPageView();
    ASSERT_TRUE(pumpUntil([&] { return IsWindow(view) && !recordedGets("browser/links.htm").empty(); }, 15000));
    pumpFor(800);
    RECT page{}, frame{};
    GetWindowRect(view, &page);
    GetWindowRect(hwnd(), &frame);
    // On the blank-target link: the engine's menu would offer to open it in a new window.
    testsupport::GtkWindowTest::clickAt(platform::NativeWindowId(hwnd()), page.left - frame.left + 200,
                                        page.top - frame.top + 75, 3);
    std::vector<std::string> labels;
    GtkWidget* shown = nullptr;
    auto menuShown = [&] {
        labels.clear();
        GList* windows = gtk_window_list_toplevels();
        for (GList* w = windows; w; w = w->next) {
            GtkWidget* child = GTK_IS_BIN(w->data) ? gtk_bin_get_child(GTK_BIN(w->data)) : nullptr;
            if (!child || !GTK_IS_MENU(child) || !gtk_widget_get_visible(GTK_WIDGET(w->data)))
                continue;
            shown = child;
            GList* items = gtk_container_get_children(GTK_CONTAINER(child));
            for (GList* i = items; i; i = i->next)
                if (GTK_IS_MENU_ITEM(i->data) && !GTK_IS_SEPARATOR_MENU_ITEM(i->data))
                    labels.push_back(gtk_menu_item_get_label(GTK_MENU_ITEM(i->data)));
            g_list_free(items);
        }
        g_list_free(windows);
        return !labels.empty();
    };
    ASSERT_TRUE(pumpUntil(menuShown, 5000)) << "no context menu";
    gtk_menu_shell_cancel(GTK_MENU_SHELL(shown));
    for (std::string& l : labels)
        l.erase(std::remove(l.begin(), l.end(), '_'), l.end()); // mnemonics
    for (const char* wanted : {"Back", "Reload", "Copy", "Select All"})
        EXPECT_NE(labels.end(), std::find(labels.begin(), labels.end(), wanted)) << wanted << " missing";
    for (const std::string& l : labels)
        EXPECT_TRUE(l == "Back" || l == "Reload" || l == "Copy" || l == "Select All" || l == "Cut" || l == "Paste")
            << "offered: " << l;
}

} // namespace
