// AVX-512 colour row kernels (needs AVX512F, BW, VNNI and VBMI), built for
// them in a target region after the includes; yuv_convert.cpp calls them only
// when the processor has all four. Pure functions, callable from any thread.
//
// _mm512_dpbusd_epi32 adds the four byte products of a pixel (unsigned
// channel times signed weight) to a 32-bit lane that starts at the rounding
// bias, so each lane holds value*256 + bias with the result in its byte 1,
// exactly as the scalar formulas compute it. The green weight of Y (129) does
// not fit a signed byte, so Y takes two passes: 127 and 2. For chroma, each
// even pixel is duplicated into its odd neighbour's lane and weighed for Cb in
// even lanes and for Cr in odd lanes: byte 1 of the lanes is then NV12 order.
// One byte permute across two registers gathers those bytes.
#include "yuv_convert_rows.h"

// GCC 12's AVX-512 intrinsics start some results from _mm512_undefined_*(),
// which -Wmaybe-uninitialized reports once inlined here; the lanes are all set.
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#include <immintrin.h>

#include <cstdint>

// Everything below is built for AVX-512 only (see cpu_features.h for the choice).
#pragma GCC push_options
#pragma GCC target("avx512f,avx512bw,avx512vnni,avx512vbmi")

namespace yuv_rows {
namespace {

constexpr int y_g_first = 127;
constexpr int y_g_second = bt601::y_g - y_g_first;

constexpr uint32_t weights(int b, int g, int r) {
    return static_cast<uint8_t>(b) | static_cast<uint32_t>(static_cast<uint8_t>(g)) << 8 |
           static_cast<uint32_t>(static_cast<uint8_t>(r)) << 16;
}

struct Bt601Vectors {
    __m512i y_first, y_second, cbcr, y_bias, c_bias, byte1_of_two;
};

Bt601Vectors make_bt601_vectors() {
    alignas(64) uint8_t byte1[64];
    for (int k = 0; k < 64; ++k) byte1[k] = static_cast<uint8_t>(4 * k + 1);  // bit 6 selects the 2nd register
    const auto cb = static_cast<int>(weights(bt601::cb_b, bt601::cb_g, bt601::cb_r));
    const auto cr = static_cast<int>(weights(bt601::cr_b, bt601::cr_g, bt601::cr_r));
    return {_mm512_set1_epi32(static_cast<int>(weights(bt601::y_b, y_g_first, bt601::y_r))),
            _mm512_set1_epi32(static_cast<int>(weights(0, y_g_second, 0))),
            _mm512_set_epi32(cr, cb, cr, cb, cr, cb, cr, cb, cr, cb, cr, cb, cr, cb, cr, cb),
            _mm512_set1_epi32(bt601::y_bias),
            _mm512_set1_epi32(bt601::c_bias),
            _mm512_load_si512(byte1)};
}

// Byte 1 of each 32-bit lane of a, b, c, d (64 lanes) as 64 bytes in order.
inline __m512i gather_byte1(__m512i a, __m512i b, __m512i c, __m512i d, const Bt601Vectors& k) {
    const __m512i ab = _mm512_permutex2var_epi8(a, k.byte1_of_two, b);  // bytes 0-31 used
    const __m512i cd = _mm512_permutex2var_epi8(c, k.byte1_of_two, d);
    return _mm512_shuffle_i64x2(ab, cd, _MM_SHUFFLE(1, 0, 1, 0));
}

inline __m512i luma_lanes(__m512i px, const Bt601Vectors& k) {
    return _mm512_dpbusd_epi32(_mm512_dpbusd_epi32(k.y_bias, px, k.y_first), px, k.y_second);
}

// Lanes Cb0, Cr0, Cb2, Cr2, ... of 16 pixels.
inline __m512i chroma_lanes(__m512i px, const Bt601Vectors& k) {
    const __m512i even_pixels_doubled = _mm512_shuffle_epi32(px, _MM_PERM_CCAA);
    return _mm512_dpbusd_epi32(k.c_bias, even_pixels_doubled, k.cbcr);
}

inline __m512i load64(const uint8_t* src) { return _mm512_loadu_si512(src); }

inline void store64(uint8_t* dst, __m512i v) { _mm512_storeu_si512(dst, v); }

}  // namespace

int bgrx_luma_row_avx512(const uint8_t* src, int width, uint8_t* luma) {
    const Bt601Vectors k = make_bt601_vectors();
    int j = 0;
    for (; j + 64 <= width; j += 64) {
        const uint8_t* s = src + 4 * j;
        store64(luma + j, gather_byte1(luma_lanes(load64(s), k), luma_lanes(load64(s + 64), k),
                                       luma_lanes(load64(s + 128), k), luma_lanes(load64(s + 192), k), k));
    }
    return j;
}

int bgrx_nv12_row_avx512(const uint8_t* src, int width, uint8_t* luma, uint8_t* uv) {
    const Bt601Vectors k = make_bt601_vectors();
    int j = 0;
    for (; j + 64 <= width; j += 64) {
        const uint8_t* s = src + 4 * j;
        const __m512i a = load64(s), b = load64(s + 64), c = load64(s + 128), d = load64(s + 192);
        store64(luma + j, gather_byte1(luma_lanes(a, k), luma_lanes(b, k), luma_lanes(c, k), luma_lanes(d, k), k));
        store64(uv + j,
                gather_byte1(chroma_lanes(a, k), chroma_lanes(b, k), chroma_lanes(c, k), chroma_lanes(d, k), k));
    }
    return j;
}

int bgrx_yv12_row_avx512(const uint8_t* src, int width, uint8_t* luma, uint8_t* v, uint8_t* u) {
    const Bt601Vectors k = make_bt601_vectors();
    // 32 Cb,Cr pairs: even bytes to the Cb plane, odd bytes to the Cr plane.
    alignas(64) uint8_t split_index[64];
    for (int i = 0; i < 32; ++i) {
        split_index[i] = static_cast<uint8_t>(2 * i);
        split_index[32 + i] = static_cast<uint8_t>(2 * i + 1);
    }
    const __m512i split = _mm512_load_si512(split_index);
    int j = 0;
    for (; j + 64 <= width; j += 64) {
        const uint8_t* s = src + 4 * j;
        const __m512i a = load64(s), b = load64(s + 64), c = load64(s + 128), d = load64(s + 192);
        store64(luma + j, gather_byte1(luma_lanes(a, k), luma_lanes(b, k), luma_lanes(c, k), luma_lanes(d, k), k));
        const __m512i cbcr =
            gather_byte1(chroma_lanes(a, k), chroma_lanes(b, k), chroma_lanes(c, k), chroma_lanes(d, k), k);
        const __m512i planar = _mm512_permutexvar_epi8(split, cbcr);
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(u + j / 2), _mm512_castsi512_si256(planar));
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(v + j / 2), _mm512_extracti64x4_epi64(planar, 1));
    }
    return j;
}

}  // namespace yuv_rows
#pragma GCC pop_options
