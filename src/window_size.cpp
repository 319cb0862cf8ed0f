// The window-size rule. Pure; any thread.
#include "window_size.h"

#include <cstdint>

WindowSize window_size_for(unsigned sw, unsigned sh, int max_w, int max_h, unsigned dpy_w, unsigned dpy_h)
{
    if (max_w > 0 || max_h > 0) {
        // Products and quotients in 32-bit unsigned arithmetic; equal
        // products make the window height-bound.
        const uint32_t mw = static_cast<uint32_t>(max_w), mh = static_cast<uint32_t>(max_h);
        const bool width_bound = max_h <= 0 || (max_w > 0 && mh * sw > mw * sh);
        if (width_bound)
            return {max_w, static_cast<int>(uint32_t(sh) * mw / sw)};
        return {static_cast<int>(uint32_t(sw) * mh / sh), max_h};
    }

    WindowSize size{static_cast<int>(sw), static_cast<int>(sh)};
    while (size.width > 0.8 * dpy_w || size.height > 0.8 * dpy_h) {
        size.width /= 2;
        size.height /= 2;
    }
    return size;
}
