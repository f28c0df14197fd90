// A click on a function tile of the logged-in main window until the tile's page is first
// seen painted in the page view, beside a bare WebKitGTK view in a plain GTK window loading
// the same page from the same dev service in the same run. Both wait for the same thing on
// the screen: the page's blue header band across the top of the view and its light
// background below it. Run under an X server (xvfb-run -a -s "-screen 0 1280x1024x24").
#include "client/service/RequestWorker.h"
#include "client/ui/MainFrame.h"
#include "devservice/DevService.h"
#include "dulib/dulib.h"
#include "platform/window/DesktopShell.h"
#include "platform/window/WindowSystem.h"

#include "DomainVmx.h"
#include "StudyPageOnScreen.h"

#include <benchmark/benchmark.h>
#include <gdk/gdkx.h>
#include <gtk/gtk.h>
#include <webkit2/webkit2.h>
#include <X11/extensions/XTest.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <string>

namespace {

using Clock = std::chrono::steady_clock;
constexpr auto kLimit = std::chrono::seconds(20);
// The client's mean tile click to paint in this run, for the bare view's ratio.
double g_clientPageMs = 0;

// Serves our queue and GTK until done() holds; false after the limit.
bool serveUntil(const std::function<bool()>& done)
{
    const auto deadline = Clock::now() + kLimit;
    MSG msg;
    while (!done()) {
        if (Clock::now() > deadline)
            return false;
        while (PeekMessage(&msg, true)) {
            TranslateMessage(&msg);
            DispatchMessage(&msg);
        }
        g_main_context_iteration(nullptr, TRUE); // a 1 ms source keeps this short
    }
    return true;
}

void serveFor(int ms)
{
    const auto until = Clock::now() + std::chrono::milliseconds(ms);
    serveUntil([&] { return Clock::now() >= until; });
}

// A bare view drawn in software, as the client's views are (any X server, Xvfb included).
GtkWidget* bareView()
{
    GtkWidget* view = webkit_web_view_new();
    webkit_settings_set_hardware_acceleration_policy(webkit_web_view_get_settings(WEBKIT_WEB_VIEW(view)),
                                                     WEBKIT_HARDWARE_ACCELERATION_POLICY_NEVER);
    return view;
}

// What both benchmarks share: the dev service, the window system, a logged-in main window.
struct Setup {
    std::unique_ptr<devservice::DevService> service;
    std::filesystem::path dir;
    SkinManager* skin = nullptr;
    std::unique_ptr<CRequestWorker> worker;
    std::unique_ptr<CMainFrame> frame;
    std::string error;

    Setup()
    {
        devservice::DevServiceOptions options;
        options.port = 0;
        service = std::make_unique<devservice::DevService>(options);
        if (!service->start()) {
            error = "the dev service did not start";
            return;
        }
        if (!platform::InitWindowSystem(platform::Backend::Gtk)) {
            error = "no X display";
            return;
        }
        g_timeout_add(1, [](gpointer) -> gboolean { return G_SOURCE_CONTINUE; }, nullptr);
        char pattern[] = "/tmp/kavrel-bench-XXXXXX";
        dir = mkdtemp(pattern);
        const std::string site = service->siteBase();
        std::ofstream(dir / "domain.vmx") << testsupport::domainVmx(site, testsupport::kWebAddress, service->pageBaseAddress());
        skin = LoadStyleA(KAVREL_SOURCE_DIR "/skin/config.xml");
        worker = std::make_unique<CRequestWorker>(dir.string() + "/");
        frame = std::make_unique<CMainFrame>(dir.string() + "/", skin);
        frame->UseRequestWorker(worker.get());
        if (!frame->Create()) {
            error = "the main window was not created";
            return;
        }
        frame->ShowWindow(SW_SHOW);
        frame->RequestLogin("zhangsan", "123456");
        if (!serveUntil([&] { return frame->IsLoggedIn(); }))
            error = "no login";
        serveFor(500);
    }
    ~Setup()
    {
        frame.reset();
        if (skin)
            platform::ShutdownWindowSystem();
        worker.reset();
        if (skin)
            dulib::FreeSkin(skin);
        std::filesystem::remove_all(dir);
    }

