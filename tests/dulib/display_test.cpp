// A real skinned window on the X server: the main layout attached to a GTK-backed window
// is shown and painted through the engine.
#include "dulib/dulib.h"

#include "platform/window/WindowSystem.h"

#include <gtest/gtest.h>

namespace {

constexpr UINT_PTR kDeadlineTimer = 77;

TEST(SkinOnDisplay, MainWindowAppearsAndIsPainted)
{
    if (!platform::InitWindowSystem(platform::Backend::Gtk)) GTEST_SKIP() << "no X display";
    SkinManager* skin = LoadStyleA(KAVREL_SOURCE_DIR "/skin/config.xml");
    ASSERT_EQ(skin->GetError(), "");
    int paints = 0;
    bool timedOut = false;
    HWND hwnd = CreateWindowEx(0, "Kavrel", WS_POPUP, 0, 0, 200, 200, nullptr, 0,
                               [&](HWND h, UINT m, WPARAM w, LPARAM l) -> LRESULT {
                                   if (m == WM_TIMER && w == kDeadlineTimer) {
                                       timedOut = true;
                                       PostQuitMessage(0);
                                   }
                                   return DefWindowProc(h, m, w, l);
                               });
    ASSERT_NE(hwnd, nullptr);
    ASSERT_EQ(WindowManager_Attach(skin, hwnd, "MainFrame_Window"), 1);
    WindowProc engine;
    engine = SetWindowProc(hwnd, [&](HWND h, UINT m, WPARAM w, LPARAM l) -> LRESULT {
        LRESULT r = engine(h, m, w, l);
        if (m == WM_PAINT && w != 0 && ++paints == 1) PostQuitMessage(0);
        return r;
    });
    RECT client;
    GetClientRect(hwnd, &client);
    EXPECT_EQ(client.width(), 1008);
    EXPECT_EQ(client.height(), 640);
    SetTimer(hwnd, kDeadlineTimer, 20000); // a limit, not a wait: the paint ends the loop
    ShowWindow(hwnd, SW_SHOW);
    RunMessageLoop();
    EXPECT_FALSE(timedOut);
    EXPECT_GE(paints, 1);
    EXPECT_TRUE(IsWindowVisible(hwnd));
    // Elements work the same on the real back end.
    Plugin* mask = GetPluginByName(hwnd, "window_mask");
    ASSERT_NE(mask, nullptr);
    mask->Show(1);
    Plugin_Redraw(mask, 1);
    EXPECT_EQ(mask->IsVisible(), 1);
    DestroyWindow(hwnd);
    platform::ShutdownWindowSystem();
    dulib::FreeSkin(skin);
}

} // namespace
