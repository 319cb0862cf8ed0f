// The video window's size for a new image size. Pure; any thread.
#pragma once

struct WindowSize {
    int width, height;
};

// X windows are at most this many pixels on a side, and at least one.
constexpr int MAX_WINDOW_SIDE = 32767;

// Fits the image (sw x sh) inside the limits max_w x max_h with its aspect
// ratio when either limit is positive; otherwise takes the image size halved
// until it fits within 80 % of the screen (dpy_w x dpy_h). The result is then
// bounded to what X allows, 1 to MAX_WINDOW_SIDE a side, with the aspect kept
// as far as whole pixels allow. The image must not be empty.
WindowSize window_size_for(unsigned sw, unsigned sh, int max_w, int max_h, unsigned dpy_w, unsigned dpy_h);

// A window limit as WIN_WIDTH or WIN_HEIGHT gives it: read as atoi reads it,
// and whether the text was a plain positive whole number within int's range,
// so that any other text can be told how it was read.
struct WindowLimit {
    int value;
    bool plain;
};
WindowLimit read_window_limit(const char* text);
