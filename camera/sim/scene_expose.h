// scene_expose.h - the simulated sensor's per-frame hot loop: each sample of
// a scene row scaled by the exposure, noise added, clipped to 12 bits.  One
// template, built for the baseline here and for AVX2 (whose 32-bit multiply
// SSE2 lacks) in scene_expose_avx2.cpp; expose_row_kernels() picks one by the
// SIMD level (cpu_features.h).  Pure functions: any thread.
#pragma once

#include <algorithm>
#include <cstdint>

namespace zebsim {

template <typename Out>
inline __attribute__((always_inline)) void expose_row(const uint16_t* scene, const int16_t* noise, uint32_t scale_q8,
                                                      uint32_t n, Out* out) {
    for (uint32_t x = 0; x < n; ++x) {
        int32_t v = static_cast<int32_t>((uint32_t{scene[x]} * scale_q8) >> 8) + noise[x];
        v = std::clamp(v, 0, 4095);
        if constexpr (sizeof(Out) == 1)
            out[x] = static_cast<Out>(v >> 4);
        else
            out[x] = static_cast<Out>(v);
    }
}

// A row of 8-bit samples (the top 8 of the 12 bits) and one of 16-bit ones.
struct ExposeRowKernels {
    void (*to8)(const uint16_t* scene, const int16_t* noise, uint32_t scale_q8, uint32_t n, uint8_t* out);
    void (*to16)(const uint16_t* scene, const int16_t* noise, uint32_t scale_q8, uint32_t n, uint16_t* out);
};

void expose_row8_avx2(const uint16_t* scene, const int16_t* noise, uint32_t scale_q8, uint32_t n, uint8_t* out);
void expose_row16_avx2(const uint16_t* scene, const int16_t* noise, uint32_t scale_q8, uint32_t n, uint16_t* out);

// The kernels for this processor, capped by TOLMIREX_SIMD.
const ExposeRowKernels& expose_row_kernels();

}  // namespace zebsim
