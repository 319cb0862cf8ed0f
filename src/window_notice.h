// The sentence the video window shows while it has no picture: light text
// on a dark background of its own, wrapped to the window's width. Display
// thread only, on x11_display.
#pragma once

#include <X11/Xlib.h>

#include <string>

// Fills the window with the background and draws text on it ("" leaves the
// background alone).
void draw_window_notice(Window win, int width, int height, const std::string& text);
