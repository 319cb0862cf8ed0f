// Threads: test main thread only.
// The SIMD presentation kernels against the portable ones, over scales that
// take the shuffle path, the portable fallback and ragged column tails.
#include <gtest/gtest.h>

#include <va/va.h>

#include <algorithm>
#include <cstdlib>
#include <vector>

#include "aligned_bytes.h"
#include "image_layout.h"
#include "scale_convert.h"
#include "strip_pacing.h"

namespace {

using namespace softva;

std::vector<std::uint8_t> convert(const RowKernels& kernels, const Nv12Picture& picture, Rect source, int dw, int dh) {
    const ScalePlan plan = make_scale_plan(source, dw, dh, {0, 0, dw, dh});
    std::vector<std::uint8_t> out(static_cast<std::size_t>(dw) * dh * 4);
    ConvertScratch scratch;
    scale_and_convert(plan, picture, out.data(), dw * 4, PixelOrder::bgrx, kernels, scratch);
    return out;
}

TEST(SoftvaScaleConvert, SimdMatchesPortable) {
    const int sw = 203, sh = 97;
    const ImageLayout layout = *layout_for(VA_FOURCC_NV12, sw, sh);
    AlignedBytes pixels(layout.data_size);
    std::srand(7);
    for (std::size_t i = 0; i < layout.data_size; ++i) pixels.data()[i] = static_cast<std::uint8_t>(std::rand());
    const Nv12Picture picture{pixels.data(), static_cast<int>(layout.pitches[0]), pixels.data() + layout.offsets[1],
                              static_cast<int>(layout.pitches[1])};
    const struct {
        Rect source;
        int dw, dh;
    } cases[] = {{{0, 0, sw, sh}, sw, sh}, {{0, 0, sw, sh}, 101, 48}, {{0, 0, sw, sh}, 640, 301},
                 {{0, 0, sw, sh}, 50, 20}, {{3, 5, 120, 60}, 77, 33}, {{1, 1, 1, 1}, 35, 3},
                 {{0, 0, sw, sh}, 1, 1}};
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.source.width << "x" << c.source.height << " -> " << c.dw << "x" << c.dh);
        const auto expected = convert(portable_row_kernels(), picture, c.source, c.dw, c.dh);
        for (const RowKernels& kernels : {sse2_row_kernels(), best_row_kernels()}) {
            const auto actual = convert(kernels, picture, c.source, c.dw, c.dh);
            int worst = 0;
            for (std::size_t i = 0; i < actual.size(); ++i) worst = std::max(worst, std::abs(actual[i] - expected[i]));
            // Same interpolation; the vector conversion rounds its terms separately.
            EXPECT_LE(worst, 2);
        }
    }
}

// Row bands over several threads give the one thread's pixels, bit for bit:
// both filters, a one-row picture, more threads than rows, a shown part.
TEST(SoftvaScaleConvert, BandsOverThreadsMatchOneThreadExactly) {
    const int sw = 301, sh = 203;
    const ImageLayout layout = *layout_for(VA_FOURCC_NV12, sw, sh);
    AlignedBytes pixels(layout.data_size);
    std::srand(11);
    for (std::size_t i = 0; i < layout.data_size; ++i) pixels.data()[i] = static_cast<std::uint8_t>(std::rand());
    const Nv12Picture picture{pixels.data(), static_cast<int>(layout.pitches[0]), pixels.data() + layout.offsets[1],
                              static_cast<int>(layout.pitches[1])};
    tolmirex::BandPool bands(3);
    std::vector<ConvertScratch> scratches;
    const struct {
        int dw, dh;
        Rect visible;
    } cases[] = {{75, 51, {0, 0, 75, 51}},
                 {640, 401, {0, 0, 640, 401}},
                 {120, 1, {0, 0, 120, 1}},
                 {50, 2, {0, 0, 50, 2}},
                 {600, 400, {17, 33, 300, 101}}};
    for (const auto& c : cases) {
        const ScalePlan plan = make_scale_plan({0, 0, sw, sh}, c.dw, c.dh, c.visible);
        const std::size_t bytes = static_cast<std::size_t>(c.visible.width) * c.visible.height * 4;
        std::vector<std::uint8_t> alone(bytes), banded(bytes, 0xAB);
        ConvertScratch scratch;
        scale_and_convert(plan, picture, alone.data(), c.visible.width * 4, PixelOrder::bgrx, best_row_kernels(),
                          scratch);
        scale_and_convert_in_bands(plan, picture, banded.data(), c.visible.width * 4, PixelOrder::bgrx,
                                   best_row_kernels(), scratches, bands);
        EXPECT_EQ(alone, banded) << c.dw << "x" << c.dh;
    }
}

