// The main window's tray on a member's desktop (xfwm4, a private session bus): minimised
// into a StatusNotifierItem host's panel or an XEmbed notification area (trayer), brought
// back by the item's activation or the icon's double click, and its menu. With
// KAVREL_SCREENSHOT_DIR set, the tray with its menu open is saved there (frame_tray.png, the
// README's picture).
#include "DesktopFrameFixture.h"
#include "StatusNotifierWatcher.h"
#include "TrayOnScreen.h"

#include <gtk/gtk.h>
#include <X11/keysym.h>

#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

namespace {

const std::string kItemName = "org.kde.StatusNotifierItem-" + std::to_string(getpid()) + "-128";

void pressKeys(const std::vector<KeySym>& keys)
{
    Display* dpy = testsupport::DesktopPrograms::display();
    for (KeySym key : keys) {
        const KeyCode code = XKeysymToKeycode(dpy, key);
        XTestFakeKeyEvent(dpy, code, True, CurrentTime);
        XTestFakeKeyEvent(dpy, code, False, CurrentTime);
    }
    XFlush(dpy);
}

// The tray's menu while it is open (its pop-up window mapped), or null.
GtkMenuShell* openMenu()
{
    GtkMenuShell* found = nullptr;
    GList* tops = gtk_window_list_toplevels();
    for (GList* top = tops; top && !found; top = top->next) {
        GtkWidget* child = gtk_bin_get_child(GTK_BIN(top->data));
        if (gtk_widget_get_mapped(GTK_WIDGET(top->data)) && child && GTK_IS_MENU(child))
            found = GTK_MENU_SHELL(child);
    }
    g_list_free(tops);
    return found;
}

// Runs action once the menu is open: the menu runs a loop of its own, in which our timers
// still fire. A menu that never takes the keys is closed after a while, failing the test.
class WhileMenuOpen {
public:
    explicit WhileMenuOpen(std::function<void()> action) : m_action(std::move(action))
    {
        m_window = CreateWindowEx(0, "", WS_POPUP, 0, 0, 1, 1, nullptr, 0, [this](HWND h, UINT m, WPARAM w, LPARAM l) {
            if (m != WM_TIMER)
                return DefWindowProc(h, m, w, l);
            GtkMenuShell* menu = openMenu();
            if (menu && !m_done) {
                m_done = true;
                m_action();
            } else if (menu && ++m_ticksAfter > 100) {
                ADD_FAILURE() << "the menu did not answer the keys";
                gtk_menu_shell_cancel(menu);
            }
            return LRESULT{0};
        });
        SetTimer(m_window, 1, 50);
    }
    ~WhileMenuOpen() { DestroyWindow(m_window); }
    bool done() const { return m_done; }

private:
    std::function<void()> m_action;
    HWND m_window = nullptr;
    bool m_done = false;
    int m_ticksAfter = 0;
};

class TrayGtkTest : public testsupport::DesktopFrameTest {
protected:
    void SetUp() override
    {
        testsupport::DesktopFrameTest::SetUp();
        if (IsSkipped() || HasFatalFailure())
            return;
        // As the client does at start: its icon from the program folder.
        ASSERT_TRUE(platform::SetApplicationIcon(KAVREL_PROGRAM_DIR "/icons/"));
    }

