// colour_rows_avx512.cpp - the row kernel on AVX-512 (F and BW): 32 pixels a
// step.  Call it only where the processor has both (best_row_kernel()
// checks).  Pure functions; any thread.
#include <immintrin.h>

#include "colour_rows.h"

// Everything below (including the shared kernel) is built for AVX-512 only.
#pragma GCC push_options
#pragma GCC target("avx512f,avx512bw")
#include "colour_rows_simd.h"

namespace colour::detail {
namespace {

struct Avx512 {
    using V = __m512i;
    static constexpr long kLanes = 32;
    static V load(const uint8_t* p) {
        return _mm512_cvtepu8_epi16(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(p)));
    }
    static V load(const uint16_t* p) { return _mm512_loadu_si512(p); }
    static V add(V a, V b) { return _mm512_add_epi16(a, b); }
    static V mulhi(V a, V b) { return _mm512_mulhi_epi16(a, b); }
    static V set1(int16_t v) { return _mm512_set1_epi16(v); }
    template <int n>
    static V shl(V v) {
        if constexpr (n == 0)
            return v;
        else
            return _mm512_slli_epi16(v, n);
    }
    static V sra(V v, int n) { return _mm512_sra_epi16(v, _mm_cvtsi32_si128(n)); }
    static V srl(V v, int n) { return _mm512_srl_epi16(v, _mm_cvtsi32_si128(n)); }
    static V even_odd(V even, V odd) { return _mm512_mask_blend_epi16(0xAAAAAAAAu, even, odd); }
    static void store_bgrx(uint32_t* out, V r, V g, V b) {
        // Packs and unpacks work within 128-bit quarters (8 pixels each); the
        // two-source permutes put the 4-pixel groups back in order.
        const V zero = _mm512_setzero_si512();
        const V br = _mm512_packus_epi16(b, r);
        const V g0 = _mm512_packus_epi16(g, zero);
        const V bg = _mm512_unpacklo_epi8(br, g0);
        const V r0 = _mm512_unpackhi_epi8(br, zero);
        const V p0 = _mm512_unpacklo_epi16(bg, r0);  // pixels 0-3 | 8-11 | 16-19 | 24-27
        const V p1 = _mm512_unpackhi_epi16(bg, r0);  // pixels 4-7 | 12-15 | 20-23 | 28-31
        const V first = _mm512_setr_epi64(0, 1, 8, 9, 2, 3, 10, 11);
        const V second = _mm512_setr_epi64(4, 5, 12, 13, 6, 7, 14, 15);
        _mm512_storeu_si512(out, _mm512_permutex2var_epi64(p0, first, p1));
        _mm512_storeu_si512(out + 16, _mm512_permutex2var_epi64(p0, second, p1));
    }
};

}  // namespace

long row_kernel_avx512(const RowJob& job) { return simd::row_interior_for<Avx512>(job); }

}  // namespace colour::detail
#pragma GCC pop_options
