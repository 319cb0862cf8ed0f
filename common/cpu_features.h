// What SIMD the processor offers, detected once, and the one override that
// caps it for every kernel choice of the tree (the viewer's pixel kernels,
// softva's scaling, the camera libraries' colour pipeline):
//   TOLMIREX_SIMD=scalar|sse2|avx2|avx512
// An unknown name is warned about once and ignored. Kernels are picked at
// run time through function pointers (not ifuncs, whose resolvers run before
// ThreadSanitizer's runtime is ready). Any thread: the detection is a
// thread-safe static initialisation.
#pragma once

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <initializer_list>

namespace tolmirex {

enum class SimdLevel { scalar, sse2, avx2, avx512 };

inline const char* simd_level_name(SimdLevel level) {
    switch (level) {
        case SimdLevel::scalar: return "scalar";
        case SimdLevel::sse2: return "sse2";
        case SimdLevel::avx2: return "avx2";
        case SimdLevel::avx512: return "avx512";
    }
    return "scalar";
}

// The best level the processor and the OS support. AVX-512 counts only with
// every extension a kernel of the tree uses (F, BW, VNNI, VBMI).
inline SimdLevel detected_simd_level() {
#if defined(__x86_64__) || defined(__i386__)
    static const SimdLevel level = [] {
        __builtin_cpu_init();
        if (__builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512bw") &&
            __builtin_cpu_supports("avx512vnni") && __builtin_cpu_supports("avx512vbmi"))
            return SimdLevel::avx512;
        if (__builtin_cpu_supports("avx2")) return SimdLevel::avx2;
        return __builtin_cpu_supports("sse2") ? SimdLevel::sse2 : SimdLevel::scalar;
    }();
    return level;
#else
    return SimdLevel::scalar;
#endif
}

// The level kernels are chosen for: the detected one, capped by TOLMIREX_SIMD.
// Seen by default (even from the VA driver, which hides the rest), so that its
// static is one object for the whole process (a GNU unique symbol): the level
// is chosen, and a bad name warned about, once, whichever library asks first.
[[gnu::visibility("default")]] inline SimdLevel simd_level() {
    static const SimdLevel level = [] {
        const SimdLevel detected = detected_simd_level();
        const char* wanted = std::getenv("TOLMIREX_SIMD");
        if (!wanted || !*wanted) return detected;
        for (SimdLevel cap : {SimdLevel::scalar, SimdLevel::sse2, SimdLevel::avx2, SimdLevel::avx512})
            if (std::strcmp(wanted, simd_level_name(cap)) == 0) return cap < detected ? cap : detected;
        std::fprintf(stderr, "ignoring TOLMIREX_SIMD=%s (expected scalar, sse2, avx2 or avx512)\n", wanted);
        return detected;
    }();
    return level;
}

}  // namespace tolmirex
