// colour_rows_simd.h - the interior of one output row, written once against a
// small set of vector operations (Ops) that each instruction-set file supplies.
// Include it after that file's `#pragma GCC target`, and instantiate it only
// with Ops types of internal linkage, so each build stays in its own file.
//
// Pure functions over caller-owned memory; any thread may call them.
//
// Lanes are 16 bits, one pixel each, in image order; even and odd columns get
// their features by a per-lane select, so there are no per-pixel branches.
// Ops provides:
//   V; kLanes; load(const uint8_t*) and load(const uint16_t*) (zero-extended);
//   add, mulhi (signed, high half), set1; shl<n>(V); sra(V, int); srl(V, int);
//   even_odd(even_lanes, odd_lanes); store_bgrx(out, r, g, b) (saturating).
#pragma once

#include "colour_rows.h"

namespace colour::detail::simd {

template <class Ops, typename T, int kShift, bool kWide, bool kPRow>
inline __attribute__((always_inline)) void pixels_at(const T* up, const T* row, const T* down, long x,
                                                     const typename Ops::V (&k)[3][3],
                                                     const typename Ops::V (&offset)[3], int fraction_bits,
                                                     int input_shift, uint32_t* out) {
    using V = typename Ops::V;
    auto load = [&](const T* p) {
        V v = Ops::load(p);
        if constexpr (kWide) v = Ops::srl(v, input_shift);
        return v;
    };
    const V c = load(row + x);
    const V h = Ops::add(load(row + x - 1), load(row + x + 1));
    const V v = Ops::add(load(up + x), load(down + x));
    const V d =
        Ops::add(Ops::add(load(up + x - 1), load(down + x - 1)), Ops::add(load(up + x + 1), load(down + x + 1)));
    // Each feature is a 4x-sample sum scaled by 2^(kShift - 2): see FixedClass.
    const V cs = Ops::template shl<kShift>(c);
    const V hs = Ops::template shl<kShift - 1>(h);
    const V vs = Ops::template shl<kShift - 1>(v);
    const V hvs = Ops::template shl<kShift - 2>(Ops::add(h, v));
    const V ds = Ops::template shl<kShift - 2>(d);
    V f[3];
    if constexpr (kPRow) {
        f[0] = Ops::even_odd(cs, hs);
        f[1] = Ops::even_odd(hvs, cs);
        f[2] = Ops::even_odd(ds, vs);
    } else {
        f[0] = Ops::even_odd(vs, ds);
        f[1] = Ops::even_odd(cs, hvs);
        f[2] = Ops::even_odd(hs, cs);
    }
    V channel[3];
    for (int o = 0; o < 3; ++o) {
        const V sum = Ops::add(Ops::add(offset[o], Ops::mulhi(f[0], k[o][0])),
                               Ops::add(Ops::mulhi(f[1], k[o][1]), Ops::mulhi(f[2], k[o][2])));
        channel[o] = Ops::sra(sum, fraction_bits);
    }
    Ops::store_bgrx(out + x, channel[0], channel[1], channel[2]);
}

template <class Ops, typename T, int kShift, bool kWide, bool kPRow>
long row_interior(const RowJob& job) {
    using V = typename Ops::V;
    constexpr long kLanes = Ops::kLanes;
    const long w = job.width;
    if (w < kLanes + 3) return 2;
    const T* up = static_cast<const T*>(job.up);
    const T* row = static_cast<const T*>(job.row);
    const T* down = static_cast<const T*>(job.down);
    const FixedClass& fc = *job.fixed;
    V k[3][3], offset[3];
    for (int o = 0; o < 3; ++o) {
        offset[o] = Ops::set1(fc.offset[o]);
        for (int j = 0; j < 3; ++j) k[o][j] = Ops::set1(fc.k[o][j]);
    }
    // Steps start on even columns (the select pattern assumes it) and read
    // one column either side.
    long x = 2;
    for (; x + kLanes <= w - 1; x += kLanes)
        pixels_at<Ops, T, kShift, kWide, kPRow>(up, row, down, x, k, offset, fc.fraction_bits, fc.input_shift, job.out);
    if (x >= w - 2) return x;
    // The remainder: one more step that overlaps the last (same results).
    const long last = (w - 1 - kLanes) & ~1L;
    pixels_at<Ops, T, kShift, kWide, kPRow>(up, row, down, last, k, offset, fc.fraction_bits, fc.input_shift, job.out);
    return last + kLanes;
}

template <class Ops, typename T, int kShift, bool kWide>
long row_interior_any_row(const RowJob& job) {
    return job.p_row ? row_interior<Ops, T, kShift, kWide, true>(job) : row_interior<Ops, T, kShift, kWide, false>(job);
}

// Picks the instantiation for the job's sample size and depth class.
template <class Ops>
long row_interior_for(const RowJob& job) {
    const FixedClass& fc = *job.fixed;
    if (job.bytes_per_sample == 1) return row_interior_any_row<Ops, uint8_t, 7, false>(job);
    if (fc.input_shift > 0) return row_interior_any_row<Ops, uint16_t, 2, true>(job);
    if (fc.feature_shift == 3) return row_interior_any_row<Ops, uint16_t, 3, false>(job);
    return row_interior_any_row<Ops, uint16_t, 2, false>(job);
}

}  // namespace colour::detail::simd
