// colour_pipeline.cpp - see colour_pipeline.h.  The row loops are written so
// g++ -O3 vectorises them (no table look-ups, parity chosen by select) and are
// compiled for AVX2 and a baseline, dispatched at load time.
#include "colour_pipeline.h"

#include <algorithm>
#include <cmath>

// AVX2 and baseline builds of the hot loops, chosen at load time by an ifunc.
// ThreadSanitizer's runtime is not ready when ifunc resolvers run, so its
// builds keep the baseline only.
#if defined(__SANITIZE_THREAD__)
#define COLOUR_MULTIVERSION
#else
#define COLOUR_MULTIVERSION __attribute__((target_clones("avx2", "default")))
#endif

namespace colour {
namespace {

struct Sites {
    int32_t p, g, q;  // each scaled by 4
};

// Bilinear interpolation at one pixel from its neighbourhood sums.  p_row: the
// row holds P and G (else G and Q); even: the column is even.
inline __attribute__((always_inline)) Sites interpolate(bool p_row, bool even, int32_t centre, int32_t horizontal,
                                                        int32_t vertical, int32_t diagonal) {
    if (p_row)
        return even ? Sites{4 * centre, horizontal + vertical, diagonal}
                    : Sites{2 * horizontal, 4 * centre, 2 * vertical};
    return even ? Sites{2 * vertical, 4 * centre, 2 * horizontal}
                : Sites{diagonal, horizontal + vertical, 4 * centre};
}

struct Coefficients {
    float a[3][3];
    float offset[3];
};

inline __attribute__((always_inline)) uint32_t to_bgrx(const Coefficients& k, Sites s) {
    const float p = static_cast<float>(s.p), g = static_cast<float>(s.g), q = static_cast<float>(s.q);
    float c[3];
    for (int o = 0; o < 3; ++o) {
        float v = k.a[o][0] * p + k.a[o][1] * g + k.a[o][2] * q + k.offset[o];
        v = v < 0.f ? 0.f : v;
        v = v > 255.f ? 255.f : v;
        c[o] = v;
    }
    return static_cast<uint32_t>(static_cast<int32_t>(c[2])) | static_cast<uint32_t>(static_cast<int32_t>(c[1])) << 8 |
           static_cast<uint32_t>(static_cast<int32_t>(c[0])) << 16;
}

// Reflect-101 border: keeps the mosaic phase (x = -1 reads x = 1).
inline long reflect(long i, long n) {
    if (i < 0) i = -i;
    if (i >= n) i = 2 * n - 2 - i;
    return std::clamp(i, 0L, n - 1);
}

template <typename T>
uint32_t border_pixel(const T* data, long w, long h, long x, long y, const Coefficients& k) {
    auto at = [&](long xx, long yy) { return static_cast<int32_t>(data[reflect(yy, h) * w + reflect(xx, w)]); };
    const Sites s = interpolate((y & 1) == 0, (x & 1) == 0, at(x, y), at(x - 1, y) + at(x + 1, y),
                                at(x, y - 1) + at(x, y + 1),
                                at(x - 1, y - 1) + at(x + 1, y - 1) + at(x - 1, y + 1) + at(x + 1, y + 1));
    return to_bgrx(k, s);
}

template <typename T, bool kPRow>
inline __attribute__((always_inline)) void interior_row(const T* __restrict up, const T* __restrict row,
                                                        const T* __restrict down, long w, const Coefficients& k,
                                                        uint32_t* __restrict out) {
    const Coefficients local = k;  // a local copy cannot alias out, so it stays in registers
    for (long x = 1; x < w - 1; ++x) {
        const int32_t horizontal = row[x - 1] + row[x + 1];
        const int32_t vertical = up[x] + down[x];
        const int32_t diagonal = up[x - 1] + up[x + 1] + down[x - 1] + down[x + 1];
        out[x] = to_bgrx(local, interpolate(kPRow, (x & 1) == 0, row[x], horizontal, vertical, diagonal));
    }
}

template <typename T>
inline __attribute__((always_inline)) void demosaic_image(const T* data, long w, long h, const Coefficients& k,
                                                          uint32_t* out) {
    for (long y = 0; y < h; ++y) {
        const T* row = data + y * w;
        const T* up = data + reflect(y - 1, h) * w;
        const T* down = data + reflect(y + 1, h) * w;
        uint32_t* out_row = out + y * w;
        if (w >= 3) {
            if ((y & 1) == 0)
                interior_row<T, true>(up, row, down, w, k, out_row);
            else
                interior_row<T, false>(up, row, down, w, k, out_row);
            out_row[0] = border_pixel(data, w, h, 0, y, k);
            out_row[w - 1] = border_pixel(data, w, h, w - 1, y, k);
        } else {
            for (long x = 0; x < w; ++x) out_row[x] = border_pixel(data, w, h, x, y, k);
        }
    }
}

COLOUR_MULTIVERSION void demosaic8(const uint8_t* data, long w, long h,
                                                                 const Coefficients& k, uint32_t* out) {
    demosaic_image(data, w, h, k, out);
}

COLOUR_MULTIVERSION void demosaic16(const uint16_t* data, long w, long h,
                                                                  const Coefficients& k, uint32_t* out) {
    demosaic_image(data, w, h, k, out);
}

template <typename T>
COLOUR_MULTIVERSION void mono_image(const T* data, size_t n, float gain, float offset,
                                                                  uint32_t* out) {
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

template <typename T>
std::array<double, 4> sum_positions(const T* data, uint32_t w, uint32_t x0, uint32_t y0, uint32_t cx, uint32_t cy) {
    std::array<double, 4> sums{};
    std::array<double, 4> counts{};
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
    for (int i = 0; i < 4; ++i) sums[i] = counts[i] > 0 ? sums[i] / counts[i] : 0.0;
    return sums;
}

}  // namespace

Matrix3 default_correction_matrix() {
    return {{{1.60, -0.40, -0.20}, {-0.30, 1.50, -0.20}, {-0.10, -0.50, 1.60}}};
}

void Pipeline::configure(const Settings& settings) {
    settings_ = settings;
    const double range = settings.top > settings.black ? double(settings.top) - settings.black : 1.0;
    const double scale = 255.0 / range;
    // Input column order for each mosaic: the colour at the even/even site first.
    auto fold = [&](int p_column, int q_column) {
        Folded f{};
        const int columns[3] = {p_column, 1, q_column};
        for (int o = 0; o < 3; ++o) {
            double offset = 0.5;  // rounds on the truncating conversion
            for (int i = 0; i < 3; ++i) {
                const double m = settings.matrix[o][columns[i]] * settings.white_balance[columns[i]] * scale;
                f.a[o][i] = static_cast<float>(m / 4.0);  // the interpolated sums are 4x samples
                offset -= m * settings.black;
            }
            f.offset[o] = static_cast<float>(offset);
        }
        return f;
    };
    rggb_ = fold(0, 2);
    bggr_ = fold(2, 0);
    mono_gain_ = static_cast<float>(scale);
    mono_offset_ = static_cast<float>(0.5 - scale * settings.black);
    has_gamma_ = settings.gamma > 0 && std::fabs(settings.gamma - 1.0) > 1e-6;
    for (int i = 0; i < 256; ++i)
        gamma_lut_[i] = static_cast<uint8_t>(std::lround(255.0 * std::pow(i / 255.0, 1.0 / settings.gamma)));
}

void Pipeline::process(const RawImage& raw, uint32_t* bgrx) const {
    const long w = raw.width, h = raw.height;
    if (w == 0 || h == 0) return;
    if (raw.mosaic == Mosaic::mono) {
        if (raw.bytes_per_sample == 1)
            mono_image(static_cast<const uint8_t*>(raw.data), size_t(w) * h, mono_gain_, mono_offset_, bgrx);
        else
            mono_image(static_cast<const uint16_t*>(raw.data), size_t(w) * h, mono_gain_, mono_offset_, bgrx);
    } else {
        const Folded& f = raw.mosaic == Mosaic::rggb ? rggb_ : bggr_;
        Coefficients k;
        std::copy(&f.a[0][0], &f.a[0][0] + 9, &k.a[0][0]);
        std::copy(f.offset, f.offset + 3, k.offset);
        if (raw.bytes_per_sample == 1)
            demosaic8(static_cast<const uint8_t*>(raw.data), w, h, k, bgrx);
        else
            demosaic16(static_cast<const uint16_t*>(raw.data), w, h, k, bgrx);
    }
    if (has_gamma_) apply_gamma(gamma_lut_, bgrx, size_t(w) * h);
}

std::optional<std::array<double, 4>> mosaic_means(const RawImage& raw, uint32_t x0, uint32_t y0, uint32_t cx,
                                                  uint32_t cy) {
    if (cx == 0 || cy == 0 || uint64_t{x0} + cx > raw.width || uint64_t{y0} + cy > raw.height) return std::nullopt;
    if (raw.bytes_per_sample == 1)
        return sum_positions(static_cast<const uint8_t*>(raw.data), raw.width, x0, y0, cx, cy);
    return sum_positions(static_cast<const uint16_t*>(raw.data), raw.width, x0, y0, cx, cy);
}

}  // namespace colour
