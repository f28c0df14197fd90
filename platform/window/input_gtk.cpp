// GDK input of the GTK back end as messages in the core's queue: mouse, wheel, keys,
// text committed by the input method, and the desktop's moves, closes and activation.
#include "platform/window/GtkBackend.h"

#include <algorithm>
#include <cmath>

namespace platform::detail {
namespace {

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
    case GDK_KEY_Alt_R: return VK_MENU;
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
    case GDK_KEY_Insert:
    case GDK_KEY_KP_Insert: return VK_INSERT;
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
    if (!n->drawn) {
        n->drawn = true;
        if (GtkBackend* backend = CurrentGtkBackend())
            backend->firstFrameDrawn(n->hwnd);
    }
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
    if (GtkBackend* backend = CurrentGtkBackend())
        backend->lastPress = GtkBackend::Press{e->button, static_cast<gint>(e->x_root), static_cast<gint>(e->y_root), e->time};

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

bool isModifier(int vk) { return vk == VK_SHIFT || vk == VK_CONTROL || vk == VK_MENU; }

gboolean onKey(GtkWidget*, GdkEventKey* e, gpointer data)
{
    auto* n = static_cast<NativeWindow*>(data);
    bool press = e->type == GDK_KEY_PRESS;
    const bool wasComposing = n->composing;
    n->inKeyFilter = true;
    n->committed.clear();
    GtkIMContext* im = ActiveIm(*n);
    // An input method that answers later (IBus's asynchronous mode) takes every key here
    // and hands back the ones it does not use as new events, which come through here again.
    bool consumed = im && gtk_im_context_filter_keypress(im, e);
    n->inKeyFilter = false;
    std::string text;
    text.swap(n->committed);

    int vk = virtualKey(e->keyval);
    // A key the input method keeps for a composition (typed into it, or Enter and Esc that
    // commit or cancel it) is not a key press of the window; a key that typed text directly
    // still is. Modifier keys always are, so the window knows which are held.
    bool typedDirectly = !text.empty() && !wasComposing && !n->composing;
    bool keyMessage = vk != 0 && (!consumed || typedDirectly || isModifier(vk));
    const NativeWindow::DeliveredKey key{e->time, e->keyval, e->type};
    if (keyMessage && key.time == n->lastKey.time && key.keyval == n->lastKey.keyval && key.type == n->lastKey.type)
        keyMessage = false;
    if (keyMessage) {
        n->lastKey = key;
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

void onPreeditChanged(GtkIMContext* im, gpointer data)
{
    auto* n = static_cast<NativeWindow*>(data);
    if (im != ActiveIm(*n))
        return;
    gchar* text = nullptr;
    gint cursor = 0;
    gtk_im_context_get_preedit_string(im, &text, nullptr, &cursor);
    std::string utf8 = text ? text : "";
    g_free(text);
    // GTK counts the cursor in characters; the window system speaks bytes.
    gint characters = static_cast<gint>(g_utf8_strlen(utf8.c_str(), -1));
    size_t at = static_cast<size_t>(g_utf8_offset_to_pointer(utf8.c_str(), std::clamp(cursor, 0, characters)) - utf8.c_str());
    n->composing = !utf8.empty();
    NativeComposition(n->hwnd, utf8, at);
}

void onPreeditEnd(GtkIMContext* im, gpointer data)
{
    auto* n = static_cast<NativeWindow*>(data);
    if (im != ActiveIm(*n) || !n->composing)
        return;
    n->composing = false;
    NativeComposition(n->hwnd, "", 0);
}

gboolean onFocusIn(GtkWidget*, GdkEvent*, gpointer data)
{
    auto* n = static_cast<NativeWindow*>(data);
    if (GtkIMContext* im = ActiveIm(*n)) {
        gtk_im_context_focus_in(im);
        ReapplyImeCursor(*n);
    }
    return FALSE;
}

gboolean onFocusOut(GtkWidget*, GdkEvent*, gpointer data)
{
    auto* n = static_cast<NativeWindow*>(data);
    if (GtkIMContext* im = ActiveIm(*n))
        gtk_im_context_focus_out(im);
    return FALSE;
}

void onRealize(GtkWidget* widget, gpointer data)
{
    auto* n = static_cast<NativeWindow*>(data);
    for (GtkIMContext* im : {n->im, n->plainIm})
        gtk_im_context_set_client_window(im, gtk_widget_get_window(widget));
}

void onUnrealize(GtkWidget*, gpointer data)
{
    auto* n = static_cast<NativeWindow*>(data);
    for (GtkIMContext* im : {n->im, n->plainIm})
        gtk_im_context_set_client_window(im, nullptr);
}

// The caret's place on the screen changes with the window's (and its children's).
void reapplyImeCursorWithin(HWND hwnd)
{
    Window* w = FindWindow(hwnd);
    if (!w)
        return;
    if (NativeWindow* n = NativeOf(hwnd))
        ReapplyImeCursor(*n, true);
    for (HWND child : w->children) {
        if (Window* c = FindWindow(child); c && c->child)
            reapplyImeCursorWithin(child);
    }
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
    reapplyImeCursorWithin(n->hwnd);
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

} // namespace

GtkIMContext* ActiveIm(NativeWindow& n)
{
    switch (n.imeMode) {
    case ImeMode::Off: return nullptr;
    case ImeMode::Password: return n.plainIm;
    case ImeMode::Text:
    default: return n.im;
    }
}

void ReapplyImeCursor(NativeWindow& n, bool moved)
{
    if (!n.imeCursorSet || n.imeMode != ImeMode::Text)
        return;
    if (moved) {
        // Input methods pass on only a rectangle that differs from the last one, and place
        // their window from it when it comes: a moved window's caret has the same
        // rectangle, so a different one goes first.
        GdkRectangle nudged = n.imeCursor;
        nudged.height += 1;
        gtk_im_context_set_cursor_location(n.im, &nudged);
    }
    gtk_im_context_set_cursor_location(n.im, &n.imeCursor);
}

void ConnectFaceInput(NativeWindow& n)
{
    struct Handler {
        const char* signal;
        GCallback callback;
    };
    const Handler faceHandlers[] = {
        {"draw", G_CALLBACK(onDraw)},
        {"button-press-event", G_CALLBACK(onButtonPress)},
        {"button-release-event", G_CALLBACK(onButtonRelease)},
        {"motion-notify-event", G_CALLBACK(onMotion)},
        {"leave-notify-event", G_CALLBACK(onLeave)},
        {"scroll-event", G_CALLBACK(onScroll)},
        {"key-press-event", G_CALLBACK(onKey)},
        {"key-release-event", G_CALLBACK(onKey)},
        {"focus-in-event", G_CALLBACK(onFocusIn)},
        {"focus-out-event", G_CALLBACK(onFocusOut)},
        {"realize", G_CALLBACK(onRealize)},
        {"unrealize", G_CALLBACK(onUnrealize)},
    };
    for (GtkIMContext* im : {n.im, n.plainIm}) {
        g_signal_connect(im, "commit", G_CALLBACK(onCommit), &n);
        g_signal_connect(im, "preedit-start", G_CALLBACK(onPreeditChanged), &n);
        g_signal_connect(im, "preedit-changed", G_CALLBACK(onPreeditChanged), &n);
        g_signal_connect(im, "preedit-end", G_CALLBACK(onPreeditEnd), &n);
    }
    for (const Handler& h : faceHandlers)
        g_signal_connect(n.area, h.signal, h.callback, &n);
}

void ConnectTopInput(NativeWindow& n)
{
    gtk_widget_add_events(n.top, GDK_STRUCTURE_MASK | GDK_FOCUS_CHANGE_MASK);
    g_signal_connect(n.top, "delete-event", G_CALLBACK(onDelete), &n);
    g_signal_connect(n.top, "configure-event", G_CALLBACK(onConfigure), &n);
    g_signal_connect(n.top, "focus-in-event", G_CALLBACK(onWindowFocus), &n);
    g_signal_connect(n.top, "focus-out-event", G_CALLBACK(onWindowFocus), &n);
}

} // namespace platform::detail
