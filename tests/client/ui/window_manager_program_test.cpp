// The real client program on a member's desktop: a real window manager (xfwm4) and panels
// that reserve screen edges (_NET_WM_STRUT_PARTIAL), read back as the window manager sees
// the windows (_NET_CLIENT_LIST, _NET_ACTIVE_WINDOW, _NET_WM_STATE, WM_TRANSIENT_FOR,
// _NET_WORKAREA): the login form modal over the main window, one task-switcher entry, the
// notice in the work area's corner without taking the keyboard, caption drags through the
// window manager (and without one), maximising onto the work area. Screenshots go to
// <build>/screenshots/desktop/.
#include "ClientProgramFixture.h"
#include "DesktopPrograms.h"

#include <gtk/gtk.h>
#include <X11/Xutil.h>

#include <algorithm>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace {

using testsupport::DesktopPrograms;
using testsupport::XErrorTrap;

Display* dpy() { return DesktopPrograms::display(); }
Atom atom(const char* name) { return XInternAtom(dpy(), name, False); }

// A property's 32-bit items (Xlib hands them over as longs).
std::vector<unsigned long> property(::Window w, const char* name, Atom type)
{
    const XErrorTrap trap;
    Atom actual = 0;
    int format = 0;
    unsigned long count = 0, after = 0;
    unsigned char* data = nullptr;
    std::vector<unsigned long> items;
    if (XGetWindowProperty(dpy(), w, atom(name), 0, 1024, False, type, &actual, &format, &count, &after, &data)
            == Success
        && data && format == 32) {
        const auto* longs = reinterpret_cast<const unsigned long*>(data);
        items.assign(longs, longs + count);
    }
    if (data)
        XFree(data);
    return items;
}
::Window root() { return DefaultRootWindow(dpy()); }
bool holds(const std::vector<unsigned long>& items, unsigned long item)
{
    return std::find(items.begin(), items.end(), item) != items.end();
}
bool hasState(::Window w, const char* state) { return holds(property(w, "_NET_WM_STATE", XA_ATOM), atom(state)); }
bool hasType(::Window w, const char* type) { return holds(property(w, "_NET_WM_WINDOW_TYPE", XA_ATOM), atom(type)); }
::Window activeWindow()
{
    const auto items = property(root(), "_NET_ACTIVE_WINDOW", XA_WINDOW);
    return items.empty() ? 0 : items[0];
}

struct Box {
    int x = 0, y = 0, width = 0, height = 0;
    int right() const { return x + width; }
    int bottom() const { return y + height; }
};
bool operator==(const Box& a, const Box& b)
{
    return a.x == b.x && a.y == b.y && a.width == b.width && a.height == b.height;
}
std::ostream& operator<<(std::ostream& out, const Box& b)
{
    return out << b.width << "x" << b.height << "+" << b.x << "+" << b.y;
}

Box workArea()
{
    const auto items = property(root(), "_NET_WORKAREA", XA_CARDINAL);
    if (items.size() < 4)
        return {};
    return Box{static_cast<int>(items[0]), static_cast<int>(items[1]), static_cast<int>(items[2]),
               static_cast<int>(items[3])};
}

// Where a window is on the screen, as the X server has it.
Box placeOf(::Window w)
{
    const XErrorTrap trap;
    ::Window rootWindow = 0, child = 0;
    int x = 0, y = 0;
    unsigned width = 0, height = 0, border = 0, depth = 0;
    if (!XGetGeometry(dpy(), w, &rootWindow, &x, &y, &width, &height, &border, &depth))
        return {};
    XTranslateCoordinates(dpy(), w, rootWindow, 0, 0, &x, &y, &child);
    return Box{x, y, static_cast<int>(width), static_cast<int>(height)};
}

// The windows the window manager manages, bottom to top.
std::vector<::Window> stacking() { return property(root(), "_NET_CLIENT_LIST_STACKING", XA_WINDOW); }

