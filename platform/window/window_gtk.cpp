// The GTK back end: every window of ours is a GtkFixed holding a drawing area (the
// window's own face) and the fixed containers of its child windows above it; a top-level
// window puts that into an undecorated GtkWindow, since the skin draws the frame. Input
// becomes messages in the core's queue; the queue and the timers run inside the GLib main
// loop.
#include "platform/window/GtkHost.h"
#include "platform/window/WindowCore.h"

#include "platform/CodeLib.h"

#include <gtk/gtk.h>

#include <chrono>
#include <cmath>
#include <cstring>

namespace platform::detail {
namespace {

struct NativeWindow {
    HWND hwnd = nullptr;
    GtkWidget* top = nullptr;   // GtkWindow of a top-level window
    GtkWidget* fixed = nullptr; // the window: its face and its children
    GtkWidget* area = nullptr;  // the face: WM_PAINT and input
    GtkWidget* content = nullptr; // a widget that covers the whole client area (a web view)
    GtkIMContext* im = nullptr;
    bool inKeyFilter = false;
    std::string committed; // text the input method committed during a key filter
    // Double clicks are recognised here, so a double click reads down, up, double, up.
    guint32 lastPressTime = 0;
    guint lastPressButton = 0;
    double lastPressX = 0, lastPressY = 0;
    bool lastPressWasDouble = false;
};

NativeWindow* nativeOf(Window& w) { return static_cast<NativeWindow*>(w.native); }
NativeWindow* nativeOf(HWND hwnd)
{
    Window* w = FindWindow(hwnd);
    return w ? nativeOf(*w) : nullptr;
}

// The press that may start a move drag of the window.
struct LastPress {
    guint button = 0;
    gint rootX = 0, rootY = 0;
    guint32 time = 0;
} g_lastPress;

WPARAM mouseKeys(guint state)
{
    WPARAM keys = 0;
    if (state & GDK_BUTTON1_MASK)
        keys |= MK_LBUTTON;
    if (state & GDK_BUTTON3_MASK)
        keys |= MK_RBUTTON;
    if (state & GDK_SHIFT_MASK)
        keys |= 0x0004; // MK_SHIFT
    if (state & GDK_CONTROL_MASK)
        keys |= 0x0008; // MK_CONTROL
    if (state & GDK_BUTTON2_MASK)
        keys |= 0x0010; // MK_MBUTTON
    return keys;
}

int virtualKey(guint keyval)
{
    if (keyval >= GDK_KEY_a && keyval <= GDK_KEY_z)
        return 'A' + static_cast<int>(keyval - GDK_KEY_a);
    if (keyval >= GDK_KEY_A && keyval <= GDK_KEY_Z)
        return 'A' + static_cast<int>(keyval - GDK_KEY_A);
    if (keyval >= GDK_KEY_0 && keyval <= GDK_KEY_9)
        return '0' + static_cast<int>(keyval - GDK_KEY_0);
    if (keyval >= GDK_KEY_KP_0 && keyval <= GDK_KEY_KP_9)
        return 0x60 + static_cast<int>(keyval - GDK_KEY_KP_0);
    if (keyval >= GDK_KEY_F1 && keyval <= GDK_KEY_F12)
        return 0x70 + static_cast<int>(keyval - GDK_KEY_F1);
    switch (keyval) {
    case GDK_KEY_BackSpace: return VK_BACK;
    case GDK_KEY_Tab:
    case GDK_KEY_ISO_Left_Tab: return VK_TAB;
    case GDK_KEY_Return:
    case GDK_KEY_KP_Enter: return VK_RETURN;
    case GDK_KEY_Shift_L:
    case GDK_KEY_Shift_R: return VK_SHIFT;
    case GDK_KEY_Control_L:
    case GDK_KEY_Control_R: return VK_CONTROL;
    case GDK_KEY_Alt_L:
    case GDK_KEY_Alt_R: return 0x12; // VK_MENU
    case GDK_KEY_Pause: return 0x13;
    case GDK_KEY_Caps_Lock: return 0x14;
    case GDK_KEY_Escape: return VK_ESCAPE;
    case GDK_KEY_space: return VK_SPACE;
    case GDK_KEY_Page_Up: return 0x21;
    case GDK_KEY_Page_Down: return 0x22;
    case GDK_KEY_End:
    case GDK_KEY_KP_End: return VK_END;
    case GDK_KEY_Home:
    case GDK_KEY_KP_Home: return VK_HOME;
    case GDK_KEY_Left:
    case GDK_KEY_KP_Left: return VK_LEFT;
    case GDK_KEY_Up:
    case GDK_KEY_KP_Up: return VK_UP;
    case GDK_KEY_Right:
    case GDK_KEY_KP_Right: return VK_RIGHT;
    case GDK_KEY_Down:
    case GDK_KEY_KP_Down: return VK_DOWN;
    case GDK_KEY_Insert: return 0x2D;
    case GDK_KEY_Delete:
    case GDK_KEY_KP_Delete: return VK_DELETE;
    case GDK_KEY_KP_Multiply: return 0x6A;
    case GDK_KEY_KP_Add: return 0x6B;
    case GDK_KEY_KP_Subtract: return 0x6D;
    case GDK_KEY_KP_Decimal: return 0x6E;
    case GDK_KEY_KP_Divide: return 0x6F;
    case GDK_KEY_semicolon: return 0xBA;
    case GDK_KEY_equal: return 0xBB;
    case GDK_KEY_comma: return 0xBC;
    case GDK_KEY_minus: return 0xBD;
    case GDK_KEY_period: return 0xBE;
    case GDK_KEY_slash: return 0xBF;
    default: return 0;
    }
}

// Each committed character as one WM_IME_CHAR.
void deliverText(HWND hwnd, const char* utf8)
{
    for (WPARAM code : ImeCharsFromUtf8(utf8 ? utf8 : ""))
        DeliverInput(hwnd, WM_IME_CHAR, code, 1);
}

gboolean onDraw(GtkWidget*, cairo_t* cr, gpointer data)
{
    auto* n = static_cast<NativeWindow*>(data);
    if (!FindWindow(n->hwnd))
        return FALSE;
    cairo_save(cr);
    cairo_set_source_rgb(cr, 1, 1, 1);
    cairo_paint(cr);
    cairo_restore(cr);
    cairo_save(cr);
    SendMessage(n->hwnd, WM_PAINT, reinterpret_cast<WPARAM>(cr), 0);
    cairo_restore(cr);
    return FALSE;
}

gboolean onButtonPress(GtkWidget* widget, GdkEventButton* e, gpointer data)
{
    auto* n = static_cast<NativeWindow*>(data);
    if (e->type != GDK_BUTTON_PRESS)
        return TRUE; // GTK's own double and triple presses: recognised below instead
    gtk_widget_grab_focus(widget);
    g_lastPress = LastPress{e->button, static_cast<gint>(e->x_root), static_cast<gint>(e->y_root), e->time};

    gint doubleTime = 400, doubleDistance = 5;
    g_object_get(gtk_widget_get_settings(widget), "gtk-double-click-time", &doubleTime,
                 "gtk-double-click-distance", &doubleDistance, nullptr);
    bool isDouble = !n->lastPressWasDouble && e->button == n->lastPressButton
        && e->time - n->lastPressTime <= static_cast<guint32>(doubleTime)
        && std::fabs(e->x - n->lastPressX) <= doubleDistance && std::fabs(e->y - n->lastPressY) <= doubleDistance;
    n->lastPressTime = e->time;
    n->lastPressButton = e->button;
    n->lastPressX = e->x;
    n->lastPressY = e->y;
    n->lastPressWasDouble = isDouble;

    UINT msg = 0;
    switch (e->button) {
    case 1: msg = isDouble ? WM_LBUTTONDBLCLK : WM_LBUTTONDOWN; break;
    case 2: msg = isDouble ? WM_MBUTTONDBLCLK : WM_MBUTTONDOWN; break;
    case 3: msg = isDouble ? WM_RBUTTONDBLCLK : WM_RBUTTONDOWN; break;
    default: return FALSE;
    }
    WPARAM keys = mouseKeys(e->state);
    keys |= e->button == 1 ? MK_LBUTTON : e->button == 3 ? MK_RBUTTON : 0x0010;
    DeliverInput(n->hwnd, msg, keys, MAKELPARAM(static_cast<int>(e->x), static_cast<int>(e->y)));
    return TRUE;
}

gboolean onButtonRelease(GtkWidget*, GdkEventButton* e, gpointer data)
{
    auto* n = static_cast<NativeWindow*>(data);
    UINT msg = 0;
    switch (e->button) {
    case 1: msg = WM_LBUTTONUP; break;
    case 2: msg = WM_MBUTTONUP; break;
    case 3: msg = WM_RBUTTONUP; break;
    default: return FALSE;
    }
    WPARAM keys = mouseKeys(e->state);
    keys &= ~(e->button == 1 ? MK_LBUTTON : e->button == 3 ? MK_RBUTTON : 0x0010);
    DeliverInput(n->hwnd, msg, keys, MAKELPARAM(static_cast<int>(e->x), static_cast<int>(e->y)));
    return TRUE;
}

gboolean onMotion(GtkWidget*, GdkEventMotion* e, gpointer data)
{
    auto* n = static_cast<NativeWindow*>(data);
    DeliverInput(n->hwnd, WM_MOUSEMOVE, mouseKeys(e->state), MAKELPARAM(static_cast<int>(e->x), static_cast<int>(e->y)));
    return TRUE;
}

gboolean onLeave(GtkWidget*, GdkEventCrossing* e, gpointer data)
{
    auto* n = static_cast<NativeWindow*>(data);
    if (e->mode == GDK_CROSSING_NORMAL)
        DeliverInput(n->hwnd, WM_MOUSELEAVE, 0, 0);
    return FALSE;
}

gboolean onScroll(GtkWidget*, GdkEventScroll* e, gpointer data)
{
    auto* n = static_cast<NativeWindow*>(data);
    int delta = 0;
    switch (e->direction) {
    case GDK_SCROLL_UP: delta = 120; break;
    case GDK_SCROLL_DOWN: delta = -120; break;
    case GDK_SCROLL_SMOOTH: delta = static_cast<int>(-e->delta_y * 120); break;
    default: return FALSE;
    }
    if (delta == 0)
        return TRUE;
    WPARAM wParam = (static_cast<WPARAM>(static_cast<std::uint16_t>(delta)) << 16) | mouseKeys(e->state);
    // The wheel carries screen coordinates, as the classic message does.
    DeliverInput(n->hwnd, WM_MOUSEWHEEL, wParam,
                 MAKELPARAM(static_cast<int>(e->x_root), static_cast<int>(e->y_root)));
    return TRUE;
}

gboolean onKey(GtkWidget*, GdkEventKey* e, gpointer data)
{
    auto* n = static_cast<NativeWindow*>(data);
    bool press = e->type == GDK_KEY_PRESS;
    n->inKeyFilter = true;
    n->committed.clear();
    bool consumed = n->im && gtk_im_context_filter_keypress(n->im, e);
    n->inKeyFilter = false;
    std::string text;
    text.swap(n->committed);

    int vk = virtualKey(e->keyval);
    // A key the input method keeps for a composition in progress is not a key press of
    // the window; a key that typed text directly still is.
    bool keyMessage = vk != 0 && (!consumed || !text.empty());
    if (keyMessage) {
        LPARAM lParam = 1 | (static_cast<LPARAM>(e->hardware_keycode & 0xFF) << 16);
        if (!press)
            lParam |= static_cast<LPARAM>(0xC0000000u);
        DeliverInput(n->hwnd, press ? WM_KEYDOWN : WM_KEYUP, static_cast<WPARAM>(vk), lParam);
    }
    if (!text.empty())
        deliverText(n->hwnd, text.c_str());
    return TRUE;
}

void onCommit(GtkIMContext*, const gchar* text, gpointer data)
{
    auto* n = static_cast<NativeWindow*>(data);
    if (n->inKeyFilter)
        n->committed += text;
    else
        deliverText(n->hwnd, text);
}

gboolean onFocusIn(GtkWidget*, GdkEvent*, gpointer data)
{
    auto* n = static_cast<NativeWindow*>(data);
    if (n->im)
        gtk_im_context_focus_in(n->im);
    return FALSE;
}

gboolean onFocusOut(GtkWidget*, GdkEvent*, gpointer data)
{
    auto* n = static_cast<NativeWindow*>(data);
    if (n->im)
        gtk_im_context_focus_out(n->im);
    return FALSE;
}

void onRealize(GtkWidget* widget, gpointer data)
{
    auto* n = static_cast<NativeWindow*>(data);
    if (n->im)
        gtk_im_context_set_client_window(n->im, gtk_widget_get_window(widget));
}

void onUnrealize(GtkWidget*, gpointer data)
{
    auto* n = static_cast<NativeWindow*>(data);
    if (n->im)
        gtk_im_context_set_client_window(n->im, nullptr);
}

gboolean onDelete(GtkWidget*, GdkEvent*, gpointer data)
{
    auto* n = static_cast<NativeWindow*>(data);
    PostMessage(n->hwnd, WM_CLOSE, 0, 0);
    return TRUE; // the window decides; DefWindowProc destroys it
}

gboolean onConfigure(GtkWidget*, GdkEventConfigure* e, gpointer data)
{
    auto* n = static_cast<NativeWindow*>(data);
    Window* w = FindWindow(n->hwnd);
    if (!w || w->showState != SW_SHOWNORMAL)
        return FALSE;
    RECT r{e->x, e->y, e->x + w->rect.width(), e->y + w->rect.height()};
    if (r.left != w->rect.left || r.top != w->rect.top)
        NativePlaced(n->hwnd, r);
    return FALSE;
}

gboolean onWindowFocus(GtkWidget*, GdkEventFocus* e, gpointer data)
{
    auto* n = static_cast<NativeWindow*>(data);
    NativeActivated(n->hwnd, e->in != 0);
    return FALSE;
}

// Dispatches our queue while nobody fetches from it: a GTK dialog or menu running its
// own loop inside a message handler still serves posted and sent messages and timers.
struct QueueSource {
    GSource base;
};

gboolean queuePrepare(GSource*, gint* timeout)
{
    *timeout = -1;
    if (IsFetching())
        return FALSE;
    if (HasWork())
        return TRUE;
    if (auto due = NextTimerDue()) {
        std::uint64_t now = CurrentBackendObject()->now();
        *timeout = *due > now ? static_cast<gint>(std::min<std::uint64_t>(*due - now, G_MAXINT)) : 0;
    }
    return FALSE;
}

gboolean queueCheck(GSource*) { return !IsFetching() && HasWork(); }

gboolean queueDispatch(GSource*, GSourceFunc, gpointer)
{
    DrainQueue();
    return G_SOURCE_CONTINUE;
}

GSourceFuncs g_queueFuncs = {queuePrepare, queueCheck, queueDispatch, nullptr, nullptr, nullptr};

gboolean onTimeout(gpointer flag)
{
    *static_cast<bool*>(flag) = true;
    return G_SOURCE_REMOVE;
}

class GtkBackend final : public Backend {
public:
    bool init() override
    {
        if (!gtk_init_check(nullptr, nullptr))
            return false;
        m_source = g_source_new(&g_queueFuncs, sizeof(QueueSource));
        g_source_attach(m_source, nullptr);
        m_start = std::chrono::steady_clock::now();
        return true;
    }

