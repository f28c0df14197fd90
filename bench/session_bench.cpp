// The member session's cost as a member meets it.
//
// Start-up: the real Kavrel program from a copy of the program folder, against the dev
// service on loopback, timed from just before the process starts to (a) its login window
// drawn and (b) its main window drawn with the member logged in (automatic login from the
// settings), beside the minimal GTK + WebKitGTK window of startup_probe_webkit started the
// same way in the same run. "Drawn" is read from the X server: the window mapped and its
// pixels showing the face expected. Also the client's resident memory after the login.
// Needs an X display (run under xvfb-run).
//
// Feeds: the main window on the headless window system with a request worker whose
// transport answers every feed at once; an hour of feed timers on the controllable clock,
// and the resident memory before and after it.
#include "bench/FirstFrame.h"
#include "bench/ProgramRun.h"
#include "client/service/RequestText.h"
#include "client/service/RequestWorker.h"
#include "client/ui/MainFrame.h"
#include "dulib/dulib.h"
#include "platform/window/HeadlessControls.h"
#include "tests/support/DomainVmx.h"
#include "tests/support/ShownWindow.h"

#include <benchmark/benchmark.h>

#include <atomic>
#include <cstdio>

namespace {

using namespace programrun;

const std::string kProbe = KAVREL_PROBE_DIR "/startup_probe_webkit";

// The minimal GTK + WebKitGTK window: milliseconds to its "painted" line.
double webkitReference()
{
    return firstframe::TimeToFirstFrame(kProbe, "");
}

// One start-up measurement per iteration: the program started with these settings, timed
// until drawn(display, folder) holds; then the reference window. The counter `name` gets
// the mean time, and client_rss_kb the client's resident memory once drawn when asked.
template <class Drawn>
void timeProgramStart(benchmark::State& state, const std::string& settings, const char* name, bool memory,
                      Drawn drawn)
{
    Display* dpy = openDisplay();
    ProgramFolder folder;
    if (!dpy || !folder.ok()) {
        state.SkipWithError("no display or no dev service");
        return;
    }
    double total = 0, reference = 0;
    long rss = 0;
    int runs = 0;
    for (auto _ : state) {
        folder.service().reset();
        folder.settings(settings);
        const auto start = Clock::now();
        const pid_t pid = spawn(folder.program());
        const double ms = msUntil(start, [&] { return drawn(dpy, folder); });
        if (memory) {
            std::this_thread::sleep_for(std::chrono::milliseconds(500));
            rss += residentKb(pid);
        }
        stop(pid);
        msUntil(Clock::now(), [&] { return !findWindow(dpy, 1008, 640); });
        const double ref = webkitReference();
        if (ms < 0 || ref < 0) {
            state.SkipWithError("the client's window or the reference window was not drawn");
            break;
        }
        state.SetIterationTime(ms / 1000.0);
        total += ms;
        reference += ref;
        ++runs;
    }
    if (runs) {
        state.counters[name] = total / runs;
        state.counters["gtk_webkit_ms"] = reference / runs;
        state.counters["ratio"] = total / reference;
        if (memory)
            state.counters["client_rss_kb"] = static_cast<double>(rss) / runs;
    }
    XCloseDisplay(dpy);
}

void BM_ProgramStartToLoginWindow(benchmark::State& state)
{
    timeProgramStart(state, "[info]\r\nfirstlogin=1\r\nhasupdate=1\r\n", "login_window_ms", false,
                     [](Display* dpy, ProgramFolder&) {
                         // The form's caption bar is blue once it is drawn.
                         const ::Window login = findWindow(dpy, 600, 372);
                         return login && blueish(pixel(dpy, login, 450, 10));
                     });
}
BENCHMARK(BM_ProgramStartToLoginWindow)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(5);

void BM_ProgramStartToLoggedInMainWindow(benchmark::State& state)
{
    timeProgramStart(state, "[info]\r\nfirstlogin=1\r\nhasupdate=1\r\nuser=zhangsan\r\npassword=123456\r\nautologin=3\r\n",
                     "logged_in_ms", true, [](Display* dpy, ProgramFolder& folder) {
                         // Logged in: the form is gone and the login pill of the band (white)
                         // has given way to the member panel.
                         const ::Window frame = findWindow(dpy, 1008, 640);
                         return frame && folder.service().service().LoggedInUid() && !findWindow(dpy, 600, 372)
                                && !whiteish(pixel(dpy, frame, 668, 32)) && blueish(pixel(dpy, frame, 20, 60));
                     });
}
BENCHMARK(BM_ProgramStartToLoggedInMainWindow)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(5);

// Answers like the dev service's, with notices in every one, so each feed does its work.
std::string feedAnswer(const std::string& body)
{
    if (body.find("msg_unread_count") != std::string::npos)
        return R"({"success": true, "unreadCount": 3, "latestSubject": "模拟考试", "latestMessage": "请准时", "latestURL": "77"})";
    if (body.find("discussion_sys_publish") != std::string::npos)
        return R"({"success": true, "author": "管理员", "subject": "大纲解读", "tid": 15})";
    if (body.find("\"connect\"") != std::string::npos)
        return R"({"success": true, "content": {"notices": [{"notice": "新课程上线", "href": "21"}]}})";
    if (body.find("\"login\"") != std::string::npos)
        return R"({"success": true, "content": {"loginSuccess": true, "uid": 1001, "realname": "张三",
                   "memberRoleName": "VIP会员", "groupName": "高级学员", "money": 520}})";
    return R"({"success": true})";
}

