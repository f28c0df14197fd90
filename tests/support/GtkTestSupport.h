// A GTK window system per test (needs the X server), with waits that pump our queue until a
// condition holds or a deadline passes, and pixels read back from the screen.
#pragma once

#include "platform/window/WindowSystem.h"

// GoogleTest before the X headers: X defines macros (None, Bool) that clash with it.
#include <gtest/gtest.h>

#include "ShownWindow.h"

#include <gdk/gdk.h>
#include <gdk/gdkx.h>
#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>

#include <chrono>
#include <cstdint>
#include <functional>
#include <string>

namespace testsupport {

// Other programs' windows may go away between two X requests about them. GDK's error
// handler ends the process on such an error (leaving a started client running behind
// the test), so requests about windows that are not ours run inside this trap.
class XErrorTrap {
public:
    XErrorTrap() { gdk_x11_display_error_trap_push(gdk_display_get_default()); }
    ~XErrorTrap() { gdk_x11_display_error_trap_pop_ignored(gdk_display_get_default()); }
    XErrorTrap(const XErrorTrap&) = delete;
    XErrorTrap& operator=(const XErrorTrap&) = delete;
};

// The first shown window of that size on GDK's display, with the X errors of windows
// that go meanwhile trapped.
inline std::optional<ShownWindow> findShownWindow(int width, int height)
{
    const XErrorTrap trap;
    return findShownWindow(gdk_x11_display_get_xdisplay(gdk_display_get_default()), width, height);
}

// Saves that area of the screen as a PNG picture at path; false when it cannot.
inline bool saveScreen(const std::string& path, int x, int y, int width, int height)
{
    GdkPixbuf* picture = gdk_pixbuf_get_from_window(gdk_get_default_root_window(), x, y, width, height);
    if (!picture)
        return false;
    const bool saved = gdk_pixbuf_save(picture, path.c_str(), "png", nullptr, nullptr);
    g_object_unref(picture);
    return saved;
}

// Saves the whole screen as a PNG picture at path; false when it cannot.
inline bool saveScreen(const std::string& path)
{
    GdkWindow* root = gdk_get_default_root_window();
    return saveScreen(path, 0, 0, gdk_window_get_width(root), gdk_window_get_height(root));
}

class GtkWindowTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (!platform::InitWindowSystem(platform::Backend::Gtk))
            GTEST_SKIP() << "no X display";
        // A window of its own keeps the loop waking while we wait.
        m_ticker = CreateWindowEx(0, "", WS_POPUP, 0, 0, 1, 1, nullptr, 0, nullptr);
        SetTimer(m_ticker, 1, 10);
    }
    void TearDown() override { platform::ShutdownWindowSystem(); }

    // Dispatches messages until pred holds; false when the deadline passes first.
    bool pumpUntil(const std::function<bool()>& pred, int timeoutMs = 10000)
    {
        auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
        MSG msg;
        while (!pred()) {
            if (std::chrono::steady_clock::now() > deadline)
                return false;
            if (!GetMessage(&msg))
                return pred();
            TranslateMessage(&msg);
            DispatchMessage(&msg);
        }
        return true;
    }
    void pumpFor(int ms)
    {
        auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
        pumpUntil([&] { return std::chrono::steady_clock::now() >= until; }, ms + 1000);
    }

public:
    // The colour on screen at (x, y), as 0xRRGGBB.
    static std::uint32_t screenPixel(int x, int y)
    {
        GdkPixbuf* pixbuf = gdk_pixbuf_get_from_window(gdk_get_default_root_window(), x, y, 1, 1);
        if (!pixbuf)
            return 0xFFFFFFFFu;
        const guchar* p = gdk_pixbuf_get_pixels(pixbuf);
        std::uint32_t rgb = (std::uint32_t{p[0]} << 16) | (std::uint32_t{p[1]} << 8) | p[2];
        g_object_unref(pixbuf);
        return rgb;
    }

    // A click at (x, y) of the X window `xid`, made by the X server's test extension as
    // the pointer would make it. The window is raised first, since tests running beside
    // this one may put windows on the same screen.
    static void clickAt(unsigned long xid, int x, int y, unsigned int button = 1)
    {
        Display* dpy = gdk_x11_display_get_xdisplay(gdk_display_get_default());
        int rootX = 0, rootY = 0;
        ::Window child = 0;
        XRaiseWindow(dpy, xid);
        XTranslateCoordinates(dpy, xid, DefaultRootWindow(dpy), x, y, &rootX, &rootY, &child);
        XTestFakeMotionEvent(dpy, -1, rootX, rootY, CurrentTime);
        XTestFakeButtonEvent(dpy, button, True, CurrentTime);
        XTestFakeButtonEvent(dpy, button, False, CurrentTime);
        XFlush(dpy);
    }

    // A click at a point of the screen.
    static void clickScreen(int x, int y, unsigned int button = 1)
    {
        Display* dpy = gdk_x11_display_get_xdisplay(gdk_display_get_default());
        XTestFakeMotionEvent(dpy, -1, x, y, CurrentTime);
        XTestFakeButtonEvent(dpy, button, True, CurrentTime);
        XTestFakeButtonEvent(dpy, button, False, CurrentTime);
        XFlush(dpy);
    }

protected:
    HWND m_ticker = nullptr;
};

} // namespace testsupport
