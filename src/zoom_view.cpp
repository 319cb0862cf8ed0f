// Zoom arithmetic, pure. Any thread.
#include "zoom_view.h"

#include <algorithm>
#include <cmath>
#include <cstdint>

namespace {

struct Axis {
    int source_at, source_len, dest_at, dest_len;
};

// One axis: the whole surface on the whole window when it fits, else the
// source pixels covering the window at `scale` around `centre`.
Axis axis(double scale, double centre, int surface, int win) {
    if (scale <= 0 || win / scale >= surface) return {0, surface, 0, win};
    const int len = std::clamp(int(std::ceil(win / scale - 1e-9)), 1, surface);
    const int at = std::clamp(int(std::lround(centre - len / 2.0)), 0, surface - len);
    return {at, len, 0, int(std::lround(len * scale))};
}

}  // namespace

double fit_scale(int surface_w, int surface_h, int win_w, int win_h) {
    if (surface_w <= 0 || surface_h <= 0) return 1;
    return std::min(double(win_w) / surface_w, double(win_h) / surface_h);
}

Zoom clamp_zoom(Zoom zoom, int surface_w, int surface_h, int win_w, int win_h) {
    const double fit = fit_scale(surface_w, surface_h, win_w, win_h);
    if (zoom.scale <= fit * (1 + 1e-9)) return {0, surface_w / 2.0, surface_h / 2.0};
    zoom.scale = std::min(zoom.scale, std::max(kMaxZoom, fit));
    // The centre stays where a view around it stays inside the surface.
    const double half_w = std::min(win_w / zoom.scale, double(surface_w)) / 2;
    const double half_h = std::min(win_h / zoom.scale, double(surface_h)) / 2;
    zoom.centre_x = std::clamp(zoom.centre_x, half_w, surface_w - half_w);
    zoom.centre_y = std::clamp(zoom.centre_y, half_h, surface_h - half_h);
    return zoom;
}

ViewGeometry view_geometry(const Zoom& zoom, int surface_w, int surface_h, int win_w, int win_h) {
    const Axis x = axis(zoom.scale, zoom.centre_x, surface_w, win_w);
    const Axis y = axis(zoom.scale, zoom.centre_y, surface_h, win_h);
    return {{x.source_at, y.source_at, x.source_len, y.source_len}, {x.dest_at, y.dest_at, x.dest_len, y.dest_len}};
}

bool pixel_at(const ViewGeometry& view, int px, int py, int* sx, int* sy) {
    const ViewRect& s = view.source;
    const ViewRect& d = view.destination;
    if (px < d.x || py < d.y || px >= d.x + d.width || py >= d.y + d.height || d.width <= 0 || d.height <= 0)
        return false;
    *sx = s.x + int(int64_t(px - d.x) * s.width / d.width);
    *sy = s.y + int(int64_t(py - d.y) * s.height / d.height);
    return true;
}

Zoom zoom_about(const Zoom& zoom, double scale, int px, int py, int surface_w, int surface_h, int win_w, int win_h) {
    const ViewGeometry before = view_geometry(zoom, surface_w, surface_h, win_w, win_h);
    const ViewRect& d = before.destination;
    px = std::clamp(px, d.x, d.x + d.width - 1);
    py = std::clamp(py, d.y, d.y + d.height - 1);
    int sx = 0, sy = 0;
    pixel_at(before, px, py, &sx, &sy);
    Zoom next = clamp_zoom({scale, surface_w / 2.0, surface_h / 2.0}, surface_w, surface_h, win_w, win_h);
    if (next.scale <= 0) return next;
    // The view whose source starts where that pixel lands under the pointer
    // again, whole pixels apart: the pixel stays put, not just near.
    const ViewGeometry after = view_geometry(next, surface_w, surface_h, win_w, win_h);
    const ViewRect& s = after.source;
    const ViewRect& a = after.destination;
    next.centre_x = sx - int(int64_t(px - a.x) * s.width / a.width) + s.width / 2.0;
    next.centre_y = sy - int(int64_t(py - a.y) * s.height / a.height) + s.height / 2.0;
    return clamp_zoom(next, surface_w, surface_h, win_w, win_h);
}

Zoom pan(const Zoom& start, int dx, int dy, int surface_w, int surface_h, int win_w, int win_h) {
    if (start.scale <= 0) return start;
    Zoom next{start.scale, start.centre_x - dx / start.scale, start.centre_y - dy / start.scale};
    return clamp_zoom(next, surface_w, surface_h, win_w, win_h);
}