// Area filter reference in floating point: the mean of a plane's samples
// (stride `step` bytes, from `first`) over the span each destination pixel covers.
double area_mean(const std::uint8_t* plane, int pitch, int step, double x0, double x1, double y0, double y1) {
    double sum = 0, area = 0;
    for (int y = static_cast<int>(y0); y < y1; ++y)
        for (int x = static_cast<int>(x0); x < x1; ++x) {
            const double w = (std::min<double>(x + 1, x1) - std::max<double>(x, x0)) *
                             (std::min<double>(y + 1, y1) - std::max<double>(y, y0));
            sum += w * plane[y * pitch + x * step];
            area += w;
        }
    return sum / area;
}

struct TestPicture {
    explicit TestPicture(int w, int h) : layout(*layout_for(VA_FOURCC_NV12, w, h)), pixels(layout.data_size) {}
    std::uint8_t& y(int x, int row) { return pixels.data()[layout.offsets[0] + row * layout.pitches[0] + x]; }
    std::uint8_t& uv(int x, int row, int k) {
        return pixels.data()[layout.offsets[1] + row * layout.pitches[1] + 2 * x + k];
    }
    Nv12Picture picture() {
        return {pixels.data(), static_cast<int>(layout.pitches[0]), pixels.data() + layout.offsets[1],
                static_cast<int>(layout.pitches[1])};
    }
    ImageLayout layout;
    AlignedBytes pixels;
};

// Reductions of 2:1 and more, integral or not, odd sizes and offsets, against
// the exact mean of the source pixels each output pixel covers.
TEST(SoftvaScaleConvert, AreaFilterAveragesEverySourcePixel) {
    const int sw = 217, sh = 131;
    TestPicture test(sw, sh);
    std::srand(11);
    for (int row = 0; row < sh; ++row)
        for (int x = 0; x < sw; ++x) test.y(x, row) = static_cast<std::uint8_t>(16 + std::rand() % 220);
    for (int row = 0; row < (sh + 1) / 2; ++row)
        for (int x = 0; x < (sw + 1) / 2; ++x)
            for (int k = 0; k < 2; ++k) test.uv(x, row, k) = static_cast<std::uint8_t>(64 + std::rand() % 128);
    const Nv12Picture picture = test.picture();
    const struct {
        Rect source;
        int dw, dh;
    } cases[] = {{{0, 0, 216, 130}, 108, 65}, {{0, 0, sw, sh}, 108, 65},  {{0, 0, 216, 128}, 54, 32},
                 {{0, 0, sw, sh}, 31, 17},    {{3, 5, 201, 120}, 67, 40}, {{0, 0, sw, sh}, 1, 1}};
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.source.width << "x" << c.source.height << " -> " << c.dw << "x" << c.dh);
        // Exactly 2:1 (the first case) is left to the bilinear taps, which must
        // give the same averages.
        const ScalePlan plan = make_scale_plan(c.source, c.dw, c.dh, {0, 0, c.dw, c.dh});
        EXPECT_EQ(plan.area, &c != &cases[0]);
        const double sx = double(c.source.width) / c.dw, sy = double(c.source.height) / c.dh;
        for (const RowKernels& kernels : {portable_row_kernels(), best_row_kernels()}) {
            const auto out = convert(kernels, picture, c.source, c.dw, c.dh);
            int worst = 0;
            for (int y = 0; y < c.dh; ++y)
                for (int x = 0; x < c.dw; ++x) {
                    const double x0 = c.source.x + x * sx, x1 = x0 + sx, y0 = c.source.y + y * sy, y1 = y0 + sy;
                    const double luma = area_mean(picture.y, picture.y_pitch, 1, x0, x1, y0, y1);
                    const double u = area_mean(picture.uv, picture.uv_pitch, 2, x0 / 2, x1 / 2, y0 / 2, y1 / 2);
                    const double v = area_mean(picture.uv + 1, picture.uv_pitch, 2, x0 / 2, x1 / 2, y0 / 2, y1 / 2);
                    const Rgb expected = bt601_to_rgb(int(luma + 0.5) - 16, int(u + 0.5) - 128, int(v + 0.5) - 128);
                    const std::uint8_t* p = out.data() + (y * c.dw + x) * 4;
                    worst = std::max(
                        {worst, std::abs(p[2] - expected.r), std::abs(p[1] - expected.g), std::abs(p[0] - expected.b)});
                }
            // A rounding step in Y and one in U or V: up to 1.2 + 2 per channel
            // (a filter that skipped source pixels would miss by tens on this noise).
            EXPECT_LE(worst, 4);
        }
    }
}