void BM_ResidentMemoryOverAnHourOfFeeds(benchmark::State& state)
{
    if (!platform::InitWindowSystem(platform::Backend::Headless)) {
        state.SkipWithError("no headless window system");
        return;
    }
    SkinManager* skin = LoadStyleA(KAVREL_SOURCE_DIR "/skin/config.xml");
    const fs::path dir = fs::temp_directory_path() / ("kavrel-feeds-" + std::to_string(getpid()));
    fs::create_directories(dir / "data");
    std::ofstream(dir / "domain.vmx") << testsupport::domainVmx("http://127.0.0.1:9", 0, {}, "/p");
    std::atomic<int> answered{0};
    CRequestWorker::Options options;
    options.reportFolder = dir.string() + "/";
    options.transport = [&](const std::string&, const std::string& body, std::string& answer, int& status) {
        answer = feedAnswer(body);
        status = 200;
        ++answered;
        return 1;
    };
    {
        CRequestWorker worker(options);
        CMainFrame frame(dir.string() + "/", skin);
        frame.UseRequestWorker(&worker);
        frame.Create();
        auto pumpUntilAnswered = [&](int count) {
            const auto start = Clock::now();
            MSG msg;
            while (answered < count && Clock::now() - start < std::chrono::seconds(10))
                std::this_thread::sleep_for(std::chrono::microseconds(200));
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
            while (PeekMessage(&msg, true))
                DispatchMessage(&msg);
        };
        frame.RequestLogin("zhangsan", "123456");
        pumpUntilAnswered(2);
        long before = 0, after = 0;
        for (auto _ : state) {
            before = residentKb(getpid());
            // An hour in 15-second steps: every feed timer fires and its answer is handled.
            const int base = answered;
            for (int second = 15; second <= 3600; second += 15) {
                platform::AdvanceClock(15000);
                // connect every 15 s, unread messages every 30 s, forum every 50 s
                pumpUntilAnswered(base + second / 15 + second / 30 + second / 50);
            }
            after = residentKb(getpid());
        }
        state.counters["rss_after_login_kb"] = static_cast<double>(before);
        state.counters["rss_after_hour_kb"] = static_cast<double>(after);
        state.counters["growth_kb"] = static_cast<double>(after - before);
        state.counters["requests"] = answered.load();
    }
    platform::ShutdownWindowSystem();
    dulib::FreeSkin(skin);
    fs::remove_all(dir);
}
BENCHMARK(BM_ResidentMemoryOverAnHourOfFeeds)->Unit(benchmark::kMillisecond)->Iterations(1);

} // namespace

BENCHMARK_MAIN();
