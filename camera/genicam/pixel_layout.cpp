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

constexpr PixelLayout unpacked(uint32_t bits, Mosaic mosaic, uint32_t shift = 0) {
    return {bits, bits > 8 ? 2u : 1u, mosaic, shift, std::nullopt, std::nullopt};
}
constexpr PixelLayout packed(uint32_t bits, Packing packing, Mosaic mosaic, uint32_t shift = 0) {
    return {bits, 2, mosaic, shift, packing, std::nullopt};
}
constexpr PixelLayout own_colour(CameraColour colour) { return {8, 1, Mosaic::rggb, 0, std::nullopt, colour}; }

constexpr Mosaic kMono = Mosaic::mono, kRG = Mosaic::rggb, kBG = Mosaic::bggr;

const KnownFormat kKnown[] = {
    {0x01080001, unpacked(8, kMono)},                  // Mono8
    {0x01100003, unpacked(10, kMono)},                 // Mono10
    {0x01100005, unpacked(12, kMono)},                 // Mono12
    {0x01100025, unpacked(14, kMono)},                 // Mono14
    {0x01100007, unpacked(16, kMono)},                 // Mono16
    {0x010A0046, packed(10, Packing::lsb10, kMono)},   // Mono10p
    {0x010C0047, packed(12, Packing::lsb12, kMono)},   // Mono12p
    {0x010E0104, packed(14, Packing::lsb14, kMono)},   // Mono14p
    {0x010C0004, packed(10, Packing::gev10, kMono)},   // Mono10Packed
    {0x010C0006, packed(12, Packing::gev12, kMono)},   // Mono12Packed
    {0x01080009, unpacked(8, kRG)},                    // BayerRG8
    {0x0108000B, unpacked(8, kBG)},                    // BayerBG8
    {0x01080008, unpacked(8, kRG, 1)},                 // BayerGR8
    {0x0108000A, unpacked(8, kBG, 1)},                 // BayerGB8
    {0x0110000D, unpacked(10, kRG)},                   // BayerRG10
    {0x0110000F, unpacked(10, kBG)},                   // BayerBG10
    {0x0110000C, unpacked(10, kRG, 1)},                // BayerGR10
    {0x0110000E, unpacked(10, kBG, 1)},                // BayerGB10
    {0x01100011, unpacked(12, kRG)},                   // BayerRG12
    {0x01100013, unpacked(12, kBG)},                   // BayerBG12
    {0x01100010, unpacked(12, kRG, 1)},                // BayerGR12
    {0x01100012, unpacked(12, kBG, 1)},                // BayerGB12
    {0x0110002F, unpacked(16, kRG)},                   // BayerRG16
    {0x01100031, unpacked(16, kBG)},                   // BayerBG16
    {0x0110002E, unpacked(16, kRG, 1)},                // BayerGR16
    {0x01100030, unpacked(16, kBG, 1)},                // BayerGB16
    {0x010A0058, packed(10, Packing::lsb10, kRG)},     // BayerRG10p
    {0x010A0052, packed(10, Packing::lsb10, kBG)},     // BayerBG10p
    {0x010A0056, packed(10, Packing::lsb10, kRG, 1)},  // BayerGR10p
    {0x010A0054, packed(10, Packing::lsb10, kBG, 1)},  // BayerGB10p
    {0x010C0059, packed(12, Packing::lsb12, kRG)},     // BayerRG12p
    {0x010C0053, packed(12, Packing::lsb12, kBG)},     // BayerBG12p
    {0x010C0057, packed(12, Packing::lsb12, kRG, 1)},  // BayerGR12p
    {0x010C0055, packed(12, Packing::lsb12, kBG, 1)},  // BayerGB12p
    {0x010C0027, packed(10, Packing::gev10, kRG)},     // BayerRG10Packed
    {0x010C0029, packed(10, Packing::gev10, kBG)},     // BayerBG10Packed
    {0x010C0026, packed(10, Packing::gev10, kRG, 1)},  // BayerGR10Packed
    {0x010C0028, packed(10, Packing::gev10, kBG, 1)},  // BayerGB10Packed
    {0x010C002B, packed(12, Packing::gev12, kRG)},     // BayerRG12Packed
    {0x010C002D, packed(12, Packing::gev12, kBG)},     // BayerBG12Packed
    {0x010C002A, packed(12, Packing::gev12, kRG, 1)},  // BayerGR12Packed
    {0x010C002C, packed(12, Packing::gev12, kBG, 1)},  // BayerGB12Packed
    {0x02180014, own_colour(CameraColour::rgb8)},      // RGB8
    {0x02180015, own_colour(CameraColour::bgr8)},      // BGR8
    {0x02200016, own_colour(CameraColour::rgba8)},     // RGBa8
    {0x02200017, own_colour(CameraColour::bgra8)},     // BGRa8
    {0x02100032, own_colour(CameraColour::yuyv)},      // YUV422_8
    {0x0210003B, own_colour(CameraColour::yuyv)},      // YCbCr422_8
    {0x0210001F, own_colour(CameraColour::uyvy)},      // YUV422_8_UYVY
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

size_t camera_bytes(const PixelLayout& layout, uint32_t camera_width, uint32_t height) {
    const size_t pixels = size_t{camera_width} * height;
    if (layout.packing) return packed_bytes(*layout.packing, pixels);
    if (layout.camera_colour) return pixels * colour::bytes_per_pixel(*layout.camera_colour);
    return pixels * layout.bytes;
}

size_t shown_bytes(const PixelLayout& layout, uint32_t camera_width, uint32_t height) {
    const size_t samples = size_t{shown_width(layout, camera_width)} * height * layout.bytes;
    return samples + (layout.camera_colour ? camera_bytes(layout, camera_width, height) : 0);
}

bool decode_shown_image(const PixelLayout& layout, const uint8_t* source, size_t source_bytes, uint32_t camera_width,
                        uint32_t height, uint8_t* target, size_t target_capacity) {
    if (!source || camera_bytes(layout, camera_width, height) > source_bytes) return false;
    const uint32_t width = shown_width(layout, camera_width);
    const size_t target_row = size_t{width} * layout.bytes;
    if (shown_bytes(layout, camera_width, height) > target_capacity || target_row == 0 || height == 0) return false;
    if (layout.packing) {
        auto* samples = reinterpret_cast<uint16_t*>(target);
        for (uint32_t y = 0; y < height; ++y)
            unpack_samples(*layout.packing, source, size_t{y} * camera_width + layout.column_shift, width,
                           samples + size_t{y} * width);
        return true;
    }
    if (layout.camera_colour) {
        const size_t source_row = size_t{camera_width} * colour::bytes_per_pixel(*layout.camera_colour);
        for (uint32_t y = 0; y < height; ++y)
            colour_to_luma(*layout.camera_colour, source + y * source_row, width, target + y * target_row);
        std::memcpy(target + target_row * height, source, source_row * height);
        return true;
    }
    if (layout.column_shift == 0) {
        std::memcpy(target, source, target_row * height);
        return true;
    }
    const size_t source_row = size_t{camera_width} * layout.bytes;
    const size_t skip = size_t{layout.column_shift} * layout.bytes;
    for (uint32_t y = 0; y < height; ++y)
        std::memcpy(target + y * target_row, source + y * source_row + skip, target_row);
    return true;
}

}  // namespace genicam
