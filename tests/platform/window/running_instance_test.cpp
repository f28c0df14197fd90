// The running-instance marker across two real processes on one X server.
#include "GtkTestSupport.h"

#include "platform/window/DesktopShell.h"

#include <X11/Xatom.h>

#include <cstdio>
#include <string>
#include <unistd.h>
#include <sys/wait.h>

namespace {

class RunningInstanceTest : public testsupport::GtkWindowTest {
protected:
    std::string uniqueName() const { return "KavrelTest" + std::to_string(getpid()); }
};

std::string readLine(FILE* in)
{
    char line[256] = {};
    if (!std::fgets(line, sizeof line, in))
        return {};
    return line;
}

TEST_F(RunningInstanceTest, SecondStartFindsHiddenFirstAndShowsIt)
{
    std::string name = uniqueName();
    EXPECT_EQ(0ul, platform::FindRunningInstance(name.c_str()));
    EXPECT_FALSE(platform::ActivateRunningInstance(name.c_str()));

    FILE* first = popen((std::string(INSTANCE_HELPER) + " " + name).c_str(), "r");
    ASSERT_NE(nullptr, first);
    ASSERT_EQ("ready\n", readLine(first));

    unsigned long xid = platform::FindRunningInstance(name.c_str());
    ASSERT_NE(0ul, xid);
    // The marker as other programs see it: CARDINAL, 32 bits, the fixed value.
    Display* dpy = gdk_x11_display_get_xdisplay(gdk_display_get_default());
    Atom type = None;
    int format = 0;
    unsigned long count = 0, after = 0;
    unsigned char* data = nullptr;
    ASSERT_EQ(Success, XGetWindowProperty(dpy, xid, XInternAtom(dpy, name.c_str(), False), 0, 4, False, AnyPropertyType,
                                          &type, &format, &count, &after, &data));
    EXPECT_EQ(XA_CARDINAL, type);
    EXPECT_EQ(32, format);
    ASSERT_EQ(1ul, count);
    EXPECT_EQ(0xE2603859ul, static_cast<unsigned long>(*reinterpret_cast<long*>(data)) & 0xFFFFFFFFul);
    XFree(data);
    XWindowAttributes attributes{};
    XGetWindowAttributes(dpy, xid, &attributes);
    EXPECT_EQ(IsUnmapped, attributes.map_state); // found although hidden

    ASSERT_TRUE(platform::ActivateRunningInstance(name.c_str()));
    EXPECT_EQ("shown visible=1 iconic=0\n", readLine(first));
    int status = pclose(first);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(0, WEXITSTATUS(status));
}

TEST_F(RunningInstanceTest, OwnMarkSetsWindowPropertyToo)
{
    std::string name = uniqueName() + "own";
    HWND w = CreateWindowEx(0, "", WS_POPUP, 0, 0, 10, 10, nullptr, 0, nullptr);
    ASSERT_TRUE(platform::MarkRunningInstance(w, name.c_str()));
    EXPECT_EQ(reinterpret_cast<void*>(std::uintptr_t{0xE2603859u}), GetProp(w, name.c_str()));
    EXPECT_EQ(platform::NativeWindowId(w), platform::FindRunningInstance(name.c_str()));
    DestroyWindow(w);
    EXPECT_EQ(0ul, platform::FindRunningInstance(name.c_str()));
}

} // namespace
