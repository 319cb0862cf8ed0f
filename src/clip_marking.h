// Clipped pixels painted into a 4:2:0 YUV image the plain kernels of
// yuv_convert.h have just written: pixels at full scale red, pixels at zero
// blue. A pass of its own, run only while the person asks for it, so the
// plain conversion stays as fast as it is. Pure functions, any thread.
//
// Colour is per 2x2 block in 4:2:0: a block takes red chroma when any of its
// pixels is at full scale, else blue when any is at zero; the clipped pixels
// themselves take the luma of pure red or blue, the others keep theirs. For
// colour frames a pixel counts as clipped when any of its channels is.
#pragma once

#include <cstdint>

// The chroma of an image as Cb and Cr rows: NV12 interleaves them (step 2,
// Cr one byte after Cb), YV12 keeps them in planes of their own (step 1).
struct ChromaPlanes {
    uint8_t* cb;
    uint8_t* cr;
    int cb_pitch, cr_pitch;
    int step;
};

// BT.601 video-range red and blue.
constexpr uint8_t kRedY = 81, kRedCb = 90, kRedCr = 240;
constexpr uint8_t kBlueY = 41, kBlueCb = 240, kBlueCr = 110;

// Full scale is 255 for 8-bit and bgrx, (1 << bits) - 1 for 16-bit samples
// (and anything above it).
void mark_clipped_mono8(const uint8_t* src, int width, int height, uint8_t* luma, int luma_pitch,
                        const ChromaPlanes& chroma);
void mark_clipped_mono16(const uint16_t* src, int width, int height, int bits, uint8_t* luma, int luma_pitch,
                         const ChromaPlanes& chroma);
void mark_clipped_bgrx(const uint8_t* src, int width, int height, uint8_t* luma, int luma_pitch,
                       const ChromaPlanes& chroma);
