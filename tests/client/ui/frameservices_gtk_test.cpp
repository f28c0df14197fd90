// The main window's frame services on the X server: minimise to the tray (with and without
// a notification area) and back through the tray message, the settings drop-down opened
// by a real click with the about window and the colour chooser it opens, and the guidance
// tour clicked through. With KAVREL_SCREENSHOT_DIR set, the screens are saved there as
// PNG files (the README's pictures).
#include "GtkTestSupport.h"
#include "TempDir.h"

#include "client/ui/MainFrame.h"
#include "dulib/dulib.h"
#include "platform/window/DesktopShell.h"
#include "platform/window/NotificationArea.h"

#include <X11/keysym.h>

#include <cstdlib>
#include <deque>
#include <string>

namespace {

// "版本：3.0.0.25" in GBK.
const std::string kVersionText = "\xB0\xE6\xB1\xBE\xA3\xBA" "3.0.0.25";

Display* xDisplay() { return gdk_x11_display_get_xdisplay(gdk_display_get_default()); }

void pressKey(KeySym key)
{
    Display* dpy = xDisplay();
    const KeyCode code = XKeysymToKeycode(dpy, key);
    XTestFakeKeyEvent(dpy, code, True, CurrentTime);
    XTestFakeKeyEvent(dpy, code, False, CurrentTime);
    XFlush(dpy);
}

bool mappedOnScreen(HWND hwnd)
{
    XWindowAttributes attributes{};
    return XGetWindowAttributes(xDisplay(), platform::NativeWindowId(hwnd), &attributes) &&
           attributes.map_state == IsViewable;
}

// Band colours of the main window's face: blue has more blue than red, orange the reverse.
bool looksOrange(std::uint32_t rgb) { return (rgb >> 16 & 0xFF) > (rgb & 0xFF) + 60; }
bool looksBlue(std::uint32_t rgb) { return (rgb & 0xFF) > (rgb >> 16 & 0xFF) + 60; }

void screenshot(const char* name, const RECT& area)
{
    const char* dir = std::getenv("KAVREL_SCREENSHOT_DIR");
    if (!dir)
        return;
    GdkPixbuf* pixbuf =
        gdk_pixbuf_get_from_window(gdk_get_default_root_window(), area.left, area.top, area.width(), area.height());
    if (!pixbuf)
        return;
    gdk_pixbuf_save(pixbuf, (std::string(dir) + "/" + name + ".png").c_str(), "png", nullptr, nullptr);
    g_object_unref(pixbuf);
}

// Steps run one after another from a timer, so they go on inside the drop-down's tracking
// and the modal windows' loops; a step answers true when it is done.
class Script {
public:
    Script()
    {
        m_window = CreateWindowEx(0, "", WS_POPUP, 0, 0, 1, 1, nullptr, 0, [this](HWND h, UINT m, WPARAM w, LPARAM l) {
            if (m == WM_TIMER && !m_steps.empty() && !m_running) {
                m_running = true; // a step may run a loop of its own
                if (m_steps.front()())
                    m_steps.pop_front();
                m_running = false;
                return LRESULT{0};
            }
            return DefWindowProc(h, m, w, l);
        });
        SetTimer(m_window, 1, 50);
    }
    ~Script() { DestroyWindow(m_window); }
    void then(std::function<bool()> step) { m_steps.push_back(std::move(step)); }
    bool done() const { return m_steps.empty(); }

private:
    HWND m_window = nullptr;
    std::deque<std::function<bool()>> m_steps;
    bool m_running = false;
};

class FrameServicesGtkTest : public testsupport::GtkWindowTest {
protected:
    void SetUp() override
    {
        testsupport::GtkWindowTest::SetUp();
        if (IsSkipped())
            return;
        m_skin = LoadStyleA(KAVREL_SOURCE_DIR "/skin/config.xml");
        m_dir.write("domain.vmx", "<VelmarRoot><url><domain>http://127.0.0.1:9</domain><posturl>/p</posturl>"
                                  "<domain_soft>http://127.0.0.1:9/soft</domain_soft></url></VelmarRoot>");
        m_dir.write("data/config.ini", "[info]\r\nfirstlogin=1\r\n");
    }
    void TearDown() override
    {
        m_frame.reset();
        if (m_trayOwner)
            XDestroyWindow(xDisplay(), m_trayOwner);
        testsupport::GtkWindowTest::TearDown();
        if (m_skin)
            dulib::FreeSkin(m_skin);
    }

