// The pixel decoding kernels: the scalar forms against bytes packed here by
// a plain bit writer, and every SIMD build this processor runs against the
// scalar forms at any start and length, without writing past the output.
// Whole frames go through every build and the colour path in blocks of exactly
// their bytes.  Threads: the test main thread only.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <iterator>
#include <string>
#include <random>
#include <vector>

#include "pixel_decode.h"
#include "pixel_decode_kernels.h"

using namespace genicam;

namespace {

constexpr Packing kPackings[] = {Packing::lsb10, Packing::lsb12, Packing::lsb14, Packing::gev10, Packing::gev12};
constexpr CameraColour kColours[] = {CameraColour::rgb8,  CameraColour::bgr8, CameraColour::rgba8,
                                     CameraColour::bgra8, CameraColour::yuyv, CameraColour::uyvy};

unsigned bits_of(Packing p) {
    switch (p) {
        case Packing::lsb10:
        case Packing::gev10: return 10;
        case Packing::lsb12:
        case Packing::gev12: return 12;
        case Packing::lsb14: return 14;
    }
    return 0;
}

bool is_gev(Packing p) { return p == Packing::gev10 || p == Packing::gev12; }

// One past the last byte sample `last` lies in.
size_t end_byte(Packing p, size_t last) {
    if (is_gev(p)) return last / 2 * 3 + (last % 2 == 0 ? 2 : 3);
    return ((last + 1) * bits_of(p) + 7) / 8;
}

// Packs samples as the camera would: a bit stream LSB first, or GigE Vision pairs.
std::vector<uint8_t> pack(Packing p, const std::vector<uint16_t>& samples) {
    const unsigned bits = bits_of(p);
    std::vector<uint8_t> bytes(end_byte(p, samples.size() - 1));
    for (size_t i = 0; i < samples.size(); ++i) {
        if (is_gev(p)) {
            const unsigned low = bits - 8, nibble = samples[i] & ((1u << low) - 1);
            bytes[i / 2 * 3 + (i % 2 ? 2 : 0)] = uint8_t(samples[i] >> low);
            bytes[i / 2 * 3 + 1] |= uint8_t(i % 2 ? nibble << 4 : nibble);
        } else {
            for (unsigned k = 0; k < bits; ++k)
                if (samples[i] >> k & 1) bytes[(i * bits + k) / 8] |= uint8_t(1u << ((i * bits + k) % 8));
        }
    }
    return bytes;
}

std::vector<uint16_t> random_samples(size_t n, unsigned bits, uint32_t seed) {
    std::mt19937 rng(seed);
    std::vector<uint16_t> s(n);
    for (uint16_t& v : s) v = uint16_t(rng() & ((1u << bits) - 1));
    return s;
}

std::vector<uint8_t> random_bytes(size_t n, uint32_t seed) {
    std::mt19937 rng(seed);
    std::vector<uint8_t> b(n);
    for (uint8_t& v : b) v = uint8_t(rng());
    return b;
}

// The SIMD builds this processor runs.
std::vector<detail::DecodeKernels> simd_builds() {
    using tolmirex::SimdLevel;
    std::vector<detail::DecodeKernels> builds;
    for (SimdLevel level : {SimdLevel::sse2, SimdLevel::avx2})
        if (level <= tolmirex::detected_simd_level()) builds.push_back(detail::decode_kernels(level));
    return builds;
}

constexpr uint16_t kCanary16 = 0xBEEF;
constexpr uint8_t kCanary8 = 0xA5;
constexpr uint32_t kLongRun = 5472 * 2 + 7;

}  // namespace

