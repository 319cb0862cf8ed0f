// scene.cpp - scene rendering.  A SceneRenderer belongs to one producer
// thread; the noise table is built once and only read afterwards.
#include "scene.h"

#include "cpu_features.h"
#include "scene_expose.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace zebsim {
namespace {

constexpr double kBackground = 0.18;
constexpr double kDarkBand = 0.08;
constexpr Rgb kDiscColour{1.0, 0.5, 0.1};
constexpr double kDiscPeriodS = 4.0;

// Noise: a fixed table read from a per-row pseudo-random offset, so each
// frame's noise differs at the cost of a copy.
constexpr uint32_t kNoiseMask = 65535;
constexpr uint32_t kNoiseLength = kNoiseMask + 1 + kMaxSensorSide;

const std::vector<int16_t>& noise_table() {
    static const std::vector<int16_t> table = [] {
        std::vector<int16_t> t(kNoiseLength);
        uint32_t state = 12345;
        for (auto& v : t) {
            int sum = 0;  // sum of four uniforms: roughly Gaussian, sigma about 6
            for (int k = 0; k < 4; ++k) {
                state = state * 1664525u + 1013904223u;
                sum += static_cast<int>(state >> 28);  // 0..15
            }
            v = static_cast<int16_t>(sum - 30);
        }
        return t;
    }();
    return table;
}

uint32_t mix(uint32_t a, uint32_t b) {
    uint32_t h = a * 0x9E3779B1u ^ (b + 0x7F4A7C15u) * 0x85EBCA77u;
    h ^= h >> 15;
    h *= 0x2C1B3C6Du;
    h ^= h >> 13;
    return h;
}

// Horizontal bands of the scene; inside one, the content depends on u only.
enum class Band { background, patches, ramp, dark, count };
constexpr double kDarkV0 = 0.64, kDarkV1 = 0.98;

Band band_at(double v) {
    if (v >= patch_rect(0).v0 && v < patch_rect(0).v1) return Band::patches;
    if (v >= kRampRect.v0 && v < kRampRect.v1) return Band::ramp;
    if (v >= kDarkV0 && v < kDarkV1) return Band::dark;
    return Band::background;
}

// Reflectance of the static scene at sensor-normalised u inside a band.
Rgb reflectance(Band band, double u) {
    constexpr Rgb background{kBackground, kBackground, kBackground};
    switch (band) {
        case Band::patches:
            for (int i = 0; i < kPatchCount; ++i)
                if (u >= patch_rect(i).u0 && u < patch_rect(i).u1) return kPatchColours[i];
            return background;
        case Band::ramp:
            if (u >= kRampRect.u0 && u < kRampRect.u1) {
                double level = (u - kRampRect.u0) / (kRampRect.u1 - kRampRect.u0);
                return {level, level, level};
            }
            return background;
        case Band::dark: return {kDarkBand, kDarkBand, kDarkBand};
        default: return background;
    }
}

Rgb lit(const Rgb& c) { return {c.r * kIlluminant.r, c.g * kIlluminant.g, c.b * kIlluminant.b}; }

void expose_frame8(const std::vector<std::vector<uint16_t>>& rows, const uint32_t* row_of_line, uint32_t w, uint32_t h,
                   uint32_t scale_q8, uint32_t seed, uint8_t* out) {
    const int16_t* noise = noise_table().data();
    const auto row = expose_row_kernels().to8;
    for (uint32_t y = 0; y < h; ++y)
        row(rows[row_of_line[y]].data(), noise + (mix(seed, y) & kNoiseMask), scale_q8, w, out + size_t{y} * w);
}

void expose_frame16(const std::vector<std::vector<uint16_t>>& rows, const uint32_t* row_of_line, uint32_t w, uint32_t h,
                    uint32_t scale_q8, uint32_t seed, uint16_t* out) {
    const int16_t* noise = noise_table().data();
    const auto row = expose_row_kernels().to16;
    for (uint32_t y = 0; y < h; ++y)
        row(rows[row_of_line[y]].data(), noise + (mix(seed, y) & kNoiseMask), scale_q8, w, out + size_t{y} * w);
}

}  // namespace

const ExposeRowKernels& expose_row_kernels() {
    static const ExposeRowKernels kernels = [] {
        if (tolmirex::simd_level() >= tolmirex::SimdLevel::avx2) return ExposeRowKernels{expose_row8_avx2, expose_row16_avx2};
        return ExposeRowKernels{[](const uint16_t* scene, const int16_t* noise, uint32_t scale_q8, uint32_t n,
                                   uint8_t* out) { expose_row(scene, noise, scale_q8, n, out); },
                                [](const uint16_t* scene, const int16_t* noise, uint32_t scale_q8, uint32_t n,
                                   uint16_t* out) { expose_row(scene, noise, scale_q8, n, out); }};
    }();
    return kernels;
}

double signal_scale(uint32_t exposure_us, double gain_db) {
    return exposure_us / kReferenceExposureUs * std::pow(10.0, gain_db / 20.0);
}

