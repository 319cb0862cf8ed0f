// The pure colour pipeline: interpolation, white balance, matrix, contrast.
// Threads: the test main thread only.
#include "colour_pipeline.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <random>
#include <vector>

#include "colour_rows.h"

using colour::Mosaic;

namespace {

// A w x h mosaic whose R, G and B sites hold the given raw values.
std::vector<uint16_t> flat_mosaic(uint32_t w, uint32_t h, Mosaic m, uint16_t r, uint16_t g, uint16_t b) {
    std::vector<uint16_t> raw(size_t{w} * h);
    for (uint32_t y = 0; y < h; ++y)
        for (uint32_t x = 0; x < w; ++x) {
            const bool even_x = !(x & 1), even_y = !(y & 1);
            uint16_t v = g;
            if (even_x && even_y) v = m == Mosaic::rggb ? r : b;
            if (!even_x && !even_y) v = m == Mosaic::rggb ? b : r;
            raw[size_t{y} * w + x] = v;
        }
    return raw;
}

uint32_t bgrx(int r, int g, int b) { return uint32_t(b) | uint32_t(g) << 8 | uint32_t(r) << 16; }

}  // namespace

TEST(ColourPipeline, FlatFieldIsReproducedEverywhereForBothMosaics) {
    for (Mosaic m : {Mosaic::rggb, Mosaic::bggr}) {
        for (auto [w, h] : {std::pair{64u, 48u}, std::pair{7u, 5u}, std::pair{2u, 2u}, std::pair{1u, 1u}}) {
            auto raw = flat_mosaic(w, h, m, 4095, 2048, 1024);
            colour::Pipeline p;
            std::vector<uint32_t> out(size_t{w} * h);
            p.process({raw.data(), w, h, 2, m}, out.data());
            if (w == 1) continue;  // a single pixel cannot interpolate; only must not crash
            for (uint32_t v : out) ASSERT_EQ(v, bgrx(255, 128, 64)) << w << "x" << h;
        }
    }
}

TEST(ColourPipeline, WhiteBalanceMatrixAndContrastCombine) {
    colour::Settings s;
    s.white_balance = {2.0, 1.0, 0.5};
    s.black = 100;
    s.top = 1123;  // 1023 counts above black map to 255
    auto raw = flat_mosaic(16, 16, Mosaic::rggb, 100 + 300, 100 + 600, 100 + 1000);
    colour::Pipeline p;
    p.configure(s);
    std::vector<uint32_t> out(16 * 16);
    p.process({raw.data(), 16, 16, 2, Mosaic::rggb}, out.data());
    // 600/1023*255 = 149.6; clipping above top.
    EXPECT_EQ(out[8 * 16 + 8], bgrx(150, 150, 125));

    s.white_balance = {1, 1, 1};
    s.matrix = {{{0, 1, 0}, {0, 0, 1}, {1, 0, 0}}};  // R<-G, G<-B, B<-R
    p.configure(s);
    p.process({raw.data(), 16, 16, 2, Mosaic::rggb}, out.data());
    EXPECT_EQ(out[5 * 16 + 6], bgrx(150, 249, 75));

    const colour::Matrix3 d = colour::default_correction_matrix();
    for (const auto& row : d) EXPECT_NEAR(row[0] + row[1] + row[2], 1.0, 1e-9);
}

TEST(ColourPipeline, EightBitInterpolatesBilinearly) {
    // A vertical edge in the green channel only: interior green at a red
    // site averages its four neighbours.
    const uint32_t w = 8, h = 8;
    std::vector<uint8_t> raw(w * h, 0);
    for (uint32_t y = 0; y < h; ++y)
        for (uint32_t x = 4; x < w; ++x)
            if ((x + y) & 1) raw[y * w + x] = 200;  // green sites on the right half
    colour::Settings s;
    s.top = 255;
    colour::Pipeline p;
    p.configure(s);
    std::vector<uint32_t> out(w * h);
    p.process({raw.data(), w, h, 1, Mosaic::rggb}, out.data());
    EXPECT_EQ((out[2 * w + 4] >> 8) & 0xFF, 150u);  // red site at the edge: 3 of 4 neighbours green-lit
    EXPECT_EQ((out[2 * w + 6] >> 8) & 0xFF, 200u);
    EXPECT_EQ((out[2 * w + 2] >> 8) & 0xFF, 0u);
}

