// New windows a page asks for, and a page closing its own window. The view never makes a
// browser window of its own: a request with a member's gesture behind it goes to the view's
// owner, which knows which hosts are the service's; one without (a pop-up a script opens
// by itself) is dropped.
#include "platform/window/GtkBackend.h"
#include "platform/window/WebView.h"

#include <gtk/gtk.h>
#include <webkit2/webkit2.h>

namespace platform::detail {
namespace {

HWND handleOf(gpointer data) { return reinterpret_cast<HWND>(data); }

GtkWidget* onCreate(WebKitWebView*, WebKitNavigationAction* action, gpointer data)
{
    HWND hwnd = handleOf(data);
    WebKitURIRequest* request = webkit_navigation_action_get_request(action);
    const gchar* uri = request ? webkit_uri_request_get_uri(request) : nullptr;
    if (IsWindow(hwnd) && uri && *uri && webkit_navigation_action_is_user_gesture(action))
        QueueNewWindowRequest(hwnd, uri);
    // The page's window.open answers null: the window the owner opens is not its child.
    return nullptr;
}

void onClose(WebKitWebView*, gpointer data)
{
    HWND hwnd = handleOf(data);
    if (IsWindow(hwnd))
        NotifyWebViewParent(hwnd, WebViewCloseRequested);
}

} // namespace

void ConnectWindowPolicy(HWND hwnd, GtkWidget* view)
{
    gpointer data = reinterpret_cast<gpointer>(hwnd);
    g_signal_connect(view, "create", G_CALLBACK(onCreate), data);
    g_signal_connect(view, "close", G_CALLBACK(onClose), data);
}

} // namespace platform::detail
