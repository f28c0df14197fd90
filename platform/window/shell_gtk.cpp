// The desktop shell under GTK on X11: GtkStatusIcon, GtkMenu, the instance marker as an
// X property and the activation request as a client message.
#include "platform/window/GtkBackend.h"

#include "platform/CodeLib.h"
#include "platform/Paths.h"

#include <gdk/gdkx.h>
#include <gtk/gtk.h>
#include <X11/Xatom.h>
#include <X11/Xlib.h>

#include <map>
#include <string>
#include <vector>

namespace platform::detail {
namespace {

G_GNUC_BEGIN_IGNORE_DEPRECATIONS

gboolean onTrayPress(GtkStatusIcon*, GdkEventButton* e, gpointer data)
{
    auto* tray = static_cast<TrayIcon*>(data);
    if (e->type == GDK_2BUTTON_PRESS && e->button == 1)
        PostMessage(tray->target, tray->message, tray->id, WM_LBUTTONDBLCLK);
    return FALSE;
}

gboolean onTrayRelease(GtkStatusIcon*, GdkEventButton* e, gpointer data)
{
    auto* tray = static_cast<TrayIcon*>(data);
    if (e->button == 3)
        PostMessage(tray->target, tray->message, tray->id, WM_RBUTTONUP);
    return FALSE;
}

// The tray tells the icon its size; the client's icon is drawn for it at that size.
gboolean onTraySize(GtkStatusIcon* icon, gint size, gpointer)
{
    GtkBackend* backend = CurrentGtkBackend();
    GdkPixbuf* picture = backend && size > 0 ? backend->applicationIcon(size) : nullptr;
    if (!picture)
        return FALSE;
    gtk_status_icon_set_from_pixbuf(icon, picture);
    g_object_unref(picture);
    return TRUE;
}

void freeTray(std::unique_ptr<TrayIcon> tray)
{
    if (!tray->icon)
        return; // the item leaves the bus with its object
    g_signal_handlers_disconnect_by_data(tray->icon, tray.get());
    gtk_status_icon_set_visible(tray->icon, FALSE);
    g_object_unref(tray->icon);
}

// The pictures as a StatusNotifierItem carries them: ARGB, each pixel's bytes A, R, G, B.
IconPixmap pixmapOf(GdkPixbuf* picture)
{
    IconPixmap out;
    out.width = gdk_pixbuf_get_width(picture);
    out.height = gdk_pixbuf_get_height(picture);
    const int channels = gdk_pixbuf_get_n_channels(picture);
    const int stride = gdk_pixbuf_get_rowstride(picture);
    const guchar* data = gdk_pixbuf_read_pixels(picture);
    out.argb.reserve(static_cast<std::size_t>(out.width) * static_cast<std::size_t>(out.height) * 4);
    for (int y = 0; y < out.height; ++y) {
        for (int x = 0; x < out.width; ++x) {
            const guchar* p = data + y * stride + x * channels;
            out.argb.insert(out.argb.end(), {channels == 4 ? p[3] : guchar{0xFF}, p[0], p[1], p[2]});
        }
    }
    return out;
}

// The item's Id, by which a host lists the program: the executable's name.
std::string appId()
{
    const std::string name = ExecutablePath().filename().string();
    return name.empty() ? "tray" : name;
}

struct MenuRun {
    GMainLoop* loop = nullptr;
    UINT chosen = 0;
    int x = 0, y = 0;
};

void onMenuItem(GtkMenuItem* item, gpointer data)
{
    auto* run = static_cast<MenuRun*>(data);
    run->chosen = GPOINTER_TO_UINT(g_object_get_data(G_OBJECT(item), "kavrel-id"));
}

void onMenuDone(GtkMenuShell*, gpointer data) { g_main_loop_quit(static_cast<MenuRun*>(data)->loop); }

void placeMenu(GtkMenu*, gint* x, gint* y, gboolean* pushIn, gpointer data)
{
    auto* run = static_cast<MenuRun*>(data);
    *x = run->x;
    *y = run->y;
    *pushIn = TRUE;
}

Display* xDisplay()
{
    GdkDisplay* display = gdk_display_get_default();
    return display && GDK_IS_X11_DISPLAY(display) ? gdk_x11_display_get_xdisplay(display) : nullptr;
}

constexpr const char* kActivateRequest = "KAVREL_ACTIVATE";

GdkFilterReturn onActivateRequest(GdkXEvent* xevent, GdkEvent*, gpointer data)
{
    auto* e = static_cast<XEvent*>(xevent);
    Display* dpy = xDisplay();
    if (!dpy || e->type != ClientMessage || e->xclient.message_type != XInternAtom(dpy, kActivateRequest, False))
        return GDK_FILTER_CONTINUE;
    HWND hwnd = static_cast<HWND>(data);
    if (IsWindow(hwnd)) {
        ShowWindow(hwnd, SW_SHOWNORMAL);
        SetForegroundWindow(hwnd);
    }
    return GDK_FILTER_REMOVE;
}

bool hasMarker(Display* dpy, ::Window xid, Atom atom)
{
    Atom type = None;
    int format = 0;
    unsigned long count = 0, after = 0;
    unsigned char* data = nullptr;
    bool found = false;
    if (XGetWindowProperty(dpy, xid, atom, 0, 1, False, XA_CARDINAL, &type, &format, &count, &after, &data) == Success
        && type == XA_CARDINAL && format == 32 && count == 1 && data) {
        // Format-32 properties arrive as longs.
        found = (static_cast<unsigned long>(*reinterpret_cast<long*>(data)) & 0xFFFFFFFFul) == kInstanceMarkerValue;
    }
    if (data)
        XFree(data);
    return found;
}

G_GNUC_END_IGNORE_DEPRECATIONS

// Until the tray says how big it draws icons: the usual panel size.
constexpr int kTrayIconStartSize = 24;

} // namespace

G_GNUC_BEGIN_IGNORE_DEPRECATIONS

bool GtkBackend::addTrayIcon(Window& target, UINT id, UINT message, const std::string& tipUtf8,
                             const std::string& iconFile)
{
    // Where a panel hosts StatusNotifierItems an XEmbed icon needs a proxy or does not show
    // at all, so the kind follows what the desktop has now.
    const bool notifier = notifierHosted();
    std::unique_ptr<TrayIcon>& tray = m_icons[id];
    if (tray && (tray->item != nullptr) != notifier)
        freeTray(std::move(tray));
    if (!tray) {
        tray = std::make_unique<TrayIcon>();
        tray->id = id;
        makeTrayIcon(*tray, notifier, iconFile);
    }
    tray->target = target.handle;
    tray->message = message;
    if (tray->item) {
        tray->item->setTitle(tipUtf8);
    } else {
        gtk_status_icon_set_tooltip_text(tray->icon, tipUtf8.c_str());
        gtk_status_icon_set_visible(tray->icon, TRUE);
    }
    return true;
}

void GtkBackend::makeTrayIcon(TrayIcon& tray, bool notifier, const std::string& iconFile)
{
    if (notifier) {
        TrayIcon* gestures = &tray;
        auto item = std::make_unique<StatusNotifierItem>(sessionBus(), tray.id, appId(),
                                                         [gestures](StatusNotifierItem::Gesture gesture) {
            // The host's activation is the icon's double click; its menu request the right button.
            PostMessage(gestures->target, gestures->message, gestures->id,
                        gesture == StatusNotifierItem::Gesture::Activate ? WM_LBUTTONDBLCLK : WM_RBUTTONUP);
        });
        if (item->registered()) {
            std::vector<IconPixmap> pixmaps;
            if (!iconFile.empty()) {
                if (GdkPixbuf* picture = gdk_pixbuf_new_from_file(iconFile.c_str(), nullptr)) {
                    pixmaps.push_back(pixmapOf(picture));
                    g_object_unref(picture);
                }
            } else {
                for (GList* picture = m_appIcon; picture; picture = picture->next)
                    pixmaps.push_back(pixmapOf(GDK_PIXBUF(picture->data)));
            }
            item->setIcon(std::move(pixmaps), "applications-education");
            tray.item = std::move(item);
            return;
        }
        // A watcher that refuses the item leaves the XEmbed icon.
    }
    if (!iconFile.empty()) {
        tray.icon = gtk_status_icon_new_from_file(iconFile.c_str());
    } else if (GdkPixbuf* picture = applicationIcon(kTrayIconStartSize)) {
        tray.icon = gtk_status_icon_new_from_pixbuf(picture);
        g_object_unref(picture);
        g_signal_connect(tray.icon, "size-changed", G_CALLBACK(onTraySize), nullptr);
    } else {
        // No icon of our own was set: the theme's picture for the kind of program.
        tray.icon = gtk_status_icon_new_from_icon_name("applications-education");
    }
    g_signal_connect(tray.icon, "button-press-event", G_CALLBACK(onTrayPress), &tray);
    g_signal_connect(tray.icon, "button-release-event", G_CALLBACK(onTrayRelease), &tray);
}

bool GtkBackend::removeTrayIcon(UINT id)
{
    auto it = m_icons.find(id);
    if (it == m_icons.end())
        return false;
    std::unique_ptr<TrayIcon> tray = std::move(it->second);
    m_icons.erase(it);
    freeTray(std::move(tray));
    return true;
}

bool GtkBackend::isTrayIconShown(UINT id) { return m_icons.count(id) != 0; }

bool GtkBackend::hasNotificationArea()
{
    if (notifierHosted())
        return true;
    Display* dpy = xDisplay();
    if (!dpy)
        return false;
    const std::string selection = "_NET_SYSTEM_TRAY_S" + std::to_string(DefaultScreen(dpy));
    return XGetSelectionOwner(dpy, XInternAtom(dpy, selection.c_str(), False)) != 0;
}

GDBusConnection* GtkBackend::sessionBus()
{
    // Tried once per run: without a bus every question would wait for nothing again.
    if (!m_busTried) {
        m_busTried = true;
        m_bus = ConnectSessionBus();
    }
    return m_bus;
}

void GtkBackend::releaseSessionBus()
{
    if (m_bus) {
        g_dbus_connection_close_sync(m_bus, nullptr, nullptr);
        g_object_unref(m_bus);
    }
    m_bus = nullptr;
    m_busTried = false;
}

void GtkBackend::removeTrayIconsOf(HWND target)
{
    std::vector<UINT> ids;
    for (const auto& [id, tray] : m_icons) {
        if (tray->target == target)
            ids.push_back(id);
    }
    for (UINT id : ids)
        removeTrayIcon(id);
}

UINT GtkBackend::trackPopupMenu(const std::vector<MenuItem>& items, int x, int y)
{
    if (items.empty())
        return 0;
    MenuRun run;
    run.x = x;
    run.y = y;
    run.loop = g_main_loop_new(nullptr, FALSE);
    GtkWidget* menu = gtk_menu_new();
    for (const MenuItem& item : items) {
        GtkWidget* entry = gtk_menu_item_new_with_label(CCodeLib::AnsiToUtf8(item.text).c_str());
        g_object_set_data(G_OBJECT(entry), "kavrel-id", GUINT_TO_POINTER(item.id));
        g_signal_connect(entry, "activate", G_CALLBACK(onMenuItem), &run);
        gtk_widget_set_sensitive(entry, item.enabled);
        gtk_menu_shell_append(GTK_MENU_SHELL(menu), entry);
        gtk_widget_show(entry);
    }
    g_signal_connect(menu, "deactivate", G_CALLBACK(onMenuDone), &run);
    gtk_menu_popup(GTK_MENU(menu), nullptr, nullptr, placeMenu, &run, 0, gtk_get_current_event_time());
    if (gtk_widget_get_visible(menu))
        g_main_loop_run(run.loop);
    g_signal_handlers_disconnect_by_data(menu, &run);
    gtk_widget_destroy(menu);
    g_main_loop_unref(run.loop);
    return run.chosen;
}

POINT GtkBackend::cursorPos()
{
    GdkDisplay* display = gdk_display_get_default();
    if (!display)
        return POINT{};
    gint x = 0, y = 0;
    gdk_device_get_position(gdk_seat_get_pointer(gdk_display_get_default_seat(display)), nullptr, &x, &y);
    return POINT{x, y};
}

unsigned long GtkBackend::nativeWindowId(Window& w)
{
    GtkWidget* top = GtkWindowWidget(w.handle);
    if (!top || !GTK_IS_WINDOW(top))
        return 0;
    gtk_widget_realize(top);
    return gdk_x11_window_get_xid(gtk_widget_get_window(top));
}

bool GtkBackend::markRunningInstance(Window& w, const char* name)
{
    GtkWidget* top = GtkWindowWidget(w.handle);
    Display* dpy = xDisplay();
    if (!top || !GTK_IS_WINDOW(top) || !dpy)
        return false;
    gtk_widget_realize(top);
    GdkWindow* gdkWindow = gtk_widget_get_window(top);
    ::Window xid = gdk_x11_window_get_xid(gdkWindow);
    long value = static_cast<long>(kInstanceMarkerValue);
    XChangeProperty(dpy, xid, XInternAtom(dpy, name, False), XA_CARDINAL, 32, PropModeReplace,
                    reinterpret_cast<unsigned char*>(&value), 1);
    XFlush(dpy);
    gdk_window_add_filter(gdkWindow, onActivateRequest, w.handle);
    return true;
}

unsigned long GtkBackend::findRunningInstance(const char* name)
{
    Display* dpy = xDisplay();
    if (!dpy)
        return 0;
    Atom atom = XInternAtom(dpy, name, True);
    if (atom == None)
        return 0; // nobody ever named the property on this display
    GdkDisplay* display = gdk_display_get_default();
    // Windows may vanish while we look; their errors are expected.
    gdk_x11_display_error_trap_push(display);
    ::Window found = 0;
    ::Window rootReturn = 0, parentReturn = 0;
    ::Window* tops = nullptr;
    unsigned int topCount = 0;
    if (XQueryTree(dpy, DefaultRootWindow(dpy), &rootReturn, &parentReturn, &tops, &topCount)) {
        for (unsigned int i = 0; i < topCount && !found; ++i) {
            if (hasMarker(dpy, tops[i], atom)) {
                found = tops[i];
                break;
            }
            // Under a reparenting window manager the client window sits inside a frame.
            ::Window* inner = nullptr;
            unsigned int innerCount = 0;
            if (XQueryTree(dpy, tops[i], &rootReturn, &parentReturn, &inner, &innerCount)) {
                for (unsigned int j = 0; j < innerCount && !found; ++j) {
                    if (hasMarker(dpy, inner[j], atom))
                        found = inner[j];
                }
                if (inner)
                    XFree(inner);
            }
        }
        if (tops)
            XFree(tops);
    }
    gdk_x11_display_error_trap_pop_ignored(display);
    return found;
}

bool GtkBackend::activateRunningInstance(unsigned long xid)
{
    Display* dpy = xDisplay();
    if (!dpy || !xid)
        return false;
    GdkDisplay* display = gdk_display_get_default();
    gdk_x11_display_error_trap_push(display);
    XEvent request{};
    request.xclient.type = ClientMessage;
    request.xclient.window = xid;
    request.xclient.message_type = XInternAtom(dpy, kActivateRequest, False);
    request.xclient.format = 32;
    XSendEvent(dpy, xid, False, NoEventMask, &request);
    // The window manager, if any, is asked as well (a pager's request).
    XEvent active{};
    active.xclient.type = ClientMessage;
    active.xclient.window = xid;
    active.xclient.message_type = XInternAtom(dpy, "_NET_ACTIVE_WINDOW", False);
    active.xclient.format = 32;
    active.xclient.data.l[0] = 2;
    active.xclient.data.l[1] = CurrentTime;
    XSendEvent(dpy, DefaultRootWindow(dpy), False, SubstructureRedirectMask | SubstructureNotifyMask, &active);
    XFlush(dpy);
    return gdk_x11_display_error_trap_pop(display) == 0;
}

int GtkBackend::messageBox(Window* owner, const std::string& text, const std::string& caption, UINT type)
{
    GtkWindow* parent = nullptr;
    if (owner) {
        if (NativeWindow* n = NativeOf(owner->handle); n && n->top)
            parent = GTK_WINDOW(n->top);
    }
    GtkWidget* dialog = gtk_message_dialog_new(parent, GTK_DIALOG_MODAL,
                                               (type & MB_ICONERROR) ? GTK_MESSAGE_ERROR : GTK_MESSAGE_INFO,
                                               GTK_BUTTONS_OK, "%s", text.c_str());
    gtk_window_set_title(GTK_WINDOW(dialog), caption.c_str());
    if (type & MB_TOPMOST)
        gtk_window_set_keep_above(GTK_WINDOW(dialog), TRUE);
    gtk_dialog_run(GTK_DIALOG(dialog));
    gtk_widget_destroy(dialog);
    return IDOK;
}

bool GtkBackend::shellOpen(const std::string& uri)
{
    GError* error = nullptr;
    gboolean ok = g_app_info_launch_default_for_uri(uri.c_str(), nullptr, &error);
    if (error)
        g_error_free(error);
    return ok;
}

G_GNUC_END_IGNORE_DEPRECATIONS

} // namespace platform::detail
