// See clip_marking.h. Pure functions, any thread. Built with -O3 so the row
// checks below, which skip the rows with nothing clipped, are vectorised.
#include "clip_marking.h"

#include "yuv_convert.h"

#include <algorithm>
#include <cstddef>

namespace {

enum Clip : uint8_t { none = 0, full = 1, zero = 2 };

// The largest of v - 1 over n samples: v - 1 wraps 0 round to the top, so
// this one maximum tells whether any sample is at zero or at full scale.
template <typename Sample>
Sample max_less_one(const Sample* r, int n) {
    Sample hi = 0;
    for (int x = 0; x < n; ++x) hi = std::max(hi, Sample(r[x] - 1));
    return hi;
}

// The same in AVX2 vectors, for processors that have them (checked once a
// frame, not through an ifunc, which the thread sanitizer cannot start).
template <typename Sample>
__attribute__((target("avx2"))) Sample max_less_one_avx2(const Sample* r, int n) {
    Sample hi = 0;
    for (int x = 0; x < n; ++x) hi = std::max(hi, Sample(r[x] - 1));
    return hi;
}

template <typename Sample>
Sample max_less_one(const Sample* r, int n, bool avx2) {
    return avx2 ? max_less_one_avx2(r, n) : max_less_one(r, n);
}

bool has_avx2() { return best_kernel_isa() >= KernelIsa::avx2; }

// A source of pixels: whether a span of a row may hold a clipped pixel (a
// quick check that lets most of the frame go by), and the state of one pixel.
struct Mono8 {
    const uint8_t* src;
    int width;
    bool avx2;
    const uint8_t* row(int y) const { return src + static_cast<size_t>(y) * width; }
    bool may_clip(int y, int from, int to) const { return max_less_one(row(y) + from, to - from, avx2) >= 254; }
    Clip at(int y, int x) const {
        const uint8_t v = row(y)[x];
        return v == 255 ? full : v == 0 ? zero : none;
    }
};

struct Mono16 {
    const uint16_t* src;
    int width;
    bool avx2;
    uint16_t top;  // full scale
    const uint16_t* row(int y) const { return src + static_cast<size_t>(y) * width; }
    bool may_clip(int y, int from, int to) const { return max_less_one(row(y) + from, to - from, avx2) >= top - 1; }
    Clip at(int y, int x) const {
        const uint16_t v = row(y)[x];
        return v >= top ? full : v == 0 ? zero : none;
    }
};

struct Bgrx {
    const uint8_t* src;
    int width;
    const uint8_t* row(int y) const { return src + static_cast<size_t>(y) * width * 4; }
    bool may_clip(int y, int from, int to) const {
        const uint8_t* r = row(y);
        uint8_t lo = 255, hi = 0;
        for (int x = from; x < to; ++x) {
            const uint8_t b = r[4 * x], g = r[4 * x + 1], red = r[4 * x + 2];
            lo = std::min(lo, std::min(std::min(b, g), red));
            hi = std::max(hi, std::max(std::max(b, g), red));
        }
        return lo == 0 || hi == 255;
    }
    Clip at(int y, int x) const {
        const uint8_t* p = row(y) + 4 * x;
        if (std::max({p[0], p[1], p[2]}) == 255) return full;
        return std::min({p[0], p[1], p[2]}) == 0 ? zero : none;
    }
};

// Pixels per span checked at once: long enough for the vector loop, short
// enough that a small clipped spot costs little more than its own blocks.
constexpr int kSpan = 256;

template <typename Source>
void mark_block(const Source& source, int y, int x, int rows, int columns, uint8_t* luma, int luma_pitch,
                uint8_t* cb, uint8_t* cr) {
    uint8_t block = none;
    for (int r = 0; r < rows; ++r) {
        uint8_t* y_row = luma + static_cast<ptrdiff_t>(y + r) * luma_pitch;
        for (int c = 0; c < columns; ++c) {
            const Clip state = source.at(y + r, x + c);
            if (state == none) continue;
            y_row[x + c] = state == full ? kRedY : kBlueY;
            block |= state;
        }
    }
    if (block == none) return;
    const bool red = block & full;  // full scale wins in a block holding both
    *cb = red ? kRedCb : kBlueCb;
    *cr = red ? kRedCr : kBlueCr;
}

template <typename Source>
void mark(const Source& source, int width, int height, uint8_t* luma, int luma_pitch, const ChromaPlanes& chroma) {
    for (int y = 0; y < height; y += 2) {
        const int rows = std::min(2, height - y);  // an odd last row makes a block of one row
        uint8_t* cb = chroma.cb + static_cast<ptrdiff_t>(y / 2) * chroma.cb_pitch;
        uint8_t* cr = chroma.cr + static_cast<ptrdiff_t>(y / 2) * chroma.cr_pitch;
        for (int from = 0; from < width; from += kSpan) {
            const int to = std::min(width, from + kSpan);  // from is even: spans hold whole blocks
            if (!source.may_clip(y, from, to) && (rows == 1 || !source.may_clip(y + 1, from, to))) continue;
            for (int x = from; x < to; x += 2)
                mark_block(source, y, x, rows, std::min(2, width - x), luma, luma_pitch, cb + (x / 2) * chroma.step,
                           cr + (x / 2) * chroma.step);
        }
    }
}

}  // namespace

void mark_clipped_mono8(const uint8_t* src, int width, int height, uint8_t* luma, int luma_pitch,
                        const ChromaPlanes& chroma) {
    if (width > 0 && height > 0) mark(Mono8{src, width, has_avx2()}, width, height, luma, luma_pitch, chroma);
}

void mark_clipped_mono16(const uint16_t* src, int width, int height, int bits, uint8_t* luma, int luma_pitch,
                         const ChromaPlanes& chroma) {
    const int depth = std::clamp(bits, 8, 16);
    if (width > 0 && height > 0)
        mark(Mono16{src, width, has_avx2(), static_cast<uint16_t>((1 << depth) - 1)}, width, height, luma, luma_pitch, chroma);
}

void mark_clipped_bgrx(const uint8_t* src, int width, int height, uint8_t* luma, int luma_pitch,
                       const ChromaPlanes& chroma) {
    if (width > 0 && height > 0) mark(Bgrx{src, width}, width, height, luma, luma_pitch, chroma);
}
