// The browser of the GTK back end: a WebKitWebView laid over the view window.
#include "platform/window/GtkBackend.h"
#include "platform/window/WebView.h"

#include <gtk/gtk.h>
#include <webkit2/webkit2.h>

#include <functional>
#include <string>
#include <utility>
#include <vector>

namespace platform::detail {

WebKitWebContext* SharedWebContext(); // webcookies_gtk.cpp

namespace {

// The browser's own chrome stays out of sight: the skin frames the page.
constexpr const char* kHideScrollBars =
    "::-webkit-scrollbar { display: none !important; width: 0 !important; height: 0 !important; }\n"
    "html, body { scrollbar-width: none !important; }\n";

// The view's window handle rides on the signal; the record is looked up each time, so a
// late signal of a view whose window is gone finds nothing.
gpointer handleData(HWND hwnd) { return reinterpret_cast<gpointer>(hwnd); }
HWND handleOf(gpointer data) { return reinterpret_cast<HWND>(data); }

void onLoadChanged(WebKitWebView*, WebKitLoadEvent event, gpointer data)
{
    HWND hwnd = handleOf(data);
    if (event == WEBKIT_LOAD_FINISHED && IsWindow(hwnd))
        NotifyWebViewParent(hwnd, WebViewLoadFinished);
}

void onUri(WebKitWebView* view, GParamSpec*, gpointer data)
{
    HWND hwnd = handleOf(data);
    NativeWindow* n = IsWindow(hwnd) ? NativeOf(hwnd) : nullptr;
    if (!n)
        return;
    const gchar* uri = webkit_web_view_get_uri(view);
    n->location = uri ? uri : "";
    NotifyWebViewParent(hwnd, WebViewAddressChanged);
}

// The view asks for no size of its own: its window gives it one. WebKit's view asks for
// its page's contents size as its natural size, and a top-level window of ours takes the
// natural size of what it holds (it is not resizable), so a page would otherwise grow its
// window; views sharing a web process are told contents sizes of their pages often.
struct FittedView {
    WebKitWebView parent;
};
struct FittedViewClass {
    WebKitWebViewClass parent;
};

void askNoSize(GtkWidget*, gint* minimum, gint* natural)
{
    *minimum = 0;
    *natural = 0;
}

void initFittedViewClass(gpointer klass, gpointer)
{
    GtkWidgetClass* widget = GTK_WIDGET_CLASS(klass);
    widget->get_preferred_width = askNoSize;
    widget->get_preferred_height = askNoSize;
}

GType fittedViewType()
{
    static const GType type = g_type_register_static_simple(
        WEBKIT_TYPE_WEB_VIEW, "KavrelFittedWebView", sizeof(FittedViewClass), initFittedViewClass,
        sizeof(FittedView), nullptr, GTypeFlags{});
    return type;
}

// Every view is made related to this one, so all share its web process: a page opens
// without waiting for a process of its own to start. It is never shown nor put in a
// window; its context, style sheet and settings are the ones related views take over, so
// they are all set here, before the first related view (a settings change that a live
// related view sees can stall its loads).
WebKitWebView* g_anchor = nullptr;
// What waits for the anchor (whenWebViewsReady), and whether its idle start is pending.
std::vector<std::function<void()>> g_afterAnchor;
bool g_anchorPending = false;

void onAnchorGone(WebKitWebView* view, WebKitWebProcessTerminationReason, gpointer)
{
    // Views made from now on get a new process with a new anchor.
    if (view == g_anchor)
        g_anchor = nullptr;
    g_idle_add([](gpointer gone) -> gboolean {
        g_object_unref(gone);
        return G_SOURCE_REMOVE;
    }, view);
}

WebKitWebView* anchorView()
{
    if (g_anchor)
        return g_anchor;
    WebKitUserContentManager* content = webkit_user_content_manager_new();
    WebKitUserStyleSheet* sheet = webkit_user_style_sheet_new(kHideScrollBars, WEBKIT_USER_CONTENT_INJECT_ALL_FRAMES,
                                                              WEBKIT_USER_STYLE_LEVEL_USER, nullptr, nullptr);
    webkit_user_content_manager_add_style_sheet(content, sheet);
    webkit_user_style_sheet_unref(sheet);
    // One context for every view, so pages see each other's cookies and the client's.
    GtkWidget* view = GTK_WIDGET(g_object_new(fittedViewType(), "web-context", SharedWebContext(),
                                              "user-content-manager", content, nullptr));
    g_object_unref(content);
    g_object_ref_sink(view);
    // Video and animation go to the graphics card where there is one; without, the engine
    // draws everything itself, which also works on any X server.
    webkit_settings_set_hardware_acceleration_policy(webkit_web_view_get_settings(WEBKIT_WEB_VIEW(view)),
                                                     DisplayHasHardwareGl()
                                                         ? WEBKIT_HARDWARE_ACCELERATION_POLICY_ON_DEMAND
                                                         : WEBKIT_HARDWARE_ACCELERATION_POLICY_NEVER);
    g_signal_connect(view, "web-process-terminated", G_CALLBACK(onAnchorGone), nullptr);
    // An empty page starts the process the views will share.
    webkit_web_view_load_uri(WEBKIT_WEB_VIEW(view), "about:blank");
    g_anchor = WEBKIT_WEB_VIEW(view);
    for (auto& then : std::exchange(g_afterAnchor, {}))
        then();
    return g_anchor;
}

} // namespace

void PrepareWebViewsWhenIdle()
{
    if (g_anchor || std::exchange(g_anchorPending, true))
        return;
    // Below redrawing: the frames of the windows just shown or changed come first.
    g_idle_add_full(G_PRIORITY_LOW, [](gpointer) -> gboolean {
        g_anchorPending = false;
        (void)anchorView();
        return G_SOURCE_REMOVE;
    }, nullptr, nullptr);
}

void GtkBackend::whenWebViewsReady(std::function<void()> then)
{
    if (g_anchor) {
        then();
        return;
    }
    g_afterAnchor.push_back(std::move(then));
    PrepareWebViewsWhenIdle();
}

bool GtkBackend::attachWebView(Window& w)
{
    HWND hwnd = w.handle;
    NativeWindow* n = NativeOf(hwnd);
    if (!n)
        return false;
    WebKitWebView* anchor = anchorView();
    // What webkit_web_view_new_with_related_view hands over, for a view of our own type.
    GtkWidget* view = GTK_WIDGET(g_object_new(fittedViewType(), "related-view", anchor, "settings",
                                              webkit_web_view_get_settings(anchor), "user-content-manager",
                                              webkit_web_view_get_user_content_manager(anchor), nullptr));
    if (!view)
        return false;
    g_signal_connect(view, "load-changed", G_CALLBACK(onLoadChanged), handleData(hwnd));
    g_signal_connect(view, "notify::uri", G_CALLBACK(onUri), handleData(hwnd));
    ConnectPageBehaviour(hwnd, view);
    n->webView = GtkSetContent(hwnd, view);
    return n->webView;
}

bool GtkBackend::isWebView(Window& w)
{
    NativeWindow* n = NativeOf(w.handle);
    return n && n->webView;
}

void GtkBackend::webViewNavigate(Window& w, const std::string& address)
{
    GtkWidget* view = GtkContentWidget(w.handle);
    if (view && WEBKIT_IS_WEB_VIEW(view))
        webkit_web_view_load_uri(WEBKIT_WEB_VIEW(view), address.c_str());
}

std::string GtkBackend::webViewLocation(Window& w)
{
    NativeWindow* n = NativeOf(w.handle);
    return n ? n->location : std::string();
}

} // namespace platform::detail
