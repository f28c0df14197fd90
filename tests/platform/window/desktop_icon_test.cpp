// The client's own icon on a real X server: on every top-level window (read back from the
// window's _NET_WM_ICON) and in the tray, both through an XEmbed notification area
// (trayer, under xfwm4) and as a StatusNotifierItem read by a watcher on a private session
// bus.
#include "platform/window/DesktopShell.h"
#include "platform/window/NotificationArea.h"

#include "DesktopPrograms.h"
#include "GtkTestSupport.h"
#include "StatusNotifierWatcher.h"
#include "TrayOnScreen.h"

#include <gdk-pixbuf/gdk-pixbuf.h>
#include <X11/Xatom.h>

#include <cstdint>
#include <cstdlib>
#include <map>
#include <memory>
#include <unistd.h>
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

// The size of the shipped picture the screen shows centred in the area over the area's
// background (its corner's colour), each channel within a rounding step; 0 when none does.
int shownIconSize(const testsupport::ScreenArea& area)
{
    GdkPixbuf* shot = gdk_pixbuf_get_from_window(gdk_get_default_root_window(), area.x, area.y, area.width, area.height);
    if (!shot)
        return 0;
    const Argb screen = argbOf(shot);
    g_object_unref(shot);
    const std::uint32_t background = screen.pixels[0];
    auto channel = [](std::uint32_t c, int shift) { return static_cast<int>(c >> shift & 0xFF); };
    for (int size : {16, 22, 24, 32, 48, 64}) {
        if (size > area.width || size > area.height)
            continue;
        const Argb icon = shippedIcon(size);
        const int left = (area.width - size) / 2, top = (area.height - size) / 2;
        bool same = !icon.pixels.empty();
        for (int y = 0; y < size && same; ++y) {
            for (int x = 0; x < size && same; ++x) {
                const std::uint32_t want = icon.pixels[static_cast<std::size_t>(y * size + x)];
                const std::uint32_t got = screen.pixels[static_cast<std::size_t>((top + y) * area.width + left + x)];
                const int alpha = channel(want, 24);
                for (int shift : {16, 8, 0}) {
                    const int blended = (channel(want, shift) * alpha + channel(background, shift) * (255 - alpha)) / 255;
                    same = same && std::abs(blended - channel(got, shift)) <= 3;
                }
            }
        }
        if (same)
            return size;
    }
    return 0;
}

// The item's pictures, by width, from its IconPixmap property.
std::map<int, Argb> pixmapsOf(GVariant* iconPixmap)
{
    std::map<int, Argb> out;
    GVariantIter iter;
    g_variant_iter_init(&iter, iconPixmap);
    gint32 width = 0, height = 0;
    GVariant* bytes = nullptr;
    while (g_variant_iter_next(&iter, "(ii@ay)", &width, &height, &bytes)) {
        gsize n = 0;
        const auto* p = static_cast<const guchar*>(g_variant_get_fixed_array(bytes, &n, 1));
        Argb picture{width, height, {}};
        for (gsize i = 0; i + 4 <= n; i += 4)
            picture.pixels.push_back(std::uint32_t{p[i]} << 24 | std::uint32_t{p[i + 1]} << 16
                                     | std::uint32_t{p[i + 2]} << 8 | p[i + 3]);
        out[width] = std::move(picture);
        g_variant_unref(bytes);
    }
    return out;
}

void saveScreenshot(const char* name, const testsupport::ScreenArea& area)
{
    if (const char* dir = std::getenv("KAVREL_SCREENSHOT_DIR"))
        testsupport::saveScreen(std::string(dir) + "/" + name + ".png", area.x, area.y, area.width, area.height);
}

class DesktopIconTest : public testsupport::GtkWindowTest {
protected:
    void TearDown() override
    {
        if (m_client) {
            g_dbus_connection_close_sync(m_client, nullptr, nullptr);
            g_object_unref(m_client);
        }
        testsupport::GtkWindowTest::TearDown();
    }

    HWND makeTop(int x, int y)
    {
        HWND w = CreateWindowEx(0, "", WS_POPUP, x, y, 120, 80, nullptr, 0, [this](HWND h, UINT m, WPARAM wp, LPARAM lp) {
            if (m == m_trayMessage)
                m_gestures.push_back(static_cast<UINT>(lp));
            return DefWindowProc(h, m, wp, lp);
        });
        ShowWindow(w, SW_SHOW);
        return w;
    }

