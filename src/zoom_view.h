// Zoom and pan of the video window as pure arithmetic: which rectangle of
// the surface is shown, where it lands in the window, and which sensor pixel
// lies under a window point. Any thread.
#pragma once

struct ViewRect {
    int x, y, width, height;
};

// What the person asked for: screen pixels per sensor pixel (0 or anything
// at or below the fit scale: the whole picture fitted to the window) and the
// sensor point at the window's centre.
struct Zoom {
    double scale = 0;
    double centre_x = 0, centre_y = 0;
};

constexpr double kMaxZoom = 8.0;

// Scale at which the whole surface fits the window on both axes.
double fit_scale(int surface_w, int surface_h, int win_w, int win_h);

// The zoom limited to fit .. kMaxZoom; fit is stored as scale 0.
Zoom clamp_zoom(Zoom zoom, int surface_w, int surface_h, int win_w, int win_h);

// The part of the surface shown (clamped to it) and the window rectangle it
// is drawn to. Fitted, it is the whole surface on the whole window; zoomed,
// each axis shows the whole source pixels that cover the window at the
// scale, the last one possibly cut by the window's edge.
struct ViewGeometry {
    ViewRect source, destination;
};
ViewGeometry view_geometry(const Zoom& zoom, int surface_w, int surface_h, int win_w, int win_h);

// The sensor pixel drawn at window point (px, py); false outside the picture.
bool pixel_at(const ViewGeometry& view, int px, int py, int* sx, int* sy);

// New zoom at `scale` keeping the sensor point under window point (px, py)
// where it is.
Zoom zoom_about(const Zoom& zoom, double scale, int px, int py, int surface_w, int surface_h, int win_w, int win_h);

// Zoom moved by a drag of (dx, dy) window pixels from `start`: the picture
// follows the pointer.
Zoom pan(const Zoom& start, int dx, int dy, int surface_w, int surface_h, int win_w, int win_h);
