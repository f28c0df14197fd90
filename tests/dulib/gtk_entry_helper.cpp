// A plain GTK program with one entry, the other side of the clipboard tests: it takes
// commands on standard input, one a line, and answers each on standard output.
//   set TEXT     the entry's text becomes TEXT
//   copy         selects everything and copies it to the clipboard
//   select       selects everything (the desktop's primary selection then holds it)
//   paste        replaces the text with the clipboard's
//   get          prints "text=" and the entry's text
// It prints "ready" once its window is on the screen.
#include <gtk/gtk.h>

#include <cstdio>
#include <string>

namespace {

GtkWidget* g_entry = nullptr;

void answer(const std::string& line)
{
    std::printf("%s\n", line.c_str());
    std::fflush(stdout);
}

gboolean onInput(GIOChannel* channel, GIOCondition, gpointer)
{
    gchar* raw = nullptr;
    gsize length = 0;
    if (g_io_channel_read_line(channel, &raw, &length, nullptr, nullptr) != G_IO_STATUS_NORMAL) {
        gtk_main_quit();
        return G_SOURCE_REMOVE;
    }
    std::string line(raw, length);
    g_free(raw);
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r'))
        line.pop_back();
    GtkEditable* editable = GTK_EDITABLE(g_entry);
    if (line.rfind("set ", 0) == 0) {
        gtk_entry_set_text(GTK_ENTRY(g_entry), line.substr(4).c_str());
        answer("ok");
    } else if (line == "copy") {
        gtk_editable_select_region(editable, 0, -1);
        gtk_editable_copy_clipboard(editable);
        answer("ok");
    } else if (line == "select") {
        gtk_editable_select_region(editable, 0, -1);
        answer("ok");
    } else if (line == "paste") {
        gtk_entry_set_text(GTK_ENTRY(g_entry), "");
        gtk_editable_paste_clipboard(editable);
        answer("ok");
    } else if (line == "get") {
        answer(std::string("text=") + gtk_entry_get_text(GTK_ENTRY(g_entry)));
    } else {
        answer("unknown");
    }
    return G_SOURCE_CONTINUE;
}

gboolean onMapped(GtkWidget*, GdkEvent*, gpointer)
{
    answer("ready");
    return FALSE;
}

} // namespace

int main(int argc, char** argv)
{
    gtk_init(&argc, &argv);
    GtkWidget* window = gtk_window_new(GTK_WINDOW_TOPLEVEL);
    gtk_window_set_title(GTK_WINDOW(window), "entry-helper");
    gtk_window_move(GTK_WINDOW(window), 700, 600);
    g_entry = gtk_entry_new();
    gtk_container_add(GTK_CONTAINER(window), g_entry);
    g_signal_connect(window, "destroy", G_CALLBACK(gtk_main_quit), nullptr);
    g_signal_connect(window, "map-event", G_CALLBACK(onMapped), nullptr);
    GIOChannel* input = g_io_channel_unix_new(0);
    g_io_add_watch(input, static_cast<GIOCondition>(G_IO_IN | G_IO_HUP), onInput, nullptr);
    gtk_widget_show_all(window);
    gtk_main();
    g_io_channel_unref(input);
    return 0;
}