// The managed window of that size, or 0.
::Window managedWindow(int width, int height)
{
    for (::Window w : stacking()) {
        const Box b = placeOf(w);
        if (b.width == width && b.height == height)
            return w;
    }
    return 0;
}

// The entries a task bar or Alt+Tab switcher shows for that process: its managed windows
// that do not skip the task bar.
std::vector<::Window> taskEntries(int pid)
{
    std::vector<::Window> entries;
    for (::Window w : stacking())
        if (property(w, "_NET_WM_PID", XA_CARDINAL) == std::vector<unsigned long>{static_cast<unsigned long>(pid)}
            && !hasState(w, "_NET_WM_STATE_SKIP_TASKBAR"))
            entries.push_back(w);
    return entries;
}

std::ptrdiff_t stackIndex(::Window w)
{
    const auto order = stacking();
    return std::find(order.begin(), order.end(), w) - order.begin();
}

// A panel along one edge of the screen that reserves it, as a desktop's task bar does.
class StrutPanel {
public:
    enum Edge { Top, Right, Bottom };
    StrutPanel(Edge edge, int thickness)
    {
        const int screenWidth = DisplayWidth(dpy(), DefaultScreen(dpy()));
        const int screenHeight = DisplayHeight(dpy(), DefaultScreen(dpy()));
        const Box box = edge == Top      ? Box{0, 0, screenWidth, thickness}
                        : edge == Bottom ? Box{0, screenHeight - thickness, screenWidth, thickness}
                                         : Box{screenWidth - thickness, 0, thickness, screenHeight};
        m_window = XCreateSimpleWindow(dpy(), root(), box.x, box.y, static_cast<unsigned>(box.width),
                                       static_cast<unsigned>(box.height), 0, 0, 0x303030);
        long type = static_cast<long>(atom("_NET_WM_WINDOW_TYPE_DOCK"));
        XChangeProperty(dpy(), m_window, atom("_NET_WM_WINDOW_TYPE"), XA_ATOM, 32, PropModeReplace,
                        reinterpret_cast<unsigned char*>(&type), 1);
        // left, right, top, bottom, then the start and end of each along its edge
        long strut[12] = {};
        if (edge == Top) {
            strut[2] = thickness;
            strut[9] = screenWidth - 1;
        } else if (edge == Bottom) {
            strut[3] = thickness;
            strut[11] = screenWidth - 1;
        } else {
            strut[1] = thickness;
            strut[7] = screenHeight - 1;
        }
        XChangeProperty(dpy(), m_window, atom("_NET_WM_STRUT_PARTIAL"), XA_CARDINAL, 32, PropModeReplace,
                        reinterpret_cast<unsigned char*>(strut), 12);
        XChangeProperty(dpy(), m_window, atom("_NET_WM_STRUT"), XA_CARDINAL, 32, PropModeReplace,
                        reinterpret_cast<unsigned char*>(strut), 4);
        XMapWindow(dpy(), m_window);
        XFlush(dpy());
    }
    ~StrutPanel()
    {
        XDestroyWindow(dpy(), m_window);
        XFlush(dpy());
    }
    StrutPanel(const StrutPanel&) = delete;
    StrutPanel& operator=(const StrutPanel&) = delete;

private:
    ::Window m_window = 0;
};

class WindowManagerProgramTest : public testsupport::ClientProgramTest {
protected:
    // No input method module here, nor in the client: the module would hold a connection
    // to the test's session bus, which ends with the test, and GIO then ends the process.
    // Typing goes through GTK's own simple input method.
    WindowManagerProgramTest()
    {
        m_shots = "desktop";
        if (const char* before = g_getenv("GTK_IM_MODULE"))
            m_imModuleBefore = before;
        g_setenv("GTK_IM_MODULE", "gtk-im-context-simple", TRUE);
    }
    ~WindowManagerProgramTest() override
    {
        if (m_imModuleBefore)
            g_setenv("GTK_IM_MODULE", m_imModuleBefore->c_str(), TRUE);
        else
            g_unsetenv("GTK_IM_MODULE");
    }
    void TearDown() override
    {
        stopClient();
        m_panels.clear();
        testsupport::ClientProgramTest::TearDown();
    }

