// Tolmirex: start-up and shutdown. Main thread.
#include <X11/Xlib.h>
#include <gtk/gtk.h>

#include <clocale>
#include <cstdio>
#include <cstdlib>

#include "app_icon.h"
#include "control_panel.h"
#include "display.h"
#include "failure_dialog.h"
#include "live_run.h"
#include "setup.h"
#include "window_size.h"
#include "x_connection.h"

namespace {

const char kUsage[] =
    "Usage: tolmirex [OPTION...] [GTK OPTION...]\n"
    "Live viewer and control panel for one machine-vision camera on an X11 desktop:\n"
    "shows the camera's frames in a video window, presented through VA-API, and sets\n"
    "its sensor mode, exposure, gain, region of interest and colour output from a\n"
    "control window.\n"
    "\n"
    "Options:\n"
    "  -h, --help       print this help and exit\n"
    "  -V, --version    print the version and exit\n"
    "  --list-cameras   list the GenICam cameras that answer and exit (the\n"
    "                   launcher tolmirex answers it)\n"
    "GTK options such as --display=DISPLAY, --sync, --class=CLASS and\n"
    "--g-fatal-warnings apply to the control window.\n"
    "\n"
    "Environment:\n"
    "  DISPLAY                 the X display of both windows\n"
    "  TOLMIREX_CAMERA         the camera library: sim, genicam or the path of a\n"
    "                          libzebapi.so (unset: the camera maker's, else sim)\n"
    "  TOLMIREX_CAMERA_ID      the GenICam camera: an IPv4 address or an Aravis id\n"
    "  LIBVA_DRIVER_NAME       the VA driver; softva is the software one (unset: the\n"
    "                          one libva finds, when it can present here)\n"
    "  LIBVA_MESSAGING_LEVEL   libva's messages (tolmirex sets 1, errors only)\n"
    "  WIN_WIDTH, WIN_HEIGHT   bound the video window\n"
    "\n"
    "The manual page tells the rest: man tolmirex\n";

const char kTryHelp[] = "Try 'tolmirex --help'.\n";

// The command line, before anything else starts: the program's own options
// answered and ended here, GTK's taken by the toolkit (which keeps them
// until gtk_init opens the control window's display), anything else refused.
// The exit status when the program ends here, else -1.
int read_options(int* argc, char*** argv) {
    gboolean help = FALSE, version = FALSE;
    GOptionEntry entries[] = {{"help", 'h', 0, G_OPTION_ARG_NONE, &help, nullptr, nullptr},
                              {"version", 'V', 0, G_OPTION_ARG_NONE, &version, nullptr, nullptr},
                              {}};
    GOptionContext* context = g_option_context_new(nullptr);
    g_option_context_set_help_enabled(context, FALSE);  // the usage above instead of GLib's
    g_option_context_set_ignore_unknown_options(context, TRUE);
    g_option_context_add_main_entries(context, entries, nullptr);
    g_option_context_add_group(context, gtk_get_option_group(FALSE));
    GError* error = nullptr;
    const bool parsed = g_option_context_parse(context, argc, argv, &error);
    g_option_context_free(context);
    if (!parsed) {
        fprintf(stderr, "tolmirex: %s\n%s", error->message, kTryHelp);
        g_error_free(error);
        return 2;
    }
    if (help) {
        fputs(kUsage, stdout);
        return 0;
    }
    if (version) {
        printf("tolmirex %s\n", TOLMIREX_VERSION);
        return 0;
    }
    // What GLib left is what nobody knows, and words after "--".
    for (int i = 1; i < *argc; ++i) {
        const char* arg = (*argv)[i];
        if (arg[0] == '-' && arg[1] == '-' && arg[2] == '\0') break;
        if (arg[0] == '-' && arg[1] != '\0') {
            fprintf(stderr, "tolmirex: unrecognized option '%s'\n%s", arg, kTryHelp);
            return 2;
        }
    }
    return -1;
}

// WIN_WIDTH or WIN_HEIGHT, read with atoi; a text that is not a plain
// positive number is told how it was read.
int window_limit(const char* name) {
    const char* text = getenv(name);
    if (!text) return 0;
    const WindowLimit limit = read_window_limit(text);
    if (!limit.plain)
        fprintf(stderr, "%s=\"%s\" is not a plain positive whole number: read as %d%s\n", name, text, limit.value,
                limit.value > 0 ? "" : ", no limit");
    return limit.value;
}

}  // namespace

int main(int argc, char** argv) {
    max_width = window_limit("WIN_WIDTH");
    max_height = window_limit("WIN_HEIGHT");
    setvbuf(stdout, nullptr, _IONBF, 0);

    // The toolkit would set the locale inside gtk_init, while the display
    // thread is already using Xlib's locale-dependent calls; set it here,
    // once, before any thread starts.
    setlocale(LC_ALL, "");
    gtk_disable_setlocale();

    // The display thread and the worker each use Xlib from their own thread.
    XInitThreads();

    // WM_CLASS (tolmirex, Tolmirex) on the control window, as on the video
    // window, whatever name the binary was started under.
    g_set_prgname("tolmirex");
    if (const int status = read_options(&argc, &argv); status >= 0) return status;

    x11_display = XOpenDisplay(nullptr);
    if (!x11_display) {
        printf("Can't connect to X server!\n");
        if (const char* name = getenv("DISPLAY"); name && *name)
            fprintf(stderr, "X display \"%s\" could not be opened\n", name);
        else
            fprintf(stderr, "No X display: DISPLAY is not set\n");
        exit(-1);
    }
    install_x_io_error_handler();
    watch_x_connection(x11_display);

    setupCam();
    lps->show = 1;
    if (hMV == INVALID_HANDLE_VALUE) {
        printf("Couldn't setup camera!\n");
        fprintf(stderr, "%s\n", setup_failure.c_str());
        if (started_from_menu()) show_failure_dialog(&argc, &argv, "Couldn't setup camera!", setup_failure);
        exit(-1);
    }
    startLive();

    gtk_init(&argc, &argv);
    install_x_io_error_handler();
    watch_toolkit_x_connection();
    // Any thread may find the X server gone; the panel's loop ends on its own thread.
    // Ahead of the toolkit's pending redraws: a lost connection takes no
    // more drawing (Xlib's buffer fills and its next request crashes).
    on_x_connection_lost([] {
        g_idle_add_full(
            G_PRIORITY_HIGH, [](gpointer) { gtk_main_quit(); return gboolean(FALSE); }, nullptr, nullptr);
    });
    set_default_window_icon();
    ctrl_window panel{};
    build_control_panel(&panel);
    gtk_main();
    stop_control_panel(&panel);

    // The worker sees the stop within one camera wait; the display thread
    // follows it, closing the control handle on its way out.
    request_stop();
    joinLive();
    close_control_handle();
    XCloseDisplay(x11_display);
    return x_connection_lost() ? 1 : 0;
}
