// The frame upload through the software VA driver on a private X server:
// what drawImage writes is read back from the surface and compared byte for
// byte with the conversion rules; every VA failure gives its message.
#include <gtest/gtest.h>
#include <va/va_x11.h>

#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "frame_upload.h"
#include "setup.h"
#include "test_support.h"
#include "video_window.h"

namespace {

struct Planes {
    std::vector<uint8_t> y, cb, cr;  // chroma at ceil(w/2) x ceil(h/2)
};

int clamp_byte(int v) { return v < 0 ? 0 : v > 255 ? 255 : v; }

class FrameUploadTest : public ::testing::Test {
protected:
    // Environment of the driver (faults, formats) must be set before this.
    void start_va(int width, int height) {
        open_test_display();
        has_derive = true;
        lps->show = 1;
        lps->color = 0;
        w = width;
        h = height;
        va_dpy = vaGetDisplay(x11_display);
        int major, minor;
        ASSERT_EQ(vaInitialize(va_dpy, &major, &minor), VA_STATUS_SUCCESS);
        std::vector<VAImageFormat> formats(vaMaxNumImageFormats(va_dpy));
        int count = 0;
        ASSERT_EQ(vaQueryImageFormats(va_dpy, formats.data(), &count), VA_STATUS_SUCCESS);
        for (int i = count - 1; i >= 0; --i)
            if (formats[i].fourcc == VA_FOURCC_NV12 || formats[i].fourcc == VA_FOURCC_YV12) format = formats[i];
        ASSERT_EQ(vaCreateSurfaces(va_dpy, VA_RT_FORMAT_YUV420, w, h, &surface, 1, nullptr, 0), VA_STATUS_SUCCESS);
        win = create_window(w, h);
    }

    void TearDown() override {
        if (va_dpy) {
            vaDestroySurfaces(va_dpy, &surface, 1);
            vaTerminate(va_dpy);
        }
        lps->sgf = {};
        lps->gf = {};
        lps->sbmp = {};
        lps->color = 0;
        set_env("SOFTVA_FAIL", nullptr);
        set_env("SOFTVA_FORMATS", nullptr);
        close_test_display();
    }

    int draw() { return drawImage(va_dpy, surface, &format, w, h, win, w, h); }

    // The surface's content as planes, through vaGetImage into an NV12 image.
    Planes read_back() {
        VAImageFormat nv12{};
        nv12.fourcc = VA_FOURCC_NV12;
        nv12.byte_order = VA_LSB_FIRST;
        nv12.bits_per_pixel = 12;
        VAImage image;
        Planes p;
        EXPECT_EQ(vaCreateImage(va_dpy, &nv12, w, h, &image), VA_STATUS_SUCCESS);
        EXPECT_EQ(vaGetImage(va_dpy, surface, 0, 0, w, h, image.image_id), VA_STATUS_SUCCESS);
        uint8_t* data = nullptr;
        EXPECT_EQ(vaMapBuffer(va_dpy, image.buf, reinterpret_cast<void**>(&data)), VA_STATUS_SUCCESS);
        const int cw = (w + 1) / 2, ch = (h + 1) / 2;
        for (int r = 0; r < h; ++r)
            for (int c = 0; c < w; ++c) p.y.push_back(data[image.offsets[0] + r * image.pitches[0] + c]);
        for (int r = 0; r < ch; ++r)
            for (int c = 0; c < cw; ++c) {
                p.cb.push_back(data[image.offsets[1] + r * image.pitches[1] + 2 * c]);
                p.cr.push_back(data[image.offsets[1] + r * image.pitches[1] + 2 * c + 1]);
            }
        vaUnmapBuffer(va_dpy, image.buf);
        vaDestroyImage(va_dpy, image.image_id);
        return p;
    }

    Planes expected_monochrome(const std::vector<uint8_t>& luma) {
        const size_t chroma = size_t((w + 1) / 2) * ((h + 1) / 2);
        return {luma, std::vector<uint8_t>(chroma, 128), std::vector<uint8_t>(chroma, 128)};
    }