    // xfwm4 with a task bar along the bottom and a dock along the right edge.
    void startDesktop()
    {
        ASSERT_TRUE(m_desktop.startWindowManager());
        ASSERT_TRUE(pumpUntil(DesktopPrograms::windowManagerRunning));
        const Box screen{0, 0, DisplayWidth(dpy(), DefaultScreen(dpy())), DisplayHeight(dpy(), DefaultScreen(dpy()))};
        m_panels.push_back(std::make_unique<StrutPanel>(StrutPanel::Bottom, kTaskBar));
        m_panels.push_back(std::make_unique<StrutPanel>(StrutPanel::Right, kDock));
        const Box expected{0, 0, screen.width - kDock, screen.height - kTaskBar};
        ASSERT_TRUE(pumpUntil([&] { return workArea() == expected; })) << workArea();
    }

    ::Window waitForManaged(int width, int height)
    {
        ::Window found = 0;
        pumpUntil([&] { return (found = managedWindow(width, height)) != 0; }, 20000);
        return found;
    }

    // The pointer's button held down at `from` and let go at `to`, moving in steps as a hand
    // would.
    void drag(int fromX, int fromY, int toX, int toY)
    {
        XTestFakeMotionEvent(dpy(), -1, fromX, fromY, CurrentTime);
        XTestFakeButtonEvent(dpy(), 1, True, CurrentTime);
        XFlush(dpy());
        pumpFor(300); // the client hands the drag to the window manager
        constexpr int kSteps = 10;
        for (int step = 1; step <= kSteps; ++step) {
            XTestFakeMotionEvent(dpy(), -1, fromX + (toX - fromX) * step / kSteps, fromY + (toY - fromY) * step / kSteps,
                                 CurrentTime);
            XFlush(dpy());
            pumpFor(40);
        }
        XTestFakeButtonEvent(dpy(), 1, False, CurrentTime);
        XFlush(dpy());
        pumpFor(300);
    }

    static constexpr int kTaskBar = 40, kDock = 30, kTopPanel = 28;
    // A free spot of the main window's caption (between the title and the login buttons).
    static constexpr int kCaptionX = 400, kCaptionY = 30;

    std::optional<std::string> m_imModuleBefore;
    DesktopPrograms m_desktop;
    std::vector<std::unique_ptr<StrutPanel>> m_panels;
};

TEST_F(WindowManagerProgramTest, LoginFormIsAModalDialogOverTheMainWindowWithTheKeyboard)
{
    startDesktop();
    startClient();
    const ::Window frame = waitForManaged(1008, 640);
    const ::Window login = waitForManaged(600, 372);
    ASSERT_NE(0ul, frame);
    ASSERT_NE(0ul, login);

    EXPECT_EQ(std::vector<unsigned long>{frame}, property(login, "WM_TRANSIENT_FOR", XA_WINDOW));
    EXPECT_TRUE(hasType(login, "_NET_WM_WINDOW_TYPE_DIALOG"));
    EXPECT_TRUE(pumpUntil([&] { return hasState(login, "_NET_WM_STATE_MODAL"); }));
    EXPECT_TRUE(pumpUntil([&] { return activeWindow() == login; }));
    // One entry in the task switcher, the main window's, while the form is up too.
    EXPECT_EQ(std::vector<::Window>{frame}, taskEntries(m_client->id()));
    screenshot("login_over_frame");

    // The member picks the main window in the task switcher, then clicks it: the form
    // stays above it.
    XEvent event{};
    event.xclient.type = ClientMessage;
    event.xclient.window = frame;
    event.xclient.message_type = atom("_NET_ACTIVE_WINDOW");
    event.xclient.format = 32;
    event.xclient.data.l[0] = 2; // a pager's request
    event.xclient.data.l[1] = CurrentTime;
    XSendEvent(dpy(), root(), False, SubstructureRedirectMask | SubstructureNotifyMask, &event);
    XFlush(dpy());
    pumpFor(500);
    const Box framePlace = placeOf(frame);
    clickScreen(framePlace.x + 20, framePlace.bottom() - 20);
    pumpFor(500);
    EXPECT_GT(stackIndex(login), stackIndex(frame));
    const Box loginPlace = placeOf(login);
    // Centred over the main window.
    EXPECT_NEAR(framePlace.x + (framePlace.width - loginPlace.width) / 2, loginPlace.x, 1);
    EXPECT_NEAR(framePlace.y + (framePlace.height - loginPlace.height) / 2, loginPlace.y, 1);
}

