// Threads: any (pure functions).
// AVX2 row kernels: 32 samples per blend step, 16 pixels per conversion step;
// the area filter's loops compiled for AVX2.
// Built for AVX2 in a target region after the includes; best_row_kernels()
// only picks it when the processor reports AVX2.
#include <immintrin.h>

#include <utility>

#include "area_kernels.h"
#include "row_kernels.h"
#include "scale_plan.h"

// Everything below is built for AVX2 only (see cpu_features.h for the choice).
#pragma GCC push_options
#pragma GCC target("avx2")

namespace softva {
namespace {

void blend_rows_avx2(const std::uint8_t* a, const std::uint8_t* b, int weight, std::uint8_t* out, int count) {
    const __m256i wa = _mm256_set1_epi16(static_cast<short>(128 - weight));
    const __m256i wb = _mm256_set1_epi16(static_cast<short>(weight));
    const __m256i half = _mm256_set1_epi16(64);
    const __m256i zero = _mm256_setzero_si256();
    int i = 0;
    for (; i + 32 <= count; i += 32) {
        const __m256i va = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(a + i));
        const __m256i vb = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(b + i));
        // Unpack and pack work within 128-bit lanes, so the lanes stay in order.
        __m256i lo = _mm256_add_epi16(_mm256_mullo_epi16(_mm256_unpacklo_epi8(va, zero), wa),
                                      _mm256_mullo_epi16(_mm256_unpacklo_epi8(vb, zero), wb));
        __m256i hi = _mm256_add_epi16(_mm256_mullo_epi16(_mm256_unpackhi_epi8(va, zero), wa),
                                      _mm256_mullo_epi16(_mm256_unpackhi_epi8(vb, zero), wb));
        lo = _mm256_srli_epi16(_mm256_add_epi16(lo, half), 7);
        hi = _mm256_srli_epi16(_mm256_add_epi16(hi, half), 7);
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + i), _mm256_packus_epi16(lo, hi));
    }
    for (; i < count; ++i) out[i] = static_cast<std::uint8_t>((a[i] * (128 - weight) + b[i] * weight + 64) >> 7);
}

inline __m256i two_windows(const std::uint8_t* row, std::int32_t first, std::int32_t second) {
    return _mm256_inserti128_si256(
        _mm256_castsi128_si256(_mm_loadu_si128(reinterpret_cast<const __m128i*>(row + first))),
        _mm_loadu_si128(reinterpret_cast<const __m128i*>(row + second)), 1);
}

// (weighted pair sum + 64) >> 7, minus the bias: the same rounding as the
// portable pass.  The sums stay below 32768, so nothing saturates.
inline __m256i weighted(__m256i windows, const void* shuffle, const void* weights, short bias) {
    const __m256i pairs = _mm256_shuffle_epi8(windows, _mm256_load_si256(static_cast<const __m256i*>(shuffle)));
    const __m256i sums = _mm256_maddubs_epi16(pairs, _mm256_load_si256(static_cast<const __m256i*>(weights)));
    return _mm256_sub_epi16(_mm256_srli_epi16(_mm256_add_epi16(sums, _mm256_set1_epi16(kWeightOne / 2)), kWeightBits),
                            _mm256_set1_epi16(bias));
}

// Sixteen columns per step through byte shuffles of the source windows.
void horizontal_avx2(const ScalePlan& plan, const std::uint8_t* luma, const std::uint8_t* chroma, std::int16_t* c,
                     std::int16_t* d, std::int16_t* e) {
    const int groups = static_cast<int>(plan.column_groups.size());
    for (int g = 0; g < groups; ++g) {
        const ColumnGroup& group = plan.column_groups[g];
        const __m256i y = weighted(two_windows(luma, group.luma_base[0], group.luma_base[1]), group.luma_shuffle,
                                   group.luma_weights, 16);
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(c + 16 * g), y);
        // Each lane gives [U of 4 columns, V of 4 columns]; regroup into U and V.
        const __m256i low =
            _mm256_permute4x64_epi64(weighted(two_windows(chroma, group.chroma_base[0], group.chroma_base[1]),
                                              group.chroma_shuffle[0], group.chroma_weights[0], 128),
                                     0xD8);
        const __m256i high =
            _mm256_permute4x64_epi64(weighted(two_windows(chroma, group.chroma_base[2], group.chroma_base[3]),
                                              group.chroma_shuffle[1], group.chroma_weights[1], 128),
                                     0xD8);
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(d + 16 * g), _mm256_permute2x128_si256(low, high, 0x20));
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(e + 16 * g), _mm256_permute2x128_si256(low, high, 0x31));
    }
    horizontal_portable_from(plan, 16 * groups, luma, chroma, c, d, e);
}

inline __m256i scaled_product(__m256i shifted_value, short coefficient_x32) {
    return _mm256_mulhi_epi16(shifted_value, _mm256_set1_epi16(coefficient_x32));
}

