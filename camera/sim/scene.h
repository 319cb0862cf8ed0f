// scene.h - the picture the simulated sensor sees: colour patches under a
// tinted light, a grey ramp and a disc that moves with time.
//
// SceneRenderer is built and used by one camera's producer thread; the
// constexpr layout below is plain data for any thread (tests locate patches
// with it).
#pragma once

#include <cstdint>
#include <vector>

#include "sensor_modes.h"

namespace zebsim {

struct Rgb {
    double r, g, b;
};

// Layout in sensor-normalised coordinates (0..1 across the sensor, whatever
// its size).  Every feature spans whole rows' worth of bands in v, so a row's
// content depends on v only through the band it falls in.
struct SceneRect {
    double u0, v0, u1, v1;
};
inline constexpr int kPatchCount = 8;
inline constexpr Rgb kPatchColours[kPatchCount] = {
    {0.80, 0.05, 0.05},  // red
    {0.80, 0.75, 0.05},  // yellow
    {0.05, 0.70, 0.10},  // green
    {0.05, 0.65, 0.75},  // cyan
    {0.05, 0.10, 0.80},  // blue
    {0.75, 0.05, 0.70},  // magenta
    {0.90, 0.90, 0.90},  // white
    {0.45, 0.45, 0.45},  // grey
};
inline constexpr int kWhitePatch = 6;
inline constexpr SceneRect patch_rect(int index) {
    const double cell = 0.92 / kPatchCount;
    const double u0 = 0.04 + cell * index;
    return {u0 + cell * 0.1, 0.08, u0 + cell * 0.9, 0.34};
}
inline constexpr SceneRect kRampRect{0.04, 0.42, 0.96, 0.56};

// The light is greenish: raw green is stronger than red and blue, so white
// balance has visible work to do.
inline constexpr Rgb kIlluminant{0.55, 1.0, 0.70};

// 12-bit sample of a fully reflecting, fully lit channel at 10 ms and 0 dB.
inline constexpr double kReferenceFullScale = 3600.0;
inline constexpr double kReferenceExposureUs = 10000.0;

// exposure x 10^(gain/20), relative to the reference exposure.
double signal_scale(uint32_t exposure_us, double gain_db);

// The disc's radius on a 1280-pixel-wide sensor; it grows with the sensor.
inline constexpr double kDiscRadiusPx = 70.0;

class SceneRenderer {
public:
    SceneRenderer(SensorSize sensor_size, const SensorMode& mode, const Region& region, SensorKind sensor);

    bool matches(SensorSize sensor_size, const SensorMode& mode, const Region& region, SensorKind sensor) const;

    // One frame into out (region cx*cy samples, 1 byte each when the mode has
    // 8 bits, else 16-bit little-endian holding 12 bits).
    void render(double time_s, double scale, uint32_t frame_seed, void* out) const;

private:
    uint16_t sample_at(const Rgb& lit, uint32_t x, uint32_t y) const;
    void draw_disc(double time_s, double scale, void* out) const;

    SensorSize sensor_size_;
    SensorMode mode_;
    Region region_;
    SensorKind sensor_;
    // The static scene at the reference exposure, disc excluded, as a few
    // distinct rows (one per band and mosaic row phase) and, for every row of
    // the region, which of them it shows: a frame costs its own writes only.
    std::vector<std::vector<uint16_t>> rows_;
    std::vector<uint32_t> row_of_line_;
};

}  // namespace zebsim
