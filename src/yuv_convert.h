// Pixel kernels that write one camera frame into a 4:2:0 YUV image (NV12 or
// YV12) whose planes the caller has mapped. Pure functions: they touch only the
// memory they are given, keep no state and may be called from any thread, also
// from several at once on different images.
//
// Every plane is addressed by its first byte and its pitch (bytes from one row
// to the next, at least the bytes written per row). Source rows are packed.
#pragma once

#include <cstddef>
#include <cstdint>

#include "cpu_features.h"

// Instruction sets the kernels can run on. The plain entry points use the best
// one the processor supports; the overloads taking a KernelIsa exist so tests
// and benchmarks can run each implementation on the same machine. avx512 means
// AVX512F+BW+VNNI+VBMI; its colour kernels are the fastest, its 16-bit path is
// the AVX2 one (memory bound either way).
using KernelIsa = tolmirex::SimdLevel;

// The implementation the plain entry points use: the best this processor
// runs, capped by TOLMIREX_SIMD (cpu_features.h).
KernelIsa best_kernel_isa();
// Whether this processor can run `isa`.
bool kernel_isa_supported(KernelIsa isa);
const char* kernel_isa_name(KernelIsa isa);

// 8-bit monochrome: copy `height` rows of `width` bytes to the luma plane.
void copy_rows_8bit(const uint8_t* src, int width, int height, uint8_t* luma, int luma_pitch);

// 16-bit little-endian monochrome reduced to 8 bits: each luma byte is
// sample >> (bits_per_pixel - 8), read as a signed 16-bit number and saturated
// to 0..255 (so 0x8000 and above give 0). A shift below 0 or of 16 and more
// gives 0 for every sample. Non-temporal stores are used on 16-byte aligned
// rows: the luma plane is usually uncached device memory that is not read back.
void shift_rows_16bit(const uint16_t* src, int width, int height, int bits_per_pixel, uint8_t* luma, int luma_pitch);
void shift_rows_16bit(const uint16_t* src, int width, int height, int bits_per_pixel, uint8_t* luma, int luma_pitch,
                      KernelIsa isa);

// Neutral chroma (128) over `bytes` bytes, for monochrome frames.
void fill_neutral_chroma(uint8_t* plane, size_t bytes);

// BGRx (blue, green, red, ignored byte) to BT.601 video-range YUV. Every pixel
// gets its own Y; each 2x2 block takes Cb and Cr of its top-left pixel. An odd
// last column or row is converted like a full block, so every chroma entry of
// the ceil(width/2) x ceil(height/2) chroma area is written and nothing beyond.
// NV12: one plane of Cb,Cr byte pairs.
void bgrx_to_nv12(const uint8_t* src, int width, int height, uint8_t* luma, int luma_pitch, uint8_t* uv, int uv_pitch);
void bgrx_to_nv12(const uint8_t* src, int width, int height, uint8_t* luma, int luma_pitch, uint8_t* uv, int uv_pitch,
                  KernelIsa isa);
// YV12: Cr (V) and Cb (U) in separate planes, one byte per 2x2 block each.
void bgrx_to_yv12(const uint8_t* src, int width, int height, uint8_t* luma, int luma_pitch, uint8_t* v, int v_pitch,
                  uint8_t* u, int u_pitch);
void bgrx_to_yv12(const uint8_t* src, int width, int height, uint8_t* luma, int luma_pitch, uint8_t* v, int v_pitch,
                  uint8_t* u, int u_pitch, KernelIsa isa);
