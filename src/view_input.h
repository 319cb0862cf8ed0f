// What the person does in the video window: zoom (wheel, 1, f, +, -), pan
// (drag with the left button), the value under the pointer, and the keys s
// (save a picture) and c (show clipped pixels). Display thread only.
#pragma once

#include <X11/Xlib.h>

#include <atomic>

#include "zoom_view.h"

// Set by `s` in the video window, taken by the GTK thread, which opens the
// file chooser.
extern std::atomic<bool> save_picture_asked;

class ViewInput {
public:
    // Sizes of the surface on show and of the window.
    void set_sizes(int surface_w, int surface_h, int win_w, int win_h);
    // A new image size: back to fit.
    void reset() { zoom_ = Zoom{}; }
    // Handles an input event of the window; true when the picture must be
    // drawn again.
    bool handle(const XEvent& event);
    ViewGeometry geometry() const { return view_geometry(zoom_, surface_w_, surface_h_, win_w_, win_h_); }
    // Reads the pixel under the pointer afresh (after a redraw, a move) and
    // publishes it; nothing while the pointer is outside the picture.
    void publish_reading() const;

private:
    // The pointer is in the window at (x, y): its reading is published.
    void pointer_at(int x, int y);

    bool key(XKeyEvent key);
    void zoom_to(double scale, int px, int py);
    double current_scale() const;

    Zoom zoom_;
    int surface_w_ = 0, surface_h_ = 0, win_w_ = 1, win_h_ = 1;
    bool pointer_in_ = false;
    int pointer_x_ = 0, pointer_y_ = 0;
    bool dragging_ = false;
    int drag_x_ = 0, drag_y_ = 0;
    Zoom drag_start_;
};
