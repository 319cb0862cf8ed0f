// colour_rows_avx2.cpp - the row kernel on AVX2: 16 pixels a step.  Call it
// only where the processor has AVX2 (best_row_kernel() checks).  Pure
// functions; any thread.
#include <immintrin.h>

#include "colour_rows.h"

// Everything below (including the shared kernel) is built for AVX2 only.
#pragma GCC push_options
#pragma GCC target("avx2")
#include "colour_rows_simd.h"

namespace colour::detail {
namespace {

struct Avx2 {
    using V = __m256i;
    static constexpr long kLanes = 16;
    static V load(const uint8_t* p) {
        return _mm256_cvtepu8_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p)));
    }
    static V load(const uint16_t* p) { return _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p)); }
    static V add(V a, V b) { return _mm256_add_epi16(a, b); }
    static V mulhi(V a, V b) { return _mm256_mulhi_epi16(a, b); }
    static V set1(int16_t v) { return _mm256_set1_epi16(v); }
    template <int n>
    static V shl(V v) {
        if constexpr (n == 0)
            return v;
        else
            return _mm256_slli_epi16(v, n);
    }
    static V sra(V v, int n) { return _mm256_sra_epi16(v, _mm_cvtsi32_si128(n)); }
    static V srl(V v, int n) { return _mm256_srl_epi16(v, _mm_cvtsi32_si128(n)); }
    static V even_odd(V even, V odd) { return _mm256_blend_epi16(even, odd, 0xAA); }
    static void store_bgrx(uint32_t* out, V r, V g, V b) {
        // Packs and unpacks work within 128-bit halves: pixels 0-7 in the low
        // half, 8-15 in the high one, put back in order by the last permute.
        const V zero = _mm256_setzero_si256();
        const V br = _mm256_packus_epi16(b, r);
        const V g0 = _mm256_packus_epi16(g, zero);
        const V bg = _mm256_unpacklo_epi8(br, g0);
        const V r0 = _mm256_unpackhi_epi8(br, zero);
        const V p0 = _mm256_unpacklo_epi16(bg, r0);  // pixels 0-3 | 8-11
        const V p1 = _mm256_unpackhi_epi16(bg, r0);  // pixels 4-7 | 12-15
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(out), _mm256_permute2x128_si256(p0, p1, 0x20));
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + 8), _mm256_permute2x128_si256(p0, p1, 0x31));
    }
};

}  // namespace

long row_kernel_avx2(const RowJob& job) { return simd::row_interior_for<Avx2>(job); }

}  // namespace colour::detail
#pragma GCC pop_options
