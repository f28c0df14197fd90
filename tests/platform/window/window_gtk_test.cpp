// The GTK back end on a real X server: windows that appear and paint, input through the
// X server, a web page inside a child web view, the tray and menu calls.
#include "GtkTestSupport.h"

#include "platform/window/DesktopShell.h"
#include "platform/window/WebView.h"

#include "TempDir.h"

#include <cairo.h>

#include <vector>

#include <dirent.h>
#include <fstream>
#include <unistd.h>
#include <utility>

namespace {

struct Logged {
    UINT msg;
    WPARAM wParam;
    LPARAM lParam;
};

class WindowGtkTest : public testsupport::GtkWindowTest {
protected:
    // A top-level window painted in one colour, recording its messages.
    HWND makePainted(int x, int y, int cx, int cy, double r, double g, double b)
    {
        auto proc = [this, r, g, b](HWND h, UINT m, WPARAM wp, LPARAM lp) -> LRESULT {
            m_log.push_back({m, wp, lp});
            if (m == WM_PAINT) {
                auto* cr = reinterpret_cast<cairo_t*>(wp);
                cairo_set_source_rgb(cr, r, g, b);
                cairo_paint(cr);
                ++m_paints;
                return 0;
            }
            return DefWindowProc(h, m, wp, lp);
        };
        HWND hwnd = CreateWindowEx(0, "", WS_POPUP, x, y, cx, cy, nullptr, 0, proc);
        ShowWindow(hwnd, SW_SHOW);
        return hwnd;
    }
    std::vector<Logged> of(UINT msg) const
    {
        std::vector<Logged> out;
        for (const Logged& l : m_log) {
            if (l.msg == msg)
                out.push_back(l);
        }
        return out;
    }

    // A child browser view of parent, shown.
    static HWND makeWebView(HWND parent, int x, int y, int cx, int cy)
    {
        HWND view = CreateWindowEx(0, "", WS_CHILD, x, y, cx, cy, parent, 1000,
                                   [](HWND h, UINT m, WPARAM wp, LPARAM lp) -> LRESULT {
                                       if (m == WM_CREATE)
                                           return platform::AttachWebView(h) ? 0 : -1;
                                       return DefWindowProc(h, m, wp, lp);
                                   });
        if (view)
            ShowWindow(view, SW_SHOW);
        return view;
    }
    // Pumps until a view told a parent of ours that its page has loaded.
    bool pumpUntilLoaded()
    {
        const UINT notify = platform::WebViewNotifyMessage();
        return pumpUntil(
            [&] {
                for (const Logged& l : m_log) {
                    if (l.msg == notify && l.lParam == platform::WebViewLoadFinished)
                        return true;
                }
                return false;
            },
            30000);
    }

