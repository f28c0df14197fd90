#include "ClientWindows.h"

#include "ShownWindow.h"

#include "platform/window/DesktopShell.h"

#include <X11/Xatom.h>
#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>
#include <cairo.h>

#include <cstdint>
#include <cstring>

namespace {

int IgnoreXError(Display*, XErrorEvent*)
{
    return 0;
}

} // namespace

ClientWindows::ClientWindows(const char* displayName)
    : m_display(XOpenDisplay(displayName))
{
    if (!m_display)
        return;
    XSetErrorHandler(IgnoreXError);
    m_pidAtom = XInternAtom(m_display, "_NET_WM_PID", False);
    m_markerAtom = XInternAtom(m_display, platform::kInstanceMarkerName, False);
}

ClientWindows::~ClientWindows()
{
    if (m_display)
        XCloseDisplay(m_display);
}

std::optional<unsigned long> ClientWindows::cardinal(::Window w, Atom property) const
{
    Atom type = 0;
    int format = 0;
    unsigned long count = 0, after = 0;
    unsigned char* data = nullptr;
    if (XGetWindowProperty(m_display, w, property, 0, 1, False, XA_CARDINAL, &type, &format, &count, &after, &data)
            != Success
        || !data)
        return std::nullopt;
    std::optional<unsigned long> value;
    if (type == XA_CARDINAL && format == 32 && count == 1)
        // Format 32 arrives as longs, sign-extended from the 32 bits on the wire.
        value = *reinterpret_cast<unsigned long*>(data) & 0xFFFFFFFFul;
    XFree(data);
    return value;
}

std::vector<ClientWindow> ClientWindows::of(pid_t client) const
{
    std::vector<ClientWindow> found;
    if (!m_display)
        return found;
    for (const testsupport::ShownWindow& w : testsupport::shownWindows(m_display)) {
        if (cardinal(w.id, m_pidAtom) != static_cast<unsigned long>(client))
            continue;
        found.push_back({w.id, w.x, w.y, w.width, w.height,
                         cardinal(w.id, m_markerAtom) == platform::kInstanceMarkerValue});
    }
    return found;
}

std::optional<ClientWindow> ClientWindows::mainWindow(pid_t client) const
{
    for (const ClientWindow& w : of(client))
        if (w.main)
            return w;
    return std::nullopt;
}

std::optional<ClientWindow> ClientWindows::otherWindow(pid_t client, int width, int height) const
{
    for (const ClientWindow& w : of(client))
        if (!w.main && w.width == width && w.height == height)
            return w;
    return std::nullopt;
}

bool ClientWindows::saveScreen(const std::string& path) const
{
    if (!m_display)
        return false;
    const ::Window root = DefaultRootWindow(m_display);
    XWindowAttributes a;
    if (!XGetWindowAttributes(m_display, root, &a))
        return false;
    XImage* image = XGetImage(m_display, root, 0, 0, static_cast<unsigned>(a.width),
                              static_cast<unsigned>(a.height), AllPlanes, ZPixmap);
    if (!image)
        return false;
    cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_RGB24, a.width, a.height);
    cairo_surface_flush(surface);
    unsigned char* pixels = cairo_image_surface_get_data(surface);
    const int stride = cairo_image_surface_get_stride(surface);
    for (int y = 0; y < a.height; ++y) {
        auto* row = reinterpret_cast<std::uint32_t*>(pixels + static_cast<std::ptrdiff_t>(y) * stride);
        for (int x = 0; x < a.width; ++x)
            row[x] = static_cast<std::uint32_t>(XGetPixel(image, x, y) & 0xFFFFFFu);
    }
    cairo_surface_mark_dirty(surface);
    const bool saved = cairo_surface_write_to_png(surface, path.c_str()) == CAIRO_STATUS_SUCCESS;
    cairo_surface_destroy(surface);
    XDestroyImage(image);
    return saved;
}

void ClientWindows::click(int x, int y) const
{
    if (!m_display)
        return;
    XTestFakeMotionEvent(m_display, -1, x, y, CurrentTime);
    XTestFakeButtonEvent(m_display, 1, True, CurrentTime);
    XTestFakeButtonEvent(m_display, 1, False, CurrentTime);
    XSync(m_display, False);
}
