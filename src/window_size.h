// The video window's size for a new image size. Pure; any thread.
#pragma once

struct WindowSize {
    int width, height;
};

// Fits the image (sw x sh) inside the limits max_w x max_h with its aspect
// ratio when either limit is positive; otherwise takes the image size halved
// until it fits within 80 % of the screen (dpy_w x dpy_h). The image must not
// be empty.
WindowSize window_size_for(unsigned sw, unsigned sh, int max_w, int max_h, unsigned dpy_w, unsigned dpy_h);
