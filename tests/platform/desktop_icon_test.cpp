// The client's own icon on a real X server: on every top-level window (read back from the
// window's _NET_WM_ICON) and in the tray, both through an XEmbed notification area
// (trayer, under xfwm4) and as a StatusNotifierItem read by a watcher on a private session
// bus.
#include "platform/window/DesktopShell.h"
#include "platform/window/NotificationArea.h"

#include "GtkTestSupport.h"

#include <gdk-pixbuf/gdk-pixbuf.h>
#include <X11/Xatom.h>

#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace {

const std::string kIconFolder = KAVREL_PROGRAM_DIR "/icons/";

// A picture as non-premultiplied 0xAARRGGBB pixels, row by row.
struct Argb {
    int width = 0, height = 0;
    std::vector<std::uint32_t> pixels;
    bool operator==(const Argb&) const = default;
};

Argb argbOf(GdkPixbuf* picture)
{
    Argb out;
    out.width = gdk_pixbuf_get_width(picture);
    out.height = gdk_pixbuf_get_height(picture);
    const int channels = gdk_pixbuf_get_n_channels(picture);
    const int stride = gdk_pixbuf_get_rowstride(picture);
    const guchar* data = gdk_pixbuf_read_pixels(picture);
    for (int y = 0; y < out.height; ++y) {
        for (int x = 0; x < out.width; ++x) {
            const guchar* p = data + y * stride + x * channels;
            const std::uint32_t alpha = channels == 4 ? p[3] : 0xFF;
            out.pixels.push_back(alpha << 24 | std::uint32_t{p[0]} << 16 | std::uint32_t{p[1]} << 8 | p[2]);
        }
    }
    return out;
}

// The shipped picture of that size.
Argb shippedIcon(int size)
{
    GdkPixbuf* picture = gdk_pixbuf_new_from_file((kIconFolder + "kavrel-" + std::to_string(size) + ".png").c_str(), nullptr);
    if (!picture)
        return {};
    Argb out = argbOf(picture);
    g_object_unref(picture);
    return out;
}

// The pictures of a window's _NET_WM_ICON, by width.
std::map<int, Argb> windowIcons(unsigned long xid)
{
    Display* dpy = gdk_x11_display_get_xdisplay(gdk_display_get_default());
    Atom type = 0;
    int format = 0;
    unsigned long count = 0, after = 0;
    unsigned char* data = nullptr;
    std::map<int, Argb> icons;
    if (XGetWindowProperty(dpy, xid, XInternAtom(dpy, "_NET_WM_ICON", False), 0, 1L << 24, False, XA_CARDINAL,
                           &type, &format, &count, &after, &data)
            != Success
        || !data)
        return icons;
    // Format-32 properties arrive as longs.
    const long* values = reinterpret_cast<const long*>(data);
    for (unsigned long i = 0; i + 2 <= count;) {
        Argb icon;
        icon.width = static_cast<int>(values[i]);
        icon.height = static_cast<int>(values[i + 1]);
        i += 2;
        const unsigned long n = static_cast<unsigned long>(icon.width) * static_cast<unsigned long>(icon.height);
        if (i + n > count)
            break;
        for (unsigned long k = 0; k < n; ++k)
            icon.pixels.push_back(static_cast<std::uint32_t>(values[i + k] & 0xFFFFFFFFl));
        i += n;
        icons[icon.width] = std::move(icon);
    }
    XFree(data);
    return icons;
}

class DesktopIconTest : public testsupport::GtkWindowTest {
protected:
    HWND makeTop(int x, int y)
    {
        HWND w = CreateWindowEx(0, "", WS_POPUP, x, y, 120, 80, nullptr, 0, nullptr);
        ShowWindow(w, SW_SHOW);
        return w;
    }
};

TEST_F(DesktopIconTest, EveryTopLevelWindowCarriesTheShippedPicturesAtEverySize)
{
    HWND before = makeTop(10, 10); // made before the icon was set
    EXPECT_FALSE(platform::SetApplicationIcon(KAVREL_BINARY_DIR "/no-such-folder/"));
    ASSERT_TRUE(platform::SetApplicationIcon(kIconFolder));
    HWND after = makeTop(200, 10);
    HWND owned = CreateWindowEx(WS_EX_TOOLWINDOW, "", WS_POPUP, 400, 10, 50, 50, after, 0, nullptr);
    ShowWindow(owned, SW_SHOW);
    pumpFor(50);

    for (HWND w : {before, after, owned}) {
        SCOPED_TRACE(w == before ? "made before" : w == after ? "made after" : "owned tool window");
        const std::map<int, Argb> icons = windowIcons(platform::NativeWindowId(w));
        std::vector<int> sizes;
        for (const auto& [width, icon] : icons)
            sizes.push_back(width);
        EXPECT_EQ((std::vector<int>{16, 22, 24, 32, 48, 64, 128, 256}), sizes);
        for (const auto& [width, icon] : icons) {
            SCOPED_TRACE(width);
            EXPECT_TRUE(shippedIcon(width) == icon) << "the window's picture differs from the shipped one";
        }
    }
}

} // namespace
