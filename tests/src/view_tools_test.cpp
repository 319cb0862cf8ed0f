// Threads: test main thread only.
// Zoom geometry of the video window and saved pictures read back with libpng.
#include <gtest/gtest.h>
#include <png.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "png_picture.h"
#include "zoom_view.h"

namespace {

constexpr int SW = 1280, SH = 1024, WW = 640, WH = 512;  // fit is 1:2

TEST(ViewToolsTest, SourceRectangleAtEachZoom) {
    const struct {
        Zoom zoom;
        int win_w;
        ViewRect source, destination;
    } cases[] = {
        {{0, 0, 0}, WW, {0, 0, SW, SH}, {0, 0, WW, WH}},              // fit, whatever the centre
        {{0.4, 900, 10}, WW, {0, 0, SW, SH}, {0, 0, WW, WH}},         // below fit: fit
        {{1, 640, 512}, WW, {320, 256, 640, 512}, {0, 0, WW, WH}},    // 1:1, centred
        {{8, 100, 100}, WW, {60, 68, 80, 64}, {0, 0, WW, WH}},        // 8:1
        {{16, 100, 100}, WW, {60, 68, 80, 64}, {0, 0, WW, WH}},       // at most 8:1
        {{8, 0, 2000}, WW, {0, SH - 64, 80, 64}, {0, 0, WW, WH}},     // clamped to the surface
        {{4, 640, 512}, WW + 2, {560, 448, 161, 128}, {0, 0, 644, WH}},  // last column cut by the edge
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "scale " << c.zoom.scale << " window " << c.win_w);
        const ViewGeometry v = view_geometry(clamp_zoom(c.zoom, SW, SH, c.win_w, WH), SW, SH, c.win_w, WH);
        EXPECT_EQ(v.source.x, c.source.x);
        EXPECT_EQ(v.source.y, c.source.y);
        EXPECT_EQ(v.source.width, c.source.width);
        EXPECT_EQ(v.source.height, c.source.height);
        EXPECT_EQ(v.destination.width, c.destination.width);
        EXPECT_EQ(v.destination.height, c.destination.height);
    }
}

// Zooming keeps the pixel under the pointer where it is, and the pointer
// maps to the pixel drawn under it.
TEST(ViewToolsTest, ZoomAroundThePointer) {
    const struct {
        double from, to;
        int px, py, pixel_x, pixel_y;  // the pixel under the pointer
    } cases[] = {
        {0, 1, 100, 50, 200, 100},  {1, 2, 101, 37, 421, 293}, {2, 8, 639, 511, 799, 639},
        {1, 8, 0, 0, 320, 256},     {8, 1, 333, 222, 641, 507},
        {0, 8, 2, 3, 4, 6},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.from << " -> " << c.to << " at " << c.px << ", " << c.py);
        const Zoom start = clamp_zoom({c.from, SW / 2.0, SH / 2.0}, SW, SH, WW, WH);
        int x = -1, y = -1;
        ASSERT_TRUE(pixel_at(view_geometry(start, SW, SH, WW, WH), c.px, c.py, &x, &y));
        EXPECT_EQ(x, c.pixel_x);
        EXPECT_EQ(y, c.pixel_y);
        const Zoom zoomed = zoom_about(start, c.to, c.px, c.py, SW, SH, WW, WH);
        ASSERT_TRUE(pixel_at(view_geometry(zoomed, SW, SH, WW, WH), c.px, c.py, &x, &y));
        EXPECT_EQ(x, c.pixel_x);
        EXPECT_EQ(y, c.pixel_y);
    }
    int x, y;
    EXPECT_FALSE(pixel_at(view_geometry({}, SW, SH, WW, WH), WW, 0, &x, &y));
}

// The rows, bit depth and sBIT libpng reads back from a saved file.
struct ReadBack {
    int width = 0, height = 0, depth = 0, colour_type = -1, significant = 0;
    std::vector<png_byte> rows;
};

