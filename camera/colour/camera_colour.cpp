// camera_colour.cpp - see camera_colour.h.  Pure: any thread.
#include "camera_colour.h"

#include <cmath>

namespace colour {
namespace {

constexpr double kOne = 1 << CameraColourTables::kShift;

// BT.601 full range: RGB per unit of Y, U - 128 and V - 128.
constexpr double kRgbFromYuv[3][3] = {{1, 0, 1.402}, {1, -0.344136, -0.714136}, {1, 1.772, 0}};

int32_t fixed(double value) { return static_cast<int32_t>(std::lround(value * kOne)); }

uint32_t clamp_output(int32_t sum) {
    const int32_t v = sum >> CameraColourTables::kShift;
    return static_cast<uint32_t>(v < 0 ? 0 : v > 255 ? 255 : v);
}

using Table = std::array<std::array<int32_t, 3>, 256>;

uint32_t bgrx_of(const Table& t0, const Table& t1, const Table& t2, uint8_t a, uint8_t b, uint8_t c) {
    const auto& p = t0[a];
    const auto& q = t1[b];
    const auto& r = t2[c];
    return clamp_output(p[2] + q[2] + r[2]) | clamp_output(p[1] + q[1] + r[1]) << 8 |
           clamp_output(p[0] + q[0] + r[0]) << 16;
}

// Byte offsets of R, G and B in one pixel of an RGB-type layout.
struct RgbOrder {
    int r, g, b, step;
};

RgbOrder rgb_order(CameraColour layout) {
    switch (layout) {
        case CameraColour::bgr8: return {2, 1, 0, 3};
        case CameraColour::rgba8: return {0, 1, 2, 4};
        case CameraColour::bgra8: return {2, 1, 0, 4};
        default: return {0, 1, 2, 3};
    }
}

// Byte offsets of Y0, U, Y1 and V in one pixel pair of a 4:2:2 layout.
struct YuvOrder {
    int y0, u, y1, v;
};

YuvOrder yuv_order(CameraColour layout) {
    return layout == CameraColour::uyvy ? YuvOrder{1, 0, 3, 2} : YuvOrder{0, 1, 2, 3};
}

// The V of pixel x, whose pair starts at `pair`.  A row of odd width ends on
// half a pair, its Y and U: the camera sends no V for it, and the bytes after
// it are the next row's, or past the image on the last row.  That pixel takes
// the V of the pair before it; in a row of one pixel there is none, and it
// takes no colour difference (128).
uint8_t v_of(const uint8_t* pair, const YuvOrder& o, uint32_t x, uint32_t width) {
    if ((x | 1) < width) return pair[o.v];
    return x > 0 ? pair[o.v - 4] : 128;
}

}  // namespace

CameraColourTables fold_camera_colour(const double gains[3][3], const double offset[3]) {
    CameraColourTables tables;
    double from_yuv[3][3];
    for (int o = 0; o < 3; ++o)
        for (int j = 0; j < 3; ++j) {
            from_yuv[o][j] = 0;
            for (int i = 0; i < 3; ++i) from_yuv[o][j] += gains[o][i] * kRgbFromYuv[i][j];
        }
    for (int v = 0; v < 256; ++v)
        for (int o = 0; o < 3; ++o) {
            const double constant = offset[o] + 0.5;  // with 0.5, the shift rounds
            for (int i = 0; i < 3; ++i) {
                tables.rgb_in[i][v][o] = fixed(gains[o][i] * v + (i == 0 ? constant : 0));
                const double centred = i == 0 ? v : v - 128.0;
                tables.yuv_in[i][v][o] = fixed(from_yuv[o][i] * centred + (i == 0 ? constant : 0));
            }
        }
    return tables;
}

void camera_colour_rows(const CameraColourImage& image, const CameraColourTables& tables, uint32_t* bgrx,
                        uint32_t first_row, uint32_t end_row) {
    const size_t row_bytes = size_t{image.width} * bytes_per_pixel(image.layout);
    for (uint32_t y = first_row; y < end_row; ++y) {
        const uint8_t* p = image.pixels + y * row_bytes;
        uint32_t* out = bgrx + size_t{y} * image.width;
        if (!is_422(image.layout)) {
            const RgbOrder o = rgb_order(image.layout);
            const auto& t = tables.rgb_in;
            for (uint32_t x = 0; x < image.width; ++x, p += o.step)
                out[x] = bgrx_of(t[0], t[1], t[2], p[o.r], p[o.g], p[o.b]);
            continue;
        }
        // Rows start on a pixel pair; an odd width ends each row on half a pair.
        const YuvOrder o = yuv_order(image.layout);
        const auto& t = tables.yuv_in;
        for (uint32_t x = 0; x < image.width; x += 2, p += 4) {
            const uint8_t v = v_of(p, o, x, image.width);
            out[x] = bgrx_of(t[0], t[1], t[2], p[o.y0], p[o.u], v);
            if (x + 1 < image.width) out[x + 1] = bgrx_of(t[0], t[1], t[2], p[o.y1], p[o.u], v);
        }
    }
}

std::array<double, 4> camera_colour_means(const CameraColourImage& image, uint32_t x0, uint32_t y0, uint32_t cx,
                                          uint32_t cy) {
    uint64_t sums[3] = {0, 0, 0};
    const bool yuv = is_422(image.layout);
    const RgbOrder ro = rgb_order(image.layout);
    const YuvOrder yo = yuv_order(image.layout);
    const size_t row_bytes = size_t{image.width} * bytes_per_pixel(image.layout);
    for (uint32_t y = y0; y < y0 + cy; ++y) {
        const uint8_t* row = image.pixels + y * row_bytes;
        for (uint32_t x = x0; x < x0 + cx; ++x) {
            if (yuv) {
                const uint8_t* pair = row + (x & ~1u) * 2;
                sums[0] += pair[x & 1 ? yo.y1 : yo.y0];
                sums[1] += pair[yo.u];
                sums[2] += v_of(pair, yo, x, image.width);
            } else {
                const uint8_t* pixel = row + size_t{x} * ro.step;
                sums[0] += pixel[ro.r];
                sums[1] += pixel[ro.g];
                sums[2] += pixel[ro.b];
            }
        }
    }
    const double count = double(cx) * cy;
    double mean[3];
    for (int c = 0; c < 3; ++c) mean[c] = sums[c] / count;
    if (yuv) {  // the conversion is linear, so the mean of RGB follows from the mean of YUV
        const double y = mean[0], u = mean[1] - 128, v = mean[2] - 128;
        for (int c = 0; c < 3; ++c) mean[c] = kRgbFromYuv[c][0] * y + kRgbFromYuv[c][1] * u + kRgbFromYuv[c][2] * v;
    }
    return {mean[0], mean[1], mean[1], mean[2]};
}

}  // namespace colour