    // BT.601 integer formulas; chroma from the top-left pixel of each block.
    Planes expected_colour(const std::vector<uint8_t>& bgrx) {
        Planes p;
        for (int r = 0; r < h; ++r)
            for (int c = 0; c < w; ++c) {
                const uint8_t* px = &bgrx[(size_t(r) * w + c) * 4];
                p.y.push_back(uint8_t(((66 * px[2] + 129 * px[1] + 25 * px[0] + 128) >> 8) + 16));
            }
        for (int r = 0; r < h; r += 2)
            for (int c = 0; c < w; c += 2) {
                const uint8_t* px = &bgrx[(size_t(r) * w + c) * 4];
                const int R = px[2], G = px[1], B = px[0];
                p.cb.push_back(uint8_t(clamp_byte(((-38 * R - 74 * G + 112 * B + 128) >> 8) + 128)));
                p.cr.push_back(uint8_t(clamp_byte(((112 * R - 94 * G - 18 * B + 128) >> 8) + 128)));
            }
        return p;
    }

    void expect_planes(const Planes& got, const Planes& want) {
        EXPECT_EQ(got.y, want.y);
        EXPECT_EQ(got.cb, want.cb);
        EXPECT_EQ(got.cr, want.cr);
    }

    void set_monochrome_8(std::vector<uint8_t>& data) {
        lps->sgf = {};
        lps->sgf.bp = data.data();
        lps->sgf.modeRDO = CQ_RDO_8BIT;
        lps->sgf.curCX = w;
        lps->sgf.curCY = h;
        lps->sgf.curBPP = 8;
        lps->gf = lps->sgf;  // the worker's newest frame
    }

    VADisplay va_dpy = nullptr;
    VAImageFormat format{};
    VASurfaceID surface = VA_INVALID_SURFACE;
    Window win = 0;
    int w = 0, h = 0;
    std::mt19937 random{42};
};

std::vector<uint8_t> random_bytes(std::mt19937& random, size_t n) {
    std::vector<uint8_t> bytes(n);
    for (auto& b : bytes) b = uint8_t(random());
    return bytes;
}

TEST_F(FrameUploadTest, Monochrome8BitDerived) {
    start_va(37, 21);
    std::vector<uint8_t> frame = random_bytes(random, size_t(w) * h);
    set_monochrome_8(frame);
    testing::internal::CaptureStderr();
    EXPECT_EQ(draw(), 1);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
    EXPECT_TRUE(has_derive);
    expect_planes(read_back(), expected_monochrome(frame));

    // A newer frame of another size is left for the next redraw to resize
    // for: never read as if it had the surface's size.
    std::vector<uint8_t> smaller = random_bytes(random, size_t(w - 1) * h);
    lps->gf.bp = smaller.data();
    lps->gf.curCX = w - 1;
    EXPECT_EQ(draw(), 1);
    expect_planes(read_back(), expected_monochrome(frame));
}

TEST_F(FrameUploadTest, Monochrome12BitShiftsToEightBits) {
    start_va(1284, 9);
    std::vector<uint16_t> frame(size_t(w) * h);
    std::vector<uint8_t> luma(frame.size());
    for (size_t i = 0; i < frame.size(); ++i) {
        frame[i] = uint16_t(random() % 4096);
        luma[i] = uint8_t(frame[i] >> 4);
    }
    frame[0] = 4095;
    luma[0] = 255;
    frame[1] = 16;
    luma[1] = 1;
    lps->sgf = {};
    lps->sgf.bp = frame.data();
    lps->sgf.curCX = w;
    lps->sgf.curCY = h;
    lps->sgf.curBPP = 12;
    lps->gf = lps->sgf;
    EXPECT_EQ(draw(), 1);
    expect_planes(read_back(), expected_monochrome(luma));
}

TEST_F(FrameUploadTest, ColourThroughCreatedYv12ImageAfterDerivationFails) {
    set_env("SOFTVA_FAIL", "derive");
    set_env("SOFTVA_FORMATS", "yv12,nv12");
    start_va(33, 17);
    ASSERT_EQ(format.fourcc, VA_FOURCC_YV12);
    std::vector<uint8_t> bitmap = random_bytes(random, size_t(w) * h * 4);
    lps->color = 1;
    lps->sbmp.bp = bitmap.data();
    lps->sbmp.w = w;
    lps->sbmp.h = h;

    testing::internal::CaptureStderr();
    EXPECT_EQ(draw(), 1);
    EXPECT_EQ(draw(), 1);
    const std::string messages = testing::internal::GetCapturedStderr();
    EXPECT_EQ(messages.find("drawImage:vaDeriveImage ("), 0u) << messages;
    EXPECT_NE(messages.find("failed"), std::string::npos);
    EXPECT_NE(messages.find(", will fallback to vaCreateImage/vaPutImage\n"), std::string::npos);
    EXPECT_EQ(messages.find("vaDeriveImage", messages.find('\n')), std::string::npos) << "reported once";
    EXPECT_FALSE(has_derive);
    expect_planes(read_back(), expected_colour(bitmap));
}

TEST_F(FrameUploadTest, ColourDerivedNv12WhiteAndBlack) {
    start_va(4, 2);
    // White, black, then a pure red and a pure blue.
    std::vector<uint8_t> bitmap = {255, 255, 255, 0, 0, 0, 0, 0, 0, 0, 255, 0, 255, 0, 0, 0,
                                   255, 255, 255, 0, 0, 0, 0, 0, 0, 0, 255, 0, 255, 0, 0, 0};
    lps->color = 1;
    lps->sbmp.bp = bitmap.data();
    lps->sbmp.w = w;
    lps->sbmp.h = h;
    EXPECT_EQ(draw(), 1);
    const Planes p = read_back();
    EXPECT_EQ(p.y[0], 235);
    EXPECT_EQ(p.y[1], 16);
    EXPECT_EQ(p.cb[0], 128);
    EXPECT_EQ(p.cr[0], 128);
    expect_planes(p, expected_colour(bitmap));
}

TEST_F(FrameUploadTest, LiveViewOffTouchesNoVa) {
    open_test_display();
    lps->show = 0;
    testing::internal::CaptureStderr();
    testing::internal::CaptureStdout();
    // A null display would make any VA call fail loudly.
    EXPECT_EQ(drawImage(nullptr, VA_INVALID_SURFACE, &format, 64, 64, 0, 64, 64), 1);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
}

TEST_F(FrameUploadTest, ImageSmallerThanTheFrameIsRefused) {
    start_va(32, 16);
    std::vector<uint8_t> frame(64 * 32);
    w = 64;  // draw a frame larger than the surface
    h = 32;
    set_monochrome_8(frame);
    testing::internal::CaptureStdout();
    EXPECT_EQ(draw(), 0);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "Didn't get expected image size: 32x16!\n");
    w = 32;
    h = 16;
}