    std::vector<Logged> m_log;
    std::vector<Logged> m_childLog; // here, not in a test body: windows outlive the body
    int m_paints = 0;
};

TEST_F(WindowGtkTest, WindowAppearsAndPaintsThroughWmPaint)
{
    HWND w = makePainted(100, 120, 240, 160, 1.0, 0.0, 0.0);
    ASSERT_TRUE(pumpUntil([&] { return m_paints > 0; }));
    pumpFor(100);
    EXPECT_EQ(0xFF0000u, screenPixel(100 + 120, 120 + 80));
    RECT r;
    GetWindowRect(w, &r);
    EXPECT_EQ(240, r.width());

    // Moving and resizing reach the screen; the window hears of its new size.
    m_log.clear();
    MoveWindow(w, 300, 300, 100, 50);
    ASSERT_FALSE(of(WM_SIZE).empty());
    EXPECT_EQ(MAKELPARAM(100, 50), of(WM_SIZE).back().lParam);
    ASSERT_TRUE(pumpUntil([&] { return screenPixel(350, 325) == 0xFF0000u; }));
    // Shrinking in place leaves nothing of the window beyond its new size.
    MoveWindow(w, 300, 300, 60, 30);
    EXPECT_TRUE(pumpUntil([&] { return screenPixel(380, 340) != 0xFF0000u && screenPixel(320, 310) == 0xFF0000u; }));
    DestroyWindow(w);
}

TEST_F(WindowGtkTest, TwoTopLevelWindowsBothPaintAndActivationSettles)
{
    // Activation asked of the desktop must not bounce between windows (which starved
    // painting once).
    HWND first = makePainted(100, 100, 300, 300, 0.0, 0.0, 1.0);
    HWND second = makePainted(500, 100, 200, 200, 1.0, 0.0, 0.0);
    ASSERT_TRUE(pumpUntil([&] { return screenPixel(150, 150) == 0x0000FFu && screenPixel(600, 200) == 0xFF0000u; }));
    EXPECT_EQ(second, GetActiveWindow());
    size_t activations = of(WM_ACTIVATE).size();
    pumpFor(200);
    EXPECT_LE(of(WM_ACTIVATE).size(), activations + 2);
    (void)first;
}

TEST_F(WindowGtkTest, ClickThroughTheXServerArrivesAsButtonMessages)
{
    HWND w = makePainted(50, 60, 200, 150, 0.0, 0.6, 0.0);
    ASSERT_TRUE(pumpUntil([&] { return m_paints > 0; }));
    m_log.clear();
    clickAt(platform::NativeWindowId(w), 30, 40);
    ASSERT_TRUE(pumpUntil([&] { return !of(WM_LBUTTONUP).empty(); }));
    ASSERT_EQ(1u, of(WM_LBUTTONDOWN).size());
    EXPECT_EQ(30, GET_X_LPARAM(of(WM_LBUTTONDOWN)[0].lParam));
    EXPECT_EQ(40, GET_Y_LPARAM(of(WM_LBUTTONDOWN)[0].lParam));
    EXPECT_TRUE(of(WM_LBUTTONDOWN)[0].wParam & MK_LBUTTON);
    EXPECT_EQ(30, GET_X_LPARAM(of(WM_LBUTTONUP)[0].lParam));

    // A second click at once is a double click: down, up, double, up.
    m_log.clear();
    clickAt(platform::NativeWindowId(w), 30, 40);
    ASSERT_TRUE(pumpUntil([&] { return !of(WM_LBUTTONUP).empty(); }));
    EXPECT_EQ(1u, of(WM_LBUTTONDBLCLK).size());
    EXPECT_TRUE(of(WM_LBUTTONDOWN).empty());

    // A disabled window takes no input.
    m_log.clear();
    EnableWindow(w, false);
    pumpFor(500); // past the double-click time
    clickAt(platform::NativeWindowId(w), 30, 40);
    pumpFor(200);
    EXPECT_TRUE(of(WM_LBUTTONDOWN).empty());
    EXPECT_TRUE(of(WM_LBUTTONUP).empty());
}

TEST_F(WindowGtkTest, KeysArriveAsVirtualKeysAndTypedText)
{
    HWND w = makePainted(60, 60, 100, 100, 0.2, 0.2, 0.2);
    ASSERT_TRUE(pumpUntil([&] { return m_paints > 0; }));
    clickAt(platform::NativeWindowId(w), 10, 10); // the pointer's window takes the keyboard
    Display* dpy = gdk_x11_display_get_xdisplay(gdk_display_get_default());
    XSetInputFocus(dpy, platform::NativeWindowId(w), RevertToParent, CurrentTime);
    m_log.clear();
    for (const char* key : {"a", "Return"}) {
        KeyCode code = XKeysymToKeycode(dpy, XStringToKeysym(key));
        XTestFakeKeyEvent(dpy, code, True, CurrentTime);
        XTestFakeKeyEvent(dpy, code, False, CurrentTime);
    }
    XFlush(dpy);
    ASSERT_TRUE(pumpUntil([&] { return of(WM_KEYUP).size() >= 2; }));
    ASSERT_EQ(2u, of(WM_KEYDOWN).size());
    EXPECT_EQ(static_cast<WPARAM>('A'), of(WM_KEYDOWN)[0].wParam);
    EXPECT_EQ(static_cast<WPARAM>(VK_RETURN), of(WM_KEYDOWN)[1].wParam);
    // "a" is text from the input method; Enter types a carriage return through TranslateMessage.
    ASSERT_EQ(1u, of(WM_IME_CHAR).size());
    EXPECT_EQ(static_cast<WPARAM>('a'), of(WM_IME_CHAR)[0].wParam);
    std::vector<WPARAM> chars;
    for (const Logged& l : of(WM_CHAR))
        chars.push_back(l.wParam);
    EXPECT_EQ((std::vector<WPARAM>{'a', VK_RETURN}), chars);
}

TEST_F(WindowGtkTest, ChildWindowPaintsAboveItsParentAndTakesItsClicks)
{
    HWND parent = makePainted(200, 200, 200, 200, 0.0, 0.0, 1.0);
    std::vector<Logged>& childLog = m_childLog;
    HWND child = CreateWindowEx(0, "", WS_CHILD | WS_VISIBLE, 50, 50, 40, 40, parent, 7,
                                [this](HWND h, UINT m, WPARAM wp, LPARAM lp) -> LRESULT {
                                    m_childLog.push_back({m, wp, lp});
                                    if (m == WM_PAINT) {
                                        auto* cr = reinterpret_cast<cairo_t*>(wp);
                                        cairo_set_source_rgb(cr, 1, 1, 0);
                                        cairo_paint(cr);
                                    }
                                    return DefWindowProc(h, m, wp, lp);
                                });
    ASSERT_NE(nullptr, child);
    ASSERT_TRUE(pumpUntil([&] { return screenPixel(270, 270) == 0xFFFF00u && screenPixel(210, 210) == 0x0000FFu; }));
    clickAt(platform::NativeWindowId(parent), 60, 65);
    ASSERT_TRUE(pumpUntil([&] {
        for (const Logged& l : childLog) {
            if (l.msg == WM_LBUTTONUP)
                return true;
        }
        return false;
    }));
    for (const Logged& l : childLog) {
        if (l.msg == WM_LBUTTONDOWN) {
            EXPECT_EQ(10, GET_X_LPARAM(l.lParam)); // the child's own coordinates
            EXPECT_EQ(15, GET_Y_LPARAM(l.lParam));
        }
    }
    EXPECT_TRUE(of(WM_LBUTTONDOWN).empty());
}

TEST_F(WindowGtkTest, CloseRequestFromTheDesktopBecomesWmClose)
{
    HWND w = makePainted(10, 10, 50, 50, 0, 0, 0);
    ASSERT_TRUE(pumpUntil([&] { return m_paints > 0; }));
    Display* dpy = gdk_x11_display_get_xdisplay(gdk_display_get_default());
    XEvent e{};
    e.xclient.type = ClientMessage;
    e.xclient.window = platform::NativeWindowId(w);
    e.xclient.message_type = XInternAtom(dpy, "WM_PROTOCOLS", False);
    e.xclient.format = 32;
    e.xclient.data.l[0] = static_cast<long>(XInternAtom(dpy, "WM_DELETE_WINDOW", False));
    e.xclient.data.l[1] = CurrentTime;
    XSendEvent(dpy, e.xclient.window, False, NoEventMask, &e);
    XFlush(dpy);
    ASSERT_TRUE(pumpUntil([&] { return !IsWindow(w); })); // WM_CLOSE, then the default closes
    EXPECT_FALSE(of(WM_CLOSE).empty());
}

TEST_F(WindowGtkTest, WorkerPostsAndTimersRunInTheGLibLoop)
{
    HWND w = makePainted(0, 0, 10, 10, 0, 0, 0);
    SetTimer(w, 1006, 30);
    std::thread worker([w] { PostMessage(w, WM_USER + 3, 1, 2); });
    ASSERT_TRUE(pumpUntil([&] { return !of(WM_USER + 3).empty() && of(WM_TIMER).size() >= 2; }));
    worker.join();
    EXPECT_EQ(1006u, of(WM_TIMER)[0].wParam);
}

// Work posted while a window is being shown waits for its first frame, so a start's
// first answers never keep the member looking at nothing.
TEST_F(WindowGtkTest, PostedWorkWaitsForTheFirstFrameOfAWindowJustShown)
{
    HWND w = makePainted(100, 100, 200, 150, 0.0, 0.6, 0.0);
    PostMessage(w, WM_USER + 7, 0, 0);
    int paintsBefore = -1;
    ASSERT_TRUE(pumpUntil([&] {
        if (paintsBefore < 0 && !of(WM_USER + 7).empty())
            paintsBefore = m_paints;
        return paintsBefore >= 0;
    }));
    EXPECT_GT(paintsBefore, 0) << "the posted message came before the window was drawn";
    DestroyWindow(w);
}

TEST_F(WindowGtkTest, WebPageRendersInsideChildWebView)
{
    testsupport::TempDir dir;
    auto page = dir.write("page.htm",
                          "<html><body style='margin:0;background:#00ff00;height:3000px'>"
                          "<p>Kavrel</p></body></html>");
    HWND parent = makePainted(300, 100, 400, 300, 1, 1, 1);
    HWND view = makeWebView(parent, 40, 30, 300, 200);
    ASSERT_NE(nullptr, view);
    std::string address = "file://" + page.string();
    ASSERT_TRUE(platform::WebViewNavigate(view, address));
    ASSERT_TRUE(pumpUntilLoaded());
    EXPECT_EQ(address, platform::WebViewLocation(view));
    // The page's colour fills the view; its edge (where a scroll bar would be) too.
    EXPECT_TRUE(pumpUntil([&] { return screenPixel(300 + 40 + 150, 100 + 30 + 150) == 0x00FF00u; }, 15000));
    EXPECT_EQ(0x00FF00u, screenPixel(300 + 40 + 297, 100 + 30 + 100));
    EXPECT_EQ(0xFFFFFFu, screenPixel(300 + 20, 100 + 20)); // the parent around it
    if (const char* shot = std::getenv("KAVREL_SCREENSHOT"))
        std::system((std::string("import -window root ") + shot).c_str());
}

// The web processes this process started: children whose name begins so.
int webProcessesOfOurs()
{
    int count = 0;
    DIR* proc = opendir("/proc");
    while (dirent* entry = proc ? readdir(proc) : nullptr) {
        std::ifstream stat(std::string("/proc/") + entry->d_name + "/stat");
        std::string pid, name, state;
        long parent = 0;
        if (!(stat >> pid >> name >> state >> parent))
            continue;
        count += parent == getpid() && name.rfind("(WebKitWebProces", 0) == 0;
    }
    if (proc)
        closedir(proc);
    return count;
}

// The size of a top-level window as the X server has it.
std::pair<int, int> xSizeOf(HWND hwnd)
{
    XWindowAttributes attributes{};
    XGetWindowAttributes(gdk_x11_display_get_xdisplay(gdk_display_get_default()), platform::NativeWindowId(hwnd),
                         &attributes);
    return {attributes.width, attributes.height};
}

// A page per view, but one web process for all of them (a view that started its own would
// make every page open wait for a process start); and a page taller than its view, in a
// window of each kind, scrolls inside it instead of growing the window to its height.
TEST_F(WindowGtkTest, ViewsShareOneWebProcessAndTallPagesNeverGrowTheirWindow)
{
    testsupport::TempDir dir;
    HWND parent = makePainted(300, 100, 400, 300, 1, 1, 1);
    HWND second = makePainted(750, 100, 300, 250, 1, 1, 1);
    std::vector<HWND> views;
    struct Case {
        const char* colour;
        HWND top;
        int x, y;
    };
    for (const Case& c : {Case{"#00ff00", parent, 300, 100}, Case{"#0000ff", second, 750, 100},
                          Case{"#ff0000", parent, 300, 100}}) {
        SCOPED_TRACE(c.colour);
        // Tall in both ways a page can be: a fixed height, and a header over a full-view body.
        const auto page = dir.write(std::string("page") + (c.colour + 1) + ".htm",
                                    std::string("<html><body style='margin:0;background:") + c.colour
                                        + "'><div style='height:104px'></div><div style='min-height:100vh'></div>"
                                          "<div style='height:3000px'></div></body></html>");
        m_log.clear();
        HWND view = makeWebView(c.top, 40, 30, 200, 150);
        ASSERT_NE(nullptr, view);
        ASSERT_TRUE(platform::WebViewNavigate(view, "file://" + page.string()));
        ASSERT_TRUE(pumpUntilLoaded());
        const unsigned rgb = std::stoul(c.colour + 1, nullptr, 16);
        EXPECT_TRUE(pumpUntil([&] { return screenPixel(c.x + 40 + 100, c.y + 30 + 75) == rgb; }, 15000));
        pumpFor(300);
        EXPECT_EQ(std::make_pair(400, 300), xSizeOf(parent));
        EXPECT_EQ(std::make_pair(300, 250), xSizeOf(second));
        EXPECT_EQ(1, webProcessesOfOurs());
        views.push_back(view); // each new one is laid over the ones before
    }
    // A view made smaller and moved: what its page was laid out at before does not count.
    HWND last = views.back();
    MoveWindow(last, 40, 30, 360, 270);
    pumpFor(500);
    MoveWindow(last, 40, 30, 100, 80);
    pumpFor(300);
    MoveWindow(last, 250, 200, 100, 80);
    EXPECT_TRUE(pumpUntil([&] { return screenPixel(300 + 250 + 50, 100 + 200 + 40) == 0xFF0000u; }, 15000));
    pumpFor(300);
    EXPECT_EQ(std::make_pair(400, 300), xSizeOf(parent));
    for (HWND view : views)
        DestroyWindow(view);
}

TEST_F(WindowGtkTest, MenuPicksOrDismissesWhileTimersRunAndTrayIconComesAndGoes)
{
    HWND w = makePainted(0, 0, 10, 10, 0, 0, 0);
    EXPECT_TRUE(platform::AddTrayIcon(w, 128, RegisterWindowMessage("WM_SHOWTASK"), "Kavrel"));
    EXPECT_TRUE(platform::IsTrayIconShown(128));
    EXPECT_TRUE(platform::AddTrayIcon(w, 128, RegisterWindowMessage("WM_SHOWTASK"), "Kavrel")); // again: updated
    EXPECT_TRUE(platform::RemoveTrayIcon(128));
    EXPECT_FALSE(platform::IsTrayIconShown(128));

    // The menu runs its own loop while our timers keep running: a timer clicks the menu's
    // first item, then (second run) a point far from the menu.
    struct Run {
        int clickX, clickY;
        UINT expected;
    };
    for (Run run : {Run{130, 112, 0xC100u}, Run{1000, 900, 0u}}) {
        bool clicked = false;
        HWND clicker = CreateWindowEx(0, "", WS_POPUP, 0, 0, 1, 1, nullptr, 0,
                                      [&clicked, run](HWND h, UINT m, WPARAM wp, LPARAM lp) -> LRESULT {
                                          if (m == WM_TIMER && !clicked) {
                                              clicked = true;
                                              clickScreen(run.clickX, run.clickY);
                                          }
                                          return DefWindowProc(h, m, wp, lp);
                                      });
        SetTimer(clicker, 1, 300);
        m_log.clear();
        UINT chosen = platform::TrackPopupMenu({{0xC100, "Kavrel\xB9\xD9\xCD\xF8"}, {0xC101, "\xCD\xCB\xB3\xF6"}},
                                               100, 100, w);
        DestroyWindow(clicker); // its procedure refers to this body's locals
        EXPECT_TRUE(clicked);
        EXPECT_EQ(run.expected, chosen);
        pumpFor(50);
        EXPECT_EQ(run.expected ? 1u : 0u, of(WM_COMMAND).size());
        if (run.expected && !of(WM_COMMAND).empty()) {
            EXPECT_EQ(run.expected, of(WM_COMMAND)[0].wParam);
        }
    }
}

// Starting and stopping the GTK window system twice with live windows, a browser view,
// tray icons and timers: each run starts empty and nothing of the last one calls back.
TEST_F(WindowGtkTest, RestartWithLiveWindowsTraysAndTimersLeavesNothingBehind)
{
    const UINT trayMessage = RegisterWindowMessage("WM_SHOWTASK");
    for (int run = 0; run < 2; ++run) {
        SCOPED_TRACE(run);
        HWND top = makePainted(50, 50, 200, 150, 0, 0, 1);
        HWND view = CreateWindowEx(0, "", WS_CHILD | WS_VISIBLE, 10, 10, 100, 100, top, 1000,
                                   [](HWND h, UINT m, WPARAM wp, LPARAM lp) -> LRESULT {
                                       if (m == WM_CREATE)
                                           return platform::AttachWebView(h) ? 0 : -1;
                                       return DefWindowProc(h, m, wp, lp);
                                   });
        ASSERT_NE(nullptr, view);
        ASSERT_TRUE(platform::WebViewNavigate(view, "about:blank"));
        ASSERT_TRUE(platform::AddTrayIcon(top, 128, trayMessage, "Kavrel"));
        SetTimer(top, 1, 5);
        pumpFor(30);

        platform::ShutdownWindowSystem();
        ASSERT_TRUE(platform::InitWindowSystem(platform::Backend::Gtk));
        m_log.clear();
        EXPECT_FALSE(IsWindow(top));
        EXPECT_FALSE(IsWindow(view));
        EXPECT_FALSE(platform::IsTrayIconShown(128));
        m_ticker = CreateWindowEx(0, "", WS_POPUP, 0, 0, 1, 1, nullptr, 0, nullptr);
        SetTimer(m_ticker, 1, 10);
        pumpFor(50);
        EXPECT_TRUE(m_log.empty()) << "a window of the last run heard something";
    }
}

} // namespace