TEST(SoftvaScaleConvert, AreaFilterFlattensACheckerboardAndKeepsAConstant) {
    const int sw = 200, sh = 120;
    TestPicture test(sw, sh);
    for (int row = 0; row < sh; ++row)
        for (int x = 0; x < sw; ++x) test.y(x, row) = (x + row) % 2 ? 235 : 16;
    for (int row = 0; row < sh / 2; ++row)
        for (int x = 0; x < sw / 2; ++x) test.uv(x, row, 0) = test.uv(x, row, 1) = 128;
    // Even ratios: every output pixel sees as many light as dark samples.
    for (const int ratio : {2, 4, 10}) {
        SCOPED_TRACE(ratio);
        const auto out = convert(best_row_kernels(), test.picture(), {0, 0, sw, sh}, sw / ratio, sh / ratio);
        const Rgb grey = bt601_to_rgb(126 - 16, 0, 0);  // (16 + 235) / 2, rounded up
        for (std::size_t i = 0; i < out.size(); i += 4) {
            ASSERT_EQ(out[i], grey.b) << i / 4;
            ASSERT_EQ(out[i + 1], grey.g) << i / 4;
            ASSERT_EQ(out[i + 2], grey.r) << i / 4;
        }
    }
    // A constant picture stays exactly that colour at any ratio: the weights
    // of every output pixel add up to one.
    for (int row = 0; row < sh; ++row)
        for (int x = 0; x < sw; ++x) test.y(x, row) = 100;
    for (int row = 0; row < sh / 2; ++row)
        for (int x = 0; x < sw / 2; ++x) test.uv(x, row, 0) = 90, test.uv(x, row, 1) = 160;
    const Rgb colour = bt601_to_rgb(100 - 16, 90 - 128, 160 - 128);
    for (const int dw : {99, 67, 33, 7}) {
        SCOPED_TRACE(dw);
        const auto out = convert(best_row_kernels(), test.picture(), {1, 3, sw - 1, sh - 3}, dw, dw * 3 / 5);
        for (std::size_t i = 0; i < out.size(); i += 4)
            ASSERT_TRUE(out[i] == colour.b && out[i + 1] == colour.g && out[i + 2] == colour.r) << i / 4;
    }
}

// Magnified 4:1, and 3:1 from an odd corner, each source pixel becomes a
// block of one colour: no blending across pixels.
TEST(SoftvaScaleConvert, MagnifyingRepeatsPixels) {
    const int sw = 16, sh = 8;
    const ImageLayout layout = *layout_for(VA_FOURCC_NV12, sw, sh);
    AlignedBytes pixels(layout.data_size);
    std::srand(3);
    for (std::size_t i = 0; i < layout.data_size; ++i) pixels.data()[i] = static_cast<std::uint8_t>(std::rand());
    const Nv12Picture picture{pixels.data(), static_cast<int>(layout.pitches[0]), pixels.data() + layout.offsets[1],
                              static_cast<int>(layout.pitches[1])};
    for (const int k : {4, 3})
        for (const RowKernels& kernels : {portable_row_kernels(), best_row_kernels()}) {
            const Rect source{1, 1, 12, 6};
            const int dw = k * source.width, dh = k * source.height;
            const auto out = convert(kernels, picture, source, dw, dh);
            const auto at = [&](int x, int y) { return out[(std::size_t(y) * dw + x) * 4 + 1]; };
            int mixed = 0, distinct = 0;
            for (int y = 0; y < dh; ++y)
                for (int x = 0; x < dw; ++x) {
                    mixed += at(x, y) != at(x / k * k, y / k * k);
                    distinct += x % k == 0 && x > 0 && at(x, y) != at(x - 1, y);
                }
            EXPECT_EQ(mixed, 0) << k << ":1";
            EXPECT_GT(distinct, dw * dh / (2 * k));
        }
}

TEST(SoftvaScaleConvert, Bt601ReferencePoints) {
    EXPECT_EQ(bt601_to_rgb(235 - 16, 0, 0).r, 255);
    EXPECT_EQ(bt601_to_rgb(0, 0, 0).g, 0);
    const Rgb red = bt601_to_rgb(81 - 16, 90 - 128, 240 - 128);
    EXPECT_GE(red.r, 253);
    EXPECT_LE(red.g, 2);
    EXPECT_LE(red.b, 2);
}

}  // namespace

// A strip sent without MIT-SHM is what the link carries in about 50 ms.
TEST(StripPacing, StripsFollowTheMeasuredLink) {
    using softva::next_strip_bytes;
    // 128 KiB in 0.21 s is 5 Mbit/s: about 31 KiB a strip.
    EXPECT_NEAR(double(next_strip_bytes(128 * 1024, 0.21)), 0.05 * 128 * 1024 / 0.21, 1.0);
    // A link that answers at once, or faster than the clock, gets the largest.
    EXPECT_EQ(next_strip_bytes(128 * 1024, 0.0), softva::kLargestStripBytes);
    EXPECT_EQ(next_strip_bytes(128 * 1024, 1e-5), softva::kLargestStripBytes);
    // 1 Mbit/s with a long round trip still sends the smallest strip.
    EXPECT_EQ(next_strip_bytes(16 * 1024, 1.0), softva::kSmallestStripBytes);
}