TEST_F(WindowManagerProgramTest, AfterLoginOneTaskEntryAndTheNoticeInTheWorkAreaCornerLeavesTheKeyboard)
{
    startDesktop();
    // Another program's window kept above the others, over the corner the notice takes.
    GtkWidget* onTop = gtk_window_new(GTK_WINDOW_TOPLEVEL);
    gtk_window_set_default_size(GTK_WINDOW(onTop), 300, 300);
    gtk_window_set_keep_above(GTK_WINDOW(onTop), TRUE);
    gtk_window_move(GTK_WINDOW(onTop), workArea().right() - 300, workArea().bottom() - 300);
    gtk_widget_show(onTop);
    const ::Window other = waitForManaged(300, 300);
    ASSERT_TRUE(other);
    startClient();
    const ::Window frame = waitForManaged(1008, 640);
    ASSERT_NE(0ul, waitForManaged(600, 372));
    typeLogin("zhangsan", "123456");
    pressKey("Return");
    ASSERT_TRUE(loggedInAs(1001));
    EXPECT_TRUE(pumpUntil([] { return managedWindow(600, 372) == 0; }));
    EXPECT_TRUE(pumpUntil([&] { return activeWindow() == frame; }));

    // The welcome notice.
    const ::Window notice = waitForManaged(261, 194);
    ASSERT_NE(0ul, notice);
    pumpFor(300);
    const Box work = workArea();
    const Box place = placeOf(notice);
    EXPECT_EQ(work.right(), place.right()) << place << " in " << work;
    EXPECT_EQ(work.bottom(), place.bottom()) << place << " in " << work;
    EXPECT_TRUE(hasType(notice, "_NET_WM_WINDOW_TYPE_NOTIFICATION"));
    EXPECT_GT(stackIndex(notice), stackIndex(frame));
    EXPECT_GT(stackIndex(notice), stackIndex(other));
    XWMHints* hints = XGetWMHints(dpy(), notice);
    ASSERT_NE(nullptr, hints);
    EXPECT_TRUE((hints->flags & InputHint) && !hints->input); // never given the keyboard
    XFree(hints);
    EXPECT_EQ(frame, activeWindow());
    EXPECT_EQ(std::vector<::Window>{frame}, taskEntries(m_client->id()));
    screenshot("notice_over_frame");
    gtk_widget_destroy(onTop);
}