TEST(ColourPipeline, GammaAndMono) {
    std::vector<uint16_t> raw(4 * 4, 1024);
    colour::Settings s;
    s.gamma = 2.0;
    colour::Pipeline p;
    p.configure(s);
    std::vector<uint32_t> out(16);
    p.process({raw.data(), 4, 4, 2, Mosaic::mono}, out.data());
    // 1024/4095*255 = 63.8 -> 64, then (64/255)^(1/2)*255 = 127.7
    EXPECT_EQ(out[5], bgrx(128, 128, 128));
}

TEST(ColourPipeline, MeansByMosaicPosition) {
    auto raw = flat_mosaic(10, 6, Mosaic::bggr, 30, 20, 10);
    raw[1] = 22;  // one top-right (G1) sample differs
    auto m = colour::mosaic_means({raw.data(), 10, 6, 2, Mosaic::bggr}, 0, 0, 10, 6);
    ASSERT_TRUE(m);
    EXPECT_DOUBLE_EQ((*m)[0], 10.0);  // B
    EXPECT_NEAR((*m)[1], 20.0 + 2.0 / 15, 1e-9);
    EXPECT_DOUBLE_EQ((*m)[2], 20.0);
    EXPECT_DOUBLE_EQ((*m)[3], 30.0);  // R
    // An odd origin still reports by position in the image.
    m = colour::mosaic_means({raw.data(), 10, 6, 2, Mosaic::bggr}, 1, 1, 4, 4);
    ASSERT_TRUE(m);
    EXPECT_DOUBLE_EQ((*m)[0], 10.0);
    EXPECT_FALSE(colour::mosaic_means({raw.data(), 10, 6, 2, Mosaic::bggr}, 8, 0, 4, 2));
}

// A camera's own colour goes through white balance, matrix and contrast
// without a demosaic, from any of its layouts; its means are R, G, G, B.
TEST(ColourPipeline, CameraColourIsBalancedAndCorrectedPixelByPixel) {
    colour::Settings settings;
    settings.top = 255;
    settings.white_balance = {2.0, 1.0, 0.5};
    colour::Pipeline pipeline;
    pipeline.configure(settings);
    const uint8_t luma[2] = {0, 0};  // the frame's samples: not what is processed
    const uint8_t rgb[6] = {100, 50, 200, 10, 20, 30}, bgra[8] = {200, 50, 100, 0, 30, 20, 10, 0};
    uint32_t out[2];
    for (auto [pixels, layout] :
         {std::pair{rgb, colour::CameraColour::rgb8}, std::pair{bgra, colour::CameraColour::bgra8}}) {
        pipeline.process({luma, 2, 1, 1, Mosaic::rggb, pixels, layout}, out);
        EXPECT_EQ(out[0], bgrx(200, 50, 100));
        EXPECT_EQ(out[1], bgrx(20, 20, 15));
    }
    // 4:2:2, BT.601 full range: grey stays grey; Cr lifts red.
    const uint8_t yuyv[4] = {100, 128, 150, 178};
    settings.white_balance = {1, 1, 1};
    pipeline.configure(settings);
    pipeline.process({luma, 2, 1, 1, Mosaic::rggb, yuyv, colour::CameraColour::yuyv}, out);
    EXPECT_EQ(out[0], bgrx(170, 64, 100));       // 100 + 1.402 * 50, 100 - 0.714 * 50
    const uint8_t grey[4] = {128, 90, 128, 90};  // UYVY
    pipeline.process({luma, 2, 1, 1, Mosaic::rggb, grey, colour::CameraColour::uyvy}, out);
    EXPECT_EQ(out[1], bgrx(90, 90, 90));
    auto m = colour::mosaic_means({luma, 2, 1, 1, Mosaic::rggb, rgb, colour::CameraColour::rgb8}, 0, 0, 2, 1);
    ASSERT_TRUE(m);
    EXPECT_EQ(*m, (std::array<double, 4>{55, 35, 35, 115}));
}

