// pixel_decode_avx2.cpp - the pixel_decode.h kernels on AVX2: 16 samples or
// 32 pixels a step.  Call them only where the processor has AVX2
// (decode_kernels() checks).  Pure functions; any thread.
//
// A step of packed samples is 24 bytes (2 samples in 3) or 20 (4 in 5).  Its
// bytes are read as two 16-byte halves that overlap, one per 128-bit lane
// (pshufb works within a lane), so a step reads exactly its own bytes and a
// row never reads past its last sample.  In each lane pshufb puts the two
// bytes a sample lies in into its 16-bit lane, and shifts and masks keep the
// sample's bits.
//
// Luma puts each pixel's bytes in the order R G B G and weighs them by
// 77 51 29 99 with pmaddubsw: both pair sums are at most 255 * 128, so they do
// not saturate, and their total 77 R + 150 G + 29 B (+ 128 < 2^16) comes
// from the wrapping horizontal add, read as unsigned: the scalar formula
// exactly.
//
// No templates or inline functions of library headers are used below the
// target pragma: their instances could be merged with baseline ones.
#include <immintrin.h>

#include <cstddef>
#include <cstdint>

#include "pixel_decode_kernels.h"

// Everything below is built for AVX2 only.
#pragma GCC push_options
#pragma GCC target("avx2")

namespace genicam::detail {
namespace {

struct ByteMask {
    alignas(32) int8_t byte[32];
};

// The pshufb mask that puts step bytes low(j) and high(j) into 16-bit lane j
// (j < 16); the upper 128-bit lane holds the step's bytes from high_base on.
template <class Low, class High>
constexpr ByteMask word_mask(int high_base, Low low, High high) {
    ByteMask m{};
    for (int j = 0; j < 16; ++j) {
        const int base = j < 8 ? 0 : high_base;
        m.byte[2 * j] = int8_t(low(j) - base);
        m.byte[2 * j + 1] = int8_t(high(j) - base);
    }
    return m;
}

// Pair steps (2 samples in 3 bytes): the upper lane starts at byte 8 and holds
// pairs 4-7 (bytes 12-23) from its 4th byte on.  Bit-stream 10-bit steps
// (4 samples in 5 bytes): from byte 4, holding samples 8-15 (bytes 10-19).
constexpr int kPairHighBase = 8, kQuadHighBase = 4;

// Mono12p: sample 2k in bytes 3k, 3k+1 (low 12 bits); 2k+1 in 3k+1, 3k+2 (high 12).
constexpr ByteMask kLsb12 = word_mask(
    kPairHighBase, [](int j) { return 3 * (j / 2) + j % 2; }, [](int j) { return 3 * (j / 2) + j % 2 + 1; });
// Mono10p: sample 4g+r starts at bit 2r of byte 5g+r.
constexpr ByteMask kLsb10 = word_mask(
    kQuadHighBase, [](int j) { return 5 * (j / 4) + j % 4; }, [](int j) { return 5 * (j / 4) + j % 4 + 1; });
// GigE Vision packed: the shared middle byte low, the sample's own byte high.
constexpr ByteMask kGev = word_mask(
    kPairHighBase, [](int j) { return 3 * (j / 2) + 1; }, [](int j) { return 3 * (j / 2) + 2 * (j % 2); });

__m256i load_mask(const ByteMask& m) { return _mm256_load_si256(reinterpret_cast<const __m256i*>(m.byte)); }

// Bytes [0, 16) of p in the lower lane, [high_base, high_base + 16) in the upper.
__m256i load_lanes(const uint8_t* p, int high_base) {
    const __m128i low = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
    const __m128i high = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + high_base));
    return _mm256_inserti128_si256(_mm256_castsi128_si256(low), high, 1);
}

void store(uint16_t* out, __m256i v) { _mm256_storeu_si256(reinterpret_cast<__m256i*>(out), v); }

constexpr uint32_t kStepSamples = 16;