    void shutdown() override
    {
        if (m_source) {
            g_source_destroy(m_source);
            g_source_unref(m_source);
            m_source = nullptr;
        }
        // Lets GTK finish what the destroyed windows left (a bounded number of rounds: a
        // browser may always have something ready).
        for (int round = 0; round < 200 && g_main_context_iteration(nullptr, FALSE); ++round) {
        }
    }

    std::uint64_t now() override
    {
        return static_cast<std::uint64_t>(
            std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - m_start).count());
    }

    void wait(std::unique_lock<std::mutex>& lock, std::optional<std::uint64_t> dueAt,
              const std::function<bool()>& ready) override
    {
        if (ready())
            return;
        lock.unlock();
        bool fired = false;
        guint timeout = 0;
        if (dueAt) {
            std::uint64_t at = now();
            guint ms = *dueAt > at ? static_cast<guint>(std::min<std::uint64_t>(*dueAt - at, G_MAXUINT)) : 0;
            timeout = g_timeout_add(ms, onTimeout, &fired);
        }
        g_main_context_iteration(nullptr, TRUE);
        if (timeout && !fired)
            g_source_remove(timeout);
        lock.lock();
    }

    void wake() override { g_main_context_wakeup(nullptr); }

    void created(Window& w) override
    {
        auto* n = new NativeWindow;
        n->hwnd = w.handle;
        w.native = n;
        n->fixed = gtk_fixed_new();
        n->area = gtk_drawing_area_new();
        gtk_widget_set_can_focus(n->area, TRUE);
        gtk_widget_add_events(n->area, GDK_POINTER_MOTION_MASK | GDK_BUTTON_PRESS_MASK | GDK_BUTTON_RELEASE_MASK
                                           | GDK_SCROLL_MASK | GDK_SMOOTH_SCROLL_MASK | GDK_KEY_PRESS_MASK
                                           | GDK_KEY_RELEASE_MASK | GDK_LEAVE_NOTIFY_MASK | GDK_FOCUS_CHANGE_MASK);
        gtk_widget_set_size_request(n->area, std::max(w.rect.width(), 1), std::max(w.rect.height(), 1));
        gtk_fixed_put(GTK_FIXED(n->fixed), n->area, 0, 0);
        n->im = gtk_im_multicontext_new();
        g_signal_connect(n->im, "commit", G_CALLBACK(onCommit), n);
        g_signal_connect(n->area, "draw", G_CALLBACK(onDraw), n);
        g_signal_connect(n->area, "button-press-event", G_CALLBACK(onButtonPress), n);
        g_signal_connect(n->area, "button-release-event", G_CALLBACK(onButtonRelease), n);
        g_signal_connect(n->area, "motion-notify-event", G_CALLBACK(onMotion), n);
        g_signal_connect(n->area, "leave-notify-event", G_CALLBACK(onLeave), n);
        g_signal_connect(n->area, "scroll-event", G_CALLBACK(onScroll), n);
        g_signal_connect(n->area, "key-press-event", G_CALLBACK(onKey), n);
        g_signal_connect(n->area, "key-release-event", G_CALLBACK(onKey), n);
        g_signal_connect(n->area, "focus-in-event", G_CALLBACK(onFocusIn), n);
        g_signal_connect(n->area, "focus-out-event", G_CALLBACK(onFocusOut), n);
        g_signal_connect(n->area, "realize", G_CALLBACK(onRealize), n);
        g_signal_connect(n->area, "unrealize", G_CALLBACK(onUnrealize), n);
        gtk_widget_show(n->area);
        gtk_widget_show(n->fixed);

        if (w.child) {
            NativeWindow* parent = nativeOf(w.parent);
            gtk_fixed_put(GTK_FIXED(parent->fixed), n->fixed, w.rect.left, w.rect.top);
            gtk_widget_hide(n->fixed);
            return;
        }
        n->top = gtk_window_new(GTK_WINDOW_TOPLEVEL);
        gtk_window_set_decorated(GTK_WINDOW(n->top), FALSE);
        gtk_window_set_resizable(GTK_WINDOW(n->top), FALSE);
        gtk_window_set_title(GTK_WINDOW(n->top), CCodeLib::AnsiToUtf8(w.title).c_str());
        if (w.exStyle & WS_EX_TOOLWINDOW) {
            gtk_window_set_skip_taskbar_hint(GTK_WINDOW(n->top), TRUE);
            gtk_window_set_skip_pager_hint(GTK_WINDOW(n->top), TRUE);
            gtk_window_set_type_hint(GTK_WINDOW(n->top), GDK_WINDOW_TYPE_HINT_UTILITY);
            gtk_window_set_focus_on_map(GTK_WINDOW(n->top), FALSE);
        }
        if (w.desktopChild) {
            // A drop-down: clicks reach it, the keyboard stays with the window under it.
            gtk_window_set_accept_focus(GTK_WINDOW(n->top), FALSE);
            gtk_window_set_skip_taskbar_hint(GTK_WINDOW(n->top), TRUE);
        }
        if (w.exStyle & WS_EX_TOPMOST)
            gtk_window_set_keep_above(GTK_WINDOW(n->top), TRUE);
        if (NativeWindow* owner = w.parent ? nativeOf(w.parent) : nullptr; owner && owner->top)
            gtk_window_set_transient_for(GTK_WINDOW(n->top), GTK_WINDOW(owner->top));
        gtk_container_add(GTK_CONTAINER(n->top), n->fixed);
        // Keys reach the window through its face until a child takes the focus.
        gtk_widget_grab_focus(n->area);
        gtk_widget_add_events(n->top, GDK_STRUCTURE_MASK | GDK_FOCUS_CHANGE_MASK);
        g_signal_connect(n->top, "delete-event", G_CALLBACK(onDelete), n);
        g_signal_connect(n->top, "configure-event", G_CALLBACK(onConfigure), n);
        g_signal_connect(n->top, "focus-in-event", G_CALLBACK(onWindowFocus), n);
        g_signal_connect(n->top, "focus-out-event", G_CALLBACK(onWindowFocus), n);
        // Not resizable: the window is always exactly the size its face asks for.
        gtk_window_move(GTK_WINDOW(n->top), w.rect.left, w.rect.top);
        gtk_widget_realize(n->top);
    }

