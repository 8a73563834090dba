// The baseline of the dialog benchmark: the least a GTK program does to put
// a window with an entry on screen. It ends when its window is closed.
#include <gtk/gtk.h>

int main(int argc, char** argv) {
    gtk_init(&argc, &argv);
    GtkWidget* window = gtk_window_new(GTK_WINDOW_TOPLEVEL);
    gtk_window_set_title(GTK_WINDOW(window), "Entry window baseline");
    gtk_container_add(GTK_CONTAINER(window), gtk_entry_new());
    g_signal_connect(window, "destroy", G_CALLBACK(gtk_main_quit), nullptr);
    gtk_widget_show_all(window);
    gtk_main();
    return 0;
}