namespace {

// Random samples below 2^bits, stored in T.
template <typename T>
std::vector<T> noise(uint32_t w, uint32_t h, int bits, uint32_t seed) {
    std::mt19937 rng(seed);
    std::vector<T> raw(size_t{w} * h);
    for (T& v : raw) v = static_cast<T>(rng() & ((1u << bits) - 1));
    return raw;
}

// The pipeline's meaning in double precision, written independently of it:
// bilinear estimate of each colour (reflect-101 edges), then per output
// channel sum of matrix * white balance * (estimate - black) * 255 / range.
template <typename T>
uint32_t reference_pixel(const std::vector<T>& raw, long w, long h, Mosaic m, const colour::Settings& s, long x,
                         long y) {
    auto at = [&](long xx, long yy) {
        auto reflect = [](long i, long n) { return std::clamp(i < 0 ? -i : (i >= n ? 2 * n - 2 - i : i), 0L, n - 1); };
        return double(raw[reflect(yy, h) * w + reflect(xx, w)]);
    };
    // Colour of a site: 0 R, 1 G, 2 B.
    auto colour_at = [&](long xx, long yy) {
        const bool ex = (xx & 1) == 0, ey = (yy & 1) == 0;
        if (ex != ey) return 1;
        return (ex == (m == Mosaic::rggb)) ? 0 : 2;
    };
    double estimate[3] = {0, 0, 0}, count[3] = {0, 0, 0};
    const int own = colour_at(x, y);
    estimate[own] = at(x, y);
    count[own] = 1;
    for (long dy = -1; dy <= 1; ++dy)
        for (long dx = -1; dx <= 1; ++dx) {
            const int c = colour_at(x + dx, y + dy);
            if (c == own || (dx == 0 && dy == 0)) continue;
            // Greens come from the 4 direct neighbours only; R/B from the nearest ones.
            if (c == 1 && dx != 0 && dy != 0) continue;
            estimate[c] += at(x + dx, y + dy);
            count[c] += 1;
        }
    const double scale = 255.0 / (double(s.top) - s.black);
    int out[3];
    for (int o = 0; o < 3; ++o) {
        double v = 0;
        for (int i = 0; i < 3; ++i)
            v += s.matrix[o][i] * s.white_balance[i] * (estimate[i] / count[i] - s.black) * scale;
        out[o] = int(std::clamp(std::floor(v + 0.5), 0.0, 255.0));
    }
    return bgrx(out[0], out[1], out[2]);
}

int channel_difference(uint32_t a, uint32_t b) {
    int worst = 0;
    for (int shift : {0, 8, 16}) worst = std::max(worst, std::abs(int((a >> shift) & 0xFF) - int((b >> shift) & 0xFF)));
    return worst;
}

// Largest per-channel difference between the pipeline and the reference.
template <typename T>
int worst_difference(const colour::Settings& s, uint32_t w, uint32_t h, int bits, Mosaic m, uint32_t seed) {
    const auto raw = noise<T>(w, h, bits, seed);
    colour::Pipeline p;
    p.configure(s);
    std::vector<uint32_t> out(size_t{w} * h);
    p.process({raw.data(), w, h, sizeof(T), m}, out.data());
    int worst = 0;
    for (long y = 0; y < long(h); ++y)
        for (long x = 0; x < long(w); ++x)
            worst = std::max(worst, channel_difference(out[y * w + x], reference_pixel(raw, w, h, m, s, x, y)));
    return worst;
}

colour::Settings camera_like(uint32_t top) {
    colour::Settings s;
    s.white_balance = {1.8, 1.0, 1.4};
    s.matrix = colour::default_correction_matrix();
    s.top = top;
    return s;
}

}  // namespace

// Widths cover whole SIMD steps, an overlapping last step, and rows too
// narrow for a kernel; heights cover both row parities and the edges.
TEST(ColourPipeline, MatchesDoublePrecisionWithinOneStep) {
    for (Mosaic m : {Mosaic::rggb, Mosaic::bggr})
        for (auto [w, h] : {std::pair{1283u, 9u}, std::pair{100u, 7u}, std::pair{35u, 4u}, std::pair{5u, 3u}}) {
            EXPECT_LE(worst_difference<uint8_t>(camera_like(255), w, h, 8, m, w), 1) << w << " 8-bit";
            EXPECT_LE(worst_difference<uint16_t>(camera_like(4095), w, h, 12, m, w), 1) << w << " 12-bit";
            // A contrast stretch: fewer fractional bits fit, still within one step.
            colour::Settings stretched = camera_like(1100);
            stretched.black = 60;
            EXPECT_LE(worst_difference<uint16_t>(stretched, w, h, 12, m, w), 1) << w << " stretched";
            // 13- and 16-bit data take the wider depth classes.
            EXPECT_LE(worst_difference<uint16_t>(camera_like(8191), w, h, 13, m, w), 1) << w << " 13-bit";
            EXPECT_LE(worst_difference<uint16_t>(camera_like(65535), w, h, 16, m, w), 1) << w << " 16-bit";
        }
}

TEST(ColourPipeline, SettingsBeyondSixteenBitLanesFallBackExactly) {
    colour::Settings s = camera_like(40);  // 100x contrast on 12-bit data
    s.white_balance = {60.0, 1.0, 0.01};
    EXPECT_LE(worst_difference<uint16_t>(s, 64, 6, 12, Mosaic::rggb, 3), 1);
    EXPECT_LE(worst_difference<uint8_t>(s, 64, 6, 8, Mosaic::bggr, 4), 1);
}