TEST(PixelDecode, ScalarFormsDecodeKnownBytes) {
    // Bytes written out by hand from the layouts.
    const uint8_t mono12p[] = {0x21, 0x43, 0x65};              // 0x321, 0x654
    const uint8_t mono12packed[] = {0x32, 0x41, 0x65};         // 0x321, 0x654
    const uint8_t mono10packed[] = {0xC8, 0x21, 0x95};         // 0x321, 0x256
    const uint8_t mono10p[] = {0x21, 0x53, 0x76, 0x98, 0xBA};  // 0x321, 0x194, 0x187, 0x2EA
    uint16_t out[4] = {};
    unpack_samples_scalar(Packing::lsb12, mono12p, 0, 2, out);
    EXPECT_EQ(out[0], 0x321);
    EXPECT_EQ(out[1], 0x654);
    unpack_samples_scalar(Packing::gev12, mono12packed, 0, 2, out);
    EXPECT_EQ(out[0], 0x321);
    EXPECT_EQ(out[1], 0x654);
    unpack_samples_scalar(Packing::gev10, mono10packed, 0, 2, out);
    EXPECT_EQ(out[0], 0x321);
    EXPECT_EQ(out[1], 0x256);
    unpack_samples_scalar(Packing::lsb10, mono10p, 1, 3, out);
    EXPECT_EQ(out[0], 0x194);
    EXPECT_EQ(out[1], 0x187);
    EXPECT_EQ(out[2], 0x2EA);

    // Every start and length against the bit writer, from exactly the bytes
    // the samples lie in.
    for (Packing p : kPackings) {
        const auto samples = random_samples(64, bits_of(p), 1);
        const auto bytes = pack(p, samples);
        for (size_t first = 0; first < 16; ++first)
            for (uint32_t count = 1; first + count <= samples.size(); ++count) {
                const std::vector<uint8_t> exact(bytes.begin(), bytes.begin() + end_byte(p, first + count - 1));
                std::vector<uint16_t> got(count);
                unpack_samples_scalar(p, exact.data(), first, count, got.data());
                ASSERT_EQ(got, std::vector<uint16_t>(samples.begin() + first, samples.begin() + first + count))
                    << int(p) << " first " << first << " count " << count;
            }
    }
    EXPECT_EQ(packed_bytes(Packing::lsb10, 5), 7u);
    EXPECT_EQ(packed_bytes(Packing::lsb12, 3), 5u);
    EXPECT_EQ(packed_bytes(Packing::lsb14, 4), 7u);
    EXPECT_EQ(packed_bytes(Packing::gev10, 2), 3u);

    // Luma: red and blue weigh differently, so a swapped order shows.
    const uint8_t red[] = {255, 0, 0, 9}, white[] = {255, 255, 255, 255}, yuyv[] = {10, 20, 30, 40, 50, 60};
    uint8_t y[3] = {};
    colour_to_luma_scalar(CameraColour::rgb8, red, 1, y);
    colour_to_luma_scalar(CameraColour::bgra8, red, 1, y + 1);
    colour_to_luma_scalar(CameraColour::rgba8, white, 1, y + 2);
    EXPECT_EQ(y[0], 77);
    EXPECT_EQ(y[1], 29);
    EXPECT_EQ(y[2], 255);
    colour_to_luma_scalar(CameraColour::yuyv, yuyv, 3, y);
    EXPECT_EQ(std::vector<uint8_t>(y, y + 3), (std::vector<uint8_t>{10, 30, 50}));
    colour_to_luma_scalar(CameraColour::uyvy, yuyv, 3, y);
    EXPECT_EQ(std::vector<uint8_t>(y, y + 3), (std::vector<uint8_t>{20, 40, 60}));
    EXPECT_EQ(colour::bytes_per_pixel(CameraColour::bgr8), 3u);
    EXPECT_EQ(colour::bytes_per_pixel(CameraColour::uyvy), 2u);
}

// Each call gets a copy of exactly the bytes its samples lie in (ASan sees a
// read past them) and an output with canaries after it. The public calls
// take the build TOLMIREX_SIMD caps them to, never more than the processor
// runs (each cap in a fresh process: the choice is made once).
TEST(PixelDecode, SimdUnpackMatchesScalarWithinItsBytes) {
    using tolmirex::SimdLevel;
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    for (const char* cap : {"scalar", "sse2"}) {
        SCOPED_TRACE(cap);
        const SimdLevel wanted = std::string(cap) == "scalar" ? SimdLevel::scalar : SimdLevel::sse2;
        const SimdLevel expected = std::min(wanted, tolmirex::detected_simd_level());
        EXPECT_EXIT(
            {
                setenv("TOLMIREX_SIMD", cap, 1);
                std::exit(detail::chosen_decode_kernels().level == expected ? 0 : 1);
            },
            ::testing::ExitedWithCode(0), "");
    }

    const auto builds = simd_builds();
    for (Packing p : kPackings) {
        const auto samples = random_samples(kLongRun + 64, bits_of(p), 2);
        const auto bytes = pack(p, samples);
        auto check = [&](size_t first, uint32_t count) {
            const size_t end = count ? end_byte(p, first + count - 1) : bytes.size();
            const std::vector<uint8_t> exact(bytes.begin(), bytes.begin() + end);
            const std::vector<uint16_t> expected(samples.begin() + first, samples.begin() + first + count);
            for (const detail::DecodeKernels& k : builds) {
                std::vector<uint16_t> got(count + 16, kCanary16);
                k.unpack(p, exact.data(), first, count, got.data());
                ASSERT_EQ(std::vector<uint16_t>(got.begin(), got.begin() + count), expected)
                    << tolmirex::simd_level_name(k.level) << " packing " << int(p) << " first " << first << " count "
                    << count;
                for (size_t i = count; i < got.size(); ++i)
                    ASSERT_EQ(got[i], kCanary16) << tolmirex::simd_level_name(k.level) << " wrote past " << count;
            }
        };
        for (size_t first = 0; first <= 40; ++first) {
            for (uint32_t count = 0; count <= 80; ++count) check(first, count);
            for (uint32_t count = 81; count <= 300; count += 13) check(first, count);
        }
        check(3, kLongRun);
        // The public entry point takes the chosen build.
        std::vector<uint16_t> got(kLongRun);
        unpack_samples(p, bytes.data(), 5, kLongRun, got.data());
        EXPECT_EQ(got, std::vector<uint16_t>(samples.begin() + 5, samples.begin() + 5 + kLongRun));
    }
}

