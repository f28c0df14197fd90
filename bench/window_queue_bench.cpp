// The window system's queue on the headless back end: post and dispatch on one thread,
// and a worker's SendMessage answered by the user-interface thread.
#include "platform/window/WindowSystem.h"

#include <benchmark/benchmark.h>

#include <atomic>
#include <thread>

namespace {

void BM_PostAndDispatch(benchmark::State& state)
{
    if (!platform::InitWindowSystem(platform::Backend::Headless)) {
        state.SkipWithError("no window system");
        return;
    }
    long handled = 0;
    HWND w = CreateWindowEx(0, "", WS_POPUP, 0, 0, 10, 10, nullptr, 0, [&](HWND, UINT m, WPARAM, LPARAM) -> LRESULT {
        if (m == WM_USER)
            ++handled;
        return 0;
    });
    const int batch = static_cast<int>(state.range(0));
    for (auto _ : state) {
        for (int i = 0; i < batch; ++i)
            PostMessage(w, WM_USER, static_cast<WPARAM>(i), 0);
        MSG msg;
        while (PeekMessage(&msg, true))
            DispatchMessage(&msg);
    }
    state.SetItemsProcessed(state.iterations() * batch);
    benchmark::DoNotOptimize(handled);
    platform::ShutdownWindowSystem();
}
BENCHMARK(BM_PostAndDispatch)->Arg(1)->Arg(64);

void BM_CrossThreadSend(benchmark::State& state)
{
    if (!platform::InitWindowSystem(platform::Backend::Headless)) {
        state.SkipWithError("no window system");
        return;
    }
    HWND w = CreateWindowEx(0, "", WS_POPUP, 0, 0, 10, 10, nullptr, 0,
                            [](HWND, UINT, WPARAM wp, LPARAM) -> LRESULT { return static_cast<LRESULT>(wp) + 1; });
    const UINT stop = WM_USER + 1;
    // The benchmark thread is the user-interface thread; a worker sends and measures.
    std::atomic<long> rounds{0};
    std::thread worker([&] {
        for (auto _ : state) {
            LRESULT r = SendMessage(w, WM_USER, 1, 0);
            benchmark::DoNotOptimize(r);
            ++rounds;
        }
        PostMessage(w, stop, 0, 0);
    });
    MSG msg;
    while (GetMessage(&msg)) {
        if (msg.message == stop)
            break;
        DispatchMessage(&msg);
    }
    worker.join();
    state.SetItemsProcessed(rounds.load());
    platform::ShutdownWindowSystem();
}
BENCHMARK(BM_CrossThreadSend)->UseRealTime();

} // namespace

BENCHMARK_MAIN();
