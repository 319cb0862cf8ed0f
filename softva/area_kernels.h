// Threads: any (pure functions over caller-owned rows).
// The area filter's row steps as templates, included by the row-kernel files
// so that every instruction set gets its own compiled copy (internal linkage:
// the copies never meet at link time).  A SIMD file includes this before its
// target region and calls these from functions inside it, where they are
// inlined and built for that instruction set.  Integral ratios of 2, 4 and 8 take
// loops with a fixed tap count, which the compiler vectorises; other ratios
// walk the taps.
#pragma once

#include <cstdint>

#include "scale_plan.h"

namespace softva {
namespace {

inline void area_rows_generic(const std::uint8_t* __restrict a, int wa, const std::uint8_t* __restrict b, int wb,
                              bool start, std::uint16_t* __restrict acc, int count) {
    const auto u = static_cast<std::uint16_t>(wa), v = static_cast<std::uint16_t>(wb);
    if (b && start)
        for (int i = 0; i < count; ++i) acc[i] = static_cast<std::uint16_t>(u * a[i] + v * b[i]);
    else if (b)
        for (int i = 0; i < count; ++i) acc[i] = static_cast<std::uint16_t>(acc[i] + u * a[i] + v * b[i]);
    else if (start)
        for (int i = 0; i < count; ++i) acc[i] = static_cast<std::uint16_t>(u * a[i]);
    else
        for (int i = 0; i < count; ++i) acc[i] = static_cast<std::uint16_t>(acc[i] + u * a[i]);
}

// Sums of kAreaOne x kAreaOne weighted samples back to 8 bits, rounded.
inline std::int16_t area_value(std::uint32_t sum, int bias) {
    return static_cast<std::int16_t>(static_cast<int>((sum + (1u << (2 * kAreaBits - 1))) >> (2 * kAreaBits)) - bias);
}

// Luma step K, chroma step K / 2 (K >= 2): every tap the same.
template <int K>
void area_horizontal_step(int width, const std::uint16_t* luma, const std::uint16_t* chroma, std::int16_t* c,
                          std::int16_t* d, std::int16_t* e) {
    constexpr int kChroma = K / 2;
    constexpr std::uint32_t luma_weight = kAreaOne / K, chroma_weight = kAreaOne / kChroma;
    for (int x = 0; x < width; ++x) {
        std::uint32_t y = 0, u = 0, v = 0;
        for (int k = 0; k < K; ++k) y += luma[K * x + k];
        for (int k = 0; k < kChroma; ++k) {
            u += chroma[2 * (kChroma * x + k)];
            v += chroma[2 * (kChroma * x + k) + 1];
        }
        c[x] = area_value(y * luma_weight, 16);
        d[x] = area_value(u * chroma_weight, 128);
        e[x] = area_value(v * chroma_weight, 128);
    }
}

inline void area_horizontal_taps(const ScalePlan& plan, const std::uint16_t* luma, const std::uint16_t* chroma,
                                 std::int16_t* c, std::int16_t* d, std::int16_t* e) {
    const AreaTap* luma_taps = plan.luma_column_area.taps.data();
    const AreaTap* chroma_taps = plan.chroma_column_area.taps.data();
    const std::uint16_t* luma_weights = plan.luma_column_area.weights.data();
    const std::uint16_t* chroma_weights = plan.chroma_column_area.weights.data();
    for (int x = 0; x < plan.visible.width; ++x) {
        const AreaTap& l = luma_taps[x];
        std::uint32_t y = 0;
        for (int k = 0; k < l.count; ++k) y += std::uint32_t{luma_weights[l.weights_at + k]} * luma[l.first + k];
        c[x] = area_value(y, 16);
        const AreaTap& m = chroma_taps[x];
        std::uint32_t u = 0, v = 0;
        for (int k = 0; k < m.count; ++k) {
            const std::uint32_t w = chroma_weights[m.weights_at + k];
            u += w * chroma[2 * (m.first + k)];
            v += w * chroma[2 * (m.first + k) + 1];
        }
        d[x] = area_value(u, 128);
        e[x] = area_value(v, 128);
    }
}

// The luma step of a plan whose chroma spans tile as well, half as long, so
// that the fixed loops apply; 0 when they do not.
inline int area_uniform_step(const ScalePlan& plan) {
    const int step = plan.luma_column_area.step;
    return plan.chroma_column_area.step == step / 2 && plan.chroma_column_base * 2 == plan.luma_column_base ? step : 0;
}

// `step4` does the 4:1 case's leading columns and returns how many.
inline void area_horizontal_with(const ScalePlan& plan, const std::uint16_t* luma, const std::uint16_t* chroma,
                                 std::int16_t* c, std::int16_t* d, std::int16_t* e,
                                 int (*step4)(int, const std::uint16_t*, const std::uint16_t*, std::int16_t*,
                                              std::int16_t*, std::int16_t*)) {
    const int width = plan.visible.width;
    switch (area_uniform_step(plan)) {
        case 2: return area_horizontal_step<2>(width, luma, chroma, c, d, e);
        case 4: {
            const int done = step4 ? step4(width, luma, chroma, c, d, e) : 0;
            return area_horizontal_step<4>(width - done, luma + 4 * done, chroma + 4 * done, c + done, d + done,
                                           e + done);
        }
        case 8: return area_horizontal_step<8>(width, luma, chroma, c, d, e);
        default: return area_horizontal_taps(plan, luma, chroma, c, d, e);
    }
}

inline void area_horizontal_generic(const ScalePlan& plan, const std::uint16_t* luma, const std::uint16_t* chroma,
                                    std::int16_t* c, std::int16_t* d, std::int16_t* e) {
    area_horizontal_with(plan, luma, chroma, c, d, e, nullptr);
}

}  // namespace
}  // namespace softva
