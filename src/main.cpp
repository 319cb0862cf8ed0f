// Tolmirex: start-up and shutdown. Main thread.
#include <X11/Xlib.h>
#include <gtk/gtk.h>

#include <clocale>
#include <cstdio>
#include <cstdlib>

#include "control_panel.h"
#include "display.h"
#include "live_run.h"
#include "setup.h"

int main(int argc, char** argv) {
    if (const char* width = getenv("WIN_WIDTH")) max_width = atoi(width);
    if (const char* height = getenv("WIN_HEIGHT")) max_height = atoi(height);
    setvbuf(stdout, nullptr, _IONBF, 0);

    // The toolkit would set the locale inside gtk_init, while the display
    // thread is already using Xlib's locale-dependent calls; set it here,
    // once, before any thread starts.
    setlocale(LC_ALL, "");
    gtk_disable_setlocale();

    // The display thread and the worker each use Xlib from their own thread.
    XInitThreads();
    x11_display = XOpenDisplay(nullptr);
    if (!x11_display) {
        printf("Can't connect to X server!\n");
        exit(-1);
    }

    setupCam();
    lps->show = 1;
    if (hMV == INVALID_HANDLE_VALUE) {
        printf("Couldn't setup camera!\n");
        exit(-1);
    }
    startLive();

    // WM_CLASS (tolmirex, Tolmirex) on the control window, as on the video
    // window, whatever name the binary was started under.
    g_set_prgname("tolmirex");
    gtk_init(&argc, &argv);
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
    return 0;
}
