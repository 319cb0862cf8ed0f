// colour_rows_sse2.cpp - the row kernel on SSE2, which every x86-64 has:
// 8 pixels a step.  Pure functions; any thread.
#include <emmintrin.h>

#include "colour_rows_simd.h"

namespace colour::detail {
namespace {

struct Sse2 {
    using V = __m128i;
    static constexpr long kLanes = 8;
    static V load(const uint8_t* p) {
        return _mm_unpacklo_epi8(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(p)), _mm_setzero_si128());
    }
    static V load(const uint16_t* p) { return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p)); }
    static V add(V a, V b) { return _mm_add_epi16(a, b); }
    static V mulhi(V a, V b) { return _mm_mulhi_epi16(a, b); }
    static V set1(int16_t v) { return _mm_set1_epi16(v); }
    template <int n>
    static V shl(V v) {
        if constexpr (n == 0)
            return v;
        else
            return _mm_slli_epi16(v, n);
    }
    static V sra(V v, int n) { return _mm_sra_epi16(v, _mm_cvtsi32_si128(n)); }
    static V srl(V v, int n) { return _mm_srl_epi16(v, _mm_cvtsi32_si128(n)); }
    static V even_odd(V even, V odd) {
        const V odd_lanes = _mm_set1_epi32(int32_t(0xFFFF0000u));
        return _mm_or_si128(_mm_andnot_si128(odd_lanes, even), _mm_and_si128(odd_lanes, odd));
    }
    static void store_bgrx(uint32_t* out, V r, V g, V b) {
        const V br = _mm_packus_epi16(b, r);                      // B0..7 R0..7
        const V g0 = _mm_packus_epi16(g, _mm_setzero_si128());    // G0..7 0..
        const V bg = _mm_unpacklo_epi8(br, g0);                   // B0 G0 B1 G1 ..
        const V r0 = _mm_unpackhi_epi8(br, _mm_setzero_si128());  // R0 0 R1 0 ..
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out), _mm_unpacklo_epi16(bg, r0));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 4), _mm_unpackhi_epi16(bg, r0));
    }
};

}  // namespace

long row_kernel_sse2(const RowJob& job) { return simd::row_interior_for<Sse2>(job); }

}  // namespace colour::detail
