// The GTK back end: our windows as GTK widgets (see NativeWindow), the queue and the
// timers inside the GLib main loop.
#include "platform/window/GtkBackend.h"

#include "platform/CodeLib.h"

#include <gdk/gdk.h>
#include <gdk/gdkx.h>
#include <X11/Xlib.h>

#include <algorithm>
#include <utility>

namespace platform::detail {
namespace {

// Each run of the back end has its own number, so a clipboard answer that arrives after
// the run that asked has ended is dropped.
unsigned g_clipboardRun = 0;

NativeWindow* nativeOf(Window& w) { return static_cast<NativeWindow*>(w.native); }

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


// What holds a window's content widget: exactly the size the window system gives it
// (its size request), all of it given to the content. A web view asks for the size of its
// page, which is the size the view last had: once a window grew (maximised), its views
// would keep it from ever shrinking again.
struct ContentHolder {
    GtkBin parent;
};
struct ContentHolderClass {
    GtkBinClass parentClass;
};

void holderPreferredSize(GtkWidget*, gint* minimum, gint* natural)
{
    *minimum = 0;
    *natural = 0;
}

void holderAllocate(GtkWidget* widget, GtkAllocation* allocation)
{
    gtk_widget_set_allocation(widget, allocation);
    GtkWidget* child = gtk_bin_get_child(GTK_BIN(widget));
    if (!child || !gtk_widget_get_visible(child))
        return;
    // GTK wants a widget measured before it is allocated.
    gint width = 0, height = 0;
    gtk_widget_get_preferred_width(child, &width, nullptr);
    gtk_widget_get_preferred_height(child, &height, nullptr);
    gtk_widget_size_allocate(child, allocation);
}

void holderClassInit(gpointer holderClass, gpointer)
{
    GtkWidgetClass* widgetClass = GTK_WIDGET_CLASS(holderClass);
    widgetClass->get_preferred_width = holderPreferredSize;
    widgetClass->get_preferred_height = holderPreferredSize;
    widgetClass->size_allocate = holderAllocate;
}

void holderInit(GTypeInstance* holder, gpointer) { gtk_widget_set_has_window(GTK_WIDGET(holder), FALSE); }

GType contentHolderType()
{
    static const GType type = g_type_register_static_simple(GTK_TYPE_BIN, "KavrelContentHolder",
                                                            sizeof(ContentHolderClass), holderClassInit,
                                                            sizeof(ContentHolder), holderInit, GTypeFlags{});
    return type;
}

// The window manager announces a new work area (a panel came, went or moved) on the root
// window; maximised windows follow once GDK has seen it too.
gboolean onWorkAreaIdle(gpointer data)
{
    *static_cast<guint*>(data) = 0;
    WorkAreaChanged();
    return G_SOURCE_REMOVE;
}

GdkFilterReturn onRootEvent(GdkXEvent* xevent, GdkEvent*, gpointer data)
{
    const auto* e = static_cast<const XEvent*>(xevent);
    auto* pending = static_cast<guint*>(data);
    if (e->type == PropertyNotify && !*pending
        && (e->xproperty.atom == gdk_x11_get_xatom_by_name("_NET_WORKAREA")
            || e->xproperty.atom == gdk_x11_get_xatom_by_name("_GTK_WORKAREAS_D0")))
        *pending = g_idle_add(onWorkAreaIdle, pending);
    return GDK_FILTER_CONTINUE;
}

GdkRectangle monitorGeometry(bool workArea)
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

// What the window manager is told of a new top-level window: its kind, whether it has an
// entry of its own in the task switcher, whether it may take the keyboard. The client has
// one entry, its unowned window's; what a window owns stands above it and shares it.
void setDesktopRole(const Window& w, NativeWindow& n)
{
    GtkWindow* top = GTK_WINDOW(n.top);
    NativeWindow* owner = w.parent ? NativeOf(w.parent) : nullptr;
    const bool owned = owner && owner->top;
    const bool ownEntry = !owned && !(w.exStyle & (WS_EX_TOOLWINDOW | WS_EX_NOACTIVATE)) && !w.desktopChild;
    gtk_window_set_skip_taskbar_hint(top, !ownEntry);
    gtk_window_set_skip_pager_hint(top, !ownEntry);
    if (owned) {
        gtk_window_set_transient_for(top, GTK_WINDOW(owner->top));
        gtk_window_set_type_hint(top, GDK_WINDOW_TYPE_HINT_DIALOG);
    }
    if (w.exStyle & WS_EX_TOOLWINDOW) {
        gtk_window_set_type_hint(top, GDK_WINDOW_TYPE_HINT_UTILITY);
        gtk_window_set_focus_on_map(top, FALSE);
    }
    if (w.exStyle & WS_EX_NOACTIVATE) {
        // Shown over whatever the member is doing without taking the keyboard from it.
        gtk_window_set_type_hint(top, GDK_WINDOW_TYPE_HINT_NOTIFICATION);
        gtk_window_set_focus_on_map(top, FALSE);
        gtk_window_set_accept_focus(top, FALSE);
    }
    if (w.desktopChild) {
        // A drop-down: clicks reach it, the keyboard stays with the window under it.
        gtk_window_set_accept_focus(top, FALSE);
    }
    if (w.exStyle & WS_EX_TOPMOST)
        gtk_window_set_keep_above(top, TRUE);
}

} // namespace

NativeWindow* NativeOf(HWND hwnd)
{
    Window* w = FindWindow(hwnd);
    return w ? nativeOf(*w) : nullptr;
}

GtkBackend* CurrentGtkBackend()
{
    if (CurrentBackend() != platform::Backend::Gtk)
        return nullptr;
    return static_cast<GtkBackend*>(CurrentBackendObject());
}

bool GtkBackend::init()
{
    // X11 only, under a Wayland session too (through XWayland): the instance marker,
    // placement in screen coordinates and activation are X11 features.
    gdk_set_allowed_backends("x11");
    if (!gtk_init_check(nullptr, nullptr))
        return false;
    // An input method's module sets itself up the first time a window asks for it, under
    // GLib's global class lock, and IBus's reaches for the session bus from there. A
    // thread setting up the bus meanwhile (the proxy settings' reader, on the first
    // request) then waits for that lock while holding the bus's set-up, and the window
    // for the bus: neither ever goes on. Loaded here, while no other thread runs, the
    // module takes both in one order.
    GtkIMContext* first = gtk_im_multicontext_new();
    gtk_im_context_reset(first);
    g_object_unref(first);
    ++g_clipboardRun;
    m_source = g_source_new(&g_queueFuncs, sizeof(QueueSource));
    g_source_attach(m_source, nullptr);
    GdkWindow* root = gdk_get_default_root_window();
    gdk_window_set_events(root, static_cast<GdkEventMask>(gdk_window_get_events(root) | GDK_PROPERTY_CHANGE_MASK));
    gdk_window_add_filter(root, onRootEvent, &m_workAreaIdle);
    m_start = std::chrono::steady_clock::now();
    return true;
}

void GtkBackend::shutdown()
{
    ++g_clipboardRun;
    while (!m_icons.empty())
        removeTrayIcon(m_icons.begin()->first);
    releaseSessionBus();
    lastPress = Press{};
    gdk_window_remove_filter(gdk_get_default_root_window(), onRootEvent, &m_workAreaIdle);
    if (m_workAreaIdle)
        g_source_remove(std::exchange(m_workAreaIdle, 0));
    // GTK keeps the default icon for the process; it belongs to this run only.
    gtk_window_set_default_icon_list(nullptr);
    g_list_free_full(std::exchange(m_appIcon, nullptr), g_object_unref);
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

bool GtkBackend::setApplicationIcon(const std::vector<std::string>& pngFiles)
{
    GList* pictures = nullptr;
    for (const std::string& file : pngFiles) {
        if (GdkPixbuf* picture = gdk_pixbuf_new_from_file(file.c_str(), nullptr))
            pictures = g_list_append(pictures, picture);
    }
    if (!pictures)
        return false;
    pictures = g_list_sort(pictures, [](gconstpointer a, gconstpointer b) {
        return gdk_pixbuf_get_width(static_cast<const GdkPixbuf*>(a)) - gdk_pixbuf_get_width(static_cast<const GdkPixbuf*>(b));
    });
    g_list_free_full(std::exchange(m_appIcon, pictures), g_object_unref);
    // New windows (message boxes too) take the default; those already open are told.
    gtk_window_set_default_icon_list(m_appIcon);
    GList* tops = gtk_window_list_toplevels();
    for (GList* top = tops; top; top = top->next)
        gtk_window_set_icon_list(GTK_WINDOW(top->data), m_appIcon);
    g_list_free(tops);
    return true;
}

GdkPixbuf* GtkBackend::applicationIcon(int size) const
{
    // The pictures are kept smallest first: the first that is big enough, else the biggest.
    GdkPixbuf* best = nullptr;
    for (GList* item = m_appIcon; item; item = item->next) {
        best = static_cast<GdkPixbuf*>(item->data);
        if (gdk_pixbuf_get_width(best) >= size)
            break;
    }
    if (!best)
        return nullptr;
    if (gdk_pixbuf_get_width(best) == size && gdk_pixbuf_get_height(best) == size)
        return GDK_PIXBUF(g_object_ref(best));
    return gdk_pixbuf_scale_simple(best, size, size, GDK_INTERP_BILINEAR);
}

std::uint64_t GtkBackend::now()
{
    return static_cast<std::uint64_t>(
        std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - m_start).count());
}

void GtkBackend::wait(std::unique_lock<std::mutex>& lock, std::optional<std::uint64_t> dueAt,
                      const std::function<bool()>& ready)
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

void GtkBackend::wake() { g_main_context_wakeup(nullptr); }

std::optional<std::uint64_t> GtkBackend::firstFramesDue()
{
    if (m_undrawn.empty())
        return std::nullopt;
    if (now() >= m_firstFramesDue) {
        m_undrawn.clear();
        return std::nullopt;
    }
    return m_firstFramesDue;
}

void GtkBackend::created(Window& w)
{
    auto* n = new NativeWindow;
    n->hwnd = w.handle;
    w.native = n;
    n->fixed = gtk_fixed_new();
    n->area = NewFaceWidget(w.handle);
    gtk_widget_set_can_focus(n->area, TRUE);
    gtk_widget_add_events(n->area, GDK_POINTER_MOTION_MASK | GDK_BUTTON_PRESS_MASK | GDK_BUTTON_RELEASE_MASK
                                       | GDK_SCROLL_MASK | GDK_SMOOTH_SCROLL_MASK | GDK_KEY_PRESS_MASK
                                       | GDK_KEY_RELEASE_MASK | GDK_LEAVE_NOTIFY_MASK | GDK_FOCUS_CHANGE_MASK);
    gtk_widget_set_size_request(n->area, std::max(w.rect.width(), 1), std::max(w.rect.height(), 1));
    gtk_fixed_put(GTK_FIXED(n->fixed), n->area, 0, 0);
    n->im = gtk_im_multicontext_new();
    n->plainIm = gtk_im_context_simple_new();
    ConnectFaceInput(*n);
    gtk_widget_show(n->area);
    gtk_widget_show(n->fixed);

    if (w.child) {
        NativeWindow* parent = NativeOf(w.parent);
        gtk_fixed_put(GTK_FIXED(parent->fixed), n->fixed, w.rect.left, w.rect.top);
        gtk_widget_hide(n->fixed);
        return;
    }
    n->top = gtk_window_new(GTK_WINDOW_TOPLEVEL);
    gtk_window_set_decorated(GTK_WINDOW(n->top), FALSE);
    gtk_window_set_resizable(GTK_WINDOW(n->top), FALSE);
    gtk_window_set_title(GTK_WINDOW(n->top), CCodeLib::AnsiToUtf8(w.title).c_str());
    if (m_appIcon)
        gtk_window_set_icon_list(GTK_WINDOW(n->top), m_appIcon);
    setDesktopRole(w, *n);
    gtk_container_add(GTK_CONTAINER(n->top), n->fixed);
    // Keys reach the window through its face until a child takes the focus.
    gtk_widget_grab_focus(n->area);
    ConnectTopInput(*n);
    // Not resizable: the window is always exactly the size its face asks for.
    gtk_window_move(GTK_WINDOW(n->top), w.rect.left, w.rect.top);
    gtk_widget_realize(n->top);
}

void GtkBackend::destroyed(Window& w)
{
    removeTrayIconsOf(w.handle);
    NativeWindow* n = nativeOf(w);
    if (!n)
        return;
    w.native = nullptr;
    m_undrawn.erase(w.handle);
    g_signal_handlers_disconnect_by_data(n->area, n);
    if (n->top)
        g_signal_handlers_disconnect_by_data(n->top, n);
    for (GtkIMContext* im : {n->im, n->plainIm}) {
        g_signal_handlers_disconnect_by_data(im, n);
        gtk_im_context_set_client_window(im, nullptr);
        g_object_unref(im);
    }
    gtk_widget_destroy(n->top ? n->top : n->fixed);
    delete n;
}

void GtkBackend::placed(Window& w)
{
    NativeWindow* n = nativeOf(w);
    int cx = std::max(w.rect.width(), 1), cy = std::max(w.rect.height(), 1);
    gtk_widget_set_size_request(n->area, cx, cy);
    if (n->holder)
        gtk_widget_set_size_request(n->holder, cx, cy);
    if (n->top) {
        gtk_window_move(GTK_WINDOW(n->top), w.rect.left, w.rect.top);
        gtk_window_resize(GTK_WINDOW(n->top), cx, cy);
    } else if (NativeWindow* parent = NativeOf(w.parent)) {
        gtk_fixed_move(GTK_FIXED(parent->fixed), n->fixed, w.rect.left, w.rect.top);
    }
}

void GtkBackend::shown(Window& w)
{
    NativeWindow* n = nativeOf(w);
    GtkWidget* widget = n->top ? n->top : n->fixed;
    if (!w.visible) {
        m_undrawn.erase(w.handle);
        gtk_widget_hide(widget);
        return;
    }
    if (n->top && !n->drawn && w.showState != SW_SHOWMINIMIZED) {
        constexpr std::uint64_t kFirstFrameWaitMs = 100;
        m_undrawn.insert(w.handle);
        m_firstFramesDue = now() + kFirstFrameWaitMs;
    }
    gtk_widget_show(widget);
    if (n->top) {
        if (w.showState == SW_SHOWMINIMIZED)
            gtk_window_iconify(GTK_WINDOW(n->top));
        else
            gtk_window_deiconify(GTK_WINDOW(n->top));
    }
}

void GtkBackend::activated(Window& w)
{
    NativeWindow* n = nativeOf(w);
    if (n->top && w.visible && !gtk_window_is_active(GTK_WINDOW(n->top)))
        gtk_window_present(GTK_WINDOW(n->top));
}

void GtkBackend::focused(Window& w)
{
    NativeWindow* n = nativeOf(w);
    if (!gtk_widget_has_focus(n->area))
        gtk_widget_grab_focus(n->area);
}

void GtkBackend::invalidate(Window& w, const RECT* r)
{
    NativeWindow* n = nativeOf(w);
    if (r)
        gtk_widget_queue_draw_area(n->area, r->left, r->top, r->width(), r->height());
    else
        gtk_widget_queue_draw(n->area);
    if (n->content)
        gtk_widget_queue_draw(n->content);
}

void GtkBackend::update(Window& w)
{
    NativeWindow* n = nativeOf(w);
    if (GdkWindow* gw = gtk_widget_get_window(n->area)) {
        G_GNUC_BEGIN_IGNORE_DEPRECATIONS
        gdk_window_process_updates(gw, TRUE);
        G_GNUC_END_IGNORE_DEPRECATIONS
    }
}

void GtkBackend::modal(Window& w, bool running)
{
    // Only the hint: GTK's own modality would also grab GTK's input, and the notice
    // window must still take clicks while a form runs. The core keeps the owner disabled.
    NativeWindow* n = nativeOf(w);
    if (GdkWindow* gw = n->top ? gtk_widget_get_window(n->top) : nullptr)
        gdk_window_set_modal_hint(gw, running);
}

bool GtkBackend::beginMoveDrag(Window& w)
{
    NativeWindow* n = nativeOf(w);
    if (!n->top || lastPress.button == 0)
        return false;
    gtk_window_begin_move_drag(GTK_WINDOW(n->top), static_cast<gint>(lastPress.button), lastPress.rootX,
                               lastPress.rootY, lastPress.time);
    return true;
}

void GtkBackend::imeCursor(Window& w, const RECT& caret)
{
    NativeWindow* n = nativeOf(w);
    n->imeCursor = GdkRectangle{caret.left, caret.top, std::max(caret.width(), 1), std::max(caret.height(), 1)};
    n->imeCursorSet = true;
    ReapplyImeCursor(*n);
}

void GtkBackend::imeMode(Window& w, ImeMode mode)
{
    NativeWindow* n = nativeOf(w);
    if (n->imeMode == mode)
        return;
    const bool focused = gtk_widget_has_focus(n->area);
    if (GtkIMContext* old = ActiveIm(*n)) {
        // A composition in progress goes with the control that had it.
        gtk_im_context_reset(old);
        if (focused)
            gtk_im_context_focus_out(old);
    }
    n->imeMode = mode;
    // As a desktop entry for invisible text tells it: a password, nothing to check or predict.
    const bool password = mode == ImeMode::Password;
    g_object_set(n->im, "input-purpose", password ? GTK_INPUT_PURPOSE_PASSWORD : GTK_INPUT_PURPOSE_FREE_FORM,
                 "input-hints", password ? GTK_INPUT_HINT_NO_SPELLCHECK | GTK_INPUT_HINT_NO_EMOJI : GTK_INPUT_HINT_NONE,
                 nullptr);
    if (n->composing) {
        n->composing = false;
        NativeComposition(n->hwnd, "", 0);
    }
    if (GtkIMContext* now = ActiveIm(*n); now && focused) {
        gtk_im_context_focus_in(now);
        ReapplyImeCursor(*n);
    }
}

namespace {

GtkClipboard* clipboardOf(Clipboard which)
{
    return gtk_clipboard_get(which == Clipboard::Primary ? GDK_SELECTION_PRIMARY : GDK_SELECTION_CLIPBOARD);
}

struct ClipboardRequest {
    unsigned run = 0;
    std::function<void(std::optional<std::string>)> done;
};

void onClipboardText(GtkClipboard*, const gchar* text, gpointer data)
{
    std::unique_ptr<ClipboardRequest> request(static_cast<ClipboardRequest*>(data));
    if (request->run != g_clipboardRun || !CurrentGtkBackend())
        return;
    request->done(text ? std::optional<std::string>(text) : std::nullopt);
}

} // namespace

void GtkBackend::setClipboardText(Clipboard which, const std::string& utf8)
{
    gtk_clipboard_set_text(clipboardOf(which), utf8.c_str(), static_cast<gint>(utf8.size()));
}

void GtkBackend::requestClipboardText(Clipboard which, std::function<void(std::optional<std::string>)> done)
{
    auto* request = new ClipboardRequest{g_clipboardRun, std::move(done)};
    gtk_clipboard_request_text(clipboardOf(which), onClipboardText, request);
}

SIZE GtkBackend::screenSize()
{
    GdkRectangle r = monitorGeometry(false);
    return SIZE{r.width, r.height};
}

RECT GtkBackend::workArea()
{
    GdkRectangle r = monitorGeometry(true);
    return RECT{r.x, r.y, r.x + r.width, r.y + r.height};
}

std::unique_ptr<Backend> MakeGtkBackend() { return std::make_unique<GtkBackend>(); }

GtkWidget* GtkWindowWidget(HWND hwnd)
{
    NativeWindow* n = NativeOf(hwnd);
    return n ? (n->top ? n->top : n->fixed) : nullptr;
}

GtkWidget* GtkFaceWidget(HWND hwnd)
{
    NativeWindow* n = NativeOf(hwnd);
    return n ? n->area : nullptr;
}

GtkWidget* GtkContentWidget(HWND hwnd)
{
    NativeWindow* n = NativeOf(hwnd);
    return n ? n->content : nullptr;
}

bool GtkSetContent(HWND hwnd, GtkWidget* content)
{
    NativeWindow* n = NativeOf(hwnd);
    Window* w = FindWindow(hwnd);
    if (!n || !w)
        return false;
    if (n->holder)
        gtk_widget_destroy(n->holder); // and the content in it
    n->holder = nullptr;
    n->content = content;
    if (content) {
        n->holder = GTK_WIDGET(g_object_new(contentHolderType(), nullptr));
        gtk_container_add(GTK_CONTAINER(n->holder), content);
        gtk_widget_set_size_request(n->holder, std::max(w->rect.width(), 1), std::max(w->rect.height(), 1));
        gtk_fixed_put(GTK_FIXED(n->fixed), n->holder, 0, 0);
        gtk_widget_show(content);
        gtk_widget_show(n->holder);
    }
    return true;
}

} // namespace platform::detail
