// sensor_modes.h - the simulated sensor's read-out modes and the arithmetic of
// regions and frame timing.  Pure functions and constant data: any thread.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "mosaic.h"

namespace zebsim {

// The sensor's mosaic, in the camera libraries' one mosaic type.
using SensorKind = colour::Mosaic;

// The sensor's full frame in pixels (ZEBSIM_SENSOR_SIZE); both sides even.
struct SensorSize {
    uint32_t width = 1280, height = 1024;
    bool operator==(const SensorSize&) const = default;
};
inline constexpr uint32_t kMinSensorSide = 16;
inline constexpr uint32_t kMaxSensorSide = 8192;

struct SensorMode {
    uint32_t width, height;         // full frame of the mode, output pixels
    uint32_t bin;                   // binning factor in x and y
    uint32_t bits;                  // significant bits per sample
    uint32_t sensor_x0, sensor_y0;  // where the mode's frame starts on the sensor
};

// The modes follow from the sensor size: 12-bit full frame, 8-bit full frame,
// 2x2 binning, and a centred crop of another aspect (16:9 from a taller
// sensor, 4:3 from a wider one).  nullopt past the last mode.
std::optional<SensorMode> sensor_mode(SensorSize sensor, uint32_t index);
std::string mode_description(SensorSize sensor, uint32_t index);

// A region inside a mode's frame; all zero in a request means the full frame.
struct Region {
    uint32_t x0 = 0, y0 = 0, cx = 0, cy = 0;
};

// The region actually read out, or nullopt when the request does not fit the
// mode.  Bayer sensors round starts and sizes down to even, so the region
// starts on the sensor's own mosaic phase (CQMOSAIC has no GRBG/GBRG to
// report otherwise) and holds whole 2x2 cells.
std::optional<Region> resolve_region(const SensorMode& mode, SensorKind sensor, Region requested);

struct FrameTiming {
    double readout_s;  // time to read the region's rows
    double exposure_s;
    double period_s;  // the sensor's frame period: max(exposure, read-out), floored
};

// How fast the sensor may go: its read-out speed and a cap on its frame rate.
struct SensorPace {
    bool fast_readout = false;  // 2 ms per 1024 rows (a modern global shutter) instead of 8 ms
    double max_frame_rate = 0;  // frames a second at most; 0: bounded by exposure and read-out only
};

// Read-out is proportional to the rows read: 1024 rows take 8 ms (2 ms when
// fast), whatever the sensor's size.
FrameTiming frame_timing(uint32_t exposure_us, uint32_t rows_read, const SensorPace& pace = {});

}  // namespace zebsim
