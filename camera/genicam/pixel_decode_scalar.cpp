// pixel_decode_scalar.cpp - the scalar forms of the pixel_decode.h kernels,
// the reference for the SIMD ones and the code they finish rows with.  Built
// for the baseline processor.  Pure functions; any thread.
#include <cstddef>
#include <cstdint>

#include "pixel_decode.h"

namespace genicam {
namespace {

// A bit-stream sample from the two or three bytes it lies in (10 to 14 bits
// always span at least two).
template <unsigned kBits>
uint16_t stream_sample(const uint8_t* image, size_t index) {
    const size_t bit = index * kBits;
    const uint8_t* p = image + bit / 8;
    const unsigned shift = bit % 8;
    uint32_t v = p[0] | uint32_t(p[1]) << 8;
    if (shift + kBits > 16) v |= uint32_t(p[2]) << 16;
    return uint16_t(v >> shift & ((1u << kBits) - 1));
}

// A GigE Vision "Packed" sample: the high bits in a byte of their own, the
// low ones in the middle byte of the pair.
template <unsigned kBits>
uint16_t gev_sample(const uint8_t* image, size_t index) {
    constexpr unsigned kLow = kBits - 8, kLowMask = (1u << kLow) - 1;
    const uint8_t* pair = image + index / 2 * 3;
    if (index % 2 == 0) return uint16_t(pair[0] << kLow | (pair[1] & kLowMask));
    return uint16_t(pair[2] << kLow | (pair[1] >> 4 & kLowMask));
}

// Samples one at a time up to a whole group, whole groups of kGroup samples
// in kBytes bytes, then the rest one at a time.
template <unsigned kGroup, unsigned kBytes, class Sample, class Group>
void unpack_by_groups(const uint8_t* image, size_t first, uint32_t count, uint16_t* out, Sample sample, Group group) {
    size_t i = first;
    const size_t end = first + count;
    for (; i < end && i % kGroup != 0; ++i) *out++ = sample(image, i);
    for (; end - i >= kGroup; i += kGroup, out += kGroup) group(image + i / kGroup * kBytes, out);
    for (; i < end; ++i) *out++ = sample(image, i);
}

// A whole bit-stream group: kGroup samples in kBytes (at most 8) bytes.
template <unsigned kBits, unsigned kGroup, unsigned kBytes>
void stream_group(const uint8_t* bytes, uint16_t* out) {
    uint64_t v = 0;
    for (unsigned k = 0; k < kBytes; ++k) v |= uint64_t(bytes[k]) << (8 * k);
    for (unsigned k = 0; k < kGroup; ++k) out[k] = uint16_t(v >> (k * kBits) & ((1u << kBits) - 1));
}

template <unsigned kBits>
void gev_group(const uint8_t* bytes, uint16_t* out) {
    constexpr unsigned kLow = kBits - 8, kLowMask = (1u << kLow) - 1;
    out[0] = uint16_t(bytes[0] << kLow | (bytes[1] & kLowMask));
    out[1] = uint16_t(bytes[2] << kLow | (bytes[1] >> 4 & kLowMask));
}

void rgb_luma(const uint8_t* pixels, uint32_t count, uint8_t* luma, unsigned step, unsigned r, unsigned b) {
    for (uint32_t i = 0; i < count; ++i, pixels += step)
        luma[i] = uint8_t((77 * pixels[r] + 150 * pixels[1] + 29 * pixels[b] + 128) >> 8);
}

}  // namespace

size_t packed_bytes(Packing packing, size_t samples) {
    // The bytes the last sample ends in: GigE Vision's pairs hold 12 bits a
    // sample whatever the depth, the PFNC "p" ones exactly their depth.
    switch (packing) {
        case Packing::lsb10: return (samples * 10 + 7) / 8;
        case Packing::lsb14: return (samples * 14 + 7) / 8;
        case Packing::lsb12:
        case Packing::gev10:
        case Packing::gev12: return (samples * 12 + 7) / 8;
    }
    return 0;
}

void unpack_samples_scalar(Packing packing, const uint8_t* image, size_t first, uint32_t count, uint16_t* out) {
    switch (packing) {
        case Packing::lsb10:
            return unpack_by_groups<4, 5>(image, first, count, out, stream_sample<10>, stream_group<10, 4, 5>);
        case Packing::lsb12:
            return unpack_by_groups<2, 3>(image, first, count, out, stream_sample<12>, stream_group<12, 2, 3>);
        case Packing::lsb14:
            return unpack_by_groups<4, 7>(image, first, count, out, stream_sample<14>, stream_group<14, 4, 7>);
        case Packing::gev10: return unpack_by_groups<2, 3>(image, first, count, out, gev_sample<10>, gev_group<10>);
        case Packing::gev12: return unpack_by_groups<2, 3>(image, first, count, out, gev_sample<12>, gev_group<12>);
    }
}

void colour_to_luma_scalar(CameraColour colour, const uint8_t* pixels, uint32_t count, uint8_t* luma) {
    switch (colour) {
        case CameraColour::rgb8: return rgb_luma(pixels, count, luma, 3, 0, 2);
        case CameraColour::bgr8: return rgb_luma(pixels, count, luma, 3, 2, 0);
        case CameraColour::rgba8: return rgb_luma(pixels, count, luma, 4, 0, 2);
        case CameraColour::bgra8: return rgb_luma(pixels, count, luma, 4, 2, 0);
        case CameraColour::yuyv:
            for (uint32_t i = 0; i < count; ++i) luma[i] = pixels[2 * i];
            return;
        case CameraColour::uyvy:
            for (uint32_t i = 0; i < count; ++i) luma[i] = pixels[2 * i + 1];
            return;
    }
}

}  // namespace genicam
