// sensor_modes.cpp - mode table, region checks and timing.  Pure: any thread.
#include "sensor_modes.h"

#include <algorithm>
#include <array>
#include <cstdio>

namespace zebsim {
namespace {

constexpr std::array<SensorMode, kModeCount> kModes{{
    {1280, 1024, 1, 12, 0, 0},
    {1280, 1024, 1, 8, 0, 0},
    {640, 512, 2, 12, 0, 0},
    {1280, 720, 1, 12, 0, (1024 - 720) / 2},
}};

constexpr double kFullFrameReadoutS = 0.008;
// Keeps a tiny region from asking for a frame every few microseconds.
constexpr double kMinimumPeriodS = 0.0005;

}  // namespace

std::optional<SensorMode> sensor_mode(uint32_t index) {
    if (index >= kModes.size()) return std::nullopt;
    return kModes[index];
}

std::string mode_description(uint32_t index) {
    auto mode = sensor_mode(index);
    if (!mode) return {};
    const char* kind = mode->bin > 1 ? "2x2 binning" : (mode->height == kSensorHeight ? "full frame" : "centre crop");
    char text[96];
    std::snprintf(text, sizeof text, "%u x %u, %u bit, %s", mode->width, mode->height, mode->bits, kind);
    return text;
}

std::optional<Region> resolve_region(const SensorMode& mode, SensorKind sensor, Region r) {
    if (r.x0 == 0 && r.y0 == 0 && r.cx == 0 && r.cy == 0) return Region{0, 0, mode.width, mode.height};
    // 64-bit sums: x0 + cx must not wrap around.
    if (uint64_t{r.x0} + r.cx > mode.width || uint64_t{r.y0} + r.cy > mode.height) return std::nullopt;
    // A Bayer sensor reads whole 2x2 cells: starts and sizes round down to
    // even, which keeps a region that fits inside the mode.
    if (sensor != SensorKind::mono) {
        r.x0 &= ~1u;
        r.y0 &= ~1u;
        r.cx &= ~1u;
        r.cy &= ~1u;
    }
    if (r.cx == 0 || r.cy == 0) return std::nullopt;
    return r;
}

FrameTiming frame_timing(uint32_t exposure_us, uint32_t rows_read) {
    FrameTiming t;
    t.readout_s = kFullFrameReadoutS * rows_read / kSensorHeight;
    t.exposure_s = exposure_us * 1e-6;
    t.period_s = std::max({t.exposure_s, t.readout_s, kMinimumPeriodS});
    return t;
}

}  // namespace zebsim
