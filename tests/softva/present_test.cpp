// Threads: test main thread, plus one event-sending thread in the threading case.
// vaPutSurface into real Xvfb windows, read back with XGetImage.
#include "va_fixture.h"

#include <X11/Xutil.h>

#include <cstdlib>
#include <thread>

namespace {

struct Yuv {
    unsigned char y, u, v;
};
struct Rgb {
    int r, g, b;
};
constexpr Yuv kWhite{235, 128, 128}, kBlack{16, 128, 128}, kRed{81, 90, 240}, kGrey{126, 128, 128};

// Fills the surface with one colour per quadrant (split at half, rounded up).
void fill_quadrants(VADisplay va, VASurfaceID s, Yuv tl, Yuv tr, Yuv bl, Yuv br) {
    VAImage image{};
    ASSERT_EQ(vaDeriveImage(va, s, &image), VA_STATUS_SUCCESS);
    void* data = nullptr;
    ASSERT_EQ(vaMapBuffer(va, image.buf, &data), VA_STATUS_SUCCESS);
    auto* bytes = static_cast<unsigned char*>(data);
    const int w = image.width, h = image.height, cw = (w + 1) / 2, ch = (h + 1) / 2;
    const auto pick = [&](int x, int y, int half_w, int half_h) {
        return y < half_h ? (x < half_w ? tl : tr) : (x < half_w ? bl : br);
    };
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) bytes[image.offsets[0] + y * image.pitches[0] + x] = pick(x, y, cw, ch).y;
    for (int y = 0; y < ch; ++y)
        for (int x = 0; x < cw; ++x) {
            const Yuv c = pick(x, y, (cw + 1) / 2, (ch + 1) / 2);
            bytes[image.offsets[1] + y * image.pitches[1] + 2 * x] = c.u;
            bytes[image.offsets[1] + y * image.pitches[1] + 2 * x + 1] = c.v;
        }
    ASSERT_EQ(vaUnmapBuffer(va, image.buf), VA_STATUS_SUCCESS);
    ASSERT_EQ(vaDestroyImage(va, image.image_id), VA_STATUS_SUCCESS);
}

Rgb pixel_at(XImage* image, int x, int y) {
    const unsigned long p = XGetPixel(image, x, y);
    return {static_cast<int>((p >> 16) & 0xff), static_cast<int>((p >> 8) & 0xff), static_cast<int>(p & 0xff)};
}

void expect_near(Rgb actual, Rgb expected, const char* where) {
    EXPECT_NEAR(actual.r, expected.r, 2) << where;
    EXPECT_NEAR(actual.g, expected.g, 2) << where;
    EXPECT_NEAR(actual.b, expected.b, 2) << where;
}

class SoftvaPresent : public SoftvaTest {
protected:
    // Presents the whole surface into a fresh window and checks the pixel one
    // step in from each corner.
    void check_corners(int sw, int sh, int ww, int wh) {
        SCOPED_TRACE(testing::Message() << sw << "x" << sh << " -> " << ww << "x" << wh);
        const VASurfaceID s = surface(sw, sh);
        fill_quadrants(va_, s, kWhite, kBlack, kRed, kGrey);
        const Window w = window(ww, wh);
        ASSERT_EQ(vaPutSurface(va_, s, w, 0, 0, sw, sh, 0, 0, ww, wh, nullptr, 0, 0), VA_STATUS_SUCCESS);
        XImage* shot = XGetImage(x_, w, 0, 0, ww, wh, AllPlanes, ZPixmap);
        ASSERT_NE(shot, nullptr);
        expect_near(pixel_at(shot, 1, 1), {255, 255, 255}, "top left, white");
        expect_near(pixel_at(shot, ww - 2, 1), {0, 0, 0}, "top right, black");
        expect_near(pixel_at(shot, 1, wh - 2), {255, 0, 0}, "bottom left, red");
        expect_near(pixel_at(shot, ww - 2, wh - 2), {128, 128, 128}, "bottom right, grey");
        XDestroyImage(shot);
        vaDestroySurfaces(va_, const_cast<VASurfaceID*>(&s), 1);
    }
};

// Frames of large sensors reduced by the area filter (integral and other
// ratios): each corner still shows its own quadrant's colour.
TEST_F(SoftvaPresent, LargeSensorFramesKeepTheirCorners) {
    ASSERT_EQ(open(), VA_STATUS_SUCCESS);
    check_corners(5472, 3648, 1368, 912);
    check_corners(2448, 2048, 612, 512);
    check_corners(5472, 3648, 701, 467);
    // Large pictures are converted by the driver's threads, started by each
    // vaInitialize and joined by its vaTerminate.
    for (int cycle = 0; cycle < 8; ++cycle) {
        ASSERT_EQ(terminate(), VA_STATUS_SUCCESS);
        ASSERT_EQ(open(), VA_STATUS_SUCCESS);
        check_corners(2448, 2048, 612, 512);
    }
}

TEST_F(SoftvaPresent, ColoursAndCornersAtAnyScale) {
    ASSERT_EQ(open(), VA_STATUS_SUCCESS);
    check_corners(64, 48, 64, 48);    // same size
    check_corners(64, 48, 301, 157);  // up, odd
    check_corners(640, 480, 40, 30);  // down
    check_corners(33, 17, 100, 51);   // odd source
    check_corners(1280, 1024, 640, 512);
}

