// pixel_layout.cpp - see pixel_layout.h.  Pure: any thread.
#include "pixel_layout.h"

#include <cstring>

namespace genicam {
namespace {

// PFNC pixel format values (GenICam Pixel Format Naming Convention).
struct KnownFormat {
    uint32_t value;
    PixelLayout layout;
};

constexpr KnownFormat kKnown[] = {
    {0x01080001, {8, 1, Mosaic::mono, 0}},   // Mono8
    {0x01100003, {10, 2, Mosaic::mono, 0}},  // Mono10
    {0x01100005, {12, 2, Mosaic::mono, 0}},  // Mono12
    {0x01100007, {16, 2, Mosaic::mono, 0}},  // Mono16
    {0x01080009, {8, 1, Mosaic::rggb, 0}},   // BayerRG8
    {0x0108000B, {8, 1, Mosaic::bggr, 0}},   // BayerBG8
    {0x01080008, {8, 1, Mosaic::rggb, 1}},   // BayerGR8
    {0x0108000A, {8, 1, Mosaic::bggr, 1}},   // BayerGB8
    {0x0110000D, {10, 2, Mosaic::rggb, 0}},  // BayerRG10
    {0x0110000F, {10, 2, Mosaic::bggr, 0}},  // BayerBG10
    {0x0110000C, {10, 2, Mosaic::rggb, 1}},  // BayerGR10
    {0x0110000E, {10, 2, Mosaic::bggr, 1}},  // BayerGB10
    {0x01100011, {12, 2, Mosaic::rggb, 0}},  // BayerRG12
    {0x01100013, {12, 2, Mosaic::bggr, 0}},  // BayerBG12
    {0x01100010, {12, 2, Mosaic::rggb, 1}},  // BayerGR12
    {0x01100012, {12, 2, Mosaic::bggr, 1}},  // BayerGB12
    {0x0110002F, {16, 2, Mosaic::rggb, 0}},  // BayerRG16
    {0x01100031, {16, 2, Mosaic::bggr, 0}},  // BayerBG16
    {0x0110002E, {16, 2, Mosaic::rggb, 1}},  // BayerGR16
    {0x01100030, {16, 2, Mosaic::bggr, 1}},  // BayerGB16
};

}  // namespace

std::optional<PixelLayout> pixel_layout(uint32_t pfnc_format) {
    for (const KnownFormat& known : kKnown)
        if (known.value == pfnc_format) return known.layout;
    return std::nullopt;
}

uint32_t shown_width(const PixelLayout& layout, uint32_t camera_width) {
    const uint32_t dropped = 2 * layout.column_shift;
    return camera_width > dropped ? camera_width - dropped : 0;
}

size_t shown_bytes(const PixelLayout& layout, uint32_t camera_width, uint32_t height) {
    return size_t{shown_width(layout, camera_width)} * height * layout.bytes;
}

bool copy_shown_image(const PixelLayout& layout, const uint8_t* source, size_t source_bytes, uint32_t camera_width,
                      uint32_t height, uint8_t* target, size_t target_capacity) {
    const size_t source_row = size_t{camera_width} * layout.bytes;
    if (!source || source_row * height > source_bytes) return false;
    const size_t target_row = size_t{shown_width(layout, camera_width)} * layout.bytes;
    if (target_row * height > target_capacity || target_row == 0 || height == 0) return false;
    if (layout.column_shift == 0) {
        std::memcpy(target, source, target_row * height);
        return true;
    }
    const size_t skip = size_t{layout.column_shift} * layout.bytes;
    for (uint32_t y = 0; y < height; ++y)
        std::memcpy(target + y * target_row, source + y * source_row + skip, target_row);
    return true;
}

}  // namespace genicam
