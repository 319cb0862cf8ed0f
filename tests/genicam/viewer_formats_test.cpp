// The whole viewer on the GenICam library, against genicam_format_camera in
// a private network namespace: what a packed mono, a packed Bayer and a
// 4:2:2 camera show in the video window (colour output off: the samples in
// grey, shifted to 8 bits, the 4:2:2 ones' luma), and what a user is told
// of a camera with nothing to show.  Test thread only.
#include <gtest/gtest.h>
// After GoogleTest: X.h defines None.
#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <chrono>
#include <string>
#include <thread>

#include "fake_camera.h"
#include "format_pattern.h"
#include "viewer_process.h"

namespace {

using genicam_test::FormatCamera;

// Share of a grid of the window's pixels within 3 levels of the grey the
// pattern gives there.  The grey goes to the VA surface as luma, which the
// driver shows as limited range (16 black, 235 white).  The left part is
// left out: with no window manager the control panel lies over it.
double matching_share(Display* dpy, Window window, const genicam_test::FormatInfo& format) {
    XImage* image = XGetImage(dpy, window, 0, 0, 640, 480, AllPlanes, ZPixmap);
    if (!image) return 0;
    int matching = 0, checked = 0;
    for (int y = 1; y < 480; y += 7)
        for (int x = 320; x < 640; x += 3) {
            const int grey = format.packing == genicam_test::Packing::Yuv422
                                 ? genicam_test::yuv(x, y).y
                                 : int(genicam_test::sample(x, y, format.bits) >> (format.bits - 8));
            const int expected = std::clamp(int(std::lround((grey - 16) * 255.0 / 219.0)), 0, 255);
            const int shown = int(XGetPixel(image, x, y) >> 8 & 0xFF);  // green
            matching += std::abs(shown - expected) <= 3;
            ++checked;
        }
    XDestroyImage(image);
    return double(matching) / checked;
}

class GenicamViewer : public ::testing::Test {
protected:
    void SetUp() override {
        if (!genicam_test::in_private_network()) GTEST_SKIP() << "needs a private network namespace";
        dpy = XOpenDisplay(nullptr);
        ASSERT_NE(dpy, nullptr);
    }
    void TearDown() override {
        if (dpy) XCloseDisplay(dpy);
    }
    Display* dpy = nullptr;
};

TEST_F(GenicamViewer, PackedMonoPackedBayerAndYuvCamerasShowTheirPicture) {
    for (const char* name : {"Mono12p", "BayerRG12p", "YUV422_8"}) {
        SCOPED_TRACE(name);
        FormatCamera camera(GENICAM_FORMAT_CAMERA, name);
        ASSERT_TRUE(camera.start());
        Viewer viewer;
        const Window video = wait_for_window(dpy, "Video FPS: ");
        ASSERT_NE(video, 0u) << viewer.output() << viewer.errors();
        double share = 0;
        EXPECT_TRUE(wait_until([&] {
            return (share = matching_share(dpy, video, *genicam_test::find_format(name))) > 0.99;
        })) << share;
        EXPECT_NE(viewer.output().find("Image size changed to 640x480\n"), std::string::npos) << viewer.output();
        send_close_request(dpy, wait_for_window(dpy, "Tolmirex control"));
        EXPECT_EQ(viewer.wait_exit(), 0);
    }
}

TEST_F(GenicamViewer, ACameraWithNothingToShowIsNamedWithItsFormats) {
    FormatCamera camera(GENICAM_FORMAT_CAMERA, "Coord3D_C8");
    ASSERT_TRUE(camera.start());
    Viewer viewer;
    EXPECT_EQ(viewer.wait_exit(), 255);
    EXPECT_EQ(viewer.output(), "Couldn't setup camera!\n");
    EXPECT_NE(viewer.errors().find("Camera 127.0.0.1 ("), std::string::npos) << viewer.errors();
    // Said by the library, and again by the viewer as the reason it could
    // not start (the words a dialog shows when started from the menu).
    EXPECT_EQ(occurrences(viewer.errors(), "offers only pixel formats Tolmirex cannot show: Coord3D_C8. "), 2u)
        << viewer.errors();
}

// A line PC that boots faster than its camera: the viewer waits for the
// camera named, says so, and starts once it answers; a signal ends the wait.
TEST_F(GenicamViewer, AViewerStartedBeforeItsCameraWaitsForIt) {
    const auto said_waiting = [](Viewer& viewer) {
        return wait_until(
            [&] { return viewer.errors().find("Waiting for camera 127.0.0.1 to answer\n") != std::string::npos; });
    };
    {
        Viewer viewer;
        ASSERT_TRUE(said_waiting(viewer)) << viewer.errors();
        viewer.send_signal(SIGTERM);
        EXPECT_EQ(viewer.wait_exit(2.0), 128 + SIGTERM);
        EXPECT_EQ(viewer.output(), "");
    }
    const auto started = std::chrono::steady_clock::now();
    Viewer viewer;
    ASSERT_TRUE(said_waiting(viewer)) << viewer.errors();
    std::this_thread::sleep_for(std::chrono::seconds(3) - (std::chrono::steady_clock::now() - started));
    FormatCamera camera(GENICAM_FORMAT_CAMERA, "Mono8");
    ASSERT_TRUE(camera.start());
    ASSERT_NE(wait_for_window(dpy, "Video FPS: "), 0u) << viewer.output() << viewer.errors();
    EXPECT_EQ(viewer.output().find("Couldn't setup camera!"), std::string::npos) << viewer.output();
    send_close_request(dpy, wait_for_window(dpy, "Tolmirex control"));
    EXPECT_EQ(viewer.wait_exit(), 0);
}

}  // namespace
