// colour_rows_dispatch.cpp - picks the row kernel for this processor at the
// level cpu_features.h allows: a plain function pointer.  Any thread.
#include "colour_rows.h"
#include "cpu_features.h"

namespace colour::detail {

std::vector<NamedRowKernel> available_row_kernels() {
    using tolmirex::SimdLevel;
    const SimdLevel detected = tolmirex::detected_simd_level();
    std::vector<NamedRowKernel> kernels{{"sse2", row_kernel_sse2}};
    if (detected >= SimdLevel::avx2) kernels.push_back({"avx2", row_kernel_avx2});
    if (detected >= SimdLevel::avx512) kernels.push_back({"avx512", row_kernel_avx512});
    return kernels;
}

RowKernel best_row_kernel() {
    // The best level allowed (TOLMIREX_SIMD caps it, never above what the
    // processor has); SSE2 is the floor.
    switch (tolmirex::simd_level()) {
        case tolmirex::SimdLevel::avx512: return row_kernel_avx512;
        case tolmirex::SimdLevel::avx2: return row_kernel_avx2;
        default: return row_kernel_sse2;
    }
}

}  // namespace colour::detail
