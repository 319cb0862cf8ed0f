// colour_fixed_point.cpp - see colour_fixed_point.h.  Pure functions: any thread.
#include "colour_fixed_point.h"

#include <algorithm>
#include <bit>
#include <cmath>

namespace colour::detail {
namespace {

constexpr int kMinFractionBits = 3;  // below this rounding drifts past +-1; the float path takes over
constexpr int kMaxFractionBits = 6;

// Builds the class for samples of `bits` significant bits, or an unusable one.
FixedClass make_class(int bits, const double gain[3][3], const double offset[3]) {
    FixedClass fc;
    const int effective_bits = std::min(bits, 13);  // 4 samples of 13 bits still fit 15 bits
    fc.input_shift = bits - effective_bits;
    fc.feature_shift = 15 - effective_bits;
    const double feature_max = 4.0 * ((1 << effective_bits) - 1) * (1 << (fc.feature_shift - 2));
    const double per_shifted_sample = double(1 << fc.input_shift);
    for (int fraction = kMaxFractionBits; fraction >= kMinFractionBits; --fraction) {
        const double k_scale = std::ldexp(per_shifted_sample, 16 + fraction - fc.feature_shift);
        bool fits = true;
        for (int o = 0; o < 3 && fits; ++o) {
            int nonzero = 0;
            double high = 0, low = 0;
            for (int j = 0; j < 3; ++j) {
                const double k = std::round(gain[o][j] * k_scale);
                if (std::fabs(k) > 32767) fits = false;
                fc.k[o][j] = static_cast<int16_t>(std::clamp(k, -32767.0, 32767.0));
                nonzero += fc.k[o][j] != 0;
                const double term = std::floor(feature_max * fc.k[o][j] / 65536.0);
                (term > 0 ? high : low) += term;
            }
            // Rounding to nearest, plus half a unit per truncating product.
            const double off = std::round(std::ldexp(offset[o], fraction) + std::ldexp(0.5, fraction) + 0.5 * nonzero);
            if (std::fabs(off) > 32767 || off + high > 32767 || off + low < -32768) fits = false;
            fc.offset[o] = static_cast<int16_t>(std::clamp(off, -32767.0, 32767.0));
        }
        if (fits) {
            fc.fraction_bits = fraction;
            fc.usable = true;
            return fc;
        }
    }
    return FixedClass{};
}

}  // namespace

const FixedClass& FixedSet::for_16bit(uint32_t or_of_samples) const {
    const int bits = std::bit_width(or_of_samples);
    return by_bits[std::max(bits, 12)];
}

FixedSet fold_fixed(const double gain[3][3], const double offset[3]) {
    FixedSet set;
    set.by_bits[8] = make_class(8, gain, offset);
    for (int bits = 12; bits <= kMaxClassBits; ++bits) set.by_bits[bits] = make_class(bits, gain, offset);
    return set;
}

Features pixel_features(const FixedClass& fc, bool p_row, bool even_column, int32_t c, int32_t h, int32_t v,
                        int32_t d) {
    const int s = fc.feature_shift;
    const int32_t cs = c << s, hs = h << (s - 1), vs = v << (s - 1), hvs = (h + v) << (s - 2), ds = d << (s - 2);
    if (p_row) return even_column ? Features{cs, hvs, ds} : Features{hs, cs, vs};
    return even_column ? Features{vs, cs, hs} : Features{ds, hvs, cs};
}

uint32_t fixed_to_bgrx(const FixedClass& fc, Features f) {
    const int32_t in[3] = {f.p, f.g, f.q};
    uint32_t channel[3];
    for (int o = 0; o < 3; ++o) {
        // 16-bit wrapping sums, as the SIMD lanes add (the bounds keep them exact).
        int32_t sum = fc.offset[o];
        for (int j = 0; j < 3; ++j) sum += (in[j] * fc.k[o][j]) >> 16;
        sum = static_cast<int16_t>(sum) >> fc.fraction_bits;
        channel[o] = static_cast<uint32_t>(std::clamp(sum, 0, 255));
    }
    return channel[2] | channel[1] << 8 | channel[0] << 16;
}

}  // namespace colour::detail
