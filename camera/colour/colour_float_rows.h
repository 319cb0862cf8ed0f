// colour_float_rows.h - one output row in single-precision floating point.
// The integer kernels cover every ordinary setting; this path takes the rows
// whose settings (very large gains or contrast) would overflow 16-bit lanes.
//
// Pure functions over caller-owned memory; any thread may call them.
#pragma once

#include <cstdint>

namespace colour::detail {

struct FloatCoefficients {
    float a[3][3];    // [output R,G,B][input P,G,Q], applied to 4x-scaled sums
    float offset[3];  // black level and rounding
};

// Row y of a w x h mosaic (reflect-101 at every edge) into out_row.
void float_row(const void* data, uint32_t bytes_per_sample, long w, long h, long y, const FloatCoefficients& k,
               uint32_t* out_row);

}  // namespace colour::detail