    void makeFrame(int firstRun)
    {
        m_frame = std::make_unique<CMainFrame>(m_dir.folder(), m_skin, firstRun);
        ASSERT_TRUE(m_frame->Create());
        m_frame->ShowWindow(SW_SHOW);
        ASSERT_TRUE(pumpUntil([&] { return mappedOnScreen(hwnd()) && GetActiveWindow() == hwnd(); }));
        pumpFor(300); // drawn
    }
    HWND hwnd() const { return m_frame->GetSafeHwnd(); }

    // The centre of an element of a window, on the screen.
    static POINT centreOf(HWND window, const char* name)
    {
        RECT r{};
        if (Plugin* element = GetPluginByName(window, name))
            element->GetRect(&r);
        POINT p{(r.left + r.right) / 2, (r.top + r.bottom) / 2};
        ClientToScreen(window, &p);
        return p;
    }
    static RECT screenRect(HWND window)
    {
        RECT r{};
        GetWindowRect(window, &r);
        return r;
    }
    void clickElement(HWND window, const char* name)
    {
        const POINT p = centreOf(window, name);
        clickScreen(p.x, p.y);
    }
    // A desktop panel's notification area, as far as a tray icon can tell.
    void ownTraySelection()
    {
        Display* dpy = xDisplay();
        m_trayOwner = XCreateSimpleWindow(dpy, DefaultRootWindow(dpy), 0, 0, 1, 1, 0, 0, 0);
        const std::string name = "_NET_SYSTEM_TRAY_S" + std::to_string(DefaultScreen(dpy));
        XSetSelectionOwner(dpy, XInternAtom(dpy, name.c_str(), False), m_trayOwner, CurrentTime);
        XSync(dpy, False);
    }

