// Threads: any (pure functions over caller-owned rows).
// The per-row steps of presentation, in a portable version and in SIMD
// versions picked at run time.
#pragma once

#include <cstdint>

namespace softva {

// Byte order of one 32-bit output pixel in memory; the fourth byte is 0xff.
enum class PixelOrder { bgrx, rgbx };

struct ScalePlan;

struct RowKernels {
    // out[i] = (a[i] * (128 - weight) + b[i] * weight + 64) >> 7 for i < count.
    void (*blend_rows)(const std::uint8_t* a, const std::uint8_t* b, int weight, std::uint8_t* out, int count);
    // Horizontal pass over the visible columns of `plan`: c = Y - 16,
    // d = U - 128, e = V - 128 per destination pixel from the vertically blended
    // rows (which may be read up to 16 bytes past their last used sample).
    void (*horizontal)(const ScalePlan& plan, const std::uint8_t* luma, const std::uint8_t* chroma, std::int16_t* c,
                       std::int16_t* d, std::int16_t* e);
    // BT.601 limited range to RGB for `count` pixels: c = Y - 16, d = U - 128,
    // e = V - 128; out gets 4 bytes per pixel in `order`.
    void (*yuv_to_rgb)(const std::int16_t* c, const std::int16_t* d, const std::int16_t* e, std::uint8_t* out,
                       int count, PixelOrder order);
    // Area filter, vertical: s[i] = wa * a[i] + wb * b[i] (b may be null: no
    // second row), added to acc[i] unless `start`, stored in acc, for i < count.
    // Two rows per call halve the passes over acc.  Weights of one output row
    // sum to kAreaOne, so the sums fit 16 bits.
    void (*area_rows)(const std::uint8_t* a, int wa, const std::uint8_t* b, int wb, bool start, std::uint16_t* acc,
                      int count);
    // Area filter, horizontal over the visible columns of an area plan: c, d
    // and e as for `horizontal`, from the vertical sums of the luma columns and
    // the interleaved chroma columns read.
    void (*area_horizontal)(const ScalePlan& plan, const std::uint16_t* luma, const std::uint16_t* chroma,
                            std::int16_t* c, std::int16_t* d, std::int16_t* e);
};

RowKernels portable_row_kernels();
// The portable horizontal pass for columns [first, visible width).
void horizontal_portable_from(const ScalePlan& plan, int first, const std::uint8_t* luma, const std::uint8_t* chroma,
                              std::int16_t* c, std::int16_t* d, std::int16_t* e);
RowKernels sse2_row_kernels();
RowKernels avx2_row_kernels();
// The fastest set this processor runs (AVX2 if present, SSE2 otherwise);
// TOLMIREX_SIMD=sse2 or =scalar (cpu_features.h) forces a slower one for comparison.
RowKernels best_row_kernels();

// Integer BT.601: (298c + 409e + 128) >> 8 and so on, clamped to 0..255.
// The reference the SIMD versions agree with to within one step.
struct Rgb {
    std::uint8_t r, g, b;
};
constexpr std::uint8_t clamp_byte(int value) {
    return static_cast<std::uint8_t>(value < 0 ? 0 : value > 255 ? 255 : value);
}
constexpr Rgb bt601_to_rgb(int c, int d, int e) {
    return {clamp_byte((298 * c + 409 * e + 128) >> 8), clamp_byte((298 * c - 100 * d - 208 * e + 128) >> 8),
            clamp_byte((298 * c + 516 * d + 128) >> 8)};
}

}  // namespace softva
