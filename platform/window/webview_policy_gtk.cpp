// New windows a page asks for, and a page closing its own window. The view never shows a
// browser window of its own: a request with a member's gesture behind it goes to the view's
// owner, which knows which hosts are the service's; one without (a pop-up a script opens
// by itself) is dropped.
//
// The engine hands over no size a page asked for: the geometry it gives a new view is its
// own reckoning of a window around the view it would have (clamped by a screen it guesses),
// not the page's width and height. So every page gets a script ahead of its own that notes
// what window.open was asked (address, width, height), and a request gets a stand-in view
// that loads nothing; when the engine shows the stand-in (ready-to-show) the note is read
// from the opener, and the request, with the size when the note is for the same address,
// goes to the owner.
#include "platform/window/GtkBackend.h"
#include "platform/window/WebView.h"

#include <gtk/gtk.h>
#include <webkit2/webkit2.h>

#include <string>

namespace platform::detail {
namespace {

HWND handleOf(gpointer data) { return reinterpret_cast<HWND>(data); }

// Runs in the page's own world, before the page's scripts. A frame notes on the top
// window, where the opener's note is read (a frame of another site cannot, and asks no size).
constexpr const char* kNoteAskedSize = R"((function () {
    var open = window.open;
    window.open = function (url, name, features) {
        var size = function (key) {
            var m = new RegExp('(?:^|[\\s,])(?:inner)?' + key + '\\s*=\\s*(\\d+)', 'i').exec(String(features || ''));
            return m ? Number(m[1]) : 0;
        };
        try {
            top.__kavrelAskedWindow = {url: new URL(url === undefined || url === '' ? 'about:blank' : String(url),
                                                    document.baseURI).href,
                                       width: size('width'), height: size('height')};
        } catch (e) {}
        return open.apply(this, arguments);
    };
})();)";

// Reads the note and clears it, so a later link with a blank target finds none.
constexpr const char* kTakeNote =
    "(function () { var a = window.__kavrelAskedWindow; window.__kavrelAskedWindow = null;"
    " return a ? [a.url, a.width, a.height] : null; })()";

struct StandIn {
    HWND opener;
    WebKitWebView* openerView; // held until the note is read
    std::string address;
    GtkWidget* view;
    bool shown = false;
};

// The stand-in must never fetch the address: the owner's window does.
gboolean onStandInPolicy(WebKitWebView*, WebKitPolicyDecision* decision, WebKitPolicyDecisionType, gpointer)
{
    webkit_policy_decision_ignore(decision);
    return TRUE;
}

int element(JSCValue* array, guint index)
{
    JSCValue* v = jsc_value_object_get_property_at_index(array, index);
    const int n = jsc_value_is_number(v) ? jsc_value_to_int32(v) : 0;
    g_object_unref(v);
    return n > 0 ? n : 0;
}

void onNoteRead(GObject*, GAsyncResult* result, gpointer data)
{
    auto* s = static_cast<StandIn*>(data);
    WebViewNewWindow request{s->address, 0, 0};
    if (JSCValue* note = webkit_web_view_evaluate_javascript_finish(s->openerView, result, nullptr)) {
        if (jsc_value_is_array(note)) {
            JSCValue* url = jsc_value_object_get_property_at_index(note, 0);
            gchar* text = jsc_value_is_string(url) ? jsc_value_to_string(url) : nullptr;
            if (text && s->address == text) {
                request.width = element(note, 1);
                request.height = element(note, 2);
            }
            g_free(text);
            g_object_unref(url);
        }
        g_object_unref(note);
    }
    if (IsWindow(s->opener))
        QueueNewWindowRequest(s->opener, std::move(request));
    g_object_unref(s->openerView);
    gtk_widget_destroy(s->view);
    g_object_unref(s->view);
    delete s;
}

void onStandInReady(WebKitWebView*, gpointer data)
{
    auto* s = static_cast<StandIn*>(data);
    if (s->shown)
        return;
    s->shown = true;
    webkit_web_view_evaluate_javascript(s->openerView, kTakeNote, -1, nullptr, nullptr, nullptr, onNoteRead, s);
}

GtkWidget* onCreate(WebKitWebView* opener, WebKitNavigationAction* action, gpointer data)
{
    HWND hwnd = handleOf(data);
    WebKitURIRequest* request = webkit_navigation_action_get_request(action);
    const gchar* uri = request ? webkit_uri_request_get_uri(request) : nullptr;
    if (!IsWindow(hwnd) || !uri || !*uri || !webkit_navigation_action_is_user_gesture(action))
        return nullptr;
    GtkWidget* view = webkit_web_view_new_with_related_view(opener);
    g_object_ref_sink(view);
    auto* s = new StandIn{hwnd, WEBKIT_WEB_VIEW(g_object_ref(opener)), uri, view};
    g_signal_connect(view, "decide-policy", G_CALLBACK(onStandInPolicy), nullptr);
    g_signal_connect(view, "ready-to-show", G_CALLBACK(onStandInReady), s);
    return view;
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
    WebKitUserScript* note = webkit_user_script_new(kNoteAskedSize, WEBKIT_USER_CONTENT_INJECT_ALL_FRAMES,
                                                    WEBKIT_USER_SCRIPT_INJECT_AT_DOCUMENT_START, nullptr, nullptr);
    webkit_user_content_manager_add_script(webkit_web_view_get_user_content_manager(WEBKIT_WEB_VIEW(view)), note);
    webkit_user_script_unref(note);
    g_signal_connect(view, "create", G_CALLBACK(onCreate), data);
    g_signal_connect(view, "close", G_CALLBACK(onClose), data);
}

} // namespace platform::detail
