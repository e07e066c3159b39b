// The peer of the browser benchmark: a bare GTK window holding one
// WebKitGTK view that loads the URL it is given, nothing else; with
// --sandbox its web process runs in the engine's sandbox.
#include <gtk/gtk.h>
#include <webkit2/webkit2.h>

int main(int argc, char** argv) {
    gtk_init(&argc, &argv);
    if (argc < 2) return 2;
    if (argc > 2 && g_strcmp0(argv[2], "--sandbox") == 0)
        webkit_web_context_set_sandbox_enabled(webkit_web_context_get_default(), TRUE);
    GtkWidget* window = gtk_window_new(GTK_WINDOW_TOPLEVEL);
    gtk_window_set_default_size(GTK_WINDOW(window), 767, 385);
    GtkWidget* view = webkit_web_view_new();
    gtk_container_add(GTK_CONTAINER(window), view);
    g_signal_connect(window, "destroy", G_CALLBACK(gtk_main_quit), nullptr);
    webkit_web_view_load_uri(WEBKIT_WEB_VIEW(view), argv[1]);
    gtk_widget_show_all(window);
    gtk_main();
    return 0;
}
