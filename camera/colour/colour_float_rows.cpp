// colour_float_rows.cpp - see colour_float_rows.h.  Pure functions; any thread.
#include "colour_float_rows.h"

#include <algorithm>

#include "colour_rows.h"

namespace colour::detail {
namespace {

struct Sites {
    int32_t p, g, q;  // each scaled by 4
};

// Bilinear interpolation at one pixel from its neighbourhood sums.  p_row: the
// row holds P and G (else G and Q); even: the column is even.
Sites interpolate(bool p_row, bool even, int32_t centre, int32_t horizontal, int32_t vertical, int32_t diagonal) {
    if (p_row)
        return even ? Sites{4 * centre, horizontal + vertical, diagonal}
                    : Sites{2 * horizontal, 4 * centre, 2 * vertical};
    return even ? Sites{2 * vertical, 4 * centre, 2 * horizontal} : Sites{diagonal, horizontal + vertical, 4 * centre};
}

uint32_t to_bgrx(const FloatCoefficients& k, Sites s) {
    const float in[3] = {float(s.p), float(s.g), float(s.q)};
    uint32_t c[3];
    for (int o = 0; o < 3; ++o) {
        const float v = k.a[o][0] * in[0] + k.a[o][1] * in[1] + k.a[o][2] * in[2] + k.offset[o];
        c[o] = static_cast<uint32_t>(std::clamp(v, 0.f, 255.f));  // offset holds the +0.5 that rounds
    }
    return c[2] | c[1] << 8 | c[0] << 16;
}

template <typename T>
void row_of(const T* data, long w, long h, long y, const FloatCoefficients& k, uint32_t* out) {
    auto at = [&](long xx, long yy) { return static_cast<int32_t>(data[reflect101(yy, h) * w + reflect101(xx, w)]); };
    for (long x = 0; x < w; ++x) {
        const Sites s =
            interpolate((y & 1) == 0, (x & 1) == 0, at(x, y), at(x - 1, y) + at(x + 1, y), at(x, y - 1) + at(x, y + 1),
                        at(x - 1, y - 1) + at(x + 1, y - 1) + at(x - 1, y + 1) + at(x + 1, y + 1));
        out[x] = to_bgrx(k, s);
    }
}

}  // namespace

void float_row(const void* data, uint32_t bytes_per_sample, long w, long h, long y, const FloatCoefficients& k,
               uint32_t* out_row) {
    if (bytes_per_sample == 1)
        row_of(static_cast<const uint8_t*>(data), w, h, y, k, out_row);
    else
        row_of(static_cast<const uint16_t*>(data), w, h, y, k, out_row);
}

}  // namespace colour::detail
