// environment.h - the simulator's ZEBSIM_* environment variables.  Reading
// is a thin shell over pure parsers; any thread (getenv only, no setenv).
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "sensor_modes.h"

namespace zebsim {

struct GainRange {
    float min_db = 0.0f, max_db = 24.0f;
};

struct Environment {
    uint32_t cameras = 1;                  // ZEBSIM_CAMERAS
    SensorKind sensor = SensorKind::rggb;  // ZEBSIM_SENSOR
    SensorSize sensor_size;                // ZEBSIM_SENSOR_SIZE "WxH"
    uint32_t drop_every = 0;               // ZEBSIM_DROP: every n-th frame lost at the sensor; 0 = none
    GainRange gain;                        // ZEBSIM_GAIN_RANGE "min:max"
    long inputs = -1;                      // ZEBSIM_INPUTS: fixed levels, -1 = moving
    std::string faults;                    // ZEBSIM_FAULTS
    SensorPace pace;                       // ZEBSIM_FRAME_RATE (frames a second, at most), ZEBSIM_READOUT=fast
};

inline constexpr uint32_t kMaxCameras = 8;

std::optional<SensorKind> parse_sensor(const std::string& text);
// "WxH", both even and within kMinSensorSide..kMaxSensorSide.
std::optional<SensorSize> parse_sensor_size(const std::string& text);
std::optional<GainRange> parse_gain_range(const std::string& text);
std::optional<long> parse_unsigned(const std::string& text);
// A frame rate in frames a second: a positive number up to 100000.
std::optional<double> parse_frame_rate(const std::string& text);

Environment read_environment();
uint32_t camera_count();  // ZEBSIM_CAMERAS alone, re-read on every call

}  // namespace zebsim
