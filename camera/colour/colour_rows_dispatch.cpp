// colour_rows_dispatch.cpp - picks the row kernel for this processor.  A plain
// function pointer chosen on first use (not an ifunc): ThreadSanitizer's
// runtime is not ready when ifunc resolvers run.  Any thread; the first-use
// choice is a thread-safe static initialisation.
#include <cstdlib>
#include <cstring>

#include "colour_rows.h"

namespace colour::detail {

std::vector<NamedRowKernel> available_row_kernels() {
    __builtin_cpu_init();
    std::vector<NamedRowKernel> kernels{{"sse2", row_kernel_sse2}};
    if (__builtin_cpu_supports("avx2")) kernels.push_back({"avx2", row_kernel_avx2});
    if (__builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512bw"))
        kernels.push_back({"avx512", row_kernel_avx512});
    return kernels;
}

RowKernel best_row_kernel() {
    // ZEBAPI_COLOUR_KERNEL=sse2|avx2|avx512 caps the choice (to measure or
    // compare the builds); unknown or unavailable names keep the best.
    static const RowKernel chosen = [] {
        const std::vector<NamedRowKernel> kernels = available_row_kernels();
        if (const char* wanted = std::getenv("ZEBAPI_COLOUR_KERNEL"))
            for (const NamedRowKernel& k : kernels)
                if (std::strcmp(k.name, wanted) == 0) return k.kernel;
        return kernels.back().kernel;
    }();
    return chosen;
}

}  // namespace colour::detail
