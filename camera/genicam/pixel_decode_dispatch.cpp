// pixel_decode_dispatch.cpp - the public kernels of pixel_decode.h, through
// the build cpu_features.h allows: plain function pointers, chosen once.
// Any thread.
#include "pixel_decode_kernels.h"

namespace genicam {
namespace detail {

DecodeKernels decode_kernels(tolmirex::SimdLevel level) {
    using tolmirex::SimdLevel;
    switch (level) {
        case SimdLevel::avx512:
        case SimdLevel::avx2: return {SimdLevel::avx2, unpack_samples_avx2, colour_to_luma_avx2};
        case SimdLevel::sse2: return {SimdLevel::sse2, unpack_samples_sse2, colour_to_luma_sse2};
        case SimdLevel::scalar: break;
    }
    return {SimdLevel::scalar, unpack_samples_scalar, colour_to_luma_scalar};
}

const DecodeKernels& chosen_decode_kernels() {
    static const DecodeKernels kernels = decode_kernels(tolmirex::simd_level());
    return kernels;
}

}  // namespace detail

void unpack_samples(Packing packing, const uint8_t* image, size_t first, uint32_t count, uint16_t* out) {
    detail::chosen_decode_kernels().unpack(packing, image, first, count, out);
}

void colour_to_luma(CameraColour colour, const uint8_t* pixels, uint32_t count, uint8_t* luma) {
    detail::chosen_decode_kernels().luma(colour, pixels, count, luma);
}

}  // namespace genicam
