// Frame-level pixel kernels: walk the rows, pick the vector row kernel for the
// processor and finish each row with the scalar formulas. Pure functions,
// callable from any thread; the only shared data is the processor capability,
// detected once under the thread-safe initialisation of a function-local static.
#include "yuv_convert.h"

#include "yuv_convert_rows.h"

#include <algorithm>
#include <cstddef>
#include <cstring>

namespace {

using namespace yuv_rows;

uint8_t shifted_sample(uint16_t sample, int shift) {
    const auto value = static_cast<int16_t>(sample >> shift);
    return static_cast<uint8_t>(std::clamp<int>(value, 0, 255));
}

uint8_t luma_of(const uint8_t* bgrx) {
    const int b = bgrx[0], g = bgrx[1], r = bgrx[2];
    return static_cast<uint8_t>((bt601::y_r * r + bt601::y_g * g + bt601::y_b * b + bt601::y_bias) >> 8);
}

uint8_t cb_of(const uint8_t* bgrx) {
    const int b = bgrx[0], g = bgrx[1], r = bgrx[2];
    return static_cast<uint8_t>((bt601::cb_r * r + bt601::cb_g * g + bt601::cb_b * b + bt601::c_bias) >> 8);
}

uint8_t cr_of(const uint8_t* bgrx) {
    const int b = bgrx[0], g = bgrx[1], r = bgrx[2];
    return static_cast<uint8_t>((bt601::cr_r * r + bt601::cr_g * g + bt601::cr_b * b + bt601::c_bias) >> 8);
}

// Row tails: pixels [from, width) of one row; `from` is even.
void shift_tail(const uint16_t* src, int from, int width, int shift, uint8_t* luma) {
    for (int j = from; j < width; ++j) luma[j] = shifted_sample(src[j], shift);
}

void luma_tail(const uint8_t* src, int from, int width, uint8_t* luma) {
    for (int j = from; j < width; ++j) luma[j] = luma_of(src + 4 * j);
}

// Even row: chroma of every even pixel, which also covers an odd last pixel.
template <typename StoreChroma>
void luma_chroma_tail(const uint8_t* src, int from, int width, uint8_t* luma, StoreChroma store_chroma) {
    luma_tail(src, from, width, luma);
    for (int j = from; j < width; j += 2) store_chroma(j / 2, cb_of(src + 4 * j), cr_of(src + 4 * j));
}

KernelIsa usable(KernelIsa requested) { return kernel_isa_supported(requested) ? requested : best_kernel_isa(); }

// Whole-plane copy and fill with the string instructions: with fast-string
// microcode (ERMS, every current x86-64) they move whole cache lines and beat
// glibc's memcpy/memset on megabyte planes, whose large-size paths are tuned
// for sources that are not in cache.
void copy_string(uint8_t* dst, const uint8_t* src, size_t bytes) {
    asm volatile("rep movsb" : "+D"(dst), "+S"(src), "+c"(bytes) : : "memory");
}

void fill_string(uint8_t* dst, uint8_t value, size_t bytes) {
    asm volatile("rep stosb" : "+D"(dst), "+c"(bytes) : "a"(value) : "memory");
}

// Vector row kernels of one instruction set; null for the scalar code.
struct ColourRowKernels {
    int (*luma)(const uint8_t* src, int width, uint8_t* luma);
    int (*nv12)(const uint8_t* src, int width, uint8_t* luma, uint8_t* uv);
    int (*yv12)(const uint8_t* src, int width, uint8_t* luma, uint8_t* v, uint8_t* u);
};

ColourRowKernels colour_row_kernels(KernelIsa isa) {
    switch (isa) {
        case KernelIsa::avx512: return {bgrx_luma_row_avx512, bgrx_nv12_row_avx512, bgrx_yv12_row_avx512};
        case KernelIsa::avx2: return {bgrx_luma_row_avx2, bgrx_nv12_row_avx2, bgrx_yv12_row_avx2};
        case KernelIsa::sse2: return {bgrx_luma_row_sse2, bgrx_nv12_row_sse2, bgrx_yv12_row_sse2};
        case KernelIsa::scalar: break;
    }
    return {nullptr, nullptr, nullptr};
}

const uint8_t* source_row(const uint8_t* src, int width, int row, int bytes_per_pixel) {
    return src + static_cast<size_t>(row) * static_cast<size_t>(width) * bytes_per_pixel;
}

uint8_t* plane_row(uint8_t* plane, int pitch, int row) { return plane + static_cast<ptrdiff_t>(row) * pitch; }

// The colour loop shared by NV12 and YV12: `even_row(src, luma, chroma_row)`
// converts one even row (luma and chroma), odd rows get luma only.
template <typename EvenRow>
void bgrx_rows(const uint8_t* src, int width, int height, uint8_t* luma, int luma_pitch, KernelIsa isa,
               EvenRow even_row) {
    const auto luma_row_kernel = colour_row_kernels(isa).luma;
    for (int i = 0; i < height; ++i) {
        const uint8_t* s = source_row(src, width, i, 4);
        uint8_t* y = plane_row(luma, luma_pitch, i);
        if (i % 2 == 0) {
            even_row(s, y, i / 2);
        } else {
            const int done = luma_row_kernel ? luma_row_kernel(s, width, y) : 0;
            luma_tail(s, done, width, y);
        }
    }
}

}  // namespace

