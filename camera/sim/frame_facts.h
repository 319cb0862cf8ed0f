// frame_facts.h - how the simulated camera describes a frame to its callers
// (CQGETFRAMEEX, mosaic codes, the colour pipeline's view).  Pure functions:
// any thread.
#pragma once

#include <zebapi.h>

#include <cstdint>

#include "environment.h"
#include "frame_exchange.h"
#include "sensor_modes.h"

namespace zebsim {

// What the producer knows about a frame when it renders it.
struct FrameInfo {
    uint32_t mode_index = 0;
    SensorMode mode{};
    Region region{};
    SensorKind sensor = SensorKind::rggb;
    uint32_t frame_number = 0;
};

zebcommon::FrameFacts describe_frame(const FrameInfo& info);

}  // namespace zebsim