    testsupport::TempDir m_dir;
    SkinManager* m_skin = nullptr;
    std::unique_ptr<CMainFrame> m_frame;
    ::Window m_trayOwner = 0;
};

TEST_F(FrameServicesGtkTest, MinimiseGoesToTheTrayOrTheTaskBarAndTheTrayMessageBringsItBack)
{
    for (bool area : {false, true}) {
        SCOPED_TRACE(area ? "with a notification area" : "without one");
        if (area)
            ownTraySelection();
        ASSERT_EQ(area, platform::HasNotificationArea());
        makeFrame(0);
        clickElement(hwnd(), "window_sysmin");
        if (area) {
            EXPECT_TRUE(pumpUntil([&] { return !mappedOnScreen(hwnd()); }));
            EXPECT_FALSE(IsWindowVisible(hwnd()));
        } else {
            EXPECT_TRUE(pumpUntil([&] { return IsIconic(hwnd()); }));
            EXPECT_TRUE(IsWindowVisible(hwnd()));
        }
        EXPECT_TRUE(platform::IsTrayIconShown(128));
        PostMessage(hwnd(), RegisterWindowMessage("WM_SHOWTASK"), 128, WM_LBUTTONDBLCLK);
        EXPECT_TRUE(pumpUntil([&] { return mappedOnScreen(hwnd()) && !IsIconic(hwnd()) && IsWindowVisible(hwnd()); }));
        m_frame.reset();
    }
}

TEST_F(FrameServicesGtkTest, SettingsDropDownByRealClicksOpensAboutAndColourChooser)
{
    makeFrame(0);
    RECT button{};
    GetPluginByName(hwnd(), "window_sysset")->GetRect(&button);
    POINT corner{button.left - 30, button.bottom};
    ClientToScreen(hwnd(), &corner);
    // A point of the drop-down's margin: white on the drop-down, the blue band without it.
    const POINT margin{corner.x + 66, corner.y + 3};
    ASSERT_TRUE(looksBlue(screenPixel(margin.x, margin.y)));
    const RECT frame = screenRect(hwnd());
    auto dropDownShown = [&] { return screenPixel(margin.x, margin.y) == 0xFFFFFFu; };

    Script script;
    std::string version;
    HWND chooser = nullptr;
    script.then([&] {
        clickElement(hwnd(), "window_sysset");
        return true;
    });
    script.then([&] { return dropDownShown(); });
    script.then([&] {
        screenshot("dropdown", frame);
        clickScreen(margin.x, margin.y); // inside, off the items: stays open
        return true;
    });
    script.then([&] {
        EXPECT_TRUE(dropDownShown());
        clickScreen(corner.x + 66, corner.y + 90); // "window_help_about"
        return true;
    });
    script.then([&] {
        HWND about = GetActiveWindow();
        if (about == hwnd() || !GetPluginByName(about, "about_text_3"))
            return false;
        version = GetPluginByName(about, "about_text_3")->GetText();
        return true;
    });
    script.then([&] {
        screenshot("about", frame);
        pressKey(XK_Return);
        return true;
    });
    script.then([&] {
        if (GetActiveWindow() != hwnd() || dropDownShown())
            return false;
        clickElement(hwnd(), "window_sysset");
        return true;
    });
    script.then([&] { return dropDownShown(); });
    script.then([&] {
        clickScreen(corner.x + 66, corner.y + 56); // "window_help_color"
        return true;
    });
    script.then([&] {
        chooser = GetActiveWindow();
        return chooser != hwnd() && GetPluginByName(chooser, "window_color_image_Orange") != nullptr;
    });
    script.then([&] {
        clickElement(chooser, "window_color_image_Orange");
        return true;
    });
    script.then([&] { return looksOrange(screenPixel(frame.left + 500, frame.top + 20)); });
    script.then([&] {
        screenshot("colour_chooser", frame);
        pressKey(XK_Escape);
        return true;
    });
    script.then([&] { return GetActiveWindow() == hwnd() && !IsWindow(chooser); });
    script.then([&] {
        screenshot("orange_scheme", frame);
        clickElement(hwnd(), "window_sysset");
        return true;
    });
    script.then([&] { return screenPixel(margin.x, margin.y) == 0xFFFFFFu; });
    script.then([&] {
        clickScreen(frame.left + 500, frame.top + 400); // outside: closes it
        return true;
    });
    script.then([&] { return looksOrange(screenPixel(margin.x, margin.y)); });

    EXPECT_TRUE(pumpUntil([&] { return script.done(); }, 60000));
    EXPECT_EQ(kVersionText, version);
    EXPECT_EQ("[info]\r\nfirstlogin=1\r\nbackground=_Orange\r\n", m_dir.read("data/config.ini"));
}

TEST_F(FrameServicesGtkTest, GuidanceTourClickedThroughItsPages)
{
    makeFrame(1);
    const RECT frame = screenRect(hwnd());
    const char* pages[] = {"window_guidance",  "window_guidance1", "window_guidance2",
                           "window_guidance3", "window_guidance4", "window_guidance5"};
    const char* next[] = {"window_button_step1", "window_button_step21", "window_button_step31",
                          "window_button_step41", "window_button_step51"};
    for (int i = 0; i < 6; ++i) {
        ASSERT_TRUE(GetPluginByName(hwnd(), pages[i])->IsVisible()) << pages[i];
        pumpFor(200);
        screenshot((std::string("tour_page") + std::to_string(i + 1)).c_str(), frame);
        if (i < 5) {
            clickElement(hwnd(), next[i]);
            EXPECT_TRUE(pumpUntil([&] { return GetPluginByName(hwnd(), pages[i + 1])->IsVisible() != 0; }))
                << next[i];
            EXPECT_FALSE(GetPluginByName(hwnd(), pages[i])->IsVisible());
        }
    }
}

} // namespace
