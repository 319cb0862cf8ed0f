// camera_colour.h - colour that a camera makes itself (RGB, BGR, RGBa, BGRa,
// YUV 4:2:2) instead of a raw mosaic: its layouts, and its path through the
// colour pipeline with no demosaic.  White balance, colour matrix and
// contrast act on it as on a demosaiced Bayer image: 4:2:2 pixels are first
// taken to RGB (BT.601, full range), and every step is folded into one table
// per input channel.
//
// Pure code: any thread; a CameraColourTables is read-only once built.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace colour {

enum class CameraColour {
    rgb8,   // R G B
    bgr8,   // B G R
    rgba8,  // R G B A
    bgra8,  // B G R A
    yuyv,   // YUV422_8 and YCbCr422_8: Y0 U Y1 V for each pair of pixels
    uyvy,   // YUV422_8_UYVY: U Y0 V Y1
};

inline bool is_422(CameraColour layout) { return layout == CameraColour::yuyv || layout == CameraColour::uyvy; }

// Bytes per pixel (2 for 4:2:2, which holds two pixels in four bytes).
inline uint32_t bytes_per_pixel(CameraColour layout) {
    switch (layout) {
        case CameraColour::rgb8:
        case CameraColour::bgr8: return 3;
        case CameraColour::rgba8:
        case CameraColour::bgra8: return 4;
        case CameraColour::yuyv:
        case CameraColour::uyvy: return 2;
    }
    return 3;
}

// An image of a camera's own colour: rows packed, width pixels each.
struct CameraColourImage {
    const uint8_t* pixels;
    uint32_t width, height;
    CameraColour layout;
};

// Output = clamp(sum over inputs of table[input][value]) in 1/kOne units, for
// B, G and R; the inputs are R, G, B or Y, U, V by the layout.
struct CameraColourTables {
    static constexpr int kShift = 12;
    // [input][value] -> the three outputs' contributions (R, G, B), the
    // offsets (black level, rounding, the chroma's 128) folded into input 0.
    std::array<std::array<std::array<int32_t, 3>, 256>, 3> rgb_in{}, yuv_in{};
};

// gains[o][i]: output o (R, G, B, 0..255 units) per unit of input colour i
// (R, G, B, 8-bit); offset[o]: output units added.
CameraColourTables fold_camera_colour(const double gains[3][3], const double offset[3]);

// Rows [first_row, end_row) of the image into the same rows of bgrx (the
// whole image's pixels).  4:2:2 rows start on a pixel pair; at an odd width
// each ends on half a pair (Y and U), whose pixel takes the V of the pair
// before it, or 128 in a row of one pixel.
void camera_colour_rows(const CameraColourImage& image, const CameraColourTables& tables, uint32_t* bgrx,
                        uint32_t first_row, uint32_t end_row);

// Mean R, G and B over a region, as mosaic means in RGGB order (R, G, G, B),
// so white balance is measured as on a Bayer image.
std::array<double, 4> camera_colour_means(const CameraColourImage& image, uint32_t x0, uint32_t y0, uint32_t cx,
                                          uint32_t cy);

}  // namespace colour
