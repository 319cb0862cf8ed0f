// pixel_decode_kernels.h - the per-instruction-set builds of the pixel_decode.h
// kernels (internal to genicam_arithmetic, and for its tests and benchmark).
// Each build is a whole kernel: it converts any first/count itself, with
// scalar code for the samples before and after its vector steps.  The AVX2 forms
// may only be called where the processor has AVX2 (decode_kernels() checks).
// Pure functions; any thread.
#pragma once

#include <cstddef>
#include <cstdint>

#include "cpu_features.h"
#include "pixel_decode.h"

namespace genicam::detail {

using UnpackKernel = void (*)(Packing packing, const uint8_t* image, size_t first, uint32_t count, uint16_t* out);
using LumaKernel = void (*)(CameraColour colour, const uint8_t* pixels, uint32_t count, uint8_t* luma);

struct DecodeKernels {
    tolmirex::SimdLevel level;  // the level these kernels are built for
    UnpackKernel unpack;
    LumaKernel luma;
};

// SSE2 has no byte shuffle: these convert the 4:2:2 and four-byte colour
// layouts in vectors and leave the packed formats and RGB/BGR to scalar code.
void unpack_samples_sse2(Packing packing, const uint8_t* image, size_t first, uint32_t count, uint16_t* out);
void colour_to_luma_sse2(CameraColour colour, const uint8_t* pixels, uint32_t count, uint8_t* luma);
void unpack_samples_avx2(Packing packing, const uint8_t* image, size_t first, uint32_t count, uint16_t* out);
void colour_to_luma_avx2(CameraColour colour, const uint8_t* pixels, uint32_t count, uint8_t* luma);

// The kernels built for `level`, or for the best level below it that has a
// build of its own (AVX-512 gets the AVX2 ones).  The caller makes sure the
// processor runs `level` (detected_simd_level()).
DecodeKernels decode_kernels(tolmirex::SimdLevel level);

// The kernels unpack_samples() and colour_to_luma() use: decode_kernels() at
// simd_level(), chosen once.
const DecodeKernels& chosen_decode_kernels();

}  // namespace genicam::detail