// Every SIMD build this processor runs gives the scalar arithmetic bit for
// bit, on every sample-depth class and both row kinds.
TEST(ColourPipeline, SimdKernelsMatchScalarArithmetic) {
    namespace d = colour::detail;
    // Camera-like gains (white balance times the default matrix) at full scale.
    const double full_scale[3][3] = {{2.88, -0.4, -0.28}, {-0.54, 1.5, -0.28}, {-0.18, -0.5, 2.24}};
    const double offset[3] = {-3.0, 1.5, 0.0};
    const uint32_t w = 1283;
    for (int bits : {8, 12, 13, 14, 16}) {
        double gain[3][3];
        for (int o = 0; o < 3; ++o)
            for (int j = 0; j < 3; ++j) gain[o][j] = full_scale[o][j] * 255.0 / ((1 << bits) - 1);
        const d::FixedSet set = d::fold_fixed(gain, offset);
        const d::FixedClass& fc = set.by_bits[bits];
        ASSERT_TRUE(fc.usable) << bits;
        const auto raw8 = noise<uint8_t>(w, 3, 8, 7);
        const auto raw16 = noise<uint16_t>(w, 3, bits, 8);
        const void* rows = bits == 8 ? static_cast<const void*>(raw8.data()) : raw16.data();
        const uint32_t bytes = bits == 8 ? 1 : 2;
        auto row = [&](int y) { return static_cast<const uint8_t*>(rows) + size_t(y) * w * bytes; };
        for (bool p_row : {true, false}) {
            std::vector<uint32_t> expected(w), got(w);
            d::scalar_pixels({row(0), row(1), row(2), bytes, long(w), p_row, &fc, expected.data()}, 0, w);
            for (const d::NamedRowKernel& k : d::available_row_kernels()) {
                std::fill(got.begin(), got.end(), 0xDEADBEEF);
                const long end = k.kernel({row(0), row(1), row(2), bytes, long(w), p_row, &fc, got.data()});
                EXPECT_GE(end, long(w) - 2) << k.name;
                for (long x = 2; x < end; ++x)
                    ASSERT_EQ(got[x], expected[x]) << k.name << " bits " << bits << " x " << x << " p_row " << p_row;
                EXPECT_EQ(got[0], 0xDEADBEEF) << k.name << ": the border columns are left to the caller";
            }
        }
    }
}

// Row bands over several threads give the single thread's pixels and means,
// bit for bit: odd heights, one row, more threads than rows, every path
// (both mosaics, mono, a camera's own colour, gamma).
TEST(ColourPipeline, BandsOverThreadsMatchOneThreadExactly) {
    tolmirex::BandPool pool(3);
    colour::Settings settings;
    settings.white_balance = {1.7, 1.0, 1.3};
    settings.matrix = colour::default_correction_matrix();
    settings.gamma = 2.2;
    colour::Pipeline pipeline;
    pipeline.configure(settings);
    for (auto [w, h] : {std::pair{64u, 48u}, std::pair{37u, 7u}, std::pair{16u, 1u}, std::pair{9u, 2u}}) {
        const auto wide = noise<uint16_t>(w, h, 12, w * h);
        // Each exactly the image's bytes, so AddressSanitizer sees a read past them.
        const auto bytes = noise<uint8_t>(w, h, 8, w + h), rgba = noise<uint8_t>(w * 4, h, 8, w);
        const auto yuyv = noise<uint8_t>(w * 2, h, 8, h);
        const colour::RawImage images[] = {
            {wide.data(), w, h, 2, Mosaic::rggb},
            {bytes.data(), w, h, 1, Mosaic::bggr},
            {wide.data(), w, h, 2, Mosaic::mono},
            {bytes.data(), w, h, 1, Mosaic::rggb, rgba.data(), colour::CameraColour::rgba8},
            {bytes.data(), w, h, 1, Mosaic::rggb, yuyv.data(), colour::CameraColour::yuyv},
        };
        for (const colour::RawImage& raw : images) {
            std::vector<uint32_t> alone(size_t{w} * h), banded(size_t{w} * h, 0xDEADBEEF);
            pipeline.process(raw, alone.data());
            pipeline.process(raw, banded.data(), &pool);
            EXPECT_EQ(alone, banded) << w << "x" << h << " mosaic " << int(raw.mosaic);
            EXPECT_EQ(colour::mosaic_means(raw, 1, 0, w - 1, h), colour::mosaic_means(raw, 1, 0, w - 1, h, &pool));
        }
    }
}
