// The browser of the GTK back end: a WebKitWebView laid over the view window.
#include "platform/window/GtkHost.h"
#include "platform/window/WebView.h"

#include <gtk/gtk.h>
#include <webkit2/webkit2.h>

#include <functional>
#include <string>

namespace platform::detail {
namespace {

// The browser's own chrome stays out of sight: the skin frames the page.
constexpr const char* kHideScrollBars =
    "::-webkit-scrollbar { display: none !important; width: 0 !important; height: 0 !important; }\n"
    "html, body { scrollbar-width: none !important; }\n";

using Notify = std::function<void(LPARAM, const std::string&)>;

void freeNotify(gpointer data, GClosure*) { delete static_cast<Notify*>(data); }

void onLoadChanged(WebKitWebView*, WebKitLoadEvent event, gpointer data)
{
    if (event == WEBKIT_LOAD_FINISHED)
        (*static_cast<Notify*>(data))(WebViewLoadFinished, std::string());
}

void onUri(WebKitWebView* view, GParamSpec*, gpointer data)
{
    const gchar* uri = webkit_web_view_get_uri(view);
    (*static_cast<Notify*>(data))(WebViewAddressChanged, uri ? uri : "");
}

} // namespace

bool GtkAttachWebView(HWND hwnd, std::function<void(LPARAM, const std::string&)> notify)
{
    if (!GtkWindowWidget(hwnd))
        return false;
    WebKitUserContentManager* content = webkit_user_content_manager_new();
    WebKitUserStyleSheet* sheet =
        webkit_user_style_sheet_new(kHideScrollBars, WEBKIT_USER_CONTENT_INJECT_ALL_FRAMES,
                                    WEBKIT_USER_STYLE_LEVEL_USER, nullptr, nullptr);
    webkit_user_content_manager_add_style_sheet(content, sheet);
    webkit_user_style_sheet_unref(sheet);
    GtkWidget* view = webkit_web_view_new_with_user_content_manager(content);
    g_object_unref(content);
    if (!view)
        return false;
    WebKitSettings* settings = webkit_web_view_get_settings(WEBKIT_WEB_VIEW(view));
    // Software drawing: the view must render on any X server, Xvfb included.
    webkit_settings_set_hardware_acceleration_policy(settings, WEBKIT_HARDWARE_ACCELERATION_POLICY_NEVER);
    g_signal_connect_data(view, "load-changed", G_CALLBACK(onLoadChanged), new Notify(notify), freeNotify,
                          GConnectFlags(0));
    g_signal_connect_data(view, "notify::uri", G_CALLBACK(onUri), new Notify(std::move(notify)), freeNotify,
                          GConnectFlags(0));
    return GtkSetContent(hwnd, view);
}

void GtkWebViewNavigate(HWND hwnd, const std::string& address)
{
    GtkWidget* view = GtkContentWidget(hwnd);
    if (view && WEBKIT_IS_WEB_VIEW(view))
        webkit_web_view_load_uri(WEBKIT_WEB_VIEW(view), address.c_str());
}

} // namespace platform::detail