    void destroyed(Window& w) override
    {
        NativeWindow* n = nativeOf(w);
        if (!n)
            return;
        w.native = nullptr;
        g_signal_handlers_disconnect_by_data(n->area, n);
        if (n->top)
            g_signal_handlers_disconnect_by_data(n->top, n);
        g_signal_handlers_disconnect_by_data(n->im, n);
        gtk_im_context_set_client_window(n->im, nullptr);
        g_object_unref(n->im);
        gtk_widget_destroy(n->top ? n->top : n->fixed);
        delete n;
    }

    void placed(Window& w) override
    {
        NativeWindow* n = nativeOf(w);
        int cx = std::max(w.rect.width(), 1), cy = std::max(w.rect.height(), 1);
        gtk_widget_set_size_request(n->area, cx, cy);
        if (n->content)
            gtk_widget_set_size_request(n->content, cx, cy);
        if (n->top) {
            gtk_window_move(GTK_WINDOW(n->top), w.rect.left, w.rect.top);
            gtk_window_resize(GTK_WINDOW(n->top), cx, cy);
        } else if (NativeWindow* parent = nativeOf(w.parent)) {
            gtk_fixed_move(GTK_FIXED(parent->fixed), n->fixed, w.rect.left, w.rect.top);
        }
    }

    void shown(Window& w) override
    {
        NativeWindow* n = nativeOf(w);
        GtkWidget* widget = n->top ? n->top : n->fixed;
        if (!w.visible) {
            gtk_widget_hide(widget);
            return;
        }
        gtk_widget_show(widget);
        if (n->top) {
            if (w.showState == SW_SHOWMINIMIZED)
                gtk_window_iconify(GTK_WINDOW(n->top));
            else
                gtk_window_deiconify(GTK_WINDOW(n->top));
        }
    }

