// colour_fixed_point.h - the colour settings folded into 16-bit fixed point,
// and the per-pixel arithmetic of the integer row kernels in scalar form.
//
// Pure functions and plain data: any thread may call them; a FixedSet is
// read-only once built.
#pragma once

#include <array>
#include <cstdint>

namespace colour::detail {

// Sample depths the integer kernels tell apart.  8-bit images always use
// kBits8; 16-bit rows use the smallest class holding their largest sample
// (12, 13, or 14..16, which are shifted down to 13 bits first).
constexpr int kMaxClassBits = 16;

// Coefficients for one sample depth.  Each output is
//   (offset + sum_j ((f_j * k_j) >> 16)) >> fraction_bits, clamped to 0..255,
// where the features f_j are the bilinear P, G, Q estimates as 4x-sample sums
// scaled up by 2^(feature_shift - 2) so that they fill 15 bits.
struct FixedClass {
    bool usable = false;    // false: the settings overflow 16 bits here; use the float path
    int input_shift = 0;    // right shift of every sample (data wider than 13 bits)
    int feature_shift = 0;  // left shift of a centre sample; 2-sample sums use one less, 4-sample sums two less
    int fraction_bits = 0;  // fractional bits of the 16-bit sums
    int16_t k[3][3]{};      // [output R, G, B][input P, G, Q]
    int16_t offset[3]{};    // black level, rounding and truncation bias, in 2^-fraction_bits units
};

struct FixedSet {
    std::array<FixedClass, kMaxClassBits + 1> by_bits;  // index: class bits (8, 12..16)
    const FixedClass& for_8bit() const { return by_bits[8]; }
    // The class for 16-bit rows whose samples OR together to `or_of_samples`.
    const FixedClass& for_16bit(uint32_t or_of_samples) const;
};

// gain[o][j]: output units per raw sample of input P, G, Q for output R, G, B;
// offset[o]: output units added (the black level's share, before rounding).
FixedSet fold_fixed(const double gain[3][3], const double offset[3]);

// The features of one pixel, in the kernels' scaled form.  c: centre sample;
// h, v: sums of the 2 horizontal / vertical neighbours; d: sum of the 4
// diagonal ones (all after input_shift).  p_row: the row holds P and G.
struct Features {
    int32_t p, g, q;
};
Features pixel_features(const FixedClass& fc, bool p_row, bool even_column, int32_t c, int32_t h, int32_t v, int32_t d);

// B | G<<8 | R<<16 of one pixel, exactly as the SIMD kernels compute it.
uint32_t fixed_to_bgrx(const FixedClass& fc, Features f);

}  // namespace colour::detail
