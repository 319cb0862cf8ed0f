// Helpers of the integration tests. Test thread.
#include "test_support.h"

#include <X11/Xutil.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <thread>

#include "setup.h"

namespace {

// Core protocol request codes (X11/Xproto.h, whose BOOL clashes with the
// camera library's).
constexpr unsigned char X_GetWindowAttributes = 3;
constexpr unsigned char X_ConfigureWindow = 12;
constexpr unsigned char X_GetGeometry = 14;
constexpr unsigned char X_QueryTree = 15;
constexpr unsigned char X_GetProperty = 20;

XErrorHandler default_error_handler = nullptr;

// Windows of the code under test can vanish between the moment a test lists
// them and the moment it reads their name or size, or resizes them; only
// those errors are expected. Every other error goes to Xlib's own handler, which ends the test.
int ignore_vanished_windows(Display* dpy, XErrorEvent* error) {
    const bool inspection = error->request_code == X_GetProperty || error->request_code == X_QueryTree ||
                            error->request_code == X_GetWindowAttributes || error->request_code == X_GetGeometry ||
                            error->request_code == X_ConfigureWindow;
    if (error->error_code == BadWindow && inspection) return 0;
    return default_error_handler(dpy, error);
}

// Installed before any test runs.
const bool handler_installed = [] {
    default_error_handler = XSetErrorHandler(ignore_vanished_windows);
    return true;
}();

}  // namespace

void open_test_display() {
    XInitThreads();
    x11_display = XOpenDisplay(nullptr);
    if (!x11_display) abort();
}

void close_test_display() {
    if (x11_display) XCloseDisplay(x11_display);
    x11_display = nullptr;
}

bool wait_until(const std::function<bool()>& done, double seconds) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    while (!done()) {
        if (std::chrono::steady_clock::now() > deadline) return done();
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
}

bool wait_for_event(Display* dpy, int type, Window window, XEvent* out, double seconds) {
    return wait_until(
        [&] {
            while (XPending(dpy)) {
                XNextEvent(dpy, out);
                if (out->type == type && (window == 0 || out->xany.window == window)) return true;
            }
            return false;
        },
        seconds);
}

std::string window_name(Display* dpy, Window w) {
    XTextProperty property{};
    if (!XGetWMName(dpy, w, &property) || !property.value) return {};
    std::string name(reinterpret_cast<char*>(property.value), property.nitems);
    XFree(property.value);
    return name;
}

std::vector<Window> windows_with_name_prefix(Display* dpy, const std::string& prefix) {
    std::vector<Window> found;
    Window root_return, parent;
    Window* children = nullptr;
    unsigned count = 0;
    if (!XQueryTree(dpy, DefaultRootWindow(dpy), &root_return, &parent, &children, &count)) return found;
    for (unsigned i = 0; i < count; ++i)
        if (window_name(dpy, children[i]).rfind(prefix, 0) == 0) found.push_back(children[i]);
    if (children) XFree(children);
    return found;
}

Window wait_for_window(Display* dpy, const std::string& prefix, double seconds) {
    Window found = 0;
    wait_until(
        [&] {
            const auto windows = windows_with_name_prefix(dpy, prefix);
            found = windows.size() == 1 ? windows[0] : 0;
            return found != 0;
        },
        seconds);
    return found;
}

std::vector<Window> windows_named(Display* dpy, const std::string& name) {
    std::vector<Window> found;
    for (Window w : windows_with_name_prefix(dpy, name))
        if (window_name(dpy, w) == name) found.push_back(w);
    return found;
}

void send_close_request(Display* dpy, Window w) {
    XEvent close{};
    close.xclient.type = ClientMessage;
    close.xclient.window = w;
    close.xclient.message_type = XInternAtom(dpy, "WM_PROTOCOLS", False);
    close.xclient.format = 32;
    close.xclient.data.l[0] = long(XInternAtom(dpy, "WM_DELETE_WINDOW", False));
    close.xclient.data.l[1] = CurrentTime;
    XSendEvent(dpy, w, False, NoEventMask, &close);
    XFlush(dpy);
}

void set_env(const char* name, const char* value) {
    if (value)
        setenv(name, value, 1);
    else
        unsetenv(name);
}

bool parse_title(const std::string& text, Title* t) {
    return sscanf(text.c_str(), "Video FPS: %lf; Acquisition: frm %lu skip %lu fps %lf", &t->video_fps, &t->frames,
                  &t->lost, &t->camera_fps) == 4;
}

size_t occurrences(const std::string& text, const std::string& part) {
    size_t n = 0;
    for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++n;
    return n;
}

bool toggle_acquisition(Window control, bool first) {
    const std::string command = "xdotool windowfocus --sync " + std::to_string(control) + " key " +
                                (first ? "shift+Tab space" : "space");
    return std::system(command.c_str()) == 0;
}
