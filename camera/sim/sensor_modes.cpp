// sensor_modes.cpp - mode table, region checks and timing.  Pure: any thread.
#include "sensor_modes.h"

#include <algorithm>
#include <cstdio>

namespace zebsim {
namespace {

constexpr double kReadoutPer1024RowsS = 0.008, kFastReadoutPer1024RowsS = 0.002;
// Keeps a tiny region from asking for a frame every few microseconds.
constexpr double kMinimumPeriodS = 0.0005;

}  // namespace

std::optional<SensorMode> sensor_mode(SensorSize sensor, uint32_t index) {
    const uint32_t w = sensor.width, h = sensor.height;
    switch (index) {
        case 0: return SensorMode{w, h, 1, 12, 0, 0};
        case 1: return SensorMode{w, h, 1, 8, 0, 0};
        case 2: return SensorMode{w / 2, h / 2, 2, 12, 0, 0};
        case 3: {
            // Even sides and even offsets keep the crop on the mosaic's phase.
            const uint32_t wide_h = uint32_t(uint64_t{w} * 9 / 16) & ~1u;
            if (wide_h < h) return SensorMode{w, wide_h, 1, 12, 0, ((h - wide_h) / 2) & ~1u};
            const uint32_t narrow_w = uint32_t(uint64_t{h} * 4 / 3) & ~1u;
            return SensorMode{narrow_w, h, 1, 12, ((w - narrow_w) / 2) & ~1u, 0};
        }
        default: return std::nullopt;
    }
}

std::string mode_description(SensorSize sensor, uint32_t index) {
    auto mode = sensor_mode(sensor, index);
    if (!mode) return {};
    const bool full = mode->width == sensor.width && mode->height == sensor.height;
    const char* kind = mode->bin > 1 ? "2x2 binning" : (full ? "full frame" : "centre crop");
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

FrameTiming frame_timing(uint32_t exposure_us, uint32_t rows_read, const SensorPace& pace) {
    FrameTiming t;
    t.readout_s = (pace.fast_readout ? kFastReadoutPer1024RowsS : kReadoutPer1024RowsS) * rows_read / 1024.0;
    t.exposure_s = exposure_us * 1e-6;
    const double capped = pace.max_frame_rate > 0 ? 1.0 / pace.max_frame_rate : 0.0;
    t.period_s = std::max({t.exposure_s, t.readout_s, capped, kMinimumPeriodS});
    return t;
}

}  // namespace zebsim
