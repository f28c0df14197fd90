// The first instance in the running-instance test: a hidden marked main window that
// reports on standard output when it has been asked to show itself.
#include "platform/window/DesktopShell.h"
#include "platform/window/WindowSystem.h"

#include <cstdio>

int main(int argc, char** argv)
{
    if (argc < 2 || !platform::InitWindowSystem(platform::Backend::Gtk))
        return 2;
    HWND main = CreateWindowEx(0, "", WS_POPUP, 40, 40, 200, 100, nullptr, 0, [](HWND h, UINT m, WPARAM wp, LPARAM lp) -> LRESULT {
        if (m == WM_TIMER) {
            std::printf("timeout\n");
            PostQuitMessage(3);
        } else if (m == WM_SHOWWINDOW && wp) {
            PostMessage(h, WM_USER, 0, 0);
        } else if (m == WM_USER) {
            std::printf("shown visible=%d iconic=%d\n", IsWindowVisible(h) ? 1 : 0, IsIconic(h) ? 1 : 0);
            std::fflush(stdout);
            PostQuitMessage(0);
        }
        return DefWindowProc(h, m, wp, lp);
    });
    // Hidden, as when the client sits in the tray: the X window exists but is unmapped.
    if (!platform::MarkRunningInstance(main, argv[1]))
        return 4;
    SetTimer(main, 1, 20000);
    std::printf("ready\n");
    std::fflush(stdout);
    int code = RunMessageLoop();
    platform::ShutdownWindowSystem();
    return code;
}
