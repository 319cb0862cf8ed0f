// pixel_decode_sse2.cpp - the pixel_decode.h kernels on SSE2, which every
// x86-64 has.  SSE2 has no byte shuffle, so only the layouts whose bytes fall
// into fixed lanes get vectors: 4:2:2 (16 pixels a step) and the four-byte
// RGBa/BGRa (4 pixels a vector, 16 a step).  The packed formats and the
// three-byte RGB/BGR would need shifts and masks per sample that do no better
// than the scalar loops, so they use those.  Pure functions; any thread.
#include <emmintrin.h>

#include <cstddef>
#include <cstdint>

#include "pixel_decode_kernels.h"

namespace genicam::detail {
namespace {

__m128i load(const uint8_t* p) { return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p)); }

// 16 pixels of 4:2:2 from 32 bytes: Y in the low byte of each 16-bit lane
// (yuyv) or the high one (uyvy).
template <bool kYFirst>
void yuv422_luma(const uint8_t* pixels, uint32_t count, uint8_t* luma) {
    uint32_t i = 0;
    for (; count - i >= 16; i += 16) {
        __m128i a = load(pixels + 2 * i), b = load(pixels + 2 * i + 16);
        if constexpr (kYFirst) {
            const __m128i low = _mm_set1_epi16(0x00FF);
            a = _mm_and_si128(a, low);
            b = _mm_and_si128(b, low);
        } else {
            a = _mm_srli_epi16(a, 8);
            b = _mm_srli_epi16(b, 8);
        }
        _mm_storeu_si128(reinterpret_cast<__m128i*>(luma + i), _mm_packus_epi16(a, b));
    }
    colour_to_luma_scalar(kYFirst ? CameraColour::yuyv : CameraColour::uyvy, pixels + 2 * i, count - i, luma + i);
}

// The luma of 4 four-byte pixels as 32-bit lanes: the even bytes (R, B or
// B, R) and the odd ones (G, A) as 16-bit pairs, weighed and summed by pmaddwd.
__m128i quad_luma(__m128i v, __m128i even_weights, __m128i odd_weights) {
    const __m128i even = _mm_and_si128(v, _mm_set1_epi16(0x00FF));
    const __m128i odd = _mm_srli_epi16(v, 8);
    const __m128i sum = _mm_add_epi32(_mm_madd_epi16(even, even_weights), _mm_madd_epi16(odd, odd_weights));
    return _mm_srli_epi32(_mm_add_epi32(sum, _mm_set1_epi32(128)), 8);
}

void four_byte_luma(CameraColour colour, const uint8_t* pixels, uint32_t count, uint8_t* luma) {
    // Per pixel the 16-bit pairs (byte 0, byte 2) and (byte 1 = G, byte 3 = A).
    const __m128i even_weights =
        colour == CameraColour::rgba8 ? _mm_set1_epi32(77 | 29 << 16) : _mm_set1_epi32(29 | 77 << 16);
    const __m128i odd_weights = _mm_set1_epi32(150);
    uint32_t i = 0;
    for (; count - i >= 16; i += 16) {
        const uint8_t* p = pixels + 4 * i;
        const __m128i y0 = quad_luma(load(p), even_weights, odd_weights);
        const __m128i y1 = quad_luma(load(p + 16), even_weights, odd_weights);
        const __m128i y2 = quad_luma(load(p + 32), even_weights, odd_weights);
        const __m128i y3 = quad_luma(load(p + 48), even_weights, odd_weights);
        // Every value is at most 255, so the signed packs keep it.
        const __m128i bytes = _mm_packus_epi16(_mm_packs_epi32(y0, y1), _mm_packs_epi32(y2, y3));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(luma + i), bytes);
    }
    colour_to_luma_scalar(colour, pixels + 4 * i, count - i, luma + i);
}

}  // namespace

void unpack_samples_sse2(Packing packing, const uint8_t* image, size_t first, uint32_t count, uint16_t* out) {
    unpack_samples_scalar(packing, image, first, count, out);
}

void colour_to_luma_sse2(CameraColour colour, const uint8_t* pixels, uint32_t count, uint8_t* luma) {
    switch (colour) {
        case CameraColour::yuyv: return yuv422_luma<true>(pixels, count, luma);
        case CameraColour::uyvy: return yuv422_luma<false>(pixels, count, luma);
        case CameraColour::rgba8:
        case CameraColour::bgra8: return four_byte_luma(colour, pixels, count, luma);
        case CameraColour::rgb8:
        case CameraColour::bgr8: return colour_to_luma_scalar(colour, pixels, count, luma);
    }
}

}  // namespace genicam::detail
