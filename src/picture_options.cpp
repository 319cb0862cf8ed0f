// See picture_options.h.
#include "picture_options.h"

std::atomic<bool> show_clipped_pixels{false};