TEST_F(FrameUploadTest, DerivedImageOfAnotherLayoutFailsEveryCall) {
    set_env("SOFTVA_DERIVE_FORMAT", "i420");
    start_va(16, 8);
    std::vector<uint8_t> frame(16 * 8, 77);
    set_monochrome_8(frame);
    testing::internal::CaptureStdout();
    EXPECT_EQ(draw(), 0);
    EXPECT_EQ(draw(), 0);
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "Didn't get expected image format: 30323449\nDidn't get expected image format: 30323449\n");
    EXPECT_TRUE(has_derive);
    set_env("SOFTVA_DERIVE_FORMAT", nullptr);
}

struct FailureRow {
    const char* faults;
    const char* call;
};

class FrameUploadFailureTest : public FrameUploadTest, public ::testing::WithParamInterface<FailureRow> {};

TEST_P(FrameUploadFailureTest, ReportsTheCallAndFails) {
    set_env("SOFTVA_FAIL", GetParam().faults);
    start_va(16, 8);
    std::vector<uint8_t> frame(16 * 8, 77);
    set_monochrome_8(frame);
    testing::internal::CaptureStderr();
    EXPECT_EQ(draw(), 0);
    const std::string messages = testing::internal::GetCapturedStderr();
    const std::string expected = std::string("drawImage:") + GetParam().call + " (";
    const size_t at = messages.rfind(expected);
    ASSERT_NE(at, std::string::npos) << messages;
    int line = 0, status = 0;
    EXPECT_EQ(sscanf(messages.c_str() + at + expected.size(), "%d) failed %d,exit", &line, &status), 2) << messages;
    EXPECT_GT(line, 0);
    EXPECT_NE(status, 0);
    EXPECT_EQ(messages.back(), '\n');
}

INSTANTIATE_TEST_SUITE_P(
    EveryVaCall, FrameUploadFailureTest,
    ::testing::Values(FailureRow{"derive,create_image", "vaCreateImage"}, FailureRow{"map", "vaMapBuffer"},
                      FailureRow{"derive,put_image", "vaPutImage"}, FailureRow{"unmap", "vaUnmapBuffer"},
                      FailureRow{"destroy_image", "vaDestroyImage"}, FailureRow{"put_surface", "vaPutSurface"},
                      FailureRow{"sync", "vaSyncSurface"}),
    [](const auto& info) { return std::string(info.param.call); });

}  // namespace