ReadBack read_png(const std::string& path) {
    ReadBack r;
    FILE* file = fopen(path.c_str(), "rb");
    if (!file) return r;
    png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    if (setjmp(png_jmpbuf(png)) == 0) {
        png_init_io(png, file);
        png_read_info(png, info);
        r.width = int(png_get_image_width(png, info));
        r.height = int(png_get_image_height(png, info));
        r.depth = png_get_bit_depth(png, info);
        r.colour_type = png_get_color_type(png, info);
        png_color_8p bits = nullptr;
        if (png_get_sBIT(png, info, &bits)) r.significant = bits->gray;
        const size_t row_bytes = png_get_rowbytes(png, info);
        r.rows.resize(row_bytes * size_t(r.height));
        for (int y = 0; y < r.height; ++y) png_read_row(png, r.rows.data() + row_bytes * size_t(y), nullptr);
    }
    png_destroy_read_struct(&png, &info, nullptr);
    fclose(file);
    return r;
}

std::string temp_path() {
    char name[] = "/tmp/tolmirex-png-XXXXXX";
    const int fd = mkstemp(name);
    if (fd >= 0) close(fd);
    return name;
}

TEST(ViewToolsTest, SavedPicturesReadBack) {
    const int w = 5, h = 3;
    std::vector<uint8_t> mono8(w * h);
    std::vector<uint16_t> mono12(w * h);
    for (int i = 0; i < w * h; ++i) {
        mono8[i] = uint8_t(i * 17);
        mono12[i] = uint16_t(i * 273);  // 0 .. 3822, with 4095 and one beyond set below
    }
    mono12[1] = 4095;
    mono12[2] = 5000;  // beyond 12 bits: saturates as on screen
    CQGETFRAMEEX frame{};
    frame.curCX = w;
    frame.curCY = h;
    const std::string path = temp_path();
    std::string error;

    frame.bp = mono8.data();
    frame.modeRDO = CQ_RDO_8BIT;
    frame.curBPP = 8;
    ASSERT_TRUE(write_png(path, png_from_frame(frame), &error)) << error;
    ReadBack r = read_png(path);
    EXPECT_EQ(r.width, w);
    EXPECT_EQ(r.height, h);
    EXPECT_EQ(r.depth, 8);
    EXPECT_EQ(r.colour_type, PNG_COLOR_TYPE_GRAY);
    EXPECT_EQ(std::vector<uint8_t>(r.rows.begin(), r.rows.end()), mono8);

    frame.bp = mono12.data();
    frame.modeRDO = 0;
    frame.curBPP = 12;
    ASSERT_TRUE(write_png(path, png_from_frame(frame), &error)) << error;
    r = read_png(path);
    EXPECT_EQ(r.depth, 16);
    EXPECT_EQ(r.significant, 12);
    ASSERT_EQ(r.rows.size(), size_t(w * h * 2));
    for (int i = 0; i < w * h; ++i) {
        const unsigned sample = (unsigned(r.rows[2 * i]) << 8 | r.rows[2 * i + 1]) >> (16 - 12);
        EXPECT_EQ(sample, std::min<unsigned>(mono12[i], 4095)) << "pixel " << i;
    }

    const uint8_t bgrx[] = {1, 2, 3, 0, 4, 5, 6, 0};
    CQGETBITMAP bitmap{};
    bitmap.bp = const_cast<uint8_t*>(bgrx);
    bitmap.w = 2;
    bitmap.h = 1;
    ASSERT_TRUE(write_png(path, png_from_bitmap(bitmap), &error)) << error;
    r = read_png(path);
    EXPECT_EQ(r.colour_type, PNG_COLOR_TYPE_RGB);
    EXPECT_EQ(std::vector<uint8_t>(r.rows.begin(), r.rows.end()), (std::vector<uint8_t>{3, 2, 1, 6, 5, 4}));

    EXPECT_FALSE(write_png("/nonexistent-dir/x.png", png_from_bitmap(bitmap), &error));
    EXPECT_FALSE(error.empty());
    unlink(path.c_str());
}

}  // namespace
