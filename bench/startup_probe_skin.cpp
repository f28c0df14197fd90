// Start-up probe: a GTK-backed window with the skin's main layout attached. Prints
// "painted <ms>\n" (milliseconds since the probe's own start) once the first WM_PAINT has
// been drawn, then ends; "hold" as third argument keeps the window open until killed.
// Usage: startup_probe_skin <skin/config.xml> [layout] [hold]
#include "dulib/dulib.h"

#include "platform/window/WindowSystem.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>

int main(int argc, char** argv)
{
    auto start = std::chrono::steady_clock::now();
    if (argc < 2) return 2;
    const char* layout = argc > 2 ? argv[2] : "MainFrame_Window";
    bool hold = argc > 3 && std::strcmp(argv[3], "hold") == 0;
    auto trace = [&](const char* what) {
        if (std::getenv("KAVREL_PROBE_TRACE"))
            std::fprintf(stderr, "%s %.1f\n", what,
                         std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count());
    };
    trace("main");
    if (!platform::InitWindowSystem(platform::Backend::Gtk)) {
        std::fprintf(stderr, "no display\n");
        return 1;
    }
    trace("window system");
    SkinManager* skin = LoadStyleA(argv[1]);
    trace("skin loaded");
    HWND hwnd = CreateWindowEx(0, "Kavrel", WS_POPUP, 0, 0, 400, 400, nullptr, 0,
                               [](HWND h, UINT m, WPARAM w, LPARAM l) { return DefWindowProc(h, m, w, l); });
    if (!hwnd || !WindowManager_Attach(skin, hwnd, layout)) return 1;
    bool painted = false;
    WindowProc engine;
    engine = SetWindowProc(hwnd, [&](HWND h, UINT m, WPARAM w, LPARAM l) -> LRESULT {
        if (m == WM_PAINT && !painted) trace("first paint begins");
        LRESULT r = engine(h, m, w, l);
        if (m == WM_PAINT && !painted) {
            painted = true;
            auto ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
            std::printf("painted %.1f\n", ms);
            std::fflush(stdout);
            if (!hold) PostQuitMessage(0);
        }
        return r;
    });
    trace("attached");
    CenterWindow(hwnd, nullptr);
    ShowWindow(hwnd, SW_SHOW);
    int code = RunMessageLoop();
    platform::ShutdownWindowSystem();
    return code;
}
