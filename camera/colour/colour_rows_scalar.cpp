// colour_rows_scalar.cpp - border columns (and rows too narrow for SIMD) with
// the kernels' exact integer arithmetic, so borders match the interior.
// Pure functions; any thread.
#include "colour_rows.h"

namespace colour::detail {
namespace {

template <typename T>
void pixels(const RowJob& job, long x_begin, long x_end) {
    const T* up = static_cast<const T*>(job.up);
    const T* row = static_cast<const T*>(job.row);
    const T* down = static_cast<const T*>(job.down);
    const FixedClass& fc = *job.fixed;
    const long w = job.width;
    auto sample = [&](const T* r, long x) { return int32_t{r[reflect101(x, w)]} >> fc.input_shift; };
    for (long x = x_begin; x < x_end; ++x) {
        const int32_t c = sample(row, x);
        const int32_t h = sample(row, x - 1) + sample(row, x + 1);
        const int32_t v = sample(up, x) + sample(down, x);
        const int32_t d = sample(up, x - 1) + sample(up, x + 1) + sample(down, x - 1) + sample(down, x + 1);
        job.out[x] = fixed_to_bgrx(fc, pixel_features(fc, job.p_row, (x & 1) == 0, c, h, v, d));
    }
}

}  // namespace

void scalar_pixels(const RowJob& job, long x_begin, long x_end) {
    if (job.bytes_per_sample == 1)
        pixels<uint8_t>(job, x_begin, x_end);
    else
        pixels<uint16_t>(job, x_begin, x_end);
}

uint32_t or_of_samples(const uint16_t* row, long width) {
    uint16_t all = 0;
    for (long x = 0; x < width; ++x) all |= row[x];  // vectorised by the compiler
    return all;
}

}  // namespace colour::detail