void yuv_to_rgb_avx2(const std::int16_t* c, const std::int16_t* d, const std::int16_t* e, std::uint8_t* out, int count,
                     PixelOrder order) {
    const __m256i round = _mm256_set1_epi16(8);
    const __m256i opaque = _mm256_set1_epi16(255);
    int i = 0;
    for (; i + 16 <= count; i += 16, out += 64) {
        const __m256i vc = _mm256_slli_epi16(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(c + i)), 7);
        const __m256i vd = _mm256_slli_epi16(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(d + i)), 7);
        const __m256i ve = _mm256_slli_epi16(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(e + i)), 7);
        const __m256i luma = _mm256_add_epi16(scaled_product(vc, 298 * 32), round);
        __m256i r = _mm256_srai_epi16(_mm256_add_epi16(luma, scaled_product(ve, 409 * 32)), 4);
        __m256i g = _mm256_srai_epi16(
            _mm256_sub_epi16(_mm256_sub_epi16(luma, scaled_product(vd, 100 * 32)), scaled_product(ve, 208 * 32)), 4);
        __m256i b = _mm256_srai_epi16(_mm256_add_epi16(luma, scaled_product(vd, 516 * 32)), 4);
        if (order == PixelOrder::rgbx) std::swap(r, b);
        const __m256i bg = _mm256_packus_epi16(b, g);
        const __m256i rx = _mm256_packus_epi16(r, opaque);
        const __m256i bg_pairs = _mm256_unpacklo_epi8(bg, _mm256_srli_si256(bg, 8));
        const __m256i rx_pairs = _mm256_unpacklo_epi8(rx, _mm256_srli_si256(rx, 8));
        // Per lane: pixels 0-3 / 4-7 of that lane; put the lanes back in order.
        const __m256i first = _mm256_unpacklo_epi16(bg_pairs, rx_pairs);
        const __m256i second = _mm256_unpackhi_epi16(bg_pairs, rx_pairs);
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(out), _mm256_permute2x128_si256(first, second, 0x20));
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + 32), _mm256_permute2x128_si256(first, second, 0x31));
    }
    if (i < count) portable_row_kernels().yuv_to_rgb(c + i, d + i, e + i, out, count - i, order);
}

// Lambdas do not take the target region's options, so the area filter's
// small steps are functions of their own.
inline __m256i load16(const std::uint16_t* p) { return _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p)); }

// 16-bit sums of about kAreaOne x sample back to the sample, minus the bias.
inline __m256i area_value(__m256i sums, short bias) {
    const __m256i round = _mm256_set1_epi16(kAreaOne / 2);
    return _mm256_sub_epi16(_mm256_srli_epi16(_mm256_add_epi16(sums, round), kAreaBits), _mm256_set1_epi16(bias));
}

// Four (U,V) pairs, each the sum of two neighbouring pairs, in 128 bits.
inline __m128i chroma_pairs(const std::uint16_t* p) {
    const __m256i v = _mm256_srli_epi16(load16(p), 1);
    const __m256i sums = _mm256_add_epi16(v, _mm256_srli_epi64(v, 32));
    return _mm256_castsi256_si128(
        _mm256_permute4x64_epi64(_mm256_shuffle_epi32(sums, _MM_SHUFFLE(2, 0, 2, 0)), _MM_SHUFFLE(3, 1, 2, 0)));
}

// Area filter at 4:1, sixteen columns per step.  The vertical sums (up to
// 255 x 256) are first shifted so that four luma or two chroma of them add up
// within 16 bits; the bits lost lie far below the 8-bit result.
int area_step4_avx2(int width, const std::uint16_t* luma, const std::uint16_t* chroma, std::int16_t* c, std::int16_t* d,
                    std::int16_t* e) {
    const __m256i lane_order = _mm256_setr_epi32(0, 4, 1, 5, 2, 6, 3, 7);
    const __m256i low_halves = _mm256_set1_epi32(0xffff);
    int x = 0;
    for (; x + 16 <= width; x += 16) {
        const std::uint16_t* l = luma + 4 * x;
        const __m256i pairs01 =
            _mm256_hadd_epi16(_mm256_srli_epi16(load16(l), 2), _mm256_srli_epi16(load16(l + 16), 2));
        const __m256i pairs23 =
            _mm256_hadd_epi16(_mm256_srli_epi16(load16(l + 32), 2), _mm256_srli_epi16(load16(l + 48), 2));
        // hadd works within 128-bit lanes: columns come out as 32-bit pairs in
        // the order 0 2 4 6 | 1 3 5 7.
        const __m256i quads = _mm256_permutevar8x32_epi32(_mm256_hadd_epi16(pairs01, pairs23), lane_order);
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(c + x), area_value(quads, 16));

        const std::uint16_t* k = chroma + 4 * x;
        const __m256i uv0 = _mm256_inserti128_si256(_mm256_castsi128_si256(chroma_pairs(k)), chroma_pairs(k + 16), 1);
        const __m256i uv1 =
            _mm256_inserti128_si256(_mm256_castsi128_si256(chroma_pairs(k + 32)), chroma_pairs(k + 48), 1);
        const __m256i u = _mm256_permute4x64_epi64(
            _mm256_packus_epi32(_mm256_and_si256(uv0, low_halves), _mm256_and_si256(uv1, low_halves)), 0xD8);
        const __m256i v =
            _mm256_permute4x64_epi64(_mm256_packus_epi32(_mm256_srli_epi32(uv0, 16), _mm256_srli_epi32(uv1, 16)), 0xD8);
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(d + x), area_value(u, 128));
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(e + x), area_value(v, 128));
    }
    return x;
}

// area_kernels.h comes before this region, so its loops are built for AVX2
// only where they are inlined into the functions here: a kernel table entry
// pointing at them directly would get their baseline copy.
void area_rows_avx2(const std::uint8_t* a, int wa, const std::uint8_t* b, int wb, bool start, std::uint16_t* acc,
                    int count) {
    area_rows_generic(a, wa, b, wb, start, acc, count);
}

void area_horizontal_avx2(const ScalePlan& plan, const std::uint16_t* luma, const std::uint16_t* chroma,
                          std::int16_t* c, std::int16_t* d, std::int16_t* e) {
    area_horizontal_with(plan, luma, chroma, c, d, e, area_step4_avx2);
}

}  // namespace

RowKernels avx2_row_kernels() {
    return {blend_rows_avx2, horizontal_avx2, yuv_to_rgb_avx2, area_rows_avx2, area_horizontal_avx2};
}

}  // namespace softva
#pragma GCC pop_options
