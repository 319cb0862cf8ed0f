// The pure colour pipeline: interpolation, white balance, matrix, contrast.
#include "colour_pipeline.h"

#include <gtest/gtest.h>

#include <vector>

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