// Scalar samples up to a whole group, 16-sample vector steps (a step reads
// kStepBytes bytes), then the scalar rest.
template <uint32_t kGroup, uint32_t kGroupBytes, class Step>
void unpack_in_steps(Packing packing, const uint8_t* image, size_t first, uint32_t count, uint16_t* out, Step step) {
    constexpr uint32_t kStepBytes = kStepSamples / kGroup * kGroupBytes;
    const uint32_t to_group = uint32_t((kGroup - first % kGroup) % kGroup);
    const uint32_t head = to_group < count ? to_group : count;
    unpack_samples_scalar(packing, image, first, head, out);
    uint32_t done = head;
    const uint8_t* p = image + (first + head) / kGroup * kGroupBytes;
    for (; count - done >= kStepSamples; done += kStepSamples, p += kStepBytes) step(p, out + done);
    unpack_samples_scalar(packing, image, first + done, count - done, out + done);
}

struct Lsb12Step {
    __m256i mask = load_mask(kLsb12);
    void operator()(const uint8_t* p, uint16_t* out) const {
        const __m256i w = _mm256_shuffle_epi8(load_lanes(p, kPairHighBase), mask);
        // Even samples are the low 12 bits of their lane, odd ones the high 12.
        store(out, _mm256_blend_epi16(_mm256_and_si256(w, _mm256_set1_epi16(0x0FFF)), _mm256_srli_epi16(w, 4), 0xAA));
    }
};

struct Lsb10Step {
    __m256i mask = load_mask(kLsb10);
    // Sample 4g+r is bits [2r, 2r+10) of its lane: shifted left by 6-2r
    // (dropping the bits above it), then right by 6.
    __m256i up = _mm256_setr_epi16(64, 16, 4, 1, 64, 16, 4, 1, 64, 16, 4, 1, 64, 16, 4, 1);
    void operator()(const uint8_t* p, uint16_t* out) const {
        const __m256i w = _mm256_shuffle_epi8(load_lanes(p, kQuadHighBase), mask);
        store(out, _mm256_srli_epi16(_mm256_mullo_epi16(w, up), 6));
    }
};

// Lane = middle byte | own byte << 8: the own byte moves to the high bits of
// the sample; the low bits are the middle byte's low nibble (even samples) or
// its high one (odd samples).
template <int kBits>
struct GevStep {
    __m256i mask = load_mask(kGev);
    void operator()(const uint8_t* p, uint16_t* out) const {
        constexpr int kLow = kBits - 8;
        const __m256i w = _mm256_shuffle_epi8(load_lanes(p, kPairHighBase), mask);
        const __m256i high = _mm256_and_si256(_mm256_srli_epi16(w, 16 - kBits), _mm256_set1_epi16(0xFF << kLow));
        const __m256i nibbles = _mm256_blend_epi16(w, _mm256_srli_epi16(w, 4), 0xAA);
        const __m256i low = _mm256_and_si256(nibbles, _mm256_set1_epi16((1 << kLow) - 1));
        store(out, _mm256_or_si256(high, low));
    }
};

// Luma: 8 pixels a vector, the upper lane from pixel 4 on (3-byte pixels: its
// bytes from 8 on, pixel 4 at its 4th byte).
template <int kBytesPerPixel>
constexpr int kPixelHighBase = kBytesPerPixel == 3 ? 8 : 16;

template <int kBytesPerPixel, int kRed, int kBlue>
constexpr ByteMask rgbg_mask() {
    ByteMask m{};
    for (int k = 0; k < 8; ++k) {
        const int at = kBytesPerPixel * k - (k < 4 ? 0 : kPixelHighBase<kBytesPerPixel>);
        const int lane = 4 * k;
        m.byte[lane] = int8_t(at + kRed);
        m.byte[lane + 1] = int8_t(at + 1);
        m.byte[lane + 2] = int8_t(at + kBlue);
        m.byte[lane + 3] = int8_t(at + 1);
    }
    return m;
}

