// The X11 video window in which frames are presented. Display thread only.
#pragma once

#include <X11/Xlib.h>

// Creates, names and maps the window on x11_display; 0 when it cannot be created.
Window create_window(int width, int height);

// Gives the window a new size and locks its aspect ratio to that size.
void resize_window(Window win, int width, int height);

// The window manager's close request: the WM_DELETE_WINDOW atom that
// create_window registered with the window.
Atom delete_window_atom();

// Sets the window's name (its title) from a text.
void set_window_name(Window win, const char* name);
