// Input of the video window. Display thread only: it reads lps->sbmp, which
// that thread owns, and the frame under frame_mutex.
#include "view_input.h"

#include <X11/Xutil.h>
#include <X11/keysym.h>

#include <cmath>
#include <mutex>

#include "frame_handover.h"
#include "picture_options.h"
#include "pixel_reading.h"
#include "setup.h"

std::atomic<bool> save_picture_asked{false};

namespace {

constexpr double kKeyStep = 2.0;
const double kWheelStep = std::sqrt(2.0);

}  // namespace

void ViewInput::set_sizes(int surface_w, int surface_h, int win_w, int win_h) {
    surface_w_ = surface_w;
    surface_h_ = surface_h;
    win_w_ = win_w > 0 ? win_w : 1;
    win_h_ = win_h > 0 ? win_h : 1;
    zoom_ = clamp_zoom(zoom_, surface_w_, surface_h_, win_w_, win_h_);
}

double ViewInput::current_scale() const {
    return zoom_.scale > 0 ? zoom_.scale : fit_scale(surface_w_, surface_h_, win_w_, win_h_);
}

void ViewInput::zoom_to(double scale, int px, int py) {
    zoom_ = zoom_about(zoom_, scale, px, py, surface_w_, surface_h_, win_w_, win_h_);
}

bool ViewInput::key(XKeyEvent key) {
    KeySym sym = NoSymbol;
    char text[8];
    XLookupString(&key, text, sizeof text, &sym, nullptr);
    const int cx = win_w_ / 2, cy = win_h_ / 2;
    switch (sym) {
        case XK_1: case XK_KP_1: zoom_to(1.0, cx, cy); return true;
        case XK_f: zoom_ = Zoom{}; return true;
        case XK_plus: case XK_equal: case XK_KP_Add: zoom_to(current_scale() * kKeyStep, cx, cy); return true;
        case XK_minus: case XK_KP_Subtract: zoom_to(current_scale() / kKeyStep, cx, cy); return true;
        case XK_s: save_picture_asked = true; return false;
        case XK_c: show_clipped_pixels = !show_clipped_pixels; return true;
        default: return false;
    }
}

bool ViewInput::handle(const XEvent& event) {
    switch (event.type) {
        case KeyPress: return key(event.xkey);
        case ButtonPress:
            if (event.xbutton.button == Button4 || event.xbutton.button == Button5) {
                const double step = event.xbutton.button == Button4 ? kWheelStep : 1 / kWheelStep;
                zoom_to(current_scale() * step, event.xbutton.x, event.xbutton.y);
                return true;
            }
            if (event.xbutton.button == Button1) {
                dragging_ = true;
                drag_x_ = event.xbutton.x;
                drag_y_ = event.xbutton.y;
                drag_start_ = zoom_;
            }
            return false;
        case ButtonRelease:
            if (event.xbutton.button == Button1) dragging_ = false;
            return false;
        case MotionNotify:
            pointer_at(event.xmotion.x, event.xmotion.y);
            if (!dragging_) return false;
            zoom_ = pan(drag_start_, pointer_x_ - drag_x_, pointer_y_ - drag_y_, surface_w_, surface_h_, win_w_,
                        win_h_);
            return true;
        case EnterNotify:
            pointer_at(event.xcrossing.x, event.xcrossing.y);
            return false;
        case LeaveNotify:
            pointer_in_ = false;
            publish_reading();
            return false;
    }
    return false;
}

void ViewInput::pointer_at(int x, int y) {
    pointer_in_ = true;
    pointer_x_ = x;
    pointer_y_ = y;
    publish_reading();
}

void ViewInput::publish_reading() const {
    PixelReading reading;
    int x = 0, y = 0;
    if (pointer_in_ && surface_w_ > 0 && pixel_at(geometry(), pointer_x_, pointer_y_, &x, &y)) {
        reading.x = x;
        reading.y = y;
        {
            std::lock_guard<std::mutex> lock(frame_mutex);
            reading.shown = frame_sample(lps->gf, x, y, &reading.raw, &reading.bits);
        }
        const CQGETBITMAP& bitmap = lps->sbmp;
        if (reading.shown && lps->color && bitmap.bp && unsigned(x) < bitmap.w && unsigned(y) < bitmap.h) {
            const BYTE* bgrx = bitmap.bp + (size_t(y) * bitmap.w + size_t(x)) * 4;
            reading.colour = true;
            reading.b = bgrx[0];
            reading.g = bgrx[1];
            reading.r = bgrx[2];
        }
    }
    pixel_under_pointer.set(reading);
}