    // The test's own connection to the private bus.
    GDBusConnection* client()
    {
        if (!m_client) {
            const auto flags = static_cast<GDBusConnectionFlags>(G_DBUS_CONNECTION_FLAGS_AUTHENTICATION_CLIENT
                                                                 | G_DBUS_CONNECTION_FLAGS_MESSAGE_BUS_CONNECTION);
            m_client = g_dbus_connection_new_for_address_sync(m_desktop.busAddress().c_str(), flags, nullptr, nullptr,
                                                              nullptr);
        }
        return m_client;
    }
    GVariant* callItem(const std::string& item, const char* interface, const char* method, GVariant* parameters)
    {
        return testsupport::CallWhilePumping(client(), item, "/StatusNotifierItem", interface, method, parameters,
                                             [this](const std::function<bool()>& done) { return pumpUntil(done); });
    }
    bool nameHasOwner(const std::string& name)
    {
        GVariant* reply = testsupport::CallWhilePumping(
            client(), "org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus", "NameHasOwner",
            g_variant_new("(s)", name.c_str()), [this](const std::function<bool()>& done) { return pumpUntil(done); });
        gboolean owned = FALSE;
        if (reply) {
            g_variant_get(reply, "(b)", &owned);
            g_variant_unref(reply);
        }
        return owned;
    }

    // Made before the window system starts, which finds the bus through the environment.
    testsupport::DesktopPrograms m_desktop;
    GDBusConnection* m_client = nullptr;
    const UINT m_trayMessage = RegisterWindowMessage("WM_SHOWTASK");
    std::vector<UINT> m_gestures;
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

TEST_F(DesktopIconTest, XEmbedTrayShowsTheShippedPictureAtTheSizeItAsksFor)
{
    ASSERT_TRUE(m_desktop.startWindowManager());
    ASSERT_TRUE(pumpUntil(testsupport::DesktopPrograms::windowManagerRunning));
    EXPECT_FALSE(platform::HasNotificationArea()); // no panel yet, and no watcher on the bus
    ASSERT_TRUE(m_desktop.startTray());
    ASSERT_TRUE(pumpUntil(testsupport::DesktopPrograms::trayRunning));
    EXPECT_TRUE(platform::HasNotificationArea());

    ASSERT_TRUE(platform::SetApplicationIcon(kIconFolder));
    HWND w = makeTop(300, 300);
    ASSERT_TRUE(platform::AddTrayIcon(w, 128, m_trayMessage, "Kavrel"));
    std::optional<testsupport::ScreenArea> area;
    ASSERT_TRUE(pumpUntil([&] { return (area = testsupport::embeddedIconArea()).has_value(); })) << "the tray never embedded the icon";
    // The tray may still be giving the icon its room.
    int size = 0;
    EXPECT_TRUE(pumpUntil([&] {
        area = testsupport::embeddedIconArea();
        return area && (size = shownIconSize(*area)) == 32;
    })) << "the tray shows no shipped picture of its size, " << (area ? area->width : 0) << "x"
        << (area ? area->height : 0) << ", but " << size;
    const int screenWidth = gdk_window_get_width(gdk_get_default_root_window());
    saveScreenshot("tray_xembed", testsupport::ScreenArea{screenWidth - 240, 0, 240, 60});

    // The icon's double click, as the member makes it.
    testsupport::clickMiddle(*area, 1, 2);
    EXPECT_TRUE(pumpUntil([&] { return !m_gestures.empty(); }));
    EXPECT_EQ(std::vector<UINT>{WM_LBUTTONDBLCLK}, m_gestures);
}

TEST_F(DesktopIconTest, NotificationAreaIsAWatcherWithAHostOrAnXEmbedTray)
{
    struct Case {
        const char* desktop;
        bool watcher, host;
        bool area, registers;
    };
    const Case cases[] = {
        {"nothing on the bus", false, false, false, false},
        {"a watcher without a host", true, false, false, false},
        {"a watcher with a host", true, true, true, true},
    };
    ASSERT_TRUE(platform::SetApplicationIcon(kIconFolder));
    HWND w = makeTop(300, 300);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.desktop);
        std::optional<testsupport::StatusNotifierWatcher> watcher;
        if (c.watcher) {
            watcher.emplace(m_desktop.busAddress(), c.host);
            ASSERT_TRUE(watcher->started());
        }
        EXPECT_EQ(c.area, platform::HasNotificationArea());
        ASSERT_TRUE(platform::AddTrayIcon(w, 128, m_trayMessage, "Kavrel"));
        EXPECT_EQ(c.registers ? 1u : 0u, watcher ? watcher->items().size() : 0u);
        EXPECT_EQ(c.registers, nameHasOwner("org.kde.StatusNotifierItem-" + std::to_string(getpid()) + "-128"));
        EXPECT_TRUE(platform::RemoveTrayIcon(128));
    }
}

