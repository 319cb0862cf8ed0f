// Threads: any (pure functions).
#include "area_kernels.h"
#include "cpu_features.h"
#include "row_kernels.h"
#include "scale_plan.h"

namespace softva {
namespace {

void blend_rows_portable(const std::uint8_t* a, const std::uint8_t* b, int weight, std::uint8_t* out, int count) {
    for (int i = 0; i < count; ++i)
        out[i] = static_cast<std::uint8_t>((a[i] * (128 - weight) + b[i] * weight + 64) >> 7);
}

void yuv_to_rgb_portable(const std::int16_t* c, const std::int16_t* d, const std::int16_t* e, std::uint8_t* out,
                         int count, PixelOrder order) {
    for (int i = 0; i < count; ++i, out += 4) {
        const Rgb rgb = bt601_to_rgb(c[i], d[i], e[i]);
        out[0] = order == PixelOrder::bgrx ? rgb.b : rgb.r;
        out[1] = rgb.g;
        out[2] = order == PixelOrder::bgrx ? rgb.r : rgb.b;
        out[3] = 0xff;
    }
}

inline int blend(int a, int b, int weight) {
    return (a * (kWeightOne - weight) + b * weight + kWeightOne / 2) >> kWeightBits;
}

void horizontal_portable(const ScalePlan& plan, const std::uint8_t* luma, const std::uint8_t* chroma, std::int16_t* c,
                         std::int16_t* d, std::int16_t* e) {
    horizontal_portable_from(plan, 0, luma, chroma, c, d, e);
}

}  // namespace

void horizontal_portable_from(const ScalePlan& plan, int first, const std::uint8_t* luma, const std::uint8_t* chroma,
                              std::int16_t* c, std::int16_t* d, std::int16_t* e) {
    const AxisTap* luma_columns = plan.luma_columns.data();
    const AxisTap* chroma_columns = plan.chroma_columns.data();
    for (int x = first; x < plan.visible.width; ++x) {
        const AxisTap& l = luma_columns[x];
        c[x] = static_cast<std::int16_t>(blend(luma[l.first], luma[l.second], l.weight) - 16);
        const AxisTap& k = chroma_columns[x];
        const std::uint8_t* a = chroma + 2 * k.first;
        const std::uint8_t* b = chroma + 2 * k.second;
        d[x] = static_cast<std::int16_t>(blend(a[0], b[0], k.weight) - 128);
        e[x] = static_cast<std::int16_t>(blend(a[1], b[1], k.weight) - 128);
    }
}

RowKernels portable_row_kernels() {
    return {blend_rows_portable, horizontal_portable, yuv_to_rgb_portable, area_rows_generic, area_horizontal_generic};
}

RowKernels best_row_kernels() {
#if defined(__x86_64__) || defined(__i386__)
    switch (tolmirex::simd_level()) {
        case tolmirex::SimdLevel::scalar: return portable_row_kernels();
        case tolmirex::SimdLevel::sse2: return sse2_row_kernels();
        default: return avx2_row_kernels();
    }
#else
    return portable_row_kernels();
#endif
}

}  // namespace softva