SceneRenderer::SceneRenderer(SensorSize sensor_size, const SensorMode& mode, const Region& region, SensorKind sensor)
    : sensor_size_(sensor_size), mode_(mode), region_(region), sensor_(sensor), row_of_line_(region.cy) {
    noise_table();  // build it here, not inside the first frame
    constexpr uint32_t kNoRow = ~0u;
    uint32_t row_for[static_cast<int>(Band::count)][2];
    for (auto& phases : row_for) phases[0] = phases[1] = kNoRow;
    for (uint32_t y = 0; y < region.cy; ++y) {
        // Centre of the output pixel on the sensor (a binned pixel covers bin x bin).
        const double sy = mode.sensor_y0 + (region.y0 + y + 0.5) * mode.bin;
        const Band band = band_at(sy / sensor_size.height);
        uint32_t& row = row_for[static_cast<int>(band)][y & 1];
        if (row == kNoRow) {
            row = static_cast<uint32_t>(rows_.size());
            std::vector<uint16_t>& samples = rows_.emplace_back(region.cx);
            for (uint32_t x = 0; x < region.cx; ++x) {
                const double sx = mode.sensor_x0 + (region.x0 + x + 0.5) * mode.bin;
                samples[x] = sample_at(lit(reflectance(band, sx / sensor_size.width)), x, y);
            }
        }
        row_of_line_[y] = row;
    }
}

bool SceneRenderer::matches(SensorSize sensor_size, const SensorMode& mode, const Region& region,
                            SensorKind sensor) const {
    return sensor_size == sensor_size_ && std::memcmp(&mode, &mode_, sizeof mode) == 0 &&
           std::memcmp(&region, &region_, sizeof region) == 0 && sensor == sensor_;
}

// The channel the mosaic puts at (x, y) of the region (which starts on an even
// sensor row and column), or luminance on a mono sensor.
uint16_t SceneRenderer::sample_at(const Rgb& light, uint32_t x, uint32_t y) const {
    double value;
    if (sensor_ == SensorKind::mono) {
        value = 0.30 * light.r + 0.59 * light.g + 0.11 * light.b;
    } else {
        bool odd_x = x & 1, odd_y = y & 1;
        if (odd_x != odd_y)
            value = light.g;
        else if (odd_x == (sensor_ == SensorKind::bggr))
            value = light.r;
        else
            value = light.b;
    }
    return static_cast<uint16_t>(std::clamp(value * kReferenceFullScale, 0.0, 4095.0));
}

void SceneRenderer::render(double time_s, double scale, uint32_t frame_seed, void* out) const {
    // Results clip at 4095 anyway, and the clamp keeps scene x scale in 32 bits.
    const uint32_t scale_q8 = static_cast<uint32_t>(std::clamp(scale, 0.0, 4095.0) * 256.0 + 0.5);
    if (mode_.bits == 8)
        expose_frame8(rows_, row_of_line_.data(), region_.cx, region_.cy, scale_q8, frame_seed,
                      static_cast<uint8_t*>(out));
    else
        expose_frame16(rows_, row_of_line_.data(), region_.cx, region_.cy, scale_q8, frame_seed,
                       static_cast<uint16_t*>(out));
    draw_disc(time_s, scale, out);
}

void SceneRenderer::draw_disc(double time_s, double scale, void* out) const {
    const double phase = 2.0 * M_PI * std::fmod(time_s, kDiscPeriodS) / kDiscPeriodS;
    const double centre_sx = sensor_size_.width * (0.5 + 0.38 * std::sin(phase));
    const double centre_sy = sensor_size_.height * 0.81;
    // Disc centre and radius in region pixels.
    const double cx = (centre_sx - mode_.sensor_x0) / mode_.bin - region_.x0 - 0.5;
    const double cy = (centre_sy - mode_.sensor_y0) / mode_.bin - region_.y0 - 0.5;
    const double r = kDiscRadiusPx * sensor_size_.width / 1280.0 / mode_.bin;
    const long x_begin = std::max(0L, static_cast<long>(std::floor(cx - r)));
    const long x_end = std::min(static_cast<long>(region_.cx), static_cast<long>(std::ceil(cx + r)) + 1);
    const long y_begin = std::max(0L, static_cast<long>(std::floor(cy - r)));
    const long y_end = std::min(static_cast<long>(region_.cy), static_cast<long>(std::ceil(cy + r)) + 1);
    if (x_begin >= x_end || y_begin >= y_end) return;

    uint16_t by_phase[2][2];  // the disc's sample for each mosaic position, at this exposure
    for (int py = 0; py < 2; ++py)
        for (int px = 0; px < 2; ++px)
            by_phase[py][px] = static_cast<uint16_t>(std::min(4095.0, sample_at(lit(kDiscColour), px, py) * scale));

    for (long y = y_begin; y < y_end; ++y) {
        const double dy = y - cy;
        for (long x = x_begin; x < x_end; ++x) {
            const double dx = x - cx;
            if (dx * dx + dy * dy > r * r) continue;
            const uint16_t v = by_phase[y & 1][x & 1];
            const size_t i = size_t(y) * region_.cx + size_t(x);
            if (mode_.bits == 8)
                static_cast<uint8_t*>(out)[i] = static_cast<uint8_t>(v >> 4);
            else
                static_cast<uint16_t*>(out)[i] = v;
        }
    }
}

}  // namespace zebsim