TEST_F(DesktopIconTest, StatusNotifierItemCarriesTheShippedPicturesAndTurnsRequestsIntoTrayMessages)
{
    auto watcher = std::make_unique<testsupport::StatusNotifierWatcher>(m_desktop.busAddress(), true);
    ASSERT_TRUE(watcher->started());
    ASSERT_TRUE(platform::SetApplicationIcon(kIconFolder));
    HWND w = makeTop(300, 300);
    ASSERT_TRUE(platform::AddTrayIcon(w, 128, m_trayMessage, "Kavrel"));
    const std::string item = "org.kde.StatusNotifierItem-" + std::to_string(getpid()) + "-128";
    ASSERT_EQ(std::vector<std::string>{item}, watcher->items());

    GVariant* all = callItem(item, "org.freedesktop.DBus.Properties", "GetAll",
                             g_variant_new("(s)", "org.kde.StatusNotifierItem"));
    ASSERT_NE(nullptr, all);
    GVariant* properties = g_variant_get_child_value(all, 0);
    GVariantDict dict;
    g_variant_dict_init(&dict, properties);
    auto text = [&](const char* name) {
        const gchar* value = nullptr;
        return g_variant_dict_lookup(&dict, name, "&s", &value) ? std::string(value) : std::string("(absent)");
    };
    EXPECT_EQ("Kavrel", text("Title"));
    EXPECT_EQ("Active", text("Status"));
    EXPECT_EQ("ApplicationStatus", text("Category"));
    EXPECT_EQ("", text("IconName")); // the host draws the pictures
    const gchar* tipTitle = nullptr;
    EXPECT_TRUE(g_variant_dict_lookup(&dict, "ToolTip", "(&sa(iiay)&s&s)", nullptr, nullptr, &tipTitle, nullptr));
    EXPECT_STREQ("Kavrel", tipTitle);
    GVariant* pixmaps = g_variant_dict_lookup_value(&dict, "IconPixmap", G_VARIANT_TYPE("a(iiay)"));
    ASSERT_NE(nullptr, pixmaps);
    const std::map<int, Argb> pictures = pixmapsOf(pixmaps);
    std::vector<int> widths;
    for (const auto& [width, picture] : pictures) {
        widths.push_back(width);
        EXPECT_TRUE(shippedIcon(width) == picture) << "the " << width << " px picture differs from the shipped one";
    }
    EXPECT_EQ((std::vector<int>{16, 22, 24, 32, 48, 64, 128, 256}), widths);
    g_variant_unref(pixmaps);
    g_variant_dict_clear(&dict);
    g_variant_unref(properties);
    g_variant_unref(all);

    // The host's requests become the icon's gestures; the secondary activation (middle
    // button) has none, so the menu request after it arrives alone.
    struct Request {
        const char* method;
        std::vector<UINT> gestures;
    };
    const Request requests[] = {
        {"Activate", {WM_LBUTTONDBLCLK}},
        {"ContextMenu", {WM_RBUTTONUP}},
        {"SecondaryActivate", {WM_RBUTTONUP}},
    };
    for (const Request& r : requests) {
        SCOPED_TRACE(r.method);
        m_gestures.clear();
        GVariant* reply = callItem(item, "org.kde.StatusNotifierItem", r.method, g_variant_new("(ii)", 10, 10));
        EXPECT_NE(nullptr, reply);
        if (reply)
            g_variant_unref(reply);
        if (std::string(r.method) == "SecondaryActivate")
            g_variant_unref(callItem(item, "org.kde.StatusNotifierItem", "ContextMenu", g_variant_new("(ii)", 0, 0)));
        EXPECT_TRUE(pumpUntil([&] { return !m_gestures.empty(); }));
        EXPECT_EQ(r.gestures, m_gestures);
    }

    // A panel that restarts has a new watcher, which hears of the item again.
    watcher.reset();
    watcher = std::make_unique<testsupport::StatusNotifierWatcher>(m_desktop.busAddress(), true);
    ASSERT_TRUE(watcher->started());
    EXPECT_TRUE(pumpUntil([&] { return watcher->items() == std::vector<std::string>{item}; }));

    // A second add updates the tip in place; removing the icon takes the item off the bus.
    ASSERT_TRUE(platform::AddTrayIcon(w, 128, m_trayMessage, "Kavrel 2"));
    EXPECT_EQ(1u, watcher->items().size());
    GVariant* title = callItem(item, "org.freedesktop.DBus.Properties", "Get",
                               g_variant_new("(ss)", "org.kde.StatusNotifierItem", "Title"));
    ASSERT_NE(nullptr, title);
    GVariant* value = nullptr;
    g_variant_get(title, "(v)", &value);
    EXPECT_STREQ("Kavrel 2", g_variant_get_string(value, nullptr));
    g_variant_unref(value);
    g_variant_unref(title);
    EXPECT_TRUE(platform::RemoveTrayIcon(128));
    EXPECT_TRUE(pumpUntil([&] { return !nameHasOwner(item); }));
}

} // namespace