    void titled(Window& w) override
    {
        NativeWindow* n = nativeOf(w);
        if (n->top)
            gtk_window_set_title(GTK_WINDOW(n->top), CCodeLib::AnsiToUtf8(w.title).c_str());
    }

    void activated(Window& w) override
    {
        NativeWindow* n = nativeOf(w);
        if (n->top && w.visible && !gtk_window_is_active(GTK_WINDOW(n->top)))
            gtk_window_present(GTK_WINDOW(n->top));
    }

    void focused(Window& w) override
    {
        NativeWindow* n = nativeOf(w);
        if (!gtk_widget_has_focus(n->area))
            gtk_widget_grab_focus(n->area);
    }

    void invalidate(Window& w, const RECT* r) override
    {
        NativeWindow* n = nativeOf(w);
        if (r)
            gtk_widget_queue_draw_area(n->area, r->left, r->top, r->width(), r->height());
        else
            gtk_widget_queue_draw(n->area);
        if (n->content)
            gtk_widget_queue_draw(n->content);
    }

    void update(Window& w) override
    {
        NativeWindow* n = nativeOf(w);
        if (GdkWindow* gw = gtk_widget_get_window(n->area)) {
            G_GNUC_BEGIN_IGNORE_DEPRECATIONS
            gdk_window_process_updates(gw, TRUE);
            G_GNUC_END_IGNORE_DEPRECATIONS
        }
    }

