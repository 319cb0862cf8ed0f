// scene_expose_avx2.cpp - the exposure loop of scene_expose.h built for AVX2
// in a target region after the includes; called only when the processor has
// AVX2.  Pure functions: any thread.
#include "scene_expose.h"

#pragma GCC push_options
#pragma GCC target("avx2")

namespace zebsim {

void expose_row8_avx2(const uint16_t* scene, const int16_t* noise, uint32_t scale_q8, uint32_t n, uint8_t* out) {
    expose_row(scene, noise, scale_q8, n, out);
}

void expose_row16_avx2(const uint16_t* scene, const int16_t* noise, uint32_t scale_q8, uint32_t n, uint16_t* out) {
    expose_row(scene, noise, scale_q8, n, out);
}

}  // namespace zebsim

#pragma GCC pop_options
