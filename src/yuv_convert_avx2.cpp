// AVX2 row kernels, built for AVX2 in a target region after the includes so
// the rest of the library stays baseline x86-64; yuv_convert.cpp calls them
// only when the processor has AVX2. Pure functions, callable from any thread.
//
// Colour works on 16-bit lanes with _mm256_maddubs_epi16 (unsigned bytes times
// signed 8-bit coefficients, adjacent products summed) and _mm256_hadd_epi16.
// It stays exact, so the bytes equal the scalar formulas:
// - every chroma coefficient fits a signed byte and each pair sum fits 16 bits;
// - the green weight of Y (129) does not fit, so green is duplicated into the
//   ignored fourth byte and weighed 85 + 44: the pairs (B,G) and (R,G) give
//   25B + 85G and 66R + 44G, each below 2^15, and their sum (below 2^16) is read
//   as unsigned after the wrapping horizontal add.
// The 256-bit pack and shuffle instructions work within each 128-bit half, so
// packed results are put back in pixel order with one cross-lane permute.
#include "yuv_convert_rows.h"

#include <immintrin.h>

#include <cstdint>

// Everything below is built for AVX2 only (see cpu_features.h for the choice).
#pragma GCC push_options
#pragma GCC target("avx2")

namespace yuv_rows {
namespace {

constexpr int y_g_with_blue = 85;
constexpr int y_g_with_red = bt601::y_g - y_g_with_blue;
static_assert(255 * (bt601::y_b + y_g_with_blue) < 32768 && 255 * (bt601::y_r + y_g_with_red) < 32768,
              "partial luma sums must not saturate");
static_assert(bt601::y_bias + 255 * (bt601::y_r + bt601::y_g + bt601::y_b) < 65536, "luma sum must fit 16 bits");

// The same four signed bytes for every pixel (B, G, R, fourth byte order).
__m256i pixel_weights(int b, int g, int r, int fourth) {
    return _mm256_set1_epi32(static_cast<int>(static_cast<uint8_t>(b) | static_cast<uint8_t>(g) << 8 |
                                              static_cast<uint8_t>(r) << 16 |
                                              static_cast<uint32_t>(static_cast<uint8_t>(fourth)) << 24));
}

struct Bt601Vectors {
    __m256i green_into_fourth, y_weights, cb_weights, cr_weights, y_bias, c_bias, low_bytes, interleave_cbcr,
        dword_order;
};

Bt601Vectors make_bt601_vectors() {
    return {
        // B G R G per pixel.
        _mm256_setr_epi8(0, 1, 2, 1, 4, 5, 6, 5, 8, 9, 10, 9, 12, 13, 14, 13, 0, 1, 2, 1, 4, 5, 6, 5, 8, 9, 10, 9, 12,
                         13, 14, 13),
        pixel_weights(bt601::y_b, y_g_with_blue, bt601::y_r, y_g_with_red),
        pixel_weights(bt601::cb_b, bt601::cb_g, bt601::cb_r, 0),
        pixel_weights(bt601::cr_b, bt601::cr_g, bt601::cr_r, 0), _mm256_set1_epi16(static_cast<short>(bt601::y_bias)),
        _mm256_set1_epi16(static_cast<short>(bt601::c_bias)), _mm256_set1_epi16(0x00FF),
        // Four Cb then four Cr bytes, twice per half, into Cb,Cr pairs.
        _mm256_setr_epi8(0, 4, 1, 5, 2, 6, 3, 7, 8, 12, 9, 13, 10, 14, 11, 15, 0, 4, 1, 5, 2, 6, 3, 7, 8, 12, 9, 13, 10,
                         14, 11, 15),
        // After packing four source vectors a,b,c,d the 4-byte groups hold
        // a,b,c,d's low halves, then their high halves; this restores order.
        _mm256_setr_epi32(0, 4, 1, 5, 2, 6, 3, 7)};
}

inline __m256i load32(const uint8_t* src) { return _mm256_loadu_si256(reinterpret_cast<const __m256i*>(src)); }

inline void store32(uint8_t* dst, __m256i v) { _mm256_storeu_si256(reinterpret_cast<__m256i*>(dst), v); }

// Y*256 + bias of a sum of two weighted pairs, shifted down: a biased byte
// value in each 16-bit lane.
inline __m256i scaled_down(__m256i sums, __m256i bias) { return _mm256_srli_epi16(_mm256_add_epi16(sums, bias), 8); }

// Y of the 16 pixels in a and b as 16-bit lanes (a0-3, b0-3 | a4-7, b4-7).
inline __m256i luma16(__m256i a, __m256i b, const Bt601Vectors& k) {
    const __m256i wa = _mm256_maddubs_epi16(_mm256_shuffle_epi8(a, k.green_into_fourth), k.y_weights);
    const __m256i wb = _mm256_maddubs_epi16(_mm256_shuffle_epi8(b, k.green_into_fourth), k.y_weights);
    return scaled_down(_mm256_hadd_epi16(wa, wb), k.y_bias);
}

// Cb and Cr of the even pixels of a and b as 16-bit lanes: per half four Cb
// then four Cr (pixels a0, a2, b0, b2 | a4, a6, b4, b6).
inline __m256i chroma16(__m256i a, __m256i b, const Bt601Vectors& k) {
    const __m256i even =
        _mm256_castps_si256(_mm256_shuffle_ps(_mm256_castsi256_ps(a), _mm256_castsi256_ps(b), _MM_SHUFFLE(2, 0, 2, 0)));
    const __m256i cb = _mm256_maddubs_epi16(even, k.cb_weights);
    const __m256i cr = _mm256_maddubs_epi16(even, k.cr_weights);
    return scaled_down(_mm256_hadd_epi16(cb, cr), k.c_bias);
}

inline __m256i in_pixel_order(__m256i packed, const Bt601Vectors& k) {
    return _mm256_permutevar8x32_epi32(packed, k.dword_order);
}

inline __m256i luma32(const uint8_t* src, const Bt601Vectors& k) {
    const __m256i a = load32(src), b = load32(src + 32), c = load32(src + 64), d = load32(src + 96);
    return in_pixel_order(_mm256_packus_epi16(luma16(a, b, k), luma16(c, d, k)), k);
}

// Y of 32 pixels and the NV12 bytes (Cb,Cr of every even pixel) of them.
inline void convert32(const uint8_t* src, const Bt601Vectors& k, __m256i& luma, __m256i& cbcr) {
    const __m256i a = load32(src), b = load32(src + 32), c = load32(src + 64), d = load32(src + 96);
    luma = in_pixel_order(_mm256_packus_epi16(luma16(a, b, k), luma16(c, d, k)), k);
    const __m256i grouped = _mm256_packus_epi16(chroma16(a, b, k), chroma16(c, d, k));
    cbcr = in_pixel_order(_mm256_shuffle_epi8(grouped, k.interleave_cbcr), k);
}

}  // namespace

int shift_row_avx2(const uint16_t* src, int width, int shift, uint8_t* luma) {
    const __m128i count = _mm_cvtsi32_si128(shift);
    const uintptr_t address = reinterpret_cast<uintptr_t>(luma);
    int j = 0;
    // A 16-byte aligned row that is not 32-byte aligned gets one 16-sample
    // step first, so the 32-byte non-temporal stores below are aligned.
    if ((address & 31) == 16 && width >= 16) {
        const __m128i lo = _mm_srl_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(src)), count);
        const __m128i hi = _mm_srl_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(src + 8)), count);
        _mm_stream_si128(reinterpret_cast<__m128i*>(luma), _mm_packus_epi16(lo, hi));
        j = 16;
    }
    const bool aligned = ((address + j) & 31) == 0;
    for (; j + 32 <= width; j += 32) {
        const __m256i lo = _mm256_srl_epi16(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(src + j)), count);
        const __m256i hi = _mm256_srl_epi16(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(src + j + 16)), count);
        // In-lane pack gives samples 0-7,16-23,8-15,24-31; the permute restores order.
        const __m256i bytes = _mm256_permute4x64_epi64(_mm256_packus_epi16(lo, hi), 0xD8);
        if (aligned)
            _mm256_stream_si256(reinterpret_cast<__m256i*>(luma + j), bytes);
        else
            store32(luma + j, bytes);
    }
    return j;
}

