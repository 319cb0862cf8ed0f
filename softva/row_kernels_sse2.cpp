// Threads: any (pure functions).
// SSE2 row kernels: 16 samples per blend step, 8 pixels per conversion step.
#include <emmintrin.h>

#include <utility>

#include "row_kernels.h"

namespace softva {
namespace {

void blend_rows_sse2(const std::uint8_t* a, const std::uint8_t* b, int weight, std::uint8_t* out, int count) {
    const __m128i zero = _mm_setzero_si128();
    const __m128i wa = _mm_set1_epi16(static_cast<short>(128 - weight));
    const __m128i wb = _mm_set1_epi16(static_cast<short>(weight));
    const __m128i half = _mm_set1_epi16(64);
    int i = 0;
    for (; i + 16 <= count; i += 16) {
        const __m128i va = _mm_loadu_si128(reinterpret_cast<const __m128i*>(a + i));
        const __m128i vb = _mm_loadu_si128(reinterpret_cast<const __m128i*>(b + i));
        __m128i lo = _mm_add_epi16(_mm_mullo_epi16(_mm_unpacklo_epi8(va, zero), wa),
                                   _mm_mullo_epi16(_mm_unpacklo_epi8(vb, zero), wb));
        __m128i hi = _mm_add_epi16(_mm_mullo_epi16(_mm_unpackhi_epi8(va, zero), wa),
                                   _mm_mullo_epi16(_mm_unpackhi_epi8(vb, zero), wb));
        lo = _mm_srli_epi16(_mm_add_epi16(lo, half), 7);
        hi = _mm_srli_epi16(_mm_add_epi16(hi, half), 7);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + i), _mm_packus_epi16(lo, hi));
    }
    for (; i < count; ++i) out[i] = static_cast<std::uint8_t>((a[i] * (128 - weight) + b[i] * weight + 64) >> 7);
}

// Inputs are shifted left by 7 and multiplied with coefficient * 32 keeping the
// high half, which leaves value * coefficient / 16: four fraction bits.
inline __m128i scaled_product(__m128i shifted_value, short coefficient_x32) {
    return _mm_mulhi_epi16(shifted_value, _mm_set1_epi16(coefficient_x32));
}

void yuv_to_rgb_sse2(const std::int16_t* c, const std::int16_t* d, const std::int16_t* e, std::uint8_t* out, int count,
                     PixelOrder order) {
    const __m128i round = _mm_set1_epi16(8);
    const __m128i opaque = _mm_set1_epi16(255);
    int i = 0;
    for (; i + 8 <= count; i += 8, out += 32) {
        const __m128i vc = _mm_slli_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(c + i)), 7);
        const __m128i vd = _mm_slli_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(d + i)), 7);
        const __m128i ve = _mm_slli_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(e + i)), 7);
        const __m128i luma = _mm_add_epi16(scaled_product(vc, 298 * 32), round);
        __m128i r = _mm_srai_epi16(_mm_add_epi16(luma, scaled_product(ve, 409 * 32)), 4);
        __m128i g = _mm_srai_epi16(
            _mm_sub_epi16(_mm_sub_epi16(luma, scaled_product(vd, 100 * 32)), scaled_product(ve, 208 * 32)), 4);
        __m128i b = _mm_srai_epi16(_mm_add_epi16(luma, scaled_product(vd, 516 * 32)), 4);
        if (order == PixelOrder::rgbx) std::swap(r, b);
        // [b0..b7 g0..g7] and [r0..r7 ff..] -> b g r ff per pixel.
        const __m128i bg = _mm_packus_epi16(b, g);
        const __m128i rx = _mm_packus_epi16(r, opaque);
        const __m128i bg_pairs = _mm_unpacklo_epi8(bg, _mm_srli_si128(bg, 8));
        const __m128i rx_pairs = _mm_unpacklo_epi8(rx, _mm_srli_si128(rx, 8));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out), _mm_unpacklo_epi16(bg_pairs, rx_pairs));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 16), _mm_unpackhi_epi16(bg_pairs, rx_pairs));
    }
    if (i < count) portable_row_kernels().yuv_to_rgb(c + i, d + i, e + i, out, count - i, order);
}

}  // namespace

// The horizontal pass stays portable: SSE2 has no byte shuffle.
RowKernels sse2_row_kernels() {
    const RowKernels portable = portable_row_kernels();
    return {blend_rows_sse2, portable.horizontal, yuv_to_rgb_sse2, portable.area_rows, portable.area_horizontal};
}

}  // namespace softva
