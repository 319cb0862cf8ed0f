// colour_rows_dispatch.cpp - picks the row kernel for this processor
// (cpu_features.h): a plain function pointer chosen on first use.  Any thread; the first-use
// choice is a thread-safe static initialisation.
#include <cstring>

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
    // The best level allowed (TOLMIREX_SIMD caps it); SSE2 is the floor.
    static const RowKernel chosen = [] {
        const std::vector<NamedRowKernel> kernels = available_row_kernels();
        const char* allowed = tolmirex::simd_level_name(tolmirex::simd_level());
        for (const NamedRowKernel& k : kernels)
            if (std::strcmp(k.name, allowed) == 0) return k.kernel;
        return tolmirex::simd_level() > tolmirex::SimdLevel::sse2 ? kernels.back().kernel : kernels.front().kernel;
    }();
    return chosen;
}

}  // namespace colour::detail
