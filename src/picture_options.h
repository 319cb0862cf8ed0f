// What the person asked of the picture on show, shared by the threads that
// act on it. Any thread.
#pragma once

#include <atomic>

// Pixels at full scale painted red and at zero blue, in the frame upload's
// conversion: the panel's "Show clipped pixels" and the video window's `c`.
extern std::atomic<bool> show_clipped_pixels;
