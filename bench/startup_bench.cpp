// Start-up to first frame: the skinned main window against a minimal GTK + WebKitGTK
// window. Each iteration starts both probe programs as processes, the same way, and
// reads the moment each reports its first drawn frame (measured from just before the
// process was started). Needs an X display (run under xvfb-run).
#include "bench/FirstFrame.h"

#include <benchmark/benchmark.h>

#include <string>

namespace {

const std::string kProbeDir = KAVREL_PROBE_DIR;
const std::string kSkin = KAVREL_SOURCE_DIR "/skin/config.xml";

void BM_StartupFirstFrame(benchmark::State& state)
{
    double skinTotal = 0, webkitTotal = 0;
    int runs = 0;
    for (auto _ : state) {
        double skin = firstframe::TimeToFirstFrame(kProbeDir + "/startup_probe_skin", kSkin);
        double webkit = firstframe::TimeToFirstFrame(kProbeDir + "/startup_probe_webkit", "");
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
