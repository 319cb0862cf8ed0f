// See failure_dialog.h. Main thread.
#include "failure_dialog.h"

#include <gtk/gtk.h>

#include <unistd.h>

#include <cstdlib>

bool started_from_menu() {
    if (const char* ours = std::getenv("TOLMIREX_FROM_MENU"); ours && *ours) return true;
    // GIO names the process it launched; a terminal it launched passes the
    // variables on to every command typed there, which must not count.
    const char* launched = std::getenv("GIO_LAUNCHED_DESKTOP_FILE_PID");
    return launched && std::strtol(launched, nullptr, 10) == static_cast<long>(getpid());
}

void show_failure_dialog(int* argc, char*** argv, const std::string& what, const std::string& why) {
    if (!gtk_init_check(argc, argv)) return;
    GtkWidget* dialog =
        gtk_message_dialog_new(nullptr, GTK_DIALOG_MODAL, GTK_MESSAGE_ERROR, GTK_BUTTONS_CLOSE, "%s", what.c_str());
    gtk_message_dialog_format_secondary_text(GTK_MESSAGE_DIALOG(dialog), "%s", why.c_str());
    gtk_window_set_title(GTK_WINDOW(dialog), "Tolmirex");
    gtk_dialog_run(GTK_DIALOG(dialog));
    gtk_widget_destroy(dialog);
}