    bool beginMoveDrag(Window& w) override
    {
        NativeWindow* n = nativeOf(w);
        if (!n->top || g_lastPress.button == 0)
            return false;
        gtk_window_begin_move_drag(GTK_WINDOW(n->top), static_cast<gint>(g_lastPress.button), g_lastPress.rootX,
                                   g_lastPress.rootY, g_lastPress.time);
        return true;
    }

    void imeCursor(Window& w, const RECT& caret) override
    {
        NativeWindow* n = nativeOf(w);
        GdkRectangle r{caret.left, caret.top, std::max(caret.width(), 1), std::max(caret.height(), 1)};
        gtk_im_context_set_cursor_location(n->im, &r);
    }

    SIZE screenSize() override
    {
        GdkRectangle r = monitorGeometry(false);
        return SIZE{r.width, r.height};
    }

    RECT workArea() override
    {
        GdkRectangle r = monitorGeometry(true);
        return RECT{r.x, r.y, r.x + r.width, r.y + r.height};
    }

    int messageBox(Window* owner, const std::string& text, const std::string& caption, UINT type) override
    {
        GtkWindow* parent = nullptr;
        if (owner) {
            if (NativeWindow* n = nativeOf(owner->handle); n && n->top)
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

    bool shellOpen(const std::string& uri) override
    {
        GError* error = nullptr;
        gboolean ok = g_app_info_launch_default_for_uri(uri.c_str(), nullptr, &error);
        if (error)
            g_error_free(error);
        return ok;
    }

private:
    static GdkRectangle monitorGeometry(bool workArea)
    {
        GdkRectangle r{0, 0, 0, 0};
        GdkDisplay* display = gdk_display_get_default();
        GdkMonitor* monitor = display ? gdk_display_get_primary_monitor(display) : nullptr;
        if (!monitor && display)
            monitor = gdk_display_get_monitor(display, 0);
        if (!monitor)
            return r;
        if (workArea)
            gdk_monitor_get_workarea(monitor, &r);
        else
            gdk_monitor_get_geometry(monitor, &r);
        return r;
    }

    GSource* m_source = nullptr;
    std::chrono::steady_clock::time_point m_start;
};

} // namespace

std::unique_ptr<Backend> MakeGtkBackend() { return std::make_unique<GtkBackend>(); }

GtkWidget* GtkWindowWidget(HWND hwnd)
{
    NativeWindow* n = nativeOf(hwnd);
    return n ? (n->top ? n->top : n->fixed) : nullptr;
}

GtkWidget* GtkFaceWidget(HWND hwnd)
{
    NativeWindow* n = nativeOf(hwnd);
    return n ? n->area : nullptr;
}

GtkWidget* GtkContentWidget(HWND hwnd)
{
    NativeWindow* n = nativeOf(hwnd);
    return n ? n->content : nullptr;
}

bool GtkSetContent(HWND hwnd, GtkWidget* content)
{
    NativeWindow* n = nativeOf(hwnd);
    Window* w = FindWindow(hwnd);
    if (!n || !w)
        return false;
    if (n->content)
        gtk_widget_destroy(n->content);
    n->content = content;
    if (content) {
        gtk_widget_set_size_request(content, std::max(w->rect.width(), 1), std::max(w->rect.height(), 1));
        gtk_fixed_put(GTK_FIXED(n->fixed), content, 0, 0);
        gtk_widget_show(content);
    }
    return true;
}

} // namespace platform::detail