TEST_F(WindowManagerProgramTest, CaptionDragMovesTheWindowWithOrWithoutAWindowManager)
{
    for (const bool windowManager : {false, true}) {
        SCOPED_TRACE(windowManager ? "under xfwm4" : "no window manager");
        if (windowManager)
            startDesktop();
        m_service->reset();
        startRememberedMember();
        ASSERT_TRUE(loggedInAs(1001));
        // The window manager's frame, or the client's own window without one.
        const ::Window id = mainWindow().xid;
        ASSERT_NE(0ul, id);
        pumpFor(500);
        const Box before = placeOf(id);
        drag(before.x + kCaptionX, before.y + kCaptionY, before.x + kCaptionX - 90, before.y + kCaptionY - 60);
        const Box after = placeOf(id);
        EXPECT_EQ(before.x - 90, after.x);
        EXPECT_EQ(before.y - 60, after.y);

        // The client learnt where it is now: the settings drop-down opens under its button.
        clickScreen(after.right() - 114 - 15, after.y + 21);
        pumpFor(500);
        const auto dropDown = testsupport::findShownWindow(132, 112);
        ASSERT_TRUE(dropDown);
        EXPECT_EQ(after.right() - 114 - 30 - 30, dropDown->x);
        EXPECT_EQ(after.y + 34, dropDown->y);
        clickScreen(after.x + 20, after.bottom() - 20); // closes it
        pumpFor(300);
        stopClient();
    }
}

TEST_F(WindowManagerProgramTest, CaptionDragSnapsToTheWorkAreasEdgeAndNeverLosesTheWindowUnderThePanel)
{
    startDesktop();
    startRememberedMember();
    ASSERT_TRUE(loggedInAs(1001));
    const ::Window frame = waitForManaged(1008, 640);
    ASSERT_NE(0ul, frame);
    pumpFor(500);
    const Box work = workArea();
    const Box before = placeOf(frame);
    // To 6 pixels from the work area's left edge: the window manager snaps it there.
    drag(before.x + kCaptionX, before.y + kCaptionY, work.x + 6 + kCaptionX, before.y + kCaptionY);
    EXPECT_EQ(work.x, placeOf(frame).x);
    screenshot("dragged_to_the_edge");

    // Dragged down to the screen's last row, the caption would end under the task bar; the
    // window manager keeps part of the window on the work area to take hold of again.
    const Box at = placeOf(frame);
    const int screenBottom = DisplayHeight(dpy(), DefaultScreen(dpy())) - 1;
    ASSERT_GT(screenBottom - kCaptionY, work.bottom()); // where a plain move would put it
    drag(at.x + kCaptionX, at.y + kCaptionY, at.x + kCaptionX, screenBottom);
    EXPECT_LT(placeOf(frame).y, work.bottom()) << placeOf(frame) << " in " << work;
}

TEST_F(WindowManagerProgramTest, MaximiseFillsTheWorkAreaAndRestoreReturns)
{
    for (const bool windowManager : {false, true}) {
        SCOPED_TRACE(windowManager ? "under xfwm4" : "no window manager");
        if (windowManager)
            startDesktop();
        m_service->reset();
        startRememberedMember();
        ASSERT_TRUE(loggedInAs(1001));
        const ::Window frame = mainWindow().xid;
        ASSERT_NE(0ul, frame);
        pumpFor(500);
        // Without a window manager nobody reserves an edge: the whole screen.
        const Box work = windowManager ? workArea() : Box{0, 0, DisplayWidth(dpy(), 0), DisplayHeight(dpy(), 0)};
        const Box before = placeOf(frame);
        // "window_sysmax": right 46, top 8, 30 x 26.
        clickScreen(before.right() - 46 - 15, before.y + 21);
        EXPECT_TRUE(pumpUntil([&] { return placeOf(frame) == work; })) << placeOf(frame) << " not " << work;
        if (windowManager) {
            screenshot("maximised");
            // A panel that comes along the top later pushes the maximised window down.
            m_panels.push_back(std::make_unique<StrutPanel>(StrutPanel::Top, kTopPanel));
            ASSERT_TRUE(pumpUntil([&] { return workArea().y == kTopPanel; }));
            EXPECT_TRUE(pumpUntil([&] { return placeOf(frame) == workArea(); })) << placeOf(frame) << " not " << workArea();
        }
        const Box maximised = placeOf(frame);
        clickScreen(maximised.right() - 46 - 15, maximised.y + 21);
        EXPECT_TRUE(pumpUntil([&] { return placeOf(frame) == before; })) << placeOf(frame) << " not " << before;
        stopClient();
    }
}

} // namespace
