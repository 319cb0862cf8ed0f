// A picture laid out as PNG rows, pure, and its writing with libpng. The
// layout runs on any thread; write_png on whichever thread saves.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "zebapi.h"

struct PngPicture {
    int width = 0, height = 0;
    int bit_depth = 8;          // 8 or 16 bits a sample
    bool colour = false;        // RGB, else grey
    int significant_bits = 0;   // the camera's bits (sBIT), 0 when all are
    std::vector<uint8_t> rows;  // packed rows, 16-bit samples big-endian
};

// A monochrome frame (its bp pointing at its pixels): 8-bit grey for 8-bit
// data, else 16-bit grey with the curBPP significant bits at the top of each
// sample (values above the bit depth saturate), as sBIT describes.
PngPicture png_from_frame(const CQGETFRAMEEX& frame);

// A colour bitmap of B, G, R, unused bytes: 8-bit RGB.
PngPicture png_from_bitmap(const CQGETBITMAP& bitmap);

// Writes the picture to path; false with the reason in *error when it fails
// (the file may then be left incomplete).
bool write_png(const std::string& path, const PngPicture& picture, std::string* error);
