// A lost X connection, reported once. Runs on whichever thread's Xlib call
// finds the connection gone.
#include "x_connection.h"

#include <gdk/gdkx.h>
#include <poll.h>

#include <atomic>
#include <cstdio>

#include "live_run.h"

namespace {

std::atomic<bool> lost{false};
std::atomic<void (*)()> lost_action{nullptr};

// Says nothing: the exit handler below speaks, once for all connections.
int quiet_io_error(Display*) { return 0; }

// Returning lets the Xlib call that found the connection gone return too;
// every later call on that connection returns at once. Xlib has locked the
// display for this thread, as for an exit; unlocked here, or the thread
// that closes the connection later would wait for a lock nobody releases.
void connection_lost(Display* dpy, void*) {
    XUnlockDisplay(dpy);
    if (lost.exchange(true)) return;
    fprintf(stderr, "Lost the connection to the X server %s: stopping the camera and ending\n", DisplayString(dpy));
    request_stop();
    if (void (*action)() = lost_action.load()) action();
}

}  // namespace

void install_x_io_error_handler() { XSetIOErrorHandler(quiet_io_error); }

void watch_x_connection(Display* dpy) { XSetIOErrorExitHandler(dpy, connection_lost, nullptr); }

void watch_toolkit_x_connection() { watch_x_connection(gdk_x11_get_default_xdisplay()); }

void on_x_connection_lost(void (*action)()) { lost_action = action; }

bool x_connection_lost() { return lost.load(); }

bool next_x_event(Display* dpy, XEvent* event) {
    // XPending reads what has come, and finds a lost connection as well.
    while (XPending(dpy) == 0) {
        if (x_connection_lost()) return false;
        pollfd connection{ConnectionNumber(dpy), POLLIN, 0};
        poll(&connection, 1, -1);
    }
    if (x_connection_lost()) return false;
    XNextEvent(dpy, event);
    return true;
}