TEST_F(SoftvaPresent, PlainXPutImageWithoutShm) {
    setenv("SOFTVA_XSHM", "off", 1);
    ASSERT_EQ(open(), VA_STATUS_SUCCESS);
    check_corners(96, 64, 200, 100);
    unsetenv("SOFTVA_XSHM");
}

TEST_F(SoftvaPresent, SourceRectangleAndClipping) {
    ASSERT_EQ(open(), VA_STATUS_SUCCESS);
    const VASurfaceID s = surface(64, 64);
    fill_quadrants(va_, s, kWhite, kBlack, kRed, kGrey);
    const Window w = window(100, 100);
    // Only the bottom-right quadrant, partly outside the window: no failure.
    ASSERT_EQ(vaPutSurface(va_, s, w, 32, 32, 32, 32, -20, 50, 100, 100, nullptr, 0, 0), VA_STATUS_SUCCESS);
    XImage* shot = XGetImage(x_, w, 0, 0, 100, 100, AllPlanes, ZPixmap);
    ASSERT_NE(shot, nullptr);
    expect_near(pixel_at(shot, 50, 75), {128, 128, 128}, "grey quadrant");
    expect_near(pixel_at(shot, 50, 25), {0, 0, 0}, "untouched background");
    XDestroyImage(shot);
}

int g_program_errors = 0;
int program_error_handler(Display*, XErrorEvent*) {
    ++g_program_errors;
    return 0;
}

TEST_F(SoftvaPresent, UnsupportedDrawableFailsAndHandlerStays) {
    ASSERT_EQ(open(), VA_STATUS_SUCCESS);
    XErrorHandler before = XSetErrorHandler(program_error_handler);
    const VASurfaceID s = surface(16, 16);
    const Pixmap bitmap = XCreatePixmap(x_, DefaultRootWindow(x_), 16, 16, 1);
    EXPECT_NE(vaPutSurface(va_, s, bitmap, 0, 0, 16, 16, 0, 0, 16, 16, nullptr, 0, 0), VA_STATUS_SUCCESS);
    EXPECT_EQ(vaPutSurface(va_, s, window(16, 16), 0, 0, 16, 16, 0, 0, 16, 16, nullptr, 0, 0), VA_STATUS_SUCCESS);
    EXPECT_EQ(XSetErrorHandler(before), program_error_handler);
    EXPECT_EQ(g_program_errors, 0);
    XFreePixmap(x_, bitmap);
}

// A pixmap wider than the screen cannot be partly off it: asking where it
// lies is refused (BadWindow) out of the program's sight, and it is drawn whole.
TEST_F(SoftvaPresent, PixmapWiderThanTheScreenIsDrawnWhole) {
    ASSERT_EQ(open(), VA_STATUS_SUCCESS);
    XErrorHandler before = XSetErrorHandler(program_error_handler);
    g_program_errors = 0;
    const int pw = DisplayWidth(x_, DefaultScreen(x_)) + 64, ph = 16;
    const Pixmap wide = XCreatePixmap(x_, DefaultRootWindow(x_), pw, ph, DefaultDepth(x_, DefaultScreen(x_)));
    const VASurfaceID s = surface(64, 16);
    fill_quadrants(va_, s, kWhite, kWhite, kWhite, kWhite);
    EXPECT_EQ(vaPutSurface(va_, s, wide, 0, 0, 64, 16, 0, 0, pw, ph, nullptr, 0, 0), VA_STATUS_SUCCESS);
    XImage* shot = XGetImage(x_, wide, pw - 2, 0, 1, 1, AllPlanes, ZPixmap);
    ASSERT_NE(shot, nullptr);
    expect_near(pixel_at(shot, 0, 0), {255, 255, 255}, "past the screen's right edge");
    XDestroyImage(shot);
    EXPECT_EQ(XSetErrorHandler(before), program_error_handler);
    EXPECT_EQ(g_program_errors, 0);
    XFreePixmap(x_, wide);
}

TEST_F(SoftvaPresent, EventsSentFromAnotherThreadAreNotLost) {
    ASSERT_EQ(open(), VA_STATUS_SUCCESS);
    const VASurfaceID s = surface(320, 240);
    fill_quadrants(va_, s, kWhite, kBlack, kRed, kGrey);
    const Window w = window(160, 120);
    constexpr int kEvents = 200;
    std::thread sender([&] {
        for (int i = 0; i < kEvents; ++i) {
            XEvent event{};
            event.xclient.type = ClientMessage;
            event.xclient.window = w;
            event.xclient.format = 32;
            XSendEvent(x_, w, False, NoEventMask, &event);
            XFlush(x_);
        }
    });
    for (int i = 0; i < 60; ++i)
        ASSERT_EQ(vaPutSurface(va_, s, w, 0, 0, 320, 240, 0, 0, 160 + i % 3, 120, nullptr, 0, 0), VA_STATUS_SUCCESS);
    sender.join();
    XSync(x_, False);
    int received = 0;
    XEvent event;
    while (XCheckTypedWindowEvent(x_, w, ClientMessage, &event)) ++received;
    EXPECT_EQ(received, kEvents);
}

}  // namespace
