// Start-up probe for comparison: a minimal GTK window holding a WebKitGTK web view with a
// small page, started the same way. Prints "painted <ms>\n" at the window's first drawn
// frame, then ends; with "--stay" it stays open (the bare window of the idle and memory
// benches), and an address argument loads that page instead of the small one.
#include <gtk/gtk.h>
#include <webkit2/webkit2.h>

#include <chrono>
#include <cstdio>
#include <cstring>

namespace {

std::chrono::steady_clock::time_point g_start;
bool g_stay = false;

gboolean OnDraw(GtkWidget*, cairo_t*, gpointer)
{
    static bool done = false;
    if (!done) {
        done = true;
        auto ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - g_start).count();
        std::printf("painted %.1f\n", ms);
        std::fflush(stdout);
        if (!g_stay) {
            g_idle_add([](gpointer) -> gboolean {
                gtk_main_quit();
                return G_SOURCE_REMOVE;
            }, nullptr);
        }
    }
    return FALSE;
}

} // namespace

int main(int argc, char** argv)
{
    g_start = std::chrono::steady_clock::now();
    if (!gtk_init_check(&argc, &argv)) {
        std::fprintf(stderr, "no display\n");
        return 1;
    }
    GtkWidget* window = gtk_window_new(GTK_WINDOW_TOPLEVEL);
    gtk_window_set_default_size(GTK_WINDOW(window), 1008, 640);
    const char* address = nullptr;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--stay") == 0)
            g_stay = true;
        else
            address = argv[i];
    }
    GtkWidget* view = webkit_web_view_new();
    if (address)
        webkit_web_view_load_uri(WEBKIT_WEB_VIEW(view), address);
    else
        webkit_web_view_load_html(WEBKIT_WEB_VIEW(view), "<html><body><h1>Kavrel</h1></body></html>", nullptr);
    gtk_container_add(GTK_CONTAINER(window), view);
    g_signal_connect_after(window, "draw", G_CALLBACK(OnDraw), nullptr);
    gtk_widget_show_all(window);
    gtk_main();
    return 0;
}
