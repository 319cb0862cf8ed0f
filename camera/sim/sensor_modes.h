// sensor_modes.h - the simulated sensor's read-out modes and the arithmetic of
// regions and frame timing.  Pure functions and constant data: any thread.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace zebsim {

enum class SensorKind { rggb, bggr, mono };

struct SensorMode {
    uint32_t width, height;   // full frame of the mode, output pixels
    uint32_t bin;             // binning factor in x and y
    uint32_t bits;            // significant bits per sample
    uint32_t sensor_x0, sensor_y0;  // where the mode's frame starts on the 1280x1024 sensor
};

inline constexpr uint32_t kSensorWidth = 1280;
inline constexpr uint32_t kSensorHeight = 1024;
inline constexpr uint32_t kModeCount = 4;

// nullopt past the last mode.
std::optional<SensorMode> sensor_mode(uint32_t index);
std::string mode_description(uint32_t index);

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
    double period_s;   // the sensor's frame period: max(exposure, read-out), floored
};

// Read-out is proportional to the rows read: a full 1024-row frame takes 8 ms.
FrameTiming frame_timing(uint32_t exposure_us, uint32_t rows_read);

}  // namespace zebsim
