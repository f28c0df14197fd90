/* A stand-in for the client, for testing what the headless run command reads from outside
 * before the client itself signs in: it reads the remembered login from data/config.ini
 * and, at level 3 with the demo member's name and password, shows what a signing-in client
 * shows: a main window carrying the running-instance marker, a login window of the login
 * layout's size over it that closes once the service has answered a "login" post, feed
 * posts after it, and a study page fetched when its first function tile is clicked.
 * Without the remembered login it shows the main window only. */
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <gdk/gdkx.h>
#include <gtk/gtk.h>

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

static GtkWidget* g_main;
static GtkWidget* g_login;
static char g_service[256];

static void Post(const char* body)
{
    char command[1024];
    snprintf(command, sizeof command, "curl -s -o /dev/null -X POST --data-binary '%s' %s/service/post", body, g_service);
    if (system(command) != 0) fprintf(stderr, "watched_client: post failed\n");
}

static gboolean SignIn(gpointer unused)
{
    (void)unused;
    Post("{\"cmd\" : \"login\", \"cmdType\" : \"query\", \"content\" : {}}");
    gtk_widget_destroy(g_login);
    Post("{\"cmd\" : \"connect\", \"cmdType\" : \"\", \"content\" : \"{}\"}");
    Post("{\"cmd\" : \"load\", \"cmdType\" : \"\", \"content\" : {\"datasource\" : \"get_login_info\"}}");
    return FALSE;
}

static gboolean OpenLogin(gpointer unused)
{
    (void)unused;
    g_login = gtk_window_new(GTK_WINDOW_TOPLEVEL);
    gtk_window_set_decorated(GTK_WINDOW(g_login), FALSE);
    gtk_window_set_default_size(GTK_WINDOW(g_login), 600, 372);
    gtk_widget_show_all(g_login);
    g_idle_add(SignIn, NULL);
    return FALSE;
}

/* The first tile of the skin's main layout: 113 x 100 at (24, 152). */
static gboolean Pressed(GtkWidget* widget, GdkEventButton* event, gpointer unused)
{
    (void)widget;
    (void)unused;
    if (event->x >= 24 && event->x < 137 && event->y >= 152 && event->y < 252) {
        char command[512];
        snprintf(command, sizeof command, "curl -s -o /dev/null %s/soft/testSites_sitesList.htm", g_service);
        if (system(command) != 0) fprintf(stderr, "watched_client: page fetch failed\n");
    }
    return TRUE;
}

/* The service address from domain.vmx, and whether config.ini remembers the demo member
 * for automatic login, each read as plain text. */
static int ReadFolder(void)
{
    char line[512];
    int remembered = 0;
    FILE* vmx = fopen("domain.vmx", "r");
    while (vmx && fgets(line, sizeof line, vmx)) {
        char* start = strstr(line, "<domain>");
        char* end = strstr(line, "</domain>");
        if (start && end && end > start + 8) snprintf(g_service, sizeof g_service, "%.*s", (int)(end - start - 8), start + 8);
    }
    if (vmx) fclose(vmx);
    FILE* ini = fopen("data/config.ini", "r");
    while (ini && fgets(line, sizeof line, ini)) {
        if (strcmp(line, "user=zhangsan\r\n") == 0 || strcmp(line, "password=123456\r\n") == 0
            || strcmp(line, "autologin=3\r\n") == 0)
            ++remembered;
    }
    if (ini) fclose(ini);
    return remembered == 3;
}

int main(int argc, char** argv)
{
    if (!gtk_init_check(&argc, &argv)) return 1;
    const int remembered = ReadFolder();
    g_main = gtk_window_new(GTK_WINDOW_TOPLEVEL);
    gtk_window_set_decorated(GTK_WINDOW(g_main), FALSE);
    gtk_window_set_default_size(GTK_WINDOW(g_main), 1008, 640);
    gtk_widget_add_events(g_main, GDK_BUTTON_PRESS_MASK);
    g_signal_connect(g_main, "button-press-event", G_CALLBACK(Pressed), NULL);
    g_signal_connect(g_main, "destroy", G_CALLBACK(gtk_main_quit), NULL);
    gtk_widget_show_all(g_main);
    GdkWindow* window = gtk_widget_get_window(g_main);
    long marker = 0xE2603859L;
    XChangeProperty(GDK_WINDOW_XDISPLAY(window), GDK_WINDOW_XID(window),
                    XInternAtom(GDK_WINDOW_XDISPLAY(window), "Kavrel", False), XA_CARDINAL, 32, PropModeReplace,
                    (unsigned char*)&marker, 1);
    if (remembered) g_timeout_add(300, OpenLogin, NULL);
    gtk_main();
    return 0;
}
