// SSE2 row kernels (baseline on x86-64). Pure functions, callable from any
// thread.
//
// Colour: a BGRx pixel read as two 16-bit lanes is (G<<8|B, X<<8|R). Masking
// the low bytes gives (B, R) and shifting out the low bytes gives (G, X), so
// one _mm_madd_epi16 per pair of lanes yields a 32-bit weighted sum per pixel.
// The sums are exact, which keeps the vector bytes identical to the scalar
// formulas (8-bit multiply-add shortcuts would need rounded coefficients).
#include "yuv_convert_rows.h"

#include <emmintrin.h>

#include <cstdint>

namespace yuv_rows {
namespace {

// Two signed 16-bit coefficients as one 32-bit lane: `low` weighs the lower
// lane of each pair.
__m128i coefficient_pair(int low, int high) {
    return _mm_set1_epi32(
        static_cast<int>((static_cast<uint32_t>(static_cast<uint16_t>(high)) << 16) | static_cast<uint16_t>(low)));
}

struct Bt601Vectors {
    __m128i low_bytes = _mm_set1_epi16(0x00FF);
    __m128i y_br = coefficient_pair(bt601::y_b, bt601::y_r);
    __m128i y_gx = coefficient_pair(bt601::y_g, 0);
    __m128i cb_br = coefficient_pair(bt601::cb_b, bt601::cb_r);
    __m128i cb_gx = coefficient_pair(bt601::cb_g, 0);
    __m128i cr_br = coefficient_pair(bt601::cr_b, bt601::cr_r);
    __m128i cr_gx = coefficient_pair(bt601::cr_g, 0);
    __m128i y_bias = _mm_set1_epi32(bt601::y_bias);
    __m128i c_bias = _mm_set1_epi32(bt601::c_bias);
    __m128i even_lanes = _mm_set_epi32(0, -1, 0, -1);
};

// Four pixels split into (B, R) and (G, X) 16-bit lane pairs.
struct Channels {
    __m128i br;
    __m128i gx;
};

Channels split_channels(const uint8_t* src, const Bt601Vectors& k) {
    const __m128i px = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src));
    return {_mm_and_si128(px, k.low_bytes), _mm_srli_epi16(px, 8)};
}

// Y of four pixels, one per 32-bit lane.
__m128i luma4(const Channels& c, const Bt601Vectors& k) {
    const __m128i sum = _mm_add_epi32(_mm_madd_epi16(c.br, k.y_br), _mm_madd_epi16(c.gx, k.y_gx));
    return _mm_srli_epi32(_mm_add_epi32(sum, k.y_bias), 8);
}

// Cb and Cr of pixels 0 and 2 as 32-bit lanes (Cb0, Cr0, Cb2, Cr2): the NV12
// byte order once packed. Pixels 1 and 3 are computed and dropped.
__m128i chroma_pairs4(const Channels& c, const Bt601Vectors& k) {
    const __m128i cb = _mm_add_epi32(_mm_madd_epi16(c.br, k.cb_br), _mm_madd_epi16(c.gx, k.cb_gx));
    const __m128i cr = _mm_add_epi32(_mm_madd_epi16(c.br, k.cr_br), _mm_madd_epi16(c.gx, k.cr_gx));
    const __m128i cb8 = _mm_srli_epi32(_mm_add_epi32(cb, k.c_bias), 8);
    const __m128i cr8 = _mm_srli_epi32(_mm_add_epi32(cr, k.c_bias), 8);
    return _mm_or_si128(_mm_and_si128(cb8, k.even_lanes), _mm_slli_epi64(cr8, 32));
}

// Sixteen 32-bit lanes holding bytes, packed in order into 16 bytes.
__m128i pack_bytes(__m128i a, __m128i b, __m128i c, __m128i d) {
    return _mm_packus_epi16(_mm_packs_epi32(a, b), _mm_packs_epi32(c, d));
}

void store16(uint8_t* dst, __m128i v) { _mm_storeu_si128(reinterpret_cast<__m128i*>(dst), v); }

// Y of 16 pixels and the NV12 bytes (Cb,Cr of every even pixel) of them.
void convert16(const uint8_t* src, const Bt601Vectors& k, __m128i& luma, __m128i& cbcr) {
    const Channels p0 = split_channels(src, k);
    const Channels p1 = split_channels(src + 16, k);
    const Channels p2 = split_channels(src + 32, k);
    const Channels p3 = split_channels(src + 48, k);
    luma = pack_bytes(luma4(p0, k), luma4(p1, k), luma4(p2, k), luma4(p3, k));
    cbcr = pack_bytes(chroma_pairs4(p0, k), chroma_pairs4(p1, k), chroma_pairs4(p2, k), chroma_pairs4(p3, k));
}

}  // namespace

int shift_row_sse2(const uint16_t* src, int width, int shift, uint8_t* luma) {
    const __m128i count = _mm_cvtsi32_si128(shift);
    const bool aligned = (reinterpret_cast<uintptr_t>(luma) & 15) == 0;
    int j = 0;
    for (; j + 16 <= width; j += 16) {
        const __m128i lo = _mm_srl_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(src + j)), count);
        const __m128i hi = _mm_srl_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(src + j + 8)), count);
        // Unsigned saturation reads the lanes as signed: exactly the clamp rule.
        const __m128i bytes = _mm_packus_epi16(lo, hi);
        if (aligned)
            _mm_stream_si128(reinterpret_cast<__m128i*>(luma + j), bytes);
        else
            store16(luma + j, bytes);
    }
    return j;
}

void store_fence() { _mm_sfence(); }

int bgrx_luma_row_sse2(const uint8_t* src, int width, uint8_t* luma) {
    const Bt601Vectors k;
    int j = 0;
    for (; j + 16 <= width; j += 16) {
        const uint8_t* s = src + 4 * j;
        store16(luma + j, pack_bytes(luma4(split_channels(s, k), k), luma4(split_channels(s + 16, k), k),
                                     luma4(split_channels(s + 32, k), k), luma4(split_channels(s + 48, k), k)));
    }
    return j;
}

int bgrx_nv12_row_sse2(const uint8_t* src, int width, uint8_t* luma, uint8_t* uv) {
    const Bt601Vectors k;
    int j = 0;
    for (; j + 16 <= width; j += 16) {
        __m128i y, cbcr;
        convert16(src + 4 * j, k, y, cbcr);
        store16(luma + j, y);
        store16(uv + j, cbcr);
    }
    return j;
}

int bgrx_yv12_row_sse2(const uint8_t* src, int width, uint8_t* luma, uint8_t* v, uint8_t* u) {
    const Bt601Vectors k;
    int j = 0;
    for (; j + 16 <= width; j += 16) {
        __m128i y, cbcr;
        convert16(src + 4 * j, k, y, cbcr);
        store16(luma + j, y);
        const __m128i cb = _mm_and_si128(cbcr, k.low_bytes);
        const __m128i cr = _mm_srli_epi16(cbcr, 8);
        _mm_storel_epi64(reinterpret_cast<__m128i*>(u + j / 2), _mm_packus_epi16(cb, cb));
        _mm_storel_epi64(reinterpret_cast<__m128i*>(v + j / 2), _mm_packus_epi16(cr, cr));
    }
    return j;
}

}  // namespace yuv_rows