template <int kBytesPerPixel, int kRed, int kBlue>
void rgb_luma(CameraColour colour, const uint8_t* pixels, uint32_t count, uint8_t* luma) {
    static constexpr ByteMask kMask = rgbg_mask<kBytesPerPixel, kRed, kBlue>();
    constexpr int kHigh = kPixelHighBase<kBytesPerPixel>;
    const __m256i mask = load_mask(kMask);
    const __m256i weights = _mm256_set1_epi32(77 | 51 << 8 | 29 << 16 | 99 << 24);
    const __m256i half = _mm256_set1_epi16(128);
    // After the packs the 4-pixel groups of the four vectors a, b, c, d lie
    // as a0 b0 c0 d0 | a1 b1 c1 d1; this puts them back in pixel order.
    const __m256i order = _mm256_setr_epi32(0, 4, 1, 5, 2, 6, 3, 7);
    uint32_t i = 0;
    for (; count - i >= 32; i += 32) {
        const uint8_t* p = pixels + size_t(kBytesPerPixel) * i;
        __m256i sums[4];
        for (int v = 0; v < 4; ++v) {
            const __m256i rgbg = _mm256_shuffle_epi8(load_lanes(p + 8 * kBytesPerPixel * v, kHigh), mask);
            sums[v] = _mm256_maddubs_epi16(rgbg, weights);
        }
        const __m256i y01 = _mm256_srli_epi16(_mm256_add_epi16(_mm256_hadd_epi16(sums[0], sums[1]), half), 8);
        const __m256i y23 = _mm256_srli_epi16(_mm256_add_epi16(_mm256_hadd_epi16(sums[2], sums[3]), half), 8);
        const __m256i bytes = _mm256_permutevar8x32_epi32(_mm256_packus_epi16(y01, y23), order);
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(luma + i), bytes);
    }
    colour_to_luma_scalar(colour, pixels + size_t(kBytesPerPixel) * i, count - i, luma + i);
}

// 32 pixels of 4:2:2 from 64 bytes: Y in the low byte of each 16-bit lane
// (yuyv) or the high one (uyvy).
template <bool kYFirst>
void yuv422_luma(const uint8_t* pixels, uint32_t count, uint8_t* luma) {
    uint32_t i = 0;
    for (; count - i >= 32; i += 32) {
        __m256i a = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(pixels + 2 * i));
        __m256i b = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(pixels + 2 * i + 32));
        if constexpr (kYFirst) {
            const __m256i low = _mm256_set1_epi16(0x00FF);
            a = _mm256_and_si256(a, low);
            b = _mm256_and_si256(b, low);
        } else {
            a = _mm256_srli_epi16(a, 8);
            b = _mm256_srli_epi16(b, 8);
        }
        // The packs interleave the lanes as a0 b0 a1 b1 (16 bytes each).
        const __m256i bytes = _mm256_permute4x64_epi64(_mm256_packus_epi16(a, b), 0xD8);
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(luma + i), bytes);
    }
    colour_to_luma_scalar(kYFirst ? CameraColour::yuyv : CameraColour::uyvy, pixels + 2 * i, count - i, luma + i);
}

}  // namespace

// Mono14p's samples span up to three bytes, past a 16-bit lane: scalar.
void unpack_samples_avx2(Packing packing, const uint8_t* image, size_t first, uint32_t count, uint16_t* out) {
    switch (packing) {
        case Packing::lsb10: return unpack_in_steps<4, 5>(packing, image, first, count, out, Lsb10Step{});
        case Packing::lsb12: return unpack_in_steps<2, 3>(packing, image, first, count, out, Lsb12Step{});
        case Packing::gev10: return unpack_in_steps<2, 3>(packing, image, first, count, out, GevStep<10>{});
        case Packing::gev12: return unpack_in_steps<2, 3>(packing, image, first, count, out, GevStep<12>{});
        case Packing::lsb14: return unpack_samples_scalar(packing, image, first, count, out);
    }
}

void colour_to_luma_avx2(CameraColour colour, const uint8_t* pixels, uint32_t count, uint8_t* luma) {
    switch (colour) {
        case CameraColour::rgb8: return rgb_luma<3, 0, 2>(colour, pixels, count, luma);
        case CameraColour::bgr8: return rgb_luma<3, 2, 0>(colour, pixels, count, luma);
        case CameraColour::rgba8: return rgb_luma<4, 0, 2>(colour, pixels, count, luma);
        case CameraColour::bgra8: return rgb_luma<4, 2, 0>(colour, pixels, count, luma);
        case CameraColour::yuyv: return yuv422_luma<true>(pixels, count, luma);
        case CameraColour::uyvy: return yuv422_luma<false>(pixels, count, luma);
    }
}

}  // namespace genicam::detail
#pragma GCC pop_options
