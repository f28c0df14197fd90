// What a member expects of a page beyond showing it: browser keys, a readable page for an
// error answer without a body, and a context menu that keeps to what the client allows.
#include "platform/window/GtkBackend.h"
#include "platform/window/WebView.h"

#include <epoxy/gl.h>
#include <gdk/gdkkeysyms.h>
#include <gtk/gtk.h>
#include <webkit2/webkit2.h>

#include <algorithm>
#include <string>

namespace platform::detail {

namespace {

HWND handleOf(gpointer data) { return reinterpret_cast<HWND>(data); }

// The zoom steps of the keys, as desktop browsers step them.
constexpr double kZoomSteps[] = {0.5, 0.67, 0.75, 0.8, 0.9, 1.0, 1.1, 1.25, 1.5, 1.75, 2.0, 2.5, 3.0};

double nextZoom(double now, int direction)
{
    if (direction > 0) {
        for (double step : kZoomSteps)
            if (step > now + 0.001)
                return step;
        return kZoomSteps[std::size(kZoomSteps) - 1];
    }
    double below = kZoomSteps[0];
    for (double step : kZoomSteps)
        if (step < now - 0.001)
            below = step;
    return below;
}

void setZoom(WebKitWebView* view, HWND hwnd, double level)
{
    webkit_web_view_set_zoom_level(view, level);
    SetWebViewZoom(level);
    NotifyWebViewItself(hwnd, WebViewZoomChanged);
}

// The browser keys act on the view itself, before the page sees them (the engine would
// take Alt+Left for the page's caret).
gboolean onBrowserKey(GtkWidget* widget, GdkEventKey* e, gpointer data)
{
    HWND hwnd = handleOf(data);
    if (!IsWindow(hwnd))
        return FALSE;
    WebKitWebView* view = WEBKIT_WEB_VIEW(widget);
    const guint mods = e->state & gtk_accelerator_get_default_mod_mask();
    const guint key = gdk_keyval_to_lower(e->keyval);
    if (mods == GDK_CONTROL_MASK || mods == (GDK_CONTROL_MASK | GDK_SHIFT_MASK)) {
        switch (key) {
        case GDK_KEY_plus:
        case GDK_KEY_equal:
        case GDK_KEY_KP_Add:
            setZoom(view, hwnd, nextZoom(webkit_web_view_get_zoom_level(view), +1));
            return TRUE;
        case GDK_KEY_minus:
        case GDK_KEY_KP_Subtract:
            setZoom(view, hwnd, nextZoom(webkit_web_view_get_zoom_level(view), -1));
            return TRUE;
        case GDK_KEY_0:
        case GDK_KEY_KP_0:
            setZoom(view, hwnd, 1.0);
            return TRUE;
        default:
            break;
        }
    }
    if (mods == 0 && key == GDK_KEY_F5) {
        webkit_web_view_reload(view);
        return TRUE;
    }
    if (mods == GDK_MOD1_MASK && (key == GDK_KEY_Left || key == GDK_KEY_KP_Left)) {
        if (webkit_web_view_can_go_back(view))
            webkit_web_view_go_back(view);
        return TRUE;
    }
    return FALSE;
}

// Esc the page left alone goes to the window the page lies in, so it closes a page window
// even while the page has the keyboard. Connected after the engine's own handler, which
// passes on only the keys the page did not take (a page may keep Esc for its own dialog).
gboolean onUnconsumedKey(GtkWidget*, GdkEventKey* e, gpointer data)
{
    HWND hwnd = handleOf(data);
    const guint mods = e->state & gtk_accelerator_get_default_mod_mask();
    if (!IsWindow(hwnd) || mods != 0 || e->keyval != GDK_KEY_Escape)
        return FALSE;
    if (HWND parent = GetParent(hwnd)) {
        const LPARAM lParam = 1 | (static_cast<LPARAM>(e->hardware_keycode & 0xFF) << 16);
        DeliverInput(parent, WM_KEYDOWN, 27, lParam);
    }
    return TRUE;
}

std::string htmlEscaped(const std::string& text)
{
    std::string out;
    for (char c : text) {
        switch (c) {
        case '<': out += "&lt;"; break;
        case '>': out += "&gt;"; break;
        case '&': out += "&amp;"; break;
        case '"': out += "&quot;"; break;
        default: out += c; break;
        }
    }
    return out;
}

// The page the view shows in place of one that cannot be read: a headline, what went
// wrong, the address.
std::string errorPage(const std::string& headline, const std::string& detail, const std::string& address)
{
    return "<!DOCTYPE html><html><head><meta charset=\"utf-8\"><title>" + htmlEscaped(headline) +
           "</title><style>body{font-family:sans-serif;margin:48px;color:#222;background:#fff}"
           "h1{font-size:22px;color:#b00}p{font-size:15px;line-height:1.6}"
           ".address{color:#666;font-size:13px;word-break:break-all}</style></head><body><h1>" +
           htmlEscaped(headline) + "</h1><p>" + htmlEscaped(detail) + "</p><p class=\"address\">" +
           htmlEscaped(address) + "</p></body></html>";
}

struct BodyCheck {
    WebKitWebView* view;
    std::string address;
    guint status;
};

void onBodyRead(GObject* source, GAsyncResult* result, gpointer data)
{
    auto* check = static_cast<BodyCheck*>(data);
    gsize length = 0;
    guchar* bytes = webkit_web_resource_get_data_finish(WEBKIT_WEB_RESOURCE(source), result, &length, nullptr);
    // The engine hands an empty body back as one NUL byte; white space says nothing either.
    const bool blank = std::all_of(bytes, bytes + (bytes ? length : 0),
                                   [](guchar c) { return c == 0 || c == ' ' || c == '\t' || c == '\r' || c == '\n'; });
    g_free(bytes);
    // An error answer that says nothing would leave the member a blank page.
    const gchar* shown = webkit_web_view_get_uri(check->view);
    if (blank && shown && check->address == shown) {
        const std::string detail = "\xe6\x9c\x8d\xe5\x8a\xa1\xe5\x99\xa8\xe5\x9b\x9e\xe7\xad\x94 HTTP " +
                                   std::to_string(check->status) +
                                   (check->status < 500 ? "\xef\xbc\x9a\xe9\xa1\xb5\xe9\x9d\xa2\xe4\xb8\x8d\xe5\xad\x98\xe5\x9c\xa8\xe6\x88\x96\xe4\xb8\x8d\xe5\x8f\xaf\xe8\xae\xbf\xe9\x97\xae\xe3\x80\x82"
                                                        : "\xef\xbc\x9a\xe6\x9c\x8d\xe5\x8a\xa1\xe6\x9a\x82\xe6\x97\xb6\xe4\xb8\x8d\xe5\x8f\xaf\xe7\x94\xa8\xef\xbc\x8c\xe8\xaf\xb7\xe7\xa8\x8d\xe5\x90\x8e\xe5\x86\x8d\xe8\xaf\x95\xe3\x80\x82");
        webkit_web_view_load_alternate_html(
            check->view,
            errorPage("\xe6\x97\xa0\xe6\xb3\x95\xe6\x98\xbe\xe7\xa4\xba\xe6\xad\xa4\xe9\xa1\xb5\xe9\x9d\xa2", detail, check->address).c_str(),
            check->address.c_str(), nullptr);
    }
    g_object_unref(check->view);
    delete check;
}

void onLoadChanged(WebKitWebView* view, WebKitLoadEvent event, gpointer)
{
    if (event != WEBKIT_LOAD_FINISHED)
        return;
    WebKitWebResource* main = webkit_web_view_get_main_resource(view);
    WebKitURIResponse* response = main ? webkit_web_resource_get_response(main) : nullptr;
    const guint status = response ? webkit_uri_response_get_status_code(response) : 0;
    const gchar* uri = webkit_web_resource_get_uri(main ? main : nullptr);
    if (status < 400 || !uri)
        return;
    auto* check = new BodyCheck{WEBKIT_WEB_VIEW(g_object_ref(view)), uri, status};
    webkit_web_resource_get_data(main, nullptr, onBodyRead, check);
}

// A certificate that does not verify stops the page; the member reads why, and nothing
// offers to go on regardless.
gboolean onTlsError(WebKitWebView* view, gchar* failingUri, GTlsCertificate*, GTlsCertificateFlags flags, gpointer)
{
    std::string why = "\xe6\xad\xa4\xe7\xbd\x91\xe7\xab\x99\xe7\x9a\x84\xe5\xae\x89\xe5\x85\xa8\xe8\xaf\x81\xe4\xb9\xa6\xe6\x97\xa0\xe6\xb3\x95\xe9\xaa\x8c\xe8\xaf\x81\xef\xbc\x8c\xe9\xa1\xb5\xe9\x9d\xa2\xe6\x9c\xaa\xe6\x89\x93\xe5\xbc\x80\xe3\x80\x82";
    if (flags & G_TLS_CERTIFICATE_UNKNOWN_CA)
        why += "\xef\xbc\x88\xe6\x9c\xaa\xe7\x9f\xa5\xe7\x9a\x84\xe8\xaf\x81\xe4\xb9\xa6\xe9\xa2\x81\xe5\x8f\x91\xe6\x9c\xba\xe6\x9e\x84\xef\xbc\x89"; // （未知的证书颁发机构）
    else if (flags & G_TLS_CERTIFICATE_BAD_IDENTITY)
        why += "\xef\xbc\x88\xe8\xaf\x81\xe4\xb9\xa6\xe4\xb8\x8e\xe7\xbd\x91\xe7\xab\x99\xe4\xb8\x8d\xe7\xac\xa6\xef\xbc\x89"; // （证书与网站不符）
    else if (flags & G_TLS_CERTIFICATE_EXPIRED)
        why += "\xef\xbc\x88\xe8\xaf\x81\xe4\xb9\xa6\xe5\xb7\xb2\xe8\xbf\x87\xe6\x9c\x9f\xef\xbc\x89"; // （证书已过期）
    else
        why += "\xef\xbc\x88\xe8\xaf\x81\xe4\xb9\xa6\xe6\x97\xa0\xe6\x95\x88\xef\xbc\x89"; // （证书无效）
    webkit_web_view_load_alternate_html(
        view, errorPage("\xe5\xae\x89\xe5\x85\xa8\xe8\xbf\x9e\xe6\x8e\xa5\xe5\xa4\xb1\xe8\xb4\xa5", why, failingUri).c_str(),
        failingUri, nullptr);
    return TRUE;
}

// Actions the page menu keeps: reading and editing text, back and reload. Opening links or
// images elsewhere, saving, inspecting and the media items would take the page out of the
// client's hands.
bool allowedAction(WebKitContextMenuAction action)
{
    switch (action) {
    case WEBKIT_CONTEXT_MENU_ACTION_COPY:
    case WEBKIT_CONTEXT_MENU_ACTION_CUT:
    case WEBKIT_CONTEXT_MENU_ACTION_PASTE:
    case WEBKIT_CONTEXT_MENU_ACTION_DELETE:
    case WEBKIT_CONTEXT_MENU_ACTION_SELECT_ALL:
    case WEBKIT_CONTEXT_MENU_ACTION_GO_BACK:
    case WEBKIT_CONTEXT_MENU_ACTION_RELOAD:
    case WEBKIT_CONTEXT_MENU_ACTION_SPELLING_GUESS:
    case WEBKIT_CONTEXT_MENU_ACTION_INPUT_METHODS:
    case WEBKIT_CONTEXT_MENU_ACTION_UNICODE:
        return true;
    default:
        return false;
    }
}

gboolean onContextMenu(WebKitWebView* view, WebKitContextMenu* menu, GdkEvent*, WebKitHitTestResult* hit, gpointer)
{
    const bool editable = webkit_hit_test_result_context_is_editable(hit);
    bool hasCopy = false, hasSelectAll = false;
    GList* items = g_list_copy(webkit_context_menu_get_items(menu));
    for (GList* i = items; i; i = i->next) {
        auto* item = static_cast<WebKitContextMenuItem*>(i->data);
        const WebKitContextMenuAction action = webkit_context_menu_item_get_stock_action(item);
        if (!allowedAction(action) && !webkit_context_menu_item_is_separator(item)) {
            webkit_context_menu_remove(menu, item);
            continue;
        }
        hasCopy |= action == WEBKIT_CONTEXT_MENU_ACTION_COPY;
        hasSelectAll |= action == WEBKIT_CONTEXT_MENU_ACTION_SELECT_ALL;
    }
    g_list_free(items);
    // Back, reload, copy and select all are always offered (greyed out where they cannot act).
    if (!editable) {
        bool hasBack = false, hasReload = false;
        for (GList* i = webkit_context_menu_get_items(menu); i; i = i->next) {
            const auto action = webkit_context_menu_item_get_stock_action(static_cast<WebKitContextMenuItem*>(i->data));
            hasBack |= action == WEBKIT_CONTEXT_MENU_ACTION_GO_BACK;
            hasReload |= action == WEBKIT_CONTEXT_MENU_ACTION_RELOAD;
        }
        if (!hasBack)
            webkit_context_menu_append(menu, webkit_context_menu_item_new_from_stock_action(WEBKIT_CONTEXT_MENU_ACTION_GO_BACK));
        if (!hasReload)
            webkit_context_menu_append(menu, webkit_context_menu_item_new_from_stock_action(WEBKIT_CONTEXT_MENU_ACTION_RELOAD));
    }
    if (!hasCopy || !hasSelectAll)
        webkit_context_menu_append(menu, webkit_context_menu_item_new_separator());
    if (!hasCopy)
        webkit_context_menu_append(menu, webkit_context_menu_item_new_from_stock_action(WEBKIT_CONTEXT_MENU_ACTION_COPY));
    if (!hasSelectAll)
        webkit_context_menu_append(menu, webkit_context_menu_item_new_from_stock_action(WEBKIT_CONTEXT_MENU_ACTION_SELECT_ALL));
    // Separators left at the ends or side by side by the removals go.
    GList* now = g_list_copy(webkit_context_menu_get_items(menu));
    bool lastWasSeparator = true;
    for (GList* i = now; i; i = i->next) {
        auto* item = static_cast<WebKitContextMenuItem*>(i->data);
        const bool separator = webkit_context_menu_item_is_separator(item);
        if (separator && (lastWasSeparator || !i->next))
            webkit_context_menu_remove(menu, item);
        else
            lastWasSeparator = separator;
    }
    g_list_free(now);
    (void)view;
    return FALSE;
}

// Whether the display draws GL in hardware: a GL context can be made on it and its
// renderer is not one of Mesa's software rasterisers (as on Xvfb, where composited pages
// would be drawn twice by the processor).
bool probeHardwareGl()
{
    GdkWindowAttr attributes{};
    attributes.window_type = GDK_WINDOW_TOPLEVEL;
    attributes.wclass = GDK_INPUT_OUTPUT;
    attributes.width = 1;
    attributes.height = 1;
    GdkWindow* probe = gdk_window_new(nullptr, &attributes, 0);
    if (!probe)
        return false;
    bool hardware = false;
    GError* error = nullptr;
    if (GdkGLContext* context = gdk_window_create_gl_context(probe, &error)) {
        if (gdk_gl_context_realize(context, &error)) {
            gdk_gl_context_make_current(context);
            const auto* renderer = reinterpret_cast<const char*>(glGetString(GL_RENDERER));
            const std::string name = renderer ? renderer : "";
            hardware = !name.empty() && name.find("llvmpipe") == std::string::npos &&
                       name.find("softpipe") == std::string::npos && name.find("Software") == std::string::npos &&
                       name.find("swrast") == std::string::npos;
            gdk_gl_context_clear_current();
        }
        g_object_unref(context);
    }
    if (error)
        g_error_free(error);
    gdk_window_destroy(probe);
    return hardware;
}

} // namespace

bool DisplayHasHardwareGl()
{
    static const bool hardware = probeHardwareGl();
    return hardware;
}

void ConnectPageBehaviour(HWND hwnd, GtkWidget* view)
{
    gpointer data = reinterpret_cast<gpointer>(hwnd);
    webkit_web_view_set_zoom_level(WEBKIT_WEB_VIEW(view), WebViewZoom());
    g_signal_connect(view, "key-press-event", G_CALLBACK(onBrowserKey), data);
    g_signal_connect_after(view, "key-press-event", G_CALLBACK(onUnconsumedKey), data);
    g_signal_connect(view, "load-changed", G_CALLBACK(onLoadChanged), data);
    g_signal_connect(view, "load-failed-with-tls-errors", G_CALLBACK(onTlsError), data);
    g_signal_connect(view, "context-menu", G_CALLBACK(onContextMenu), data);
    ConnectWindowPolicy(hwnd, view);
    ConnectDownloads(hwnd, view);
}

} // namespace platform::detail
