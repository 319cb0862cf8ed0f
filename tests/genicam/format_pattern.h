// format_pattern.h - the picture genicam_format_camera sends, in each pixel
// format it can offer, and what a test needs to predict what a viewer shows of
// it.  Every value is a function of the absolute sensor position (x, y): a
// region at (x0, y0) carries the values the full frame has at those places.
// Header-only and pure.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>

namespace genicam_test {

// How a format lays out its samples.
enum class Packing : uint8_t {
    Bytes,      // one byte a sample (8-bit mono and Bayer)
    Little16,   // 10..16-bit samples in two bytes, little-endian
    BitStream,  // PFNC "p": the whole image one bit stream, sample i in bits [i*b, i*b+b), LSB first
    Pairs,      // GigE "Packed": two samples in three bytes
    Rgb,        // three or four bytes a pixel (order and alpha from the value)
    Yuv422,     // two bytes a pixel, chroma shared by each pair of pixels
};

struct FormatInfo {
    const char* name;
    uint32_t value;  // PFNC; its bits 16..23 are the bits a pixel takes
    int bits;        // significant bits of a sample; 8 for the colour formats
    Packing packing;
};

// Aravis 0.8.26's arvenums.h lacks several of these, so they are listed here.
inline constexpr FormatInfo kFormats[] = {
    {"Mono8", 0x01080001, 8, Packing::Bytes},
    {"Mono10", 0x01100003, 10, Packing::Little16},
    {"Mono12", 0x01100005, 12, Packing::Little16},
    {"Mono14", 0x01100025, 14, Packing::Little16},
    {"Mono16", 0x01100007, 16, Packing::Little16},
    {"Mono10p", 0x010A0046, 10, Packing::BitStream},
    {"Mono12p", 0x010C0047, 12, Packing::BitStream},
    {"Mono14p", 0x010E0104, 14, Packing::BitStream},
    {"Mono10Packed", 0x010C0004, 10, Packing::Pairs},
    {"Mono12Packed", 0x010C0006, 12, Packing::Pairs},
    {"BayerRG8", 0x01080009, 8, Packing::Bytes},
    {"BayerRG12", 0x01100011, 12, Packing::Little16},
    {"BayerRG10p", 0x010A0058, 10, Packing::BitStream},
    {"BayerRG12p", 0x010C0059, 12, Packing::BitStream},
    {"BayerGR12p", 0x010C0057, 12, Packing::BitStream},
    {"BayerBG12p", 0x010C0053, 12, Packing::BitStream},
    {"BayerGB12p", 0x010C0055, 12, Packing::BitStream},
    {"BayerRG10Packed", 0x010C0027, 10, Packing::Pairs},
    {"BayerRG12Packed", 0x010C002B, 12, Packing::Pairs},
    {"BayerGR12Packed", 0x010C002A, 12, Packing::Pairs},
    {"BayerBG12Packed", 0x010C002D, 12, Packing::Pairs},
    {"BayerGB12Packed", 0x010C002C, 12, Packing::Pairs},
    {"RGB8", 0x02180014, 8, Packing::Rgb},
    {"BGR8", 0x02180015, 8, Packing::Rgb},
    {"RGBa8", 0x02200016, 8, Packing::Rgb},
    {"BGRa8", 0x02200017, 8, Packing::Rgb},
    {"YUV422_8", 0x02100032, 8, Packing::Yuv422},       // Y0 U Y1 V
    {"YUV422_8_UYVY", 0x0210001F, 8, Packing::Yuv422},  // U Y0 V Y1
    {"YCbCr422_8", 0x0210003B, 8, Packing::Yuv422},     // Y0 Cb Y1 Cr
    {"Coord3D_C8", 0x010800B1, 8, Packing::Bytes},      // a 3D camera's depth: not a picture
};

inline const FormatInfo* find_format(std::string_view name) {
    for (const FormatInfo& f : kFormats)
        if (name == f.name) return &f;
    return nullptr;
}

inline const FormatInfo* find_format(uint32_t value) {
    for (const FormatInfo& f : kFormats)
        if (value == f.value) return &f;
    return nullptr;
}

inline int bits_per_pixel(uint32_t value) { return (value >> 16) & 0xff; }

// The mono or Bayer sample at (x, y): a ramp along both axes plus x*y, so a
// full frame reaches every one of the 16 bits.
inline uint32_t sample(uint32_t x, uint32_t y, int bits) { return ((x * 5 + y * 3) * 7 + x * y) & ((1u << bits) - 1); }

struct Rgb {
    uint8_t r, g, b;
    bool operator==(const Rgb&) const = default;
};

// The colour at (x, y) of the RGB formats: ramps that change by at most 4 a
// pixel (wrapping every 64 pixels), so a path without demosaicing keeps them.
inline Rgb rgb(uint32_t x, uint32_t y) {
    return {uint8_t(x * 4 & 255), uint8_t(y * 4 & 255), uint8_t((x + y) * 2 & 255)};
}

struct Ycbcr {
    uint8_t y, cb, cr;
};

// The 4:2:2 formats' pixel at (x, y).  Cb and Cr depend on x / 2 only, so they
// are constant over each pair of pixels whose first x is even; with an odd
// OffsetX a pair takes the chroma of its first pixel.
inline Ycbcr yuv(uint32_t x, uint32_t y) {
    const uint32_t pair = x / 2;
    return {uint8_t((x * 3 + y * 2) & 255), uint8_t(64 + (pair * 2 + y) % 128), uint8_t(64 + (pair + y * 2) % 128)};
}

// What a viewer shows of a YCbCr pixel: BT.601 full range, rounded, clamped.
inline Rgb ycbcr_to_rgb(Ycbcr p) {
    const double y = p.y, cb = p.cb - 128.0, cr = p.cr - 128.0;
    auto to8 = [](double v) { return uint8_t(std::clamp(std::lround(v), 0L, 255L)); };
    return {to8(y + 1.402 * cr), to8(y - 0.344136 * cb - 0.714136 * cr), to8(y + 1.772 * cb)};
}

// The bytes of a width x height image in that format; 0 for a format not in
// kFormats.
inline size_t image_bytes(uint32_t format, uint32_t width, uint32_t height) {
    const FormatInfo* f = find_format(format);
    if (f == nullptr) return 0;
    const size_t n = size_t(width) * height;
    switch (f->packing) {
        case Packing::BitStream: return (n * f->bits + 7) / 8;
        case Packing::Pairs: return (n + 1) / 2 * 3;
        default: return n * bits_per_pixel(format) / 8;
    }
}

// Writes the region (x0, y0, width, height) in that format to out, which holds
// image_bytes(...).  False for a format not in kFormats.
inline bool write_image(uint32_t format, uint32_t x0, uint32_t y0, uint32_t width, uint32_t height, uint8_t* out) {
    const FormatInfo* f = find_format(format);
    if (f == nullptr) return false;
    const int bits = f->bits;
    switch (f->packing) {
        case Packing::Bytes:
            for (uint32_t r = 0; r < height; ++r)
                for (uint32_t c = 0; c < width; ++c) *out++ = uint8_t(sample(x0 + c, y0 + r, bits));
            return true;
        case Packing::Little16:
            for (uint32_t r = 0; r < height; ++r)
                for (uint32_t c = 0; c < width; ++c) {
                    const uint32_t s = sample(x0 + c, y0 + r, bits);
                    *out++ = uint8_t(s);
                    *out++ = uint8_t(s >> 8);
                }
            return true;
        case Packing::BitStream: {
            std::memset(out, 0, image_bytes(format, width, height));
            size_t bit = 0;
            for (uint32_t r = 0; r < height; ++r)
                for (uint32_t c = 0; c < width; ++c) {
                    const uint32_t s = sample(x0 + c, y0 + r, bits);
                    for (int b = 0; b < bits; ++b, ++bit)
                        if (s >> b & 1) out[bit / 8] |= uint8_t(1u << (bit % 8));
                }
            return true;
        }
        case Packing::Pairs: {
            // The samples in image order, two at a time; a lone last one pairs with 0.
            const size_t n = size_t(width) * height;
            auto at = [&](size_t i) { return i < n ? sample(x0 + i % width, y0 + i / width, bits) : 0u; };
            const int low = bits - 8;  // the bits besides the high byte: 2 or 4
            for (size_t i = 0; i < n; i += 2, out += 3) {
                const uint32_t s0 = at(i), s1 = at(i + 1), mask = (1u << low) - 1;
                out[0] = uint8_t(s0 >> low);
                out[1] = uint8_t((s0 & mask) | (s1 & mask) << 4);
                out[2] = uint8_t(s1 >> low);
            }
            return true;
        }
        case Packing::Rgb: {
            const bool bgr = format == 0x02180015 || format == 0x02200017;
            const bool alpha = bits_per_pixel(format) == 32;
            for (uint32_t r = 0; r < height; ++r)
                for (uint32_t c = 0; c < width; ++c) {
                    const Rgb p = rgb(x0 + c, y0 + r);
                    *out++ = bgr ? p.b : p.r;
                    *out++ = p.g;
                    *out++ = bgr ? p.r : p.b;
                    if (alpha) *out++ = 255;
                }
            return true;
        }
        case Packing::Yuv422: {
            const bool uyvy = format == 0x0210001F;
            for (uint32_t r = 0; r < height; ++r)
                for (uint32_t c = 0; c < width; ++c) {
                    const Ycbcr first = yuv(x0 + (c & ~1u), y0 + r);
                    const uint8_t luma = yuv(x0 + c, y0 + r).y, chroma = c & 1 ? first.cr : first.cb;
                    *out++ = uyvy ? chroma : luma;
                    *out++ = uyvy ? luma : chroma;
                }
            return true;
        }
    }
    return false;
}

}  // namespace genicam_test
