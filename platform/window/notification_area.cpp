// Notification-area presence: the owner of the system-tray selection under X11.
#include "platform/window/NotificationArea.h"

#include "platform/window/WindowSystem.h"

#include <gdk/gdk.h>
#include <gdk/gdkx.h>
#include <X11/Xlib.h>

#include <string>

namespace platform {
namespace {

bool g_headlessArea = true; // user-interface thread only

} // namespace

bool HasNotificationArea()
{
    if (CurrentBackend() != Backend::Gtk)
        return g_headlessArea;
    GdkDisplay* display = gdk_display_get_default();
    if (!display || !GDK_IS_X11_DISPLAY(display))
        return false;
    Display* x = gdk_x11_display_get_xdisplay(display);
    const std::string selection = "_NET_SYSTEM_TRAY_S" + std::to_string(DefaultScreen(x));
    Atom atom = XInternAtom(x, selection.c_str(), False);
    return XGetSelectionOwner(x, atom) != 0;
}

void HeadlessSetNotificationArea(bool present) { g_headlessArea = present; }

} // namespace platform