    void showFrame()
    {
        makeFrame();
        ASSERT_TRUE(pumpUntil([&] { return mappedOnScreen(hwnd()) && GetActiveWindow() == hwnd(); }));
    }
    bool backOnScreen() { return IsWindow(hwnd()) && mappedOnScreen(hwnd()) && IsWindowVisible(hwnd()) && !IsIconic(hwnd()); }
    void clickMinimise()
    {
        RECT r{};
        GetPluginByName(hwnd(), "window_sysmin")->GetRect(&r);
        POINT p{(r.left + r.right) / 2, (r.top + r.bottom) / 2};
        ClientToScreen(hwnd(), &p);
        clickScreen(p.x, p.y);
    }
    GVariant* requestItem(GDBusConnection* bus, const char* method)
    {
        return testsupport::CallWhilePumping(bus, kItemName, "/StatusNotifierItem", "org.kde.StatusNotifierItem", method,
                                             g_variant_new("(ii)", 0, 0),
                                             [this](const std::function<bool()>& done) { return pumpUntil(done); });
    }
};

TEST_F(TrayGtkTest, StatusNotifierHostsTheMinimisedWindowWhoseItemBringsItBackAndQuitsFromItsMenu)
{
    testsupport::StatusNotifierWatcher watcher(m_desktop.busAddress(), true);
    ASSERT_TRUE(watcher.started());
    showFrame();
    clickMinimise();
    EXPECT_TRUE(pumpUntil([&] { return !mappedOnScreen(hwnd()); }));
    EXPECT_FALSE(IsWindowVisible(hwnd())); // hidden into the tray, not iconified
    EXPECT_EQ(std::vector<std::string>{kItemName}, watcher.items());

    const auto flags = static_cast<GDBusConnectionFlags>(G_DBUS_CONNECTION_FLAGS_AUTHENTICATION_CLIENT
                                                         | G_DBUS_CONNECTION_FLAGS_MESSAGE_BUS_CONNECTION);
    GDBusConnection* host = g_dbus_connection_new_for_address_sync(m_desktop.busAddress().c_str(), flags, nullptr,
                                                                   nullptr, nullptr);
    ASSERT_NE(nullptr, host);
    if (GVariant* reply = requestItem(host, "Activate"))
        g_variant_unref(reply);
    EXPECT_TRUE(pumpUntil([&] { return backOnScreen(); }));

    // The menu the host asks for: "Kavrel官网", "退出"; the second, by keyboard, ends the client.
    WhileMenuOpen quit([] { pressKeys({XK_Down, XK_Down, XK_Return}); });
    if (GVariant* reply = requestItem(host, "ContextMenu"))
        g_variant_unref(reply);
    EXPECT_TRUE(pumpUntil([&] { return quit.done(); }));
    EXPECT_TRUE(pumpUntil([&] { return !IsWindow(hwnd()); })) << "退出 did not end the client";
    g_dbus_connection_close_sync(host, nullptr, nullptr);
    g_object_unref(host);
}

TEST_F(TrayGtkTest, XEmbedTrayHoldsTheMinimisedWindowUntilTheIconsDoubleClickAndShowsItsMenu)
{
    ASSERT_TRUE(m_desktop.startTray());
    ASSERT_TRUE(pumpUntil(testsupport::DesktopPrograms::trayRunning));
    showFrame();
    clickMinimise();
    EXPECT_TRUE(pumpUntil([&] { return !mappedOnScreen(hwnd()); }));
    // The tray gives the icon its place and size in a few steps: clicked once it stays put.
    std::optional<testsupport::ScreenArea> icon;
    for (int look = 0; look < 50; ++look) {
        const std::optional<testsupport::ScreenArea> before = testsupport::embeddedIconArea();
        pumpFor(200);
        icon = testsupport::embeddedIconArea();
        if (before && icon == before)
            break;
    }
    ASSERT_TRUE(icon);
    testsupport::clickMiddle(*icon, 1, 2);
    EXPECT_TRUE(pumpUntil([&] { return backOnScreen(); }));

    WhileMenuOpen dismiss([] {
        if (const char* dir = std::getenv("KAVREL_SCREENSHOT_DIR")) {
            const int width = gdk_window_get_width(gdk_get_default_root_window());
            testsupport::saveScreen(std::string(dir) + "/frame_tray.png", width - 480, 0, 480, 240);
        }
        pressKeys({XK_Escape});
    });
    testsupport::clickMiddle(*icon, 3, 1);
    EXPECT_TRUE(pumpUntil([&] { return dismiss.done() && !openMenu(); }));
    EXPECT_TRUE(backOnScreen()); // dismissing the menu changes nothing
}

} // namespace