    // The page area of the main window on the screen.
    RECT pageArea() const
    {
        RECT r{};
        GetPluginByName(frame->GetSafeHwnd(), "hwndobj_main_lobby_left")->GetRect(&r);
        POINT topLeft{r.left, r.top}, bottomRight{r.right, r.bottom};
        ClientToScreen(frame->GetSafeHwnd(), &topLeft);
        ClientToScreen(frame->GetSafeHwnd(), &bottomRight);
        return RECT{topLeft.x, topLeft.y, bottomRight.x, bottomRight.y};
    }
};

Setup& setup()
{
    static Setup s;
    return s;
}

void clickAt(HWND window, const POINT& client)
{
    Display* dpy = gdk_x11_display_get_xdisplay(gdk_display_get_default());
    POINT p = client;
    ClientToScreen(window, &p);
    XTestFakeMotionEvent(dpy, -1, p.x, p.y, CurrentTime);
    XTestFakeButtonEvent(dpy, 1, True, CurrentTime);
    XTestFakeButtonEvent(dpy, 1, False, CurrentTime);
    XFlush(dpy);
}

// From the X server's click on the "考点精讲" tile to the page painted in the view. Between
// iterations the return button brings the home panel back (not timed).
void BM_ClientTileClickToFirstPaint(benchmark::State& state)
{
    Setup& s = setup();
    if (!s.error.empty()) {
        state.SkipWithError(s.error.c_str());
        return;
    }
    HWND frame = s.frame->GetSafeHwnd();
    RECT tile{};
    GetPluginByName(frame, "window_kaodian")->GetRect(&tile);
    const POINT tileCentre{(tile.left + tile.right) / 2, (tile.top + tile.bottom) / 2};
    double totalMs = 0;
    for (auto _ : state) {
        state.PauseTiming();
        PluginEvent back{PE_CLICK, 0, 0};
        SendMessage(frame, WM_SKINEVENT, reinterpret_cast<WPARAM>(GetPluginByName(frame, "window_return")),
                    reinterpret_cast<LPARAM>(&back));
        serveUntil([&] { return !testsupport::studyPageShown(s.pageArea()); });
        serveFor(100);
        const RECT area = s.pageArea();
        state.ResumeTiming();

        const auto start = Clock::now();
        clickAt(frame, tileCentre);
        if (!serveUntil([&] { return testsupport::studyPageShown(area); })) {
            state.SkipWithError("the page was not painted");
            return;
        }
        totalMs += std::chrono::duration<double, std::milli>(Clock::now() - start).count();
    }
    g_clientPageMs = totalMs / static_cast<double>(state.iterations());
    state.counters["page_ms"] = g_clientPageMs;
}

// The same page from the same service in a bare WebKitGTK view of the page area's size,
// from the load request to the page painted. Argument 1: a new view for every load, made
// inside the timing, as the client makes one per page; 0: one view loads every time.
void BM_BareWebKitLoadToFirstPaint(benchmark::State& state)
{
    Setup& s = setup();
    if (!s.error.empty()) {
        state.SkipWithError(s.error.c_str());
        return;
    }
    const bool freshView = state.range(0) != 0;
    const RECT area = s.pageArea();
    s.frame->ShowWindow(SW_HIDE);
    GtkWidget* window = gtk_window_new(GTK_WINDOW_TOPLEVEL);
    gtk_window_set_decorated(GTK_WINDOW(window), FALSE);
    gtk_window_set_default_size(GTK_WINDOW(window), area.width(), area.height());
    gtk_window_move(GTK_WINDOW(window), area.left, area.top);
    GtkWidget* view = bareView();
    gtk_container_add(GTK_CONTAINER(window), view);
    gtk_widget_show_all(window);
    serveFor(500);

    const std::string page = s.service->pageBaseAddress() + "/testSites_sitesList.htm?randomtime=";
    int n = 0;
    double totalMs = 0;
    for (auto _ : state) {
        state.PauseTiming();
        if (freshView) {
            gtk_widget_destroy(view);
            view = nullptr;
        } else {
            webkit_web_view_load_html(WEBKIT_WEB_VIEW(view), "<html><body></body></html>", nullptr);
        }
        serveUntil([&] { return !testsupport::studyPageShown(area); });
        serveFor(100);
        // A new address each time, as the client's page clock gives it.
        const std::string address = page + "2013-05-06%2007:08:" + std::to_string(10 + n++ % 50);
        state.ResumeTiming();

        const auto start = Clock::now();
        if (freshView) {
            view = bareView();
            gtk_container_add(GTK_CONTAINER(window), view);
            gtk_widget_show(view);
        }
        webkit_web_view_load_uri(WEBKIT_WEB_VIEW(view), address.c_str());
        if (!serveUntil([&] { return testsupport::studyPageShown(area); })) {
            state.SkipWithError("the page was not painted");
            break;
        }
        totalMs += std::chrono::duration<double, std::milli>(Clock::now() - start).count();
    }
    const double bareMs = totalMs / static_cast<double>(std::max<benchmark::IterationCount>(1, state.iterations()));
    state.counters["bare_ms"] = bareMs;
    // The tile click's time (measured first in this run) over this one's.
    if (g_clientPageMs > 0 && bareMs > 0)
        state.counters["client_ratio"] = g_clientPageMs / bareMs;
    gtk_widget_destroy(window);
    s.frame->ShowWindow(SW_SHOW);
}

BENCHMARK(BM_ClientTileClickToFirstPaint)->Unit(benchmark::kMillisecond)->Iterations(20)->UseRealTime();
BENCHMARK(BM_BareWebKitLoadToFirstPaint)
    ->ArgName("fresh_view")
    ->Arg(0)
    ->Arg(1)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(20)
    ->UseRealTime();

} // namespace

BENCHMARK_MAIN();
