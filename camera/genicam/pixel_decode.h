// pixel_decode.h - the kernels that turn what a camera sends into what the
// program shows: packed 10/12/14-bit samples into 16-bit ones, and a colour
// camera's own pixels (RGB, BGR, RGBa, BGRa, YUV 4:2:2) into 8-bit luma.
//
// Each kernel has a scalar form and SIMD forms that give the same result
// bit for bit; the SIMD form is chosen once, through simd_level().
//
// Pure functions: any thread.
#pragma once

#include <cstddef>
#include <cstdint>

#include "camera_colour.h"

namespace genicam {

// How the samples of a packed format lie in its bytes.  Rows follow one
// another with no padding, so a row may start inside a group of bytes.
enum class Packing {
    lsb10,  // PFNC "p" formats (Mono10p, BayerRG10p): bit-contiguous, LSB first
    lsb12,  // Mono12p, BayerRG12p...: 2 samples in 3 bytes
    lsb14,  // Mono14p: 4 samples in 7 bytes
    gev10,  // GigE Vision "Packed" (Mono10Packed, BayerRG10Packed): 2 samples in 3 bytes,
            // byte 0 = s0 >> 2, byte 1 = (s0 & 3) | (s1 & 3) << 4, byte 2 = s1 >> 2
    gev12,  // Mono12Packed, BayerRG12Packed...: byte 0 = s0 >> 4,
            // byte 1 = (s0 & 15) | (s1 & 15) << 4, byte 2 = s1 >> 4
};

// The pixel layouts of colour cameras' own output.
using CameraColour = colour::CameraColour;

// Bytes that `samples` samples take in that packing (the last group rounded up).
size_t packed_bytes(Packing packing, size_t samples);

// Unpacks `count` samples, from sample index `first` of a packed image on,
// into out (16-bit, the value as the camera meant it: 0..1023 for 10 bits).
// Reads only the bytes those samples lie in.
void unpack_samples(Packing packing, const uint8_t* image, size_t first, uint32_t count, uint16_t* out);

// The luma of `count` pixels starting at `pixels`, into luma.  For RGB
// layouts Y = (77 R + 150 G + 29 B + 128) >> 8; for 4:2:2 the Y samples as
// they are.  4:2:2 rows start on a pixel pair; an odd count ends on the
// first pixel of a pair.
void colour_to_luma(CameraColour colour, const uint8_t* pixels, uint32_t count, uint8_t* luma);

// The scalar forms, the reference the SIMD ones are tested against.
void unpack_samples_scalar(Packing packing, const uint8_t* image, size_t first, uint32_t count, uint16_t* out);
void colour_to_luma_scalar(CameraColour colour, const uint8_t* pixels, uint32_t count, uint8_t* luma);

}  // namespace genicam
