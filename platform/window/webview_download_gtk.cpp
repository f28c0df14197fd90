// Files a page hands out (an attachment, or a type the view cannot show): saved into the
// download folder under the name the service suggests, never over an existing file. The
// bytes go to a hidden file beside the target first, so a failed or cancelled download
// leaves nothing behind, and only a whole file takes its name. The page stays as it was.
// Progress is told as the bytes come, a few times a second at most.
#include "platform/DocumentsFolder.h"
#include "platform/window/GtkBackend.h"
#include "platform/window/WebView.h"

#include <gtk/gtk.h>
#include <libsoup/soup.h>
#include <webkit2/webkit2.h>

#include <fcntl.h>
#include <stdio.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string>

namespace platform::detail {
namespace {

constexpr const char* kViewKey = "kavrel-view-window";

struct Transfer {
    ~Transfer()
    {
        if (flush)
            g_source_remove(flush);
    }

    HWND view = nullptr;
    std::string name;      // as saved, UTF-8
    std::string partial;   // the hidden file the bytes go to
    bool failed = false;
    WebKitDownload* download = nullptr; // not held: the transfer lives on it
    gint64 toldAt = 0;     // monotonic microseconds of the last progress told
    guint flush = 0;       // the timer that tells the latest count, while one waits
};

// The suggested name without any folder part, and never empty, "." or "..", so it always
// names a file inside the download folder.
std::string safeName(const gchar* suggested)
{
    std::string name = suggested ? suggested : "";
    if (const std::size_t slash = name.find_last_of("/\\"); slash != std::string::npos)
        name = name.substr(slash + 1);
    while (!name.empty() && (name.front() == '.' || name.front() == ' '))
        name.erase(name.begin());
    for (char& c : name)
        if (static_cast<unsigned char>(c) < 0x20)
            c = '_';
    return name.empty() ? std::string("download") : name;
}

// "name.ext", then "name (1).ext", "name (2).ext"...: the first that does not exist is
// taken by renaming without replacement, so a file that appears meanwhile is kept too.
std::string settle(const std::string& folder, const std::string& partial, const std::string& name)
{
    const std::size_t dot = name.find_last_of('.');
    const std::string stem = dot == std::string::npos || dot == 0 ? name : name.substr(0, dot);
    const std::string ext = dot == std::string::npos || dot == 0 ? std::string() : name.substr(dot);
    for (int n = 0; n < 10000; ++n) {
        const std::string candidate = folder + "/" + (n == 0 ? name : stem + " (" + std::to_string(n) + ")" + ext);
        if (renameat2(AT_FDCWD, partial.c_str(), AT_FDCWD, candidate.c_str(), RENAME_NOREPLACE) == 0)
            return candidate;
        if (errno != EEXIST)
            break;
    }
    unlink(partial.c_str());
    return {};
}

void tell(const Transfer& t, WebViewDownload::State state, const std::string& path)
{
    if (!IsWindow(t.view))
        return;
    WebKitURIResponse* response = t.download ? webkit_download_get_response(t.download) : nullptr;
    QueueDownloadNews(t.view, WebViewDownload{t.name, path, state,
                                              t.download ? webkit_download_get_received_data_length(t.download) : 0,
                                              response ? webkit_uri_response_get_content_length(response) : 0});
}

void tellProgress(Transfer& t)
{
    t.toldAt = g_get_monotonic_time();
    tell(t, WebViewDownload::Progress, {});
}

gboolean onFlush(gpointer data)
{
    auto* t = static_cast<Transfer*>(data);
    t->flush = 0;
    tellProgress(*t);
    return G_SOURCE_REMOVE;
}

// The engine reports every chunk; the member is told a few times a second at most, and a
// count held back is told when its turn comes, so the last one before a pause is seen.
void onReceivedData(WebKitDownload*, guint64, gpointer data)
{
    auto* t = static_cast<Transfer*>(data);
    if (t->partial.empty() || t->flush)
        return;
    const gint64 wait = t->toldAt + gint64{kDownloadProgressIntervalMs} * 1000 - g_get_monotonic_time();
    if (t->toldAt == 0 || wait <= 0)
        tellProgress(*t);
    else
        t->flush = g_timeout_add(static_cast<guint>(wait / 1000 + 1), onFlush, t);
}

gboolean onDecideDestination(WebKitDownload* download, gchar* suggested, gpointer data)
{
    auto* t = static_cast<Transfer*>(data);
    const std::string folder = DownloadFolder();
    g_mkdir_with_parents(folder.c_str(), 0700);
    t->name = safeName(suggested);
    std::string pattern = folder + "/.kavrel-download-XXXXXX";
    const int fd = mkstemp(pattern.data());
    if (fd < 0) {
        webkit_download_cancel(download);
        return TRUE;
    }
    close(fd);
    t->partial = pattern;
    gchar* uri = g_filename_to_uri(t->partial.c_str(), nullptr, nullptr);
    webkit_download_set_allow_overwrite(download, TRUE); // the hidden file is ours
    webkit_download_set_destination(download, uri);
    g_free(uri);
    tell(*t, WebViewDownload::Started, {});
    return TRUE;
}

void onFailed(WebKitDownload*, GError*, gpointer data)
{
    static_cast<Transfer*>(data)->failed = true;
}

void onFinished(WebKitDownload*, gpointer data)
{
    auto* t = static_cast<Transfer*>(data);
    if (t->flush) {
        g_source_remove(t->flush);
        t->flush = 0;
    }
    if (t->partial.empty())
        return;
    if (t->failed) {
        unlink(t->partial.c_str());
        tell(*t, WebViewDownload::Failed, {});
        return;
    }
    const std::string path = settle(DownloadFolder(), t->partial, t->name);
    tell(*t, path.empty() ? WebViewDownload::Failed : WebViewDownload::Finished, path);
}

void onDownloadStarted(WebKitWebContext*, WebKitDownload* download, gpointer)
{
    WebKitWebView* view = webkit_download_get_web_view(download);
    auto* t = new Transfer;
    t->download = download;
    t->view = view ? static_cast<HWND>(g_object_get_data(G_OBJECT(view), kViewKey)) : nullptr;
    g_object_set_data_full(G_OBJECT(download), "kavrel-transfer", t, [](gpointer p) { delete static_cast<Transfer*>(p); });
    g_signal_connect(download, "decide-destination", G_CALLBACK(onDecideDestination), t);
    g_signal_connect(download, "received-data", G_CALLBACK(onReceivedData), t);
    g_signal_connect(download, "failed", G_CALLBACK(onFailed), t);
    g_signal_connect(download, "finished", G_CALLBACK(onFinished), t);
}

bool isAttachment(WebKitURIResponse* response)
{
    SoupMessageHeaders* headers = webkit_uri_response_get_http_headers(response);
    const char* disposition = headers ? soup_message_headers_get_one(headers, "Content-Disposition") : nullptr;
    return disposition && g_ascii_strncasecmp(disposition, "attachment", 10) == 0;
}

gboolean onDecidePolicy(WebKitWebView*, WebKitPolicyDecision* decision, WebKitPolicyDecisionType type, gpointer)
{
    if (type != WEBKIT_POLICY_DECISION_TYPE_RESPONSE)
        return FALSE;
    auto* response = WEBKIT_RESPONSE_POLICY_DECISION(decision);
    if (!webkit_response_policy_decision_is_main_frame_main_resource(response))
        return FALSE;
    if (isAttachment(webkit_response_policy_decision_get_response(response)) ||
        !webkit_response_policy_decision_is_mime_type_supported(response)) {
        webkit_policy_decision_download(decision);
        return TRUE;
    }
    return FALSE;
}

} // namespace

void ConnectDownloads(HWND hwnd, GtkWidget* view)
{
    g_object_set_data(G_OBJECT(view), kViewKey, hwnd);
    g_signal_connect(view, "decide-policy", G_CALLBACK(onDecidePolicy), nullptr);
    WebKitWebContext* context = webkit_web_view_get_context(WEBKIT_WEB_VIEW(view));
    if (!g_object_get_data(G_OBJECT(context), "kavrel-downloads")) {
        g_object_set_data(G_OBJECT(context), "kavrel-downloads", GINT_TO_POINTER(1));
        g_signal_connect(context, "download-started", G_CALLBACK(onDownloadStarted), nullptr);
    }
}

} // namespace platform::detail
