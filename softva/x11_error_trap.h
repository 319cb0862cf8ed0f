// Threads: any.  Traps are serialised process-wide, because Xlib has one error
// handler per process.
// Catches X errors of one request kind on one connection while it is alive,
// e.g. XShmAttach refused by a remote server, and passes every other error
// on to the handler that was installed before.  The previous handler is put
// back when the trap ends, so the program's own handler is left as it was.
#pragma once

#include <X11/Xlib.h>

#include <mutex>

namespace softva {

class X11ErrorTrap {
public:
    X11ErrorTrap(Display* display, int major_opcode, int minor_opcode);
    ~X11ErrorTrap();
    X11ErrorTrap(const X11ErrorTrap&) = delete;
    X11ErrorTrap& operator=(const X11ErrorTrap&) = delete;

    // Waits for the server to answer everything sent so far (XSync keeps queued
    // events) and reports whether a trapped error arrived.
    bool sync_and_check();

private:
    std::unique_lock<std::mutex> lock_;
    Display* display_ = nullptr;
    XErrorHandler previous_ = nullptr;
};

}  // namespace softva
