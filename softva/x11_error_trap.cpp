// Threads: any (see x11_error_trap.h).
#include "x11_error_trap.h"

#include <atomic>

namespace softva {
namespace {

// Guards the process-wide handler swap: one trap at a time.
std::mutex g_trap_mutex;
// What the trap catches.  Atomic because the handler runs in whichever thread
// reads the error off the connection, which need not hold g_trap_mutex.
std::atomic<Display*> g_trap_display{nullptr};
std::atomic<int> g_trap_major{0}, g_trap_minor{0};
std::atomic<XErrorHandler> g_previous_handler{nullptr};
std::atomic<bool> g_trapped{false};

int trapping_handler(Display* display, XErrorEvent* error) {
    if (display == g_trap_display && error->request_code == g_trap_major && error->minor_code == g_trap_minor) {
        g_trapped.store(true);
        return 0;
    }
    const XErrorHandler previous = g_previous_handler.load();
    return previous != nullptr ? previous(display, error) : 0;
}

}  // namespace

X11ErrorTrap::X11ErrorTrap(Display* display, int major_opcode, int minor_opcode) : lock_(g_trap_mutex) {
    XSync(display, False);  // earlier errors belong to whoever caused them
    display_ = display;
    g_trap_display = display;
    g_trap_major = major_opcode;
    g_trap_minor = minor_opcode;
    g_trapped.store(false);
    // Until XSetErrorHandler returns, errors still reach the old handler itself.
    previous_ = XSetErrorHandler(trapping_handler);
    g_previous_handler = previous_;
}

X11ErrorTrap::~X11ErrorTrap() {
    XSync(display_, False);
    XSetErrorHandler(previous_);
    g_trap_display = nullptr;
    g_previous_handler = nullptr;
}

bool X11ErrorTrap::sync_and_check() {
    XSync(display_, False);
    return g_trapped.load();
}

}  // namespace softva
