// frame_facts.h - how the GenICam library describes a frame to its callers
// (CQGETFRAMEEX, mosaic codes, the colour pipeline's view).  Pure functions:
// any thread.
#pragma once

#include <zebapi.h>

#include <cstdint>

#include "frame_exchange.h"
#include "pixel_layout.h"

namespace genicam {

// What the receive thread knows about a frame when it copies it.
struct FrameInfo {
    uint32_t width = 0, height = 0;  // as shown: the buffer's own size (less GR/GB's dropped columns)
    uint32_t x0 = 0, y0 = 0;         // the buffer's own offsets
    PixelLayout layout{8, 1, Mosaic::mono, 0, std::nullopt, std::nullopt};
    uint32_t binning = 1;
    uint32_t mode_width = 0, mode_height = 0;
    uint32_t frame_number = 0;  // widened id, low 32 bits
};

zebcommon::FrameFacts describe_frame(const FrameInfo& info);

}  // namespace genicam