bool kernel_isa_supported(KernelIsa isa) { return isa <= tolmirex::detected_simd_level(); }

KernelIsa best_kernel_isa() { return tolmirex::simd_level(); }

const char* kernel_isa_name(KernelIsa isa) { return tolmirex::simd_level_name(isa); }

void copy_rows_8bit(const uint8_t* src, int width, int height, uint8_t* luma, int luma_pitch) {
    if (width <= 0 || height <= 0) return;
    if (luma_pitch == width) {
        copy_string(luma, src, static_cast<size_t>(width) * static_cast<size_t>(height));
        return;
    }
    for (int i = 0; i < height; ++i)
        std::memcpy(plane_row(luma, luma_pitch, i), source_row(src, width, i, 1), static_cast<size_t>(width));
}

void shift_rows_16bit(const uint16_t* src, int width, int height, int bits_per_pixel, uint8_t* luma, int luma_pitch) {
    shift_rows_16bit(src, width, height, bits_per_pixel, luma, luma_pitch, best_kernel_isa());
}

void shift_rows_16bit(const uint16_t* src, int width, int height, int bits_per_pixel, uint8_t* luma, int luma_pitch,
                      KernelIsa isa) {
    if (width <= 0 || height <= 0) return;
    const int shift = bits_per_pixel - 8;
    if (shift < 0 || shift >= 16) {
        for (int i = 0; i < height; ++i) std::memset(plane_row(luma, luma_pitch, i), 0, static_cast<size_t>(width));
        return;
    }
    isa = usable(isa);
    const auto row_kernel = isa >= KernelIsa::avx2 ? shift_row_avx2 : isa == KernelIsa::sse2 ? shift_row_sse2 : nullptr;
    for (int i = 0; i < height; ++i) {
        const uint16_t* s = src + static_cast<size_t>(i) * static_cast<size_t>(width);
        uint8_t* y = plane_row(luma, luma_pitch, i);
        const int done = row_kernel ? row_kernel(s, width, shift, y) : 0;
        shift_tail(s, done, width, shift, y);
    }
    if (row_kernel) store_fence();
}

void fill_neutral_chroma(uint8_t* plane, size_t bytes) { fill_string(plane, 128, bytes); }

void bgrx_to_nv12(const uint8_t* src, int width, int height, uint8_t* luma, int luma_pitch, uint8_t* uv, int uv_pitch) {
    bgrx_to_nv12(src, width, height, luma, luma_pitch, uv, uv_pitch, best_kernel_isa());
}

void bgrx_to_nv12(const uint8_t* src, int width, int height, uint8_t* luma, int luma_pitch, uint8_t* uv, int uv_pitch,
                  KernelIsa isa) {
    if (width <= 0 || height <= 0) return;
    isa = usable(isa);
    const auto row_kernel = colour_row_kernels(isa).nv12;
    bgrx_rows(src, width, height, luma, luma_pitch, isa, [&](const uint8_t* s, uint8_t* y, int chroma_row) {
        uint8_t* c = plane_row(uv, uv_pitch, chroma_row);
        const int done = row_kernel ? row_kernel(s, width, y, c) : 0;
        luma_chroma_tail(s, done, width, y, [c](int entry, uint8_t cb, uint8_t cr) {
            c[2 * entry] = cb;
            c[2 * entry + 1] = cr;
        });
    });
}

void bgrx_to_yv12(const uint8_t* src, int width, int height, uint8_t* luma, int luma_pitch, uint8_t* v, int v_pitch,
                  uint8_t* u, int u_pitch) {
    bgrx_to_yv12(src, width, height, luma, luma_pitch, v, v_pitch, u, u_pitch, best_kernel_isa());
}

void bgrx_to_yv12(const uint8_t* src, int width, int height, uint8_t* luma, int luma_pitch, uint8_t* v, int v_pitch,
                  uint8_t* u, int u_pitch, KernelIsa isa) {
    if (width <= 0 || height <= 0) return;
    isa = usable(isa);
    const auto row_kernel = colour_row_kernels(isa).yv12;
    bgrx_rows(src, width, height, luma, luma_pitch, isa, [&](const uint8_t* s, uint8_t* y, int chroma_row) {
        uint8_t* cr_row = plane_row(v, v_pitch, chroma_row);
        uint8_t* cb_row = plane_row(u, u_pitch, chroma_row);
        const int done = row_kernel ? row_kernel(s, width, y, cr_row, cb_row) : 0;
        luma_chroma_tail(s, done, width, y, [cr_row, cb_row](int entry, uint8_t cb, uint8_t cr) {
            cb_row[entry] = cb;
            cr_row[entry] = cr;
        });
    });
}
