// The X server going away. Xlib's own answer is to end the process from
// whichever thread noticed, so two threads can call exit() at once while the
// camera is still open. Every connection of the program (the display
// thread's, the worker's, the control panel's) reports it here instead: one
// line names the display, the worker is told to stop, and the threads unwind
// on their own; main then ends with status 1. Each function says which
// thread calls it.
#pragma once

#include <X11/Xlib.h>

// Main thread: makes Xlib's process-wide I/O error handler one that returns.
// GDK installs its own (which exits) in gtk_init, so call it again after that.
void install_x_io_error_handler();

// Main or display thread: a lost connection on `dpy` comes here instead of
// ending the process. Call it before another thread uses the connection.
void watch_x_connection(Display* dpy);

// Main thread, after gtk_init: the same for the control panel's connection.
void watch_toolkit_x_connection();

// Main thread: what to do once a connection is lost, besides stopping the
// worker (ending the control panel's main loop); run on the thread that
// noticed first, so it must be safe from any thread.
void on_x_connection_lost(void (*action)());

// Any thread: true once a connection was lost.
bool x_connection_lost();

// The thread that reads events from `dpy`: XNextEvent, but false instead of
// an event once the connection is lost (XNextEvent would read an empty queue).
bool next_x_event(Display* dpy, XEvent* event);
