// Our XEmbed tray icon as the screen shows it: the icon window a notification area
// embedded, found by its _XEMBED_INFO and our process id, and where it is on the screen.
#pragma once

#include "DesktopPrograms.h"
#include "GtkTestSupport.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>

#include <optional>
#include <unistd.h>
#include <vector>

namespace testsupport {

// Our own XEmbed icon windows under a tray: those with _XEMBED_INFO and our process id.
inline void findOurEmbeddedIcons(Display* dpy, ::Window at, std::vector<::Window>& found)
{
    ::Window root = 0, parent = 0;
    ::Window* children = nullptr;
    unsigned int count = 0;
    if (!XQueryTree(dpy, at, &root, &parent, &children, &count))
        return;
    const Atom info = XInternAtom(dpy, "_XEMBED_INFO", False);
    const Atom pidAtom = XInternAtom(dpy, "_NET_WM_PID", False);
    for (unsigned int i = 0; i < count; ++i) {
        Atom type = 0;
        int format = 0;
        unsigned long n = 0, after = 0;
        unsigned char* data = nullptr;
        bool embedded = XGetWindowProperty(dpy, children[i], info, 0, 2, False, AnyPropertyType, &type, &format, &n,
                                           &after, &data) == Success && n > 0;
        if (data)
            XFree(data);
        data = nullptr;
        if (embedded && XGetWindowProperty(dpy, children[i], pidAtom, 0, 1, False, XA_CARDINAL, &type, &format, &n,
                                           &after, &data) == Success && n == 1
            && static_cast<pid_t>(*reinterpret_cast<long*>(data)) == getpid())
            found.push_back(children[i]);
        if (data)
            XFree(data);
        findOurEmbeddedIcons(dpy, children[i], found);
    }
    if (children)
        XFree(children);
}

struct ScreenArea {
    int x = 0, y = 0, width = 0, height = 0;
    bool operator==(const ScreenArea&) const = default;
};

// Our first shown embedded icon.
inline std::optional<ScreenArea> embeddedIconArea()
{
    const XErrorTrap trap;
    Display* dpy = DesktopPrograms::display();
    std::vector<::Window> icons;
    findOurEmbeddedIcons(dpy, DefaultRootWindow(dpy), icons);
    for (::Window icon : icons) {
        XWindowAttributes attributes{};
        ::Window child = 0;
        ScreenArea area;
        if (XGetWindowAttributes(dpy, icon, &attributes) && attributes.map_state == IsViewable
            && XTranslateCoordinates(dpy, icon, DefaultRootWindow(dpy), 0, 0, &area.x, &area.y, &child)) {
            area.width = attributes.width;
            area.height = attributes.height;
            return area;
        }
    }
    return std::nullopt;
}

// A click (two for a double click) of the button at the middle of the area.
inline void clickMiddle(const ScreenArea& area, unsigned int button, int clicks)
{
    Display* dpy = DesktopPrograms::display();
    XTestFakeMotionEvent(dpy, -1, area.x + area.width / 2, area.y + area.height / 2, CurrentTime);
    for (int click = 0; click < clicks; ++click) {
        XTestFakeButtonEvent(dpy, button, True, CurrentTime);
        XTestFakeButtonEvent(dpy, button, False, CurrentTime);
    }
    XFlush(dpy);
}

} // namespace testsupport
