// Vector row kernels behind yuv_convert.cpp (internal to tolmirex_kernels).
// Each converts the longest prefix of one row that its vector width allows and
// returns how many pixels it converted (always even); the caller finishes the
// row with the scalar formulas. Pure functions, callable from any thread.
// The AVX2 and AVX-512 kernels may only be called when the processor has them.
#pragma once

#include <cstdint>

namespace yuv_rows {

// BT.601 video-range coefficients in units of 1/256, shared by the scalar and
// the vector code so both compute the same bytes.
namespace bt601 {
constexpr int y_r = 66, y_g = 129, y_b = 25;
constexpr int cb_r = -38, cb_g = -74, cb_b = 112;
constexpr int cr_r = 112, cr_g = -94, cr_b = -18;
// ((x + 128) >> 8) + offset == (x + 128 + offset * 256) >> 8 for an arithmetic
// shift, and with the offset folded in the sum is never negative, so vector
// code may use a logical shift.
constexpr int y_bias = 128 + (16 << 8);
constexpr int c_bias = 128 + (128 << 8);
}  // namespace bt601

// 16-bit samples >> shift (0..15), saturated as signed 16-bit to 0..255.
// Uses non-temporal stores on a 16-byte aligned row; call store_fence()
// after the last row.
int shift_row_sse2(const uint16_t* src, int width, int shift, uint8_t* luma);
int shift_row_avx2(const uint16_t* src, int width, int shift, uint8_t* luma);
// Orders the non-temporal stores before later stores (the image is handed to
// the VA driver after the conversion).
void store_fence();

// Y of every pixel (odd rows).
int bgrx_luma_row_sse2(const uint8_t* src, int width, uint8_t* luma);
int bgrx_luma_row_avx2(const uint8_t* src, int width, uint8_t* luma);
int bgrx_luma_row_avx512(const uint8_t* src, int width, uint8_t* luma);
// Y of every pixel and Cb,Cr of every even pixel (even rows).
int bgrx_nv12_row_sse2(const uint8_t* src, int width, uint8_t* luma, uint8_t* uv);
int bgrx_nv12_row_avx2(const uint8_t* src, int width, uint8_t* luma, uint8_t* uv);
int bgrx_nv12_row_avx512(const uint8_t* src, int width, uint8_t* luma, uint8_t* uv);
int bgrx_yv12_row_sse2(const uint8_t* src, int width, uint8_t* luma, uint8_t* v, uint8_t* u);
int bgrx_yv12_row_avx2(const uint8_t* src, int width, uint8_t* luma, uint8_t* v, uint8_t* u);
int bgrx_yv12_row_avx512(const uint8_t* src, int width, uint8_t* luma, uint8_t* v, uint8_t* u);

}  // namespace yuv_rows
