// Programs of a member's desktop on the test's X server: a private session bus (made at
// construction, so make the object before the window system starts: GTK and the tray find
// the bus through the environment), a real window manager (xfwm4, whose settings service
// comes up on that bus) and a notification area that embeds XEmbed tray icons (trayer).
// Each runs on the display GDK uses, with its settings in a folder of its own, and is ended
// by its own pid when the object goes. Callers wait for readiness with their own pump
// (windowManagerRunning, trayRunning), so our queue keeps running meanwhile.
#pragma once

#include <gtest/gtest.h>

#include <gdk/gdkx.h>
#include <glib.h>
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>

#include "TempDir.h"

#include <csignal>
#include <optional>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace testsupport {

class DesktopPrograms {
public:
    DesktopPrograms()
    {
        const char* before = g_getenv("DBUS_SESSION_BUS_ADDRESS");
        m_busBefore = before ? std::optional<std::string>(before) : std::nullopt;
        m_environment = g_environ_setenv(g_get_environ(), "XDG_CONFIG_HOME", m_config.path().c_str(), TRUE);
        int out = -1;
        if (!start({"dbus-daemon", "--session", "--nofork", "--print-address=1"}, &out))
            return;
        // The daemon prints its address, then serves until it is ended.
        std::string address;
        char c = 0;
        while (read(out, &c, 1) == 1 && c != '\n')
            address += c;
        close(out);
        if (address.empty()) {
            ADD_FAILURE() << "the session bus told no address";
            return;
        }
        g_setenv("DBUS_SESSION_BUS_ADDRESS", address.c_str(), TRUE);
        m_environment = g_environ_setenv(m_environment, "DBUS_SESSION_BUS_ADDRESS", address.c_str(), TRUE);
        m_busAddress = address;
    }
    DesktopPrograms(const DesktopPrograms&) = delete;
    DesktopPrograms& operator=(const DesktopPrograms&) = delete;
    ~DesktopPrograms()
    {
        // Last started first: the bus goes after the programs on it.
        for (auto pid = m_pids.rbegin(); pid != m_pids.rend(); ++pid) {
            kill(*pid, SIGTERM);
            waitpid(*pid, nullptr, 0);
        }
        if (m_busBefore)
            g_setenv("DBUS_SESSION_BUS_ADDRESS", m_busBefore->c_str(), TRUE);
        else
            g_unsetenv("DBUS_SESSION_BUS_ADDRESS");
        g_strfreev(m_environment);
    }

    const std::string& busAddress() const { return m_busAddress; }

    // xfwm4 without its compositor, so the screen read back is what is drawn.
    bool startWindowManager() { return start({"xfwm4", "--compositor=off", "--sm-client-disable"}); }
    // trayer at the screen's top edge, wide enough for a few icons. It asks its icons for
    // its height less two pixels: 32, a size of its own, not the one icons start with.
    bool startTray()
    {
        return start({"trayer", "--edge", "top", "--align", "right", "--widthtype", "pixel", "--width", "120",
                      "--heighttype", "pixel", "--height", "34", "--SetDockType", "true"});
    }

    static Display* display() { return gdk_x11_display_get_xdisplay(gdk_display_get_default()); }
    // A window manager announces itself with _NET_SUPPORTING_WM_CHECK on the root window.
    static bool windowManagerRunning()
    {
        Display* dpy = display();
        Atom type = 0;
        int format = 0;
        unsigned long count = 0, after = 0;
        unsigned char* data = nullptr;
        const bool found = XGetWindowProperty(dpy, DefaultRootWindow(dpy), XInternAtom(dpy, "_NET_SUPPORTING_WM_CHECK", False),
                                              0, 1, False, XA_WINDOW, &type, &format, &count, &after, &data)
                               == Success
                           && count == 1;
        if (data)
            XFree(data);
        return found;
    }
    static bool trayRunning()
    {
        Display* dpy = display();
        const std::string name = "_NET_SYSTEM_TRAY_S" + std::to_string(DefaultScreen(dpy));
        return XGetSelectionOwner(dpy, XInternAtom(dpy, name.c_str(), False)) != 0;
    }

    // Types the text's characters (ASCII letters and digits) as key presses would.
    static void typeText(const std::string& text)
    {
        Display* dpy = display();
        for (char c : text) {
            const char name[2] = {c, 0};
            const KeyCode code = XKeysymToKeycode(dpy, XStringToKeysym(name));
            XTestFakeKeyEvent(dpy, code, True, CurrentTime);
            XTestFakeKeyEvent(dpy, code, False, CurrentTime);
        }
        XFlush(dpy);
    }

private:
    // Starts the program; with out given, its standard output comes back through that pipe.
    bool start(std::vector<const char*> argv, int* out = nullptr)
    {
        argv.push_back(nullptr);
        GPid pid = 0;
        GError* error = nullptr;
        const auto flags = static_cast<GSpawnFlags>(G_SPAWN_SEARCH_PATH | G_SPAWN_DO_NOT_REAP_CHILD
                                                    | (out ? 0 : G_SPAWN_STDOUT_TO_DEV_NULL) | G_SPAWN_STDERR_TO_DEV_NULL);
        if (!g_spawn_async_with_pipes(nullptr, const_cast<char**>(argv.data()), m_environment, flags, nullptr, nullptr,
                                      &pid, nullptr, out, nullptr, &error)) {
            ADD_FAILURE() << argv[0] << " did not start: " << (error ? error->message : "?")
                          << " (scripts/setup.sh installs it)";
            g_clear_error(&error);
            return false;
        }
        m_pids.push_back(pid);
        return true;
    }

    TempDir m_config;
    gchar** m_environment = nullptr;
    std::optional<std::string> m_busBefore;
    std::string m_busAddress;
    std::vector<GPid> m_pids;
};

} // namespace testsupport
