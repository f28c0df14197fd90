// The logged-in client left alone, as a member leaves it between pages, beside the bare
// GTK window holding one WebKitGTK view of the same page (startup_probe_webkit --stay)
// in the same run:
//   - CPU used while idle, summed over the program and the processes it started (the web
//     and network processes), read from /proc over KAVREL_IDLE_SECONDS (default 60) once
//     the start's own work has died down; the client's threads that woke most are
//     printed, so a busy one is named;
//   - resident memory of the same processes, summed;
//   - closing the main window while the service holds every request: the time until the
//     window is gone and until the process has ended (no bare counterpart).
// Needs an X display (run under xvfb-run).
#include "bench/ProgramRun.h"

#include <benchmark/benchmark.h>

#include <X11/extensions/XTest.h>

#include <algorithm>
#include <cstdio>
#include <dirent.h>
#include <map>
#include <sstream>
#include <vector>

namespace {

using namespace programrun;

const std::string kProbe = KAVREL_PROBE_DIR "/startup_probe_webkit";

// One connection for the whole run: an X server without clients resets, and a bench that
// connected during the reset would find no display.
Display* display()
{
    static Display* const dpy = openDisplay();
    return dpy;
}
const std::string kLoggedIn = "[info]\r\nfirstlogin=1\r\nhasupdate=1\r\nuser=zhangsan\r\npassword=123456\r\nautologin=3\r\n";

int idleSeconds()
{
    const char* text = std::getenv("KAVREL_IDLE_SECONDS");
    const int seconds = text ? std::atoi(text) : 0;
    return seconds > 0 ? seconds : 60;
}

// Fields of /proc/<pid>/stat after the name: state is field 3, ppid 4, utime 14, stime 15.
std::vector<std::string> statFields(const std::string& path)
{
    std::ifstream stat(path);
    std::string text;
    std::getline(stat, text);
    const std::size_t close = text.rfind(')');
    std::vector<std::string> fields;
    if (close == std::string::npos)
        return fields;
    std::istringstream rest(text.substr(close + 2));
    for (std::string field; rest >> field;)
        fields.push_back(field);
    return fields;
}

std::vector<pid_t> numbersIn(const std::string& folder)
{
    std::vector<pid_t> found;
    DIR* dir = opendir(folder.c_str());
    while (dirent* entry = dir ? readdir(dir) : nullptr) {
        if (entry->d_name[0] >= '0' && entry->d_name[0] <= '9')
            found.push_back(std::atoi(entry->d_name));
    }
    if (dir)
        closedir(dir);
    return found;
}

// The program and every process below it.
std::vector<pid_t> processTree(pid_t root)
{
    std::map<pid_t, pid_t> parents;
    for (pid_t pid : numbersIn("/proc")) {
        const auto fields = statFields("/proc/" + std::to_string(pid) + "/stat");
        if (fields.size() > 1)
            parents[pid] = std::atoi(fields[1].c_str());
    }
    std::vector<pid_t> tree{root};
    for (std::size_t i = 0; i < tree.size(); ++i) {
        for (const auto& [pid, parent] : parents) {
            if (parent == tree[i])
                tree.push_back(pid);
        }
    }
    return tree;
}

long cpuTicks(const std::vector<pid_t>& pids)
{
    long ticks = 0;
    for (pid_t pid : pids) {
        const auto fields = statFields("/proc/" + std::to_string(pid) + "/stat");
        if (fields.size() > 12)
            ticks += std::atol(fields[11].c_str()) + std::atol(fields[12].c_str());
    }
    return ticks;
}

long residentKbOf(const std::vector<pid_t>& pids)
{
    long kb = 0;
    for (pid_t pid : pids)
        kb += std::max(0L, residentKb(pid));
    return kb;
}

// Context switches of each thread of pid, by thread id, with the thread's name.
std::map<pid_t, std::pair<std::string, long>> threadSwitches(pid_t pid)
{
    std::map<pid_t, std::pair<std::string, long>> switches;
    const std::string tasks = "/proc/" + std::to_string(pid) + "/task/";
    for (pid_t tid : numbersIn(tasks)) {
        std::ifstream status(tasks + std::to_string(tid) + "/status");
        std::string line, name;
        long count = 0;
        while (std::getline(status, line)) {
            if (line.rfind("Name:", 0) == 0)
                name = line.substr(line.find_first_not_of(" \t", 5));
            else if (line.find("ctxt_switches:") != std::string::npos)
                count += std::atol(line.c_str() + line.find(':') + 1);
        }
        switches[tid] = {name, count};
    }
    return switches;
}

void printBusiestThreads(const std::map<pid_t, std::pair<std::string, long>>& before,
                         const std::map<pid_t, std::pair<std::string, long>>& after, int seconds)
{
    std::vector<std::pair<double, std::string>> rates;
    for (const auto& [tid, entry] : after) {
        const auto was = before.find(tid);
        const long from = was == before.end() ? 0 : was->second.second;
        rates.emplace_back(static_cast<double>(entry.second - from) / seconds, entry.first + " (" + std::to_string(tid) + ")");
    }
    std::sort(rates.rbegin(), rates.rend());
    for (std::size_t i = 0; i < rates.size() && i < 5; ++i)
        std::fprintf(stderr, "client thread %-28s %7.1f wake-ups/s\n", rates[i].second.c_str(), rates[i].first);
}

bool loggedInDrawn(Display* dpy, ProgramFolder& folder)
{
    const ::Window frame = findWindow(dpy, 1008, 640);
    return frame && folder.service().service().LoggedInUid() && !findWindow(dpy, 600, 372)
           && !whiteish(pixel(dpy, frame, 668, 32)) && blueish(pixel(dpy, frame, 20, 60));
}

struct Idle {
    long ticks = -1;
    long residentKb = 0;
};

// Waits until pid's process tree has finished what its start set going (pages loading,
// the engine's collections after them, a notice closing): 3 s at least, then until 2 s
// pass without a tick, 20 s at most. Both programs are measured from there, so the idle
// window holds neither's start-up tail.
void settle(pid_t pid)
{
    std::this_thread::sleep_for(std::chrono::seconds(3));
    const auto until = Clock::now() + std::chrono::seconds(17);
    long last = cpuTicks(processTree(pid));
    int quietSeconds = 0;
    while (quietSeconds < 2 && Clock::now() < until) {
        std::this_thread::sleep_for(std::chrono::seconds(1));
        const long now = cpuTicks(processTree(pid));
        quietSeconds = now == last ? quietSeconds + 1 : 0;
        last = now;
    }
}

// Ticks used by pid's process tree over the idle window, once it has settled.
Idle measureIdle(pid_t pid, int seconds, bool printThreads)
{
    settle(pid);
    const auto tree = processTree(pid);
    const auto switchesBefore = threadSwitches(pid);
    const long before = cpuTicks(tree);
    std::this_thread::sleep_for(std::chrono::seconds(seconds));
    Idle idle;
    idle.ticks = cpuTicks(tree) - before;
    idle.residentKb = residentKbOf(processTree(pid));
    if (printThreads)
        printBusiestThreads(switchesBefore, threadSwitches(pid), seconds);
    return idle;
}

// The client started afresh on the remembered login; 0, and the run marked as skipped,
// when its logged-in window never appeared.
pid_t startLoggedIn(benchmark::State& state, Display* dpy, ProgramFolder& folder)
{
    folder.service().reset();
    folder.settings(kLoggedIn);
    const pid_t pid = spawn(folder.program());
    if (msUntil(Clock::now(), [&] { return loggedInDrawn(dpy, folder); }) < 0) {
        stop(pid);
        state.SkipWithError("the client did not log in");
        return 0;
    }
    return pid;
}

void BM_IdleLoggedInCpuAndMemory(benchmark::State& state)
{
    Display* dpy = display();
    ProgramFolder folder;
    if (!dpy || !folder.ok()) {
        state.SkipWithError("no display or no dev service");
        return;
    }
    const int seconds = idleSeconds();
    Idle client, bare;
    for (auto _ : state) {
        const pid_t pid = startLoggedIn(state, dpy, folder);
        if (pid <= 0)
            break;
        client = measureIdle(pid, seconds, true);
        stop(pid);
        msUntil(Clock::now(), [&] { return !findWindow(dpy, 1008, 640); });

        const pid_t probe = spawn(kProbe, {"--stay", folder.service().pageBaseAddress() + "/ad_top.htm"});
        bare = measureIdle(probe, seconds, false);
        stop(probe);
    }
    state.counters["idle_seconds"] = seconds;
    state.counters["client_ticks"] = static_cast<double>(client.ticks);
    state.counters["bare_ticks"] = static_cast<double>(bare.ticks);
    // A bare window that used no tick at all still counts as one, so the ratio stays finite.
    state.counters["cpu_ratio"] = static_cast<double>(client.ticks) / static_cast<double>(std::max(1L, bare.ticks));
    state.counters["client_rss_mb"] = static_cast<double>(client.residentKb) / 1024.0;
    state.counters["bare_rss_mb"] = static_cast<double>(bare.residentKb) / 1024.0;
    state.counters["memory_ratio"] = static_cast<double>(client.residentKb) / static_cast<double>(std::max(1L, bare.residentKb));
}
BENCHMARK(BM_IdleLoggedInCpuAndMemory)->Unit(benchmark::kSecond)->Iterations(1)->UseRealTime();

void clickAt(Display* dpy, ::Window window, int x, int y)
{
    int rootX = 0, rootY = 0;
    ::Window child = 0;
    XTranslateCoordinates(dpy, window, DefaultRootWindow(dpy), x, y, &rootX, &rootY, &child);
    XTestFakeMotionEvent(dpy, -1, rootX, rootY, CurrentTime);
    XTestFakeButtonEvent(dpy, 1, True, CurrentTime);
    XTestFakeButtonEvent(dpy, 1, False, CurrentTime);
    XFlush(dpy);
}

// The close button while every request to the service waits ten minutes for its answer.
void BM_CloseWhileTheServiceHangs(benchmark::State& state)
{
    Display* dpy = display();
    ProgramFolder folder;
    if (!dpy || !folder.ok()) {
        state.SkipWithError("no display or no dev service");
        return;
    }
    double windowGone = 0, processGone = 0;
    int runs = 0;
    for (auto _ : state) {
        const pid_t pid = startLoggedIn(state, dpy, folder);
        if (pid <= 0)
            break;
        std::this_thread::sleep_for(std::chrono::seconds(1));
        folder.service().addFault({"/service/", 0, 600000, -1, false, 0});
        const auto start = Clock::now();
        clickAt(dpy, findWindow(dpy, 1008, 640), 981, 21);
        const double window = msUntil(start, [&] { return !findWindow(dpy, 1008, 640); });
        int status = 0;
        const double process = msUntil(start, [&] { return waitpid(pid, &status, WNOHANG) == pid; });
        if (window < 0 || process < 0) {
            stop(pid);
            state.SkipWithError("the client did not go");
            break;
        }
        state.SetIterationTime(process / 1000.0);
        windowGone += window;
        processGone += process;
        ++runs;
    }
    folder.service().reset();
    if (runs) {
        state.counters["window_gone_ms"] = windowGone / runs;
        state.counters["process_gone_ms"] = processGone / runs;
    }
}
BENCHMARK(BM_CloseWhileTheServiceHangs)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(3);

} // namespace

BENCHMARK_MAIN();
