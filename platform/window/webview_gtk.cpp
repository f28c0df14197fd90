// The browser of the GTK back end: a WebKitWebView laid over the view window.
#include "platform/window/GtkBackend.h"
#include "platform/window/WebView.h"

#include <gtk/gtk.h>
#include <webkit2/webkit2.h>

#include <string>

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

} // namespace

bool GtkBackend::attachWebView(Window& w)
{
    HWND hwnd = w.handle;
    NativeWindow* n = NativeOf(hwnd);
    if (!n)
        return false;
    WebKitUserContentManager* content = webkit_user_content_manager_new();
    WebKitUserStyleSheet* sheet =
        webkit_user_style_sheet_new(kHideScrollBars, WEBKIT_USER_CONTENT_INJECT_ALL_FRAMES,
                                    WEBKIT_USER_STYLE_LEVEL_USER, nullptr, nullptr);
    webkit_user_content_manager_add_style_sheet(content, sheet);
    webkit_user_style_sheet_unref(sheet);
    // Every view shares one context, so pages see each other's cookies and the client's.
    GtkWidget* view = GTK_WIDGET(g_object_new(WEBKIT_TYPE_WEB_VIEW, "web-context", SharedWebContext(),
                                              "user-content-manager", content, nullptr));
    g_object_unref(content);
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
