// The X11 video window. Runs on the display thread, on its connection
// x11_display (the worker posts its notices on a connection of its own).
#include "video_window.h"

#include <X11/Xatom.h>
#include <X11/Xutil.h>
#include <unistd.h>

#include "app_icon.h"
#include "setup.h"

static const char WINDOW_NAME[] = "Tolmirex";

static Atom wmDeleteMessage;

// Desktop manners: the class groups this window with the control window in
// task bars and lets window rules match it; the process id (with the host it
// belongs to) lets the window manager offer to end a program that hangs.
static void set_class_and_pid(Window win) {
    char res_name[] = "tolmirex";
    char res_class[] = "Tolmirex";
    XClassHint class_hint{res_name, res_class};
    XSetClassHint(x11_display, win, &class_hint);

    char host[256] = "";
    gethostname(host, sizeof host - 1);
    char* hosts[] = {host};
    XTextProperty machine{};
    if (XStringListToTextProperty(hosts, 1, &machine)) {
        XSetWMClientMachine(x11_display, win, &machine);
        XFree(machine.value);
    }
    const long pid = getpid();
    XChangeProperty(x11_display, win, XInternAtom(x11_display, "_NET_WM_PID", False), XA_CARDINAL, 32, PropModeReplace,
                    reinterpret_cast<const unsigned char*>(&pid), 1);
}

// The icon the window manager shows for the window (title bar, task bar,
// window switcher): the program's own, embedded, in all its sizes.
static void set_icon(Window win) {
    XChangeProperty(x11_display, win, XInternAtom(x11_display, "_NET_WM_ICON", False), XA_CARDINAL, 32, PropModeReplace,
                    reinterpret_cast<const unsigned char*>(kAppIcon), int(kAppIconLength));
}

Atom delete_window_atom() { return wmDeleteMessage; }

void set_window_name(Window win, const char* name) {
    char* list[] = {const_cast<char*>(name)};
    XTextProperty property{};
    if (XmbTextListToTextProperty(x11_display, list, 1, XStringStyle, &property) < Success) return;
    XSetWMName(x11_display, win, &property);
    XFree(property.value);
}

Window create_window(int width, int height) {
    wmDeleteMessage = XInternAtom(x11_display, "WM_DELETE_WINDOW", False);

    const int screen = DefaultScreen(x11_display);
    const Window win = XCreateSimpleWindow(x11_display, RootWindow(x11_display, screen), 0, 0, width, height, 0, 0,
                                           WhitePixel(x11_display, screen));
    if (!win) return 0;

    // The aspect hints and size go out before events are selected and the
    // window is mapped.
    resize_window(win, width, height);
    set_window_name(win, WINDOW_NAME);
    XSetIconName(x11_display, win, WINDOW_NAME);
    set_class_and_pid(win);
    set_icon(win);
    // Keys, wheel, drags and the pointer's moves drive zoom, pan and the
    // value under the pointer (view_input.h).
    XSelectInput(x11_display, win,
                 ExposureMask | StructureNotifyMask | KeyPressMask | ButtonPressMask | ButtonReleaseMask |
                     PointerMotionMask | EnterWindowMask | LeaveWindowMask);
    XSetWMProtocols(x11_display, win, &wmDeleteMessage, 1);
    XMapWindow(x11_display, win);
    XSync(x11_display, False);
    return win;
}

void resize_window(Window win, int width, int height) {
    XSizeHints sizehints{};
    sizehints.flags = PAspect;
    sizehints.min_aspect.x = sizehints.max_aspect.x = width;
    sizehints.min_aspect.y = sizehints.max_aspect.y = height;
    XSetWMNormalHints(x11_display, win, &sizehints);
    XResizeWindow(x11_display, win, width, height);
}
