// The value under the pointer in the video window: read by the display
// thread, shown by the status area on the GTK thread, crossing in a small
// locked snapshot. Each function says its thread.
#pragma once

#include <mutex>
#include <string>

#include "zebapi.h"

struct PixelReading {
    bool shown = false;  // the pointer is over the picture
    int x = 0, y = 0;    // sensor pixel, in the frame's own region
    unsigned raw = 0, bits = 0;
    bool colour = false;  // r, g, b hold the colour output's pixel
    unsigned r = 0, g = 0, b = 0;
};

// "Pixel 812, 433: 2471 of 4095 (12 bit)", with ", RGB 10 20 30" added in
// colour; "" when nothing is shown. Pure.
std::string pixel_text(const PixelReading& reading);

// Sample (x, y) of a frame, and the bits it has; false outside the frame or
// without data. Pure: the caller holds what keeps frame.bp alive.
bool frame_sample(const CQGETFRAMEEX& frame, int x, int y, unsigned* value, unsigned* bits);

// The latest reading. Display thread writes, GTK thread reads.
class SharedReading {
public:
    void set(const PixelReading& reading) {
        std::lock_guard<std::mutex> lock(mutex_);
        reading_ = reading;
    }
    PixelReading get() const {
        std::lock_guard<std::mutex> lock(mutex_);
        return reading_;
    }

private:
    mutable std::mutex mutex_;
    PixelReading reading_;
};

extern SharedReading pixel_under_pointer;
