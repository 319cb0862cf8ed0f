// colour_pipeline.cpp - see colour_pipeline.h.  Colour images go row by row
// through the integer SIMD kernels (colour_rows.h), with the border columns in
// the same arithmetic done scalar; rows whose settings would overflow 16-bit
// lanes take the float path.  Threads: as colour_pipeline.h says.
#include "colour_pipeline.h"

#include <algorithm>
#include <cmath>
#include <vector>

#include "colour_rows.h"

namespace colour {
namespace {

// Colour image: each row from the integer kernels where its depth class is
// usable, else from the float path.  16-bit rows pick their class from the
// largest sample of the three rows they read.
void demosaic(const RawImage& raw, const detail::FixedSet& fixed, const detail::FloatCoefficients& floating,
              uint32_t* bgrx, long first_row, long end_row) {
    const long w = raw.width, h = raw.height;
    const size_t row_bytes = size_t(w) * raw.bytes_per_sample;
    const auto* base = static_cast<const uint8_t*>(raw.data);
    auto row_at = [&](long y) { return base + size_t(detail::reflect101(y, h)) * row_bytes; };
    auto row_or = [&](long y) {
        return raw.bytes_per_sample == 1 ? 0u : detail::or_of_samples(reinterpret_cast<const uint16_t*>(row_at(y)), w);
    };
    const detail::RowKernel kernel = detail::best_row_kernel();
    // Rolling ORs of rows y-1, y, y+1, so each row is scanned once.
    uint32_t or_up = row_or(first_row - 1), or_row = row_or(first_row), or_down = row_or(first_row + 1);
    for (long y = first_row; y < end_row; ++y) {
        if (y > first_row) {
            or_up = or_row;
            or_row = or_down;
            or_down = row_or(y + 1);
        }
        uint32_t* out = bgrx + size_t(y) * w;
        const detail::FixedClass& fc =
            raw.bytes_per_sample == 1 ? fixed.for_8bit() : fixed.for_16bit(or_up | or_row | or_down);
        if (!fc.usable) {
            detail::float_row(raw.data, raw.bytes_per_sample, w, h, y, floating, out);
            continue;
        }
        const detail::RowJob job{row_at(y - 1), row_at(y), row_at(y + 1), raw.bytes_per_sample, w, (y & 1) == 0,
                                 &fc,           out};
        const long end = kernel(job);
        detail::scalar_pixels(job, 0, std::min(2L, w));
        detail::scalar_pixels(job, end, w);
    }
}

template <typename T>
void mono_image(const T* data, size_t n, float gain, float offset, uint32_t* out) {
    for (size_t i = 0; i < n; ++i) {
        float v = data[i] * gain + offset;
        v = v < 0.f ? 0.f : v;
        v = v > 255.f ? 255.f : v;
        const uint32_t g = static_cast<uint32_t>(static_cast<int32_t>(v));
        out[i] = g | g << 8 | g << 16;
    }
}

void apply_gamma(const std::array<uint8_t, 256>& lut, uint32_t* bgrx, size_t n) {
    for (size_t i = 0; i < n; ++i) {
        const uint32_t v = bgrx[i];
        bgrx[i] = lut[v & 0xFF] | uint32_t{lut[(v >> 8) & 0xFF]} << 8 | uint32_t{lut[(v >> 16) & 0xFF]} << 16;
    }
}

// Sums and counts of the four mosaic positions over rows [y0, y0 + cy).
struct PositionSums {
    std::array<double, 4> sums{}, counts{};
};

template <typename T>
PositionSums sum_positions(const T* data, uint32_t w, uint32_t x0, uint32_t y0, uint32_t cx, uint32_t cy) {
    PositionSums result;
    auto& sums = result.sums;
    auto& counts = result.counts;
    for (uint32_t y = y0; y < y0 + cy; ++y) {
        uint64_t even_sum = 0, odd_sum = 0;
        uint32_t even_n = 0, odd_n = 0;
        const T* row = data + size_t{y} * w;
        for (uint32_t x = x0; x < x0 + cx; ++x) {
            if (x & 1) {
                odd_sum += row[x];
                ++odd_n;
            } else {
                even_sum += row[x];
                ++even_n;
            }
        }
        const int base = (y & 1) * 2;
        sums[base] += static_cast<double>(even_sum);
        counts[base] += even_n;
        sums[base + 1] += static_cast<double>(odd_sum);
        counts[base + 1] += odd_n;
    }
    return result;
}

}  // namespace

Matrix3 default_correction_matrix() { return {{{1.60, -0.40, -0.20}, {-0.30, 1.50, -0.20}, {-0.10, -0.50, 1.60}}}; }

void Pipeline::configure(const Settings& settings) {
    settings_ = settings;
    const double range = settings.top > settings.black ? double(settings.top) - settings.black : 1.0;
    const double scale = 255.0 / range;
    // Input column order for each mosaic: the colour at the even/even site first.
    auto fold = [&](int p_column, int q_column) {
        const int columns[3] = {p_column, 1, q_column};
        double gain[3][3], offset[3];  // output units per raw sample; output units added
        Folded f{};
        for (int o = 0; o < 3; ++o) {
            offset[o] = 0;
            for (int i = 0; i < 3; ++i) {
                gain[o][i] = settings.matrix[o][columns[i]] * settings.white_balance[columns[i]] * scale;
                f.floating.a[o][i] = static_cast<float>(gain[o][i] / 4.0);  // the float path sums 4x samples
                offset[o] -= gain[o][i] * settings.black;
            }
            f.floating.offset[o] = static_cast<float>(offset[o] + 0.5);  // rounds on the truncating conversion
        }
        f.fixed = detail::fold_fixed(gain, offset);
        return f;
    };
    double rgb_gain[3][3], rgb_offset[3];
    for (int o = 0; o < 3; ++o) {
        rgb_offset[o] = 0;
        for (int i = 0; i < 3; ++i) {
            rgb_gain[o][i] = settings.matrix[o][i] * settings.white_balance[i] * scale;
            rgb_offset[o] -= rgb_gain[o][i] * settings.black;
        }
    }
    camera_colour_ = fold_camera_colour(rgb_gain, rgb_offset);
    rggb_ = fold(0, 2);
    bggr_ = fold(2, 0);
    mono_gain_ = static_cast<float>(scale);
    mono_offset_ = static_cast<float>(0.5 - scale * settings.black);
    has_gamma_ = settings.gamma > 0 && std::fabs(settings.gamma - 1.0) > 1e-6;
    for (int i = 0; i < 256; ++i)
        gamma_lut_[i] = static_cast<uint8_t>(std::lround(255.0 * std::pow(i / 255.0, 1.0 / settings.gamma)));
}

void Pipeline::process(const RawImage& raw, uint32_t* bgrx, tolmirex::BandPool* bands) const {
    if (raw.width == 0 || raw.height == 0) return;
    const auto rows = [&](uint32_t begin, uint32_t end, unsigned) { process_rows(raw, bgrx, begin, end); };
    if (bands)
        bands->run(raw.height, rows);
    else
        rows(0, raw.height, 0);
}

void Pipeline::process_rows(const RawImage& raw, uint32_t* bgrx, uint32_t first_row, uint32_t end_row) const {
    const size_t w = raw.width, first = first_row * w, n = (end_row - first_row) * w;
    if (const auto colour = raw.colour_image()) {
        camera_colour_rows(*colour, camera_colour_, bgrx, first_row, end_row);
    } else if (raw.mosaic == Mosaic::mono) {
        if (raw.bytes_per_sample == 1)
            mono_image(static_cast<const uint8_t*>(raw.data) + first, n, mono_gain_, mono_offset_, bgrx + first);
        else
            mono_image(static_cast<const uint16_t*>(raw.data) + first, n, mono_gain_, mono_offset_, bgrx + first);
    } else {
        const Folded& f = raw.mosaic == Mosaic::rggb ? rggb_ : bggr_;
        demosaic(raw, f.fixed, f.floating, bgrx, first_row, end_row);
    }
    if (has_gamma_) apply_gamma(gamma_lut_, bgrx + first, n);
}

std::optional<std::array<double, 4>> mosaic_means(const RawImage& raw, uint32_t x0, uint32_t y0, uint32_t cx,
                                                  uint32_t cy, tolmirex::BandPool* bands) {
    if (cx == 0 || cy == 0 || uint64_t{x0} + cx > raw.width || uint64_t{y0} + cy > raw.height) return std::nullopt;
    if (const auto colour = raw.colour_image()) return camera_colour_means(*colour, x0, y0, cx, cy);
    const unsigned n = bands ? bands->bands_for(cy) : 1;
    std::vector<PositionSums> parts(n);
    const auto rows = [&](uint32_t begin, uint32_t end, unsigned band) {
        // Rows keep their place in the image, so each band's positions match.
        parts[band] =
            raw.bytes_per_sample == 1
                ? sum_positions(static_cast<const uint8_t*>(raw.data), raw.width, x0, y0 + begin, cx, end - begin)
                : sum_positions(static_cast<const uint16_t*>(raw.data), raw.width, x0, y0 + begin, cx, end - begin);
    };
    if (bands)
        bands->run(cy, rows);
    else
        rows(0, cy, 0);
    std::array<double, 4> means{};
    for (int i = 0; i < 4; ++i) {
        double sum = 0, count = 0;
        for (const PositionSums& part : parts) {
            sum += part.sums[i];
            count += part.counts[i];
        }
        means[i] = count > 0 ? sum / count : 0.0;
    }
    return means;
}

}  // namespace colour
