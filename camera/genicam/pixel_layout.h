// pixel_layout.h - the GenICam pixel formats the viewer can show, and the
// decoding of one delivered image into the library's own frame.
//
// Shown: Mono8/10/12/14/16 and Bayer 8/10/12/16 in every order, unpacked
// (one or two little-endian bytes per sample) or packed (Mono10p, Mono12p,
// Mono14p, Mono10Packed, Mono12Packed and the Bayer 10/12 p and Packed
// formats), which are unpacked into two bytes per sample; and colour
// cameras' own RGB8, BGR8, RGBa8, BGRa8, YUV422_8, YUV422_8_UYVY and
// YCbCr422_8, which the frame holds as their 8-bit luma followed by the
// camera's own pixels for the colour pipeline.  Such a frame says RGGB, so
// white balance is measured on it as on a Bayer frame.
//
// The program knows only the RGGB and BGGR mosaics, so GRBG and GBRG images
// are shown one column to the right: the copy drops the first and the last
// column, which turns GR into RG and GB into BG and keeps the width even.
//
// Pure functions: any thread.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

#include "mosaic.h"
#include "pixel_decode.h"

namespace genicam {

using Mosaic = colour::Mosaic;  // mono for a sensor without one

struct PixelLayout {
    uint32_t bits;                              // significant bits per sample
    uint32_t bytes;                             // bytes per sample as handed to the program: 1 or 2
    Mosaic mosaic;                              // of the image as handed to the program
    uint32_t column_shift;                      // 1 for GR/GB orders: first (and last) column dropped
    std::optional<Packing> packing;             // packed samples, unpacked to 2 bytes each
    std::optional<CameraColour> camera_colour;  // a colour camera's own pixels
};

// nullopt for a format the viewer cannot show.
std::optional<PixelLayout> pixel_layout(uint32_t pfnc_format);

// The width the program sees for an image of the camera's width.
uint32_t shown_width(const PixelLayout& layout, uint32_t camera_width);

// Bytes of the camera's image of that size, as it sends them.
size_t camera_bytes(const PixelLayout& layout, uint32_t camera_width, uint32_t height);

// Bytes of the library's frame of the shown size (a colour camera's own
// pixels included).
size_t shown_bytes(const PixelLayout& layout, uint32_t camera_width, uint32_t height);

// Decodes a camera image (rows of camera_width pixels, as GigE Vision and
// USB3 Vision deliver them) into target, rows packed at the shown width.
// False (nothing written) when the source is shorter than the image it
// claims to hold, or the target too small.
bool decode_shown_image(const PixelLayout& layout, const uint8_t* source, size_t source_bytes, uint32_t camera_width,
                        uint32_t height, uint8_t* target, size_t target_capacity);

}  // namespace genicam
