// Windows shown on the X server, found by their size (the client's windows have sizes of
// their own). Xlib only, so that programs without GDK can use it too; requests about
// other programs' windows can fail while those windows go, and the caller decides how
// such X errors are ignored (testsupport::XErrorTrap under GDK, or an error handler).
#pragma once

#include <X11/Xlib.h>

#include <optional>
#include <vector>

namespace testsupport {

struct ShownWindow {
    ::Window id;
    int x, y, width, height;
};

// Viewable top-level windows (and the ones a reparenting window manager holds).
inline std::vector<ShownWindow> shownWindows(Display* display)
{
    std::vector<ShownWindow> found;
    const auto visit = [&](::Window parent, int depth, auto& self) -> void {
        ::Window root = 0, up = 0;
        ::Window* children = nullptr;
        unsigned count = 0;
        if (!XQueryTree(display, parent, &root, &up, &children, &count))
            return;
        for (unsigned i = 0; i < count; ++i) {
            XWindowAttributes a;
            if (XGetWindowAttributes(display, children[i], &a) && a.map_state == IsViewable) {
                int x = 0, y = 0;
                ::Window child = 0;
                XTranslateCoordinates(display, children[i], root, 0, 0, &x, &y, &child);
                found.push_back({children[i], x, y, a.width, a.height});
                if (depth == 0)
                    self(children[i], 1, self);
            }
        }
        if (children)
            XFree(children);
    };
    visit(DefaultRootWindow(display), 0, visit);
    return found;
}

// The first shown window of that size.
inline std::optional<ShownWindow> findShownWindow(Display* display, int width, int height)
{
    for (const ShownWindow& w : shownWindows(display))
        if (w.width == width && w.height == height)
            return w;
    return std::nullopt;
}

} // namespace testsupport
