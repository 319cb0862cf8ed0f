// colour_rows.h - one output row of the colour pipeline: the integer SIMD
// kernels for the interior, the scalar form of the same arithmetic for the
// border columns, and the choice of kernel for this processor.
//
// Pure functions over caller-owned memory; any thread may call them.  The
// kernel choice is made once, on first use, and is thread-safe.
#pragma once

#include <algorithm>
#include <cstdint>
#include <vector>

#include "colour_fixed_point.h"

namespace colour::detail {

// Reflect-101 border for index i of n samples: -1 reads 1, n reads n - 2, so
// a mosaic keeps its phase across the edge.
inline long reflect101(long i, long n) {
    if (i < 0) i = -i;
    if (i >= n) i = 2 * n - 2 - i;
    return std::clamp(i, 0L, n - 1);
}

// The three source rows around one output row.  up and down are already
// reflected at the image's top and bottom edges.
struct RowJob {
    const void* up;
    const void* row;
    const void* down;
    uint32_t bytes_per_sample;  // 1 or 2
    long width;
    bool p_row;               // the row holds P and G (else G and Q)
    const FixedClass* fixed;  // usable
    uint32_t* out;            // width pixels
};

// Fills out[2, end) and returns end; end is 2 when the row is too narrow for
// the kernel.  The caller fills the rest with scalar_pixels().
using RowKernel = long (*)(const RowJob& job);

long row_kernel_sse2(const RowJob& job);
long row_kernel_avx2(const RowJob& job);    // only where the processor has AVX2
long row_kernel_avx512(const RowJob& job);  // only where it has AVX-512 F and BW

struct NamedRowKernel {
    const char* name;
    RowKernel kernel;
};
// The best kernel this processor runs, capped by TOLMIREX_SIMD.
RowKernel best_row_kernel();
// Every kernel this processor runs, best last (for tests and benchmarks).
std::vector<NamedRowKernel> available_row_kernels();

// out[x] for x in [x_begin, x_end), reflecting at the left and right edges.
void scalar_pixels(const RowJob& job, long x_begin, long x_end);

// OR of a row's 16-bit samples, to pick the sample-depth class.
uint32_t or_of_samples(const uint16_t* row, long width);

}  // namespace colour::detail