TEST(PixelDecode, SimdLumaMatchesScalarWithinItsBytes) {
    const auto builds = simd_builds();
    for (CameraColour c : kColours) {
        const uint32_t bpp = colour::bytes_per_pixel(c);
        const auto pixels = random_bytes(size_t(kLongRun) * bpp, 3);
        auto check = [&](uint32_t count) {
            const std::vector<uint8_t> exact(pixels.begin(), pixels.begin() + size_t(count) * bpp);
            std::vector<uint8_t> expected(count);
            colour_to_luma_scalar(c, exact.data(), count, expected.data());
            for (const detail::DecodeKernels& k : builds) {
                std::vector<uint8_t> got(count + 32, kCanary8);
                k.luma(c, exact.data(), count, got.data());
                ASSERT_EQ(std::vector<uint8_t>(got.begin(), got.begin() + count), expected)
                    << tolmirex::simd_level_name(k.level) << " colour " << int(c) << " count " << count;
                for (size_t i = count; i < got.size(); ++i)
                    ASSERT_EQ(got[i], kCanary8) << tolmirex::simd_level_name(k.level) << " wrote past " << count;
            }
        };
        for (uint32_t count = 0; count <= 300; ++count) check(count);
        check(kLongRun);
    }
}

// Frames of widths 1 to 67, one and two rows, through every kernel of every
// build this processor runs and through the colour path of a camera's own
// pixels: each from a block that ends where the camera's bytes do (and starts
// at an odd address), into outputs of exactly the shown size, so
// AddressSanitizer reports one byte too far.  Packed rows also start a sample
// in, as GR/GB ones do.  An odd-width 4:2:2 row ends on half a pair, whose
// pixel takes the V of the pair before it (128 in a row of one pixel).
TEST(PixelDecode, EveryKernelStaysInsideExactFrames) {
    auto builds = simd_builds();
    builds.insert(builds.begin(), detail::decode_kernels(tolmirex::SimdLevel::scalar));
    const double unit[3][3] = {{1, 0, 0}, {0, 1, 0}, {0, 0, 1}}, zero[3] = {};
    const colour::CameraColourTables tables = colour::fold_camera_colour(unit, zero);
    const size_t packings = std::size(kPackings);
    for (uint32_t h : {1u, 2u})
        for (uint32_t w = 1; w <= 67; ++w)
            for (size_t kernel = 0; kernel < packings + std::size(kColours); ++kernel) {
                const bool packed = kernel < packings;
                const Packing p = kPackings[packed ? kernel : 0];
                const CameraColour c = kColours[packed ? 0 : kernel - packings];
                const size_t row = size_t{w} * colour::bytes_per_pixel(c);
                const auto bytes = random_bytes(packed ? packed_bytes(p, size_t{w} * h) : row * h, w);
                std::vector<uint8_t> block(bytes.size() + 1);
                std::copy(bytes.begin(), bytes.end(), block.begin() + 1);
                const uint8_t* frame = block.data() + 1;
                for (uint32_t skip = 0; skip <= uint32_t{packed} && 2 * skip < w; ++skip) {
                    const uint32_t shown = w - 2 * skip;
                    auto decode = [&](const detail::DecodeKernels& k) {
                        std::vector<uint16_t> samples(packed ? size_t{shown} * h : 0);
                        std::vector<uint8_t> luma(packed ? 0 : size_t{shown} * h);
                        for (uint32_t y = 0; y < h; ++y)
                            packed ? k.unpack(p, frame, size_t{y} * w + skip, shown, samples.data() + y * shown)
                                   : k.luma(c, frame + y * row, shown, luma.data() + y * shown);
                        return std::pair(samples, luma);
                    };
                    for (const detail::DecodeKernels& k : builds)
                        ASSERT_EQ(decode(k), decode(builds[0])) << tolmirex::simd_level_name(k.level) << " kernel "
                                                                << kernel << " " << w << "x" << h << " skip " << skip;
                }
                if (packed) continue;
                const colour::CameraColourImage image{frame, w, h, c};
                std::vector<uint32_t> bgrx(size_t{w} * h), whole_pair(2);
                colour::camera_colour_rows(image, tables, bgrx.data(), 0, h);
                colour::camera_colour_means(image, 0, 0, w, h);
                for (uint32_t y = 0; colour::is_422(c) && w % 2 && y < h; ++y) {
                    const uint8_t* half = frame + (y + 1) * row - 2;
                    const int v = c == CameraColour::yuyv ? 3 : 2;
                    uint8_t pair[4] = {half[0], half[1], 0, 0};
                    pair[v] = w > 1 ? half[v - 4] : 128;
                    colour::camera_colour_rows({pair, 2, 1, c}, tables, whole_pair.data(), 0, 1);
                    ASSERT_EQ(bgrx[size_t{y} * w + w - 1], whole_pair[0])
                        << "colour " << int(c) << " " << w << "x" << h;
                }
            }
}
