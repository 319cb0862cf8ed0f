// pixel_layout.h - the GenICam pixel formats the viewer can show, and the
// copy of one delivered image into the library's own packed buffer.
//
// Shown: Mono8, Mono10/12/16 and Bayer 8/10/12/16 in every order, all
// unpacked (one or two little-endian bytes per sample).  The program knows
// only the RGGB and BGGR mosaics, so GRBG and GBRG images are shown one
// column to the right: the copy drops the first and the last column, which
// turns GR into RG and GB into BG and keeps the width even.
//
// Pure functions: any thread.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

#include "mosaic.h"

namespace genicam {

using Mosaic = colour::Mosaic;  // mono for a sensor without one

struct PixelLayout {
    uint32_t bits;          // significant bits per sample
    uint32_t bytes;         // bytes per sample: 1 or 2
    Mosaic mosaic;          // of the image as handed to the program
    uint32_t column_shift;  // 1 for GR/GB orders: first (and last) column dropped
};

// nullopt for a format the viewer cannot show (packed, RGB, YUV, ...).
std::optional<PixelLayout> pixel_layout(uint32_t pfnc_format);

// The width the program sees for an image of the camera's width.
uint32_t shown_width(const PixelLayout& layout, uint32_t camera_width);

// Bytes of a packed image of the shown size.
size_t shown_bytes(const PixelLayout& layout, uint32_t camera_width, uint32_t height);

// Copies a camera image (rows of camera_width samples, packed as GigE Vision
// and USB3 Vision deliver them) into target, rows packed at the shown width.  False (nothing copied) when the source is
// shorter than the image it claims to hold.
bool copy_shown_image(const PixelLayout& layout, const uint8_t* source, size_t source_bytes, uint32_t camera_width,
                      uint32_t height, uint8_t* target, size_t target_capacity);

}  // namespace genicam
