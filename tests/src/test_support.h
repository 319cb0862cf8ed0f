// Helpers shared by the viewer's integration tests: the X connection, waiting
// with a deadline, and reading windows back from the X server.
#pragma once

#include <X11/Xlib.h>

#include <chrono>
#include <functional>
#include <string>
#include <vector>

#include "thread_count.h"

// Opens x11_display (threads enabled first) for the code under test.
void open_test_display();
void close_test_display();

// Polls `done` until it is true or `seconds` pass; returns its last value.
bool wait_until(const std::function<bool()>& done, double seconds = 10.0);

// Seconds from `begin` to now, on the steady clock.
inline double seconds_since(std::chrono::steady_clock::time_point begin) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - begin).count();
}

// Waits on `dpy` for an event of `type` for `window` (any window when 0).
bool wait_for_event(Display* dpy, int type, Window window, XEvent* out, double seconds = 10.0);

// Top-level windows (children of the root) whose WM_NAME is `name`, on a
// connection of the test's own.
std::vector<Window> windows_named(Display* dpy, const std::string& name);
// Windows whose name starts with `prefix`.
std::vector<Window> windows_with_name_prefix(Display* dpy, const std::string& prefix);
// The one window whose name starts with `prefix`, once there is exactly one
// within `seconds`; else 0.
Window wait_for_window(Display* dpy, const std::string& prefix, double seconds = 10.0);
std::string window_name(Display* dpy, Window w);

// Switches "Acquisition" with the keyboard, as xdotool types on DISPLAY:
// from the first widget, which has the focus when the panel opens, it is one
// back (first: shift+Tab); afterwards it keeps the focus. (The panel's
// widgets are not X windows of their own, and the status area under them
// has no fixed height, so a click could not find the button.)
// False when xdotool failed.
bool toggle_acquisition(Window control, bool first);

// Asks for a window to be closed, as a window manager does (WM_DELETE_WINDOW).
void send_close_request(Display* dpy, Window w);

// The video window's title as the statistics tick writes it, read back.
struct Title {
    double video_fps = 0, camera_fps = 0;
    unsigned long frames = 0, lost = 0;
};
bool parse_title(const std::string& text, Title* title);

// How often `part` occurs in `text` (overlaps counted), e.g. lines of a message.
size_t occurrences(const std::string& text, const std::string& part);

// Sets an environment variable for the rest of the test, or unsets it (null).
void set_env(const char* name, const char* value);
