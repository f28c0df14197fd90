// Start-up to first frame: the skinned main window against a minimal GTK + WebKitGTK
// window. Each iteration starts both probe programs as processes, the same way, and
// reads the moment each reports its first drawn frame (measured from just before the
// process was started). Needs an X display (run under xvfb-run).
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <spawn.h>
#include <string>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace {

const std::string kProbeDir = KAVREL_PROBE_DIR;
const std::string kSkin = KAVREL_SOURCE_DIR "/skin/config.xml";

// Milliseconds from the start of the process to its "painted" line; negative on failure.
double TimeToFirstFrame(const std::string& program, const std::string& argument)
{
    int fds[2];
    if (pipe(fds) != 0) return -1;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, fds[1], 1);
    posix_spawn_file_actions_addclose(&actions, fds[0]);
    std::string prog = program;
    std::string arg = argument;
    char* argv[] = {prog.data(), arg.empty() ? nullptr : arg.data(), nullptr};
    auto start = std::chrono::steady_clock::now();
    pid_t pid = 0;
    int rc = posix_spawn(&pid, prog.c_str(), &actions, nullptr, argv, environ);
    posix_spawn_file_actions_destroy(&actions);
    close(fds[1]);
    if (rc != 0) {
        close(fds[0]);
        return -1;
    }
    std::string line;
    char c = 0;
    double ms = -1;
    while (read(fds[0], &c, 1) == 1) {
        if (c == '\n') {
            if (line.rfind("painted", 0) == 0)
                ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
            break;
        }
        line += c;
    }
    close(fds[0]);
    int status = 0;
    waitpid(pid, &status, 0);
    return ms;
}

void BM_StartupFirstFrame(benchmark::State& state)
{
    double skinTotal = 0, webkitTotal = 0;
    int runs = 0;
    for (auto _ : state) {
        double skin = TimeToFirstFrame(kProbeDir + "/startup_probe_skin", kSkin);
        double webkit = TimeToFirstFrame(kProbeDir + "/startup_probe_webkit", "");
        if (skin < 0 || webkit < 0) {
            state.SkipWithError("a probe did not draw (no display?)");
            return;
        }
        state.SetIterationTime(skin / 1000.0);
        skinTotal += skin;
        webkitTotal += webkit;
        ++runs;
    }
    if (runs == 0) return;
    state.counters["skin_ms"] = skinTotal / runs;
    state.counters["gtk_webkit_ms"] = webkitTotal / runs;
    state.counters["ratio"] = skinTotal / webkitTotal;
}
BENCHMARK(BM_StartupFirstFrame)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(10);

} // namespace

BENCHMARK_MAIN();