int bgrx_luma_row_avx2(const uint8_t* src, int width, uint8_t* luma) {
    const Bt601Vectors k = make_bt601_vectors();
    int j = 0;
    for (; j + 32 <= width; j += 32) store32(luma + j, luma32(src + 4 * j, k));
    return j;
}

int bgrx_nv12_row_avx2(const uint8_t* src, int width, uint8_t* luma, uint8_t* uv) {
    const Bt601Vectors k = make_bt601_vectors();
    int j = 0;
    for (; j + 32 <= width; j += 32) {
        __m256i y, cbcr;
        convert32(src + 4 * j, k, y, cbcr);
        store32(luma + j, y);
        store32(uv + j, cbcr);
    }
    return j;
}

int bgrx_yv12_row_avx2(const uint8_t* src, int width, uint8_t* luma, uint8_t* v, uint8_t* u) {
    const Bt601Vectors k = make_bt601_vectors();
    int j = 0;
    for (; j + 32 <= width; j += 32) {
        __m256i y, cbcr;
        convert32(src + 4 * j, k, y, cbcr);
        store32(luma + j, y);
        const __m256i cb = _mm256_and_si256(cbcr, k.low_bytes);
        const __m256i cr = _mm256_srli_epi16(cbcr, 8);
        // In-lane pack gives Cb 0-7, Cr 0-7, Cb 8-15, Cr 8-15; reorder the quadwords.
        const __m256i split = _mm256_permute4x64_epi64(_mm256_packus_epi16(cb, cr), 0xD8);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(u + j / 2), _mm256_castsi256_si128(split));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(v + j / 2), _mm256_extracti128_si256(split, 1));
    }
    return j;
}

}  // namespace yuv_rows
#pragma GCC pop_options
