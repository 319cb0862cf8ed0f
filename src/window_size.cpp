// The window-size rule. Pure; any thread.
#include "window_size.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstdlib>

namespace {

// Shrinks the larger side to the X limit, scaling the other with it, and
// makes each side at least one pixel (a thin region can round to zero).
WindowSize bounded_for_x(int64_t width, int64_t height) {
    if (width > MAX_WINDOW_SIDE && width >= height) {
        height = height * MAX_WINDOW_SIDE / width;
        width = MAX_WINDOW_SIDE;
    } else if (height > MAX_WINDOW_SIDE) {
        width = width * MAX_WINDOW_SIDE / height;
        height = MAX_WINDOW_SIDE;
    }
    return {static_cast<int>(std::clamp<int64_t>(width, 1, MAX_WINDOW_SIDE)),
            static_cast<int>(std::clamp<int64_t>(height, 1, MAX_WINDOW_SIDE))};
}

}  // namespace

WindowSize window_size_for(unsigned sw, unsigned sh, int max_w, int max_h, unsigned dpy_w, unsigned dpy_h) {
    if (max_w > 0 || max_h > 0) {
        // 64-bit products: the same result as 32-bit ones wherever those do
        // not overflow, and the right aspect for limits of any size. Equal
        // products make the window height-bound.
        const uint64_t mw = static_cast<uint64_t>(std::max(max_w, 0));
        const uint64_t mh = static_cast<uint64_t>(std::max(max_h, 0));
        const bool width_bound = max_h <= 0 || (max_w > 0 && mh * sw > mw * sh);
        if (width_bound) return bounded_for_x(max_w, sh * mw / sw);
        return bounded_for_x(sw * mh / sh, max_h);
    }

    WindowSize size{static_cast<int>(sw), static_cast<int>(sh)};
    while (size.width > 0.8 * dpy_w || size.height > 0.8 * dpy_h) {
        size.width /= 2;
        size.height /= 2;
    }
    return bounded_for_x(size.width, size.height);
}

WindowLimit read_window_limit(const char* text) {
    // glibc's atoi is strtol cast to int; spelt out, so a value beyond int's
    // range is read the same way without undefined behaviour.
    errno = 0;
    const long wide = strtol(text, nullptr, 10);
    const bool in_range = errno != ERANGE && wide > 0 && wide <= INT_MAX;
    bool digits = *text != '\0';
    for (const char* c = text; *c; ++c) digits = digits && isdigit(static_cast<unsigned char>(*c));
    return {static_cast<int>(wide), digits && in_range};
}
